#include "imageio/palette_map.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

namespace {
enum alpha_class : uint8_t { transparent = 0, partial = 1, opaque = 2 };
constexpr uint32_t k_classes = 3;
// Alpha counts this many times a colour channel: partly transparent pixels stay near their alpha.
constexpr int k_alpha_weight = 4;

alpha_class class_of(uint8_t alpha) {
    return alpha == 0 ? transparent : alpha == 255 ? opaque : partial;
}

// The palette entries each alpha class may take: its own class, or every entry when the palette
// has none of that class.
std::array<std::vector<uint8_t>, k_classes> candidates_by_class(std::span<const uint8_t> palette,
                                                                uint32_t entries) {
    std::array<std::vector<uint8_t>, k_classes> by_class;
    for (uint32_t i = 0; i < entries; ++i)
        by_class[class_of(palette[size_t(i) * 4 + 3])].push_back(uint8_t(i));
    for (auto& list : by_class)
        if (list.empty())
            for (uint32_t i = 0; i < entries; ++i)
                list.push_back(uint8_t(i));
    return by_class;
}

uint8_t nearest(std::span<const uint8_t> palette, const std::vector<uint8_t>& candidates, int r,
                int g, int b, int a) {
    uint8_t best = candidates.front();
    int64_t best_distance = INT64_MAX;
    for (uint8_t i : candidates) {
        const uint8_t* e = &palette[size_t(i) * 4];
        const int64_t dr = r - e[0], dg = g - e[1], db = b - e[2], da = a - e[3];
        const int64_t distance = dr * dr + dg * dg + db * db + k_alpha_weight * da * da;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
            if (distance == 0) break;
        }
    }
    return best;
}

uint32_t key_of(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint8_t clamp_channel(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}
} // namespace

indexed_image map_to_palette(const rgba_image& image, std::span<const uint8_t> palette,
                             bool dither) {
    indexed_image out;
    const uint32_t entries = uint32_t(std::min<size_t>(palette.size() / 4, 256));
    const size_t count = size_t(image.width) * image.height;
    if (entries == 0 || image.rgba.size() < count * 4) return out;
    out.width = image.width;
    out.height = image.height;
    out.palette.assign(palette.begin(), palette.begin() + size_t(entries) * 4);
    out.indices.assign(count, 0);
    const auto by_class = candidates_by_class(out.palette, entries);

    if (!dither) {
        // Pictures repeat colours: each distinct one is searched once.
        std::unordered_map<uint32_t, uint8_t> known;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = &image.rgba[i * 4];
            const auto [it, fresh] = known.emplace(key_of(p), 0);
            if (fresh)
                it->second = nearest(out.palette, by_class[class_of(p[3])], p[0], p[1], p[2], p[3]);
            out.indices[i] = it->second;
        }
        return out;
    }

    // Floyd-Steinberg over two rows of colour error (three channels, one pixel of margin).
    const size_t w = image.width;
    std::vector<int> current((w + 2) * 3, 0), next((w + 2) * 3, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = image.pixel(uint32_t(x), y);
            const alpha_class cls = class_of(p[3]);
            int* error = &current[(x + 1) * 3];
            // Transparent pixels show nothing: they neither take nor give colour error.
            const bool visible = cls != transparent;
            const int r = visible ? p[0] + error[0] / 16 : p[0];
            const int g = visible ? p[1] + error[1] / 16 : p[1];
            const int b = visible ? p[2] + error[2] / 16 : p[2];
            const uint8_t index = nearest(out.palette, by_class[cls], clamp_channel(r),
                                          clamp_channel(g), clamp_channel(b), p[3]);
            out.indices[size_t(y) * w + x] = index;
            if (!visible) continue;
            const uint8_t* e = &out.palette[size_t(index) * 4];
            const int diff[3] = {clamp_channel(r) - e[0], clamp_channel(g) - e[1],
                                 clamp_channel(b) - e[2]};
            for (int c = 0; c < 3; ++c) {
                current[(x + 2) * 3 + c] += diff[c] * 7;
                next[x * 3 + c] += diff[c] * 3;
                next[(x + 1) * 3 + c] += diff[c] * 5;
                next[(x + 2) * 3 + c] += diff[c];
            }
        }
        std::swap(current, next);
    }
    return out;
}

void keep_transparent_colours(const rgba_image& image, indexed_image& mapped) {
    const uint32_t entries = mapped.entries();
    const size_t count = size_t(image.width) * image.height;
    if (image.rgba.size() < count * 4 || mapped.indices.size() < count) return;
    std::vector<std::array<uint64_t, 4>> sums(entries, {0, 0, 0, 0});
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = mapped.indices[i];
        if (index >= entries || mapped.palette[size_t(index) * 4 + 3] != 0) continue;
        const uint8_t* p = &image.rgba[i * 4];
        auto& sum = sums[index];
        sum[0] += p[0];
        sum[1] += p[1];
        sum[2] += p[2];
        ++sum[3];
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const auto& sum = sums[i];
        if (sum[3] == 0) continue;
        for (int c = 0; c < 3; ++c)
            mapped.palette[size_t(i) * 4 + c] = uint8_t((sum[c] + sum[3] / 2) / sum[3]);
    }
}
