#include "imageio/linear_light.h"

namespace quillmap {

const std::array<float, 256>& linear_of_srgb() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

const std::array<uint8_t, k_encode_steps + 1>& srgb_of_step() {
    static const std::array<uint8_t, k_encode_steps + 1> table = [] {
        std::array<uint8_t, k_encode_steps + 1> t{};
        for (uint32_t i = 0; i <= k_encode_steps; ++i) {
            const double l = double(i) / k_encode_steps;
            const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
            t[i] = uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
        }
        return t;
    }();
    return table;
}

const std::array<uint8_t, 2 * k_encode_steps + 1>& srgb_of_half_step() {
    static const std::array<uint8_t, 2 * k_encode_steps + 1> table = [] {
        std::array<uint8_t, 2 * k_encode_steps + 1> t{};
        for (uint32_t i = 0; i <= 2 * k_encode_steps; ++i)
            t[i] = srgb_of_step()[(i + 1) / 2];
        return t;
    }();
    return table;
}

const std::array<float, 256>& unit_alpha() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = i / 255.0f;
        return t;
    }();
    return table;
}

} // namespace quillmap
