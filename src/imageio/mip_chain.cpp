#include "imageio/mip_chain.h"

#include "imageio/halve_levels.h"
#include "imageio/linear_light.h"

#include <algorithm>
#include <cmath>

namespace quillmap {

namespace {
constexpr uint32_t k_max_renderware_levels = 7;
constexpr uint32_t k_smallest_mip_side = 8;
} // namespace

uint32_t renderware_level_count(uint32_t width, uint32_t height) {
    uint32_t side = std::min(width, height);
    uint32_t levels = 1;
    while (levels < k_max_renderware_levels && side / 2 >= k_smallest_mip_side) {
        side /= 2;
        ++levels;
    }
    return levels;
}

rgba_image half_size_plain(const rgba_image& image) {
    rgba_image out;
    out.width = std::max(image.width / 2, 1u);
    out.height = std::max(image.height / 2, 1u);
    out.rgba.assign(size_t(out.width) * out.height * 4, 0);
    if (image.width == 0 || image.height == 0) return out;
    for (uint32_t y = 0; y < out.height; ++y)
        for (uint32_t x = 0; x < out.width; ++x) {
            accumulator sum;
            for (uint32_t dy = 0; dy < 2; ++dy)
                for (uint32_t dx = 0; dx < 2; ++dx)
                    sum.add(image.pixel(std::min(2 * x + dx, image.width - 1),
                                        std::min(2 * y + dy, image.height - 1)),
                            1.0f);
            sum.write(out.pixel(x, y));
        }
    return out;
}

rgba_image half_size(const rgba_image& image, simd_isa isa, unsigned threads) {
    rgba_image out;
    halve_levels(image, {&out, 1}, isa, threads);
    return out;
}

rgba_image half_size(const rgba_image& image) {
    return half_size(image, simd_best_isa(), halving_threads(image, 1));
}

std::vector<rgba_image> mip_chain(rgba_image&& image, uint32_t count) {
    std::vector<rgba_image> levels;
    if (count == 0) return levels;
    levels.resize(count);
    levels[0] = std::move(image);
    halve_levels(levels[0], std::span(levels).subspan(1), simd_best_isa(),
                 halving_threads(levels[0], count - 1));
    return levels;
}

std::vector<rgba_image> mip_chain(const rgba_image& image, uint32_t count) {
    return mip_chain(rgba_image(image), count);
}

rgba_image resized(const rgba_image& image, uint32_t width, uint32_t height) {
    rgba_image out;
    out.width = width;
    out.height = height;
    out.rgba.assign(size_t(width) * height * 4, 0);
    if (image.width == 0 || image.height == 0 || width == 0 || height == 0) return out;
    // Each output pixel covers a footprint of the source; the footprint is sampled on a small
    // grid of bilinear taps, which is a box filter when shrinking and bilinear when growing.
    const float scale_x = float(image.width) / float(width);
    const float scale_y = float(image.height) / float(height);
    const uint32_t taps_x = std::clamp(uint32_t(std::ceil(scale_x)), 1u, 16u);
    const uint32_t taps_y = std::clamp(uint32_t(std::ceil(scale_y)), 1u, 16u);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            accumulator sum;
            for (uint32_t ty = 0; ty < taps_y; ++ty)
                for (uint32_t tx = 0; tx < taps_x; ++tx) {
                    const float sx = (x + (tx + 0.5f) / taps_x) * scale_x - 0.5f;
                    const float sy = (y + (ty + 0.5f) / taps_y) * scale_y - 0.5f;
                    const float fx = std::clamp(sx, 0.0f, float(image.width - 1));
                    const float fy = std::clamp(sy, 0.0f, float(image.height - 1));
                    const uint32_t x0 = uint32_t(fx), y0 = uint32_t(fy);
                    const uint32_t x1 = std::min(x0 + 1, image.width - 1);
                    const uint32_t y1 = std::min(y0 + 1, image.height - 1);
                    const float wx = fx - float(x0), wy = fy - float(y0);
                    sum.add(image.pixel(x0, y0), (1 - wx) * (1 - wy));
                    sum.add(image.pixel(x1, y0), wx * (1 - wy));
                    sum.add(image.pixel(x0, y1), (1 - wx) * wy);
                    sum.add(image.pixel(x1, y1), wx * wy);
                }
            sum.write(out.pixel(x, y));
        }
    return out;
}

uint32_t power_of_two_below(uint32_t value) {
    uint32_t p = 1;
    while (p <= value / 2)
        p *= 2;
    return p;
}

uint32_t power_of_two_above(uint32_t value) {
    const uint32_t below = power_of_two_below(value);
    return below >= value || below >= (1u << 31) ? below : below * 2;
}

uint32_t nearest_power_of_two(uint32_t value) {
    const uint32_t below = power_of_two_below(value), above = power_of_two_above(value);
    return value - below < above - value ? below : above;
}

std::vector<picture_size> power_of_two_sizes(uint32_t width, uint32_t height, uint32_t largest) {
    std::vector<picture_size> sizes;
    if (width == 0 || height == 0 || largest == 0) return sizes;
    const auto fit = [largest](uint32_t side) { return std::clamp<uint32_t>(side, 1, largest); };
    const auto add = [&sizes, &fit](uint32_t w, uint32_t h) {
        const picture_size size{fit(w), fit(h)};
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
    };
    const picture_size nearest{fit(nearest_power_of_two(width)), fit(nearest_power_of_two(height))};
    add(nearest.width, nearest.height);
    add(power_of_two_below(width), power_of_two_below(height));
    add(power_of_two_above(width), power_of_two_above(height));
    // The square whose area is nearest the picture's, offered when it keeps the area better.
    const double area = double(width) * double(height);
    const uint32_t side = nearest_power_of_two(static_cast<uint32_t>(std::lround(std::sqrt(area))));
    const auto area_gap = [area](double w, double h) { return std::abs(w * h - area); };
    if (area_gap(side, side) < area_gap(nearest.width, nearest.height)) add(side, side);
    return sizes;
}

} // namespace quillmap
