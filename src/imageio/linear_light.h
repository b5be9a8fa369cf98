#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace quillmap {

// Linear values back to sRGB through a table this fine: finer than 8-bit steps near black.
inline constexpr uint32_t k_encode_steps = 4096;

// sRGB bytes as linear light, 0..1.
const std::array<float, 256>& linear_of_srgb();
// The sRGB byte of each encode step: entry i is the byte for linear i / k_encode_steps.
const std::array<uint8_t, k_encode_steps + 1>& srgb_of_step();
// The same by half steps: entry t is the byte of step (t + 1) / 2, the step nearest t / 2 with a
// half rounded up. So a value v in 0..1 needs only the whole part of v · 2 · k_encode_steps,
// which one truncating conversion gives, instead of a rounding of its own.
const std::array<uint8_t, 2 * k_encode_steps + 1>& srgb_of_half_step();

// Alphas as fractions, i / 255.
const std::array<float, 256>& unit_alpha();

inline uint8_t to_srgb(float linear) {
    const float clamped = std::clamp(linear, 0.0f, 1.0f);
    return srgb_of_step()[size_t(std::lround(clamped * k_encode_steps))];
}

// Sums of alpha-weighted linear colour, for one output pixel of a filter.
struct accumulator {
    float r = 0, g = 0, b = 0, a = 0;            // colour · alpha weight, alpha · weight
    float plain_r = 0, plain_g = 0, plain_b = 0; // colour · weight, for all-transparent areas
    float weight = 0;

    void add(const uint8_t* p, float w) {
        const auto& lin = linear_of_srgb();
        const float alpha = p[3] / 255.0f;
        r += lin[p[0]] * alpha * w;
        g += lin[p[1]] * alpha * w;
        b += lin[p[2]] * alpha * w;
        plain_r += lin[p[0]] * w;
        plain_g += lin[p[1]] * w;
        plain_b += lin[p[2]] * w;
        a += alpha * w;
        weight += w;
    }
    void write(uint8_t* out) const {
        if (weight <= 0) return;
        if (a > 0) {
            out[0] = to_srgb(r / a);
            out[1] = to_srgb(g / a);
            out[2] = to_srgb(b / a);
        } else {
            out[0] = to_srgb(plain_r / weight);
            out[1] = to_srgb(plain_g / weight);
            out[2] = to_srgb(plain_b / weight);
        }
        out[3] = uint8_t(std::lround(std::clamp(a / weight, 0.0f, 1.0f) * 255.0f));
    }
};

} // namespace quillmap
