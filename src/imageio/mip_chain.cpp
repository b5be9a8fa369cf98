#include "imageio/mip_chain.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmap {

namespace {
constexpr uint32_t k_max_renderware_levels = 7;
constexpr uint32_t k_smallest_mip_side = 8;
// Linear values back to sRGB through a table this fine: finer than 8-bit steps near black.
constexpr uint32_t k_encode_steps = 4096;

const std::array<float, 256>& to_linear() {
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

const std::array<uint8_t, k_encode_steps + 1>& srgb_table() {
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

uint8_t to_srgb(float linear) {
    const float clamped = std::clamp(linear, 0.0f, 1.0f);
    return srgb_table()[size_t(std::lround(clamped * k_encode_steps))];
}

// Sums of alpha-weighted linear colour, for one output pixel.
struct accumulator {
    float r = 0, g = 0, b = 0, a = 0;            // colour · alpha weight, alpha · weight
    float plain_r = 0, plain_g = 0, plain_b = 0; // colour · weight, for all-transparent areas
    float weight = 0;

    void add(const uint8_t* p, float w) {
        const auto& lin = to_linear();
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
#if defined(__SSE2__)
// lround of values in 0 .. 2^23 in four lanes: the whole part, plus one when the fraction is at
// least a half (half away from zero, as lround; the vector's own rounding goes to even).
__m128i round_half_up(__m128 v) {
    const __m128i whole = _mm_cvttps_epi32(v);
    const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
    const __m128i up = _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f)));
    return _mm_sub_epi32(whole, up); // a true lane is -1
}

// One output pixel's four inputs in the order the accumulator adds them, each as
// (r·a, g·a, b·a, a) with a = alpha / 255: the same products and the same sums, lane by lane.
inline __m128 weighted(const uint8_t* p, const float* lin, const float* unit) {
    const __m128 alpha = _mm_set1_ps(unit[p[3]]);
    return _mm_mul_ps(_mm_setr_ps(lin[p[0]], lin[p[1]], lin[p[2]], 1.0f), alpha);
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

// One output pixel from the 2 x 2 box at `top` and `bottom`.
inline void half_pixel_sse2(const uint8_t* top, const uint8_t* bottom, uint8_t* target,
                            const float* lin, const float* unit, const uint8_t* srgb) {
    __m128 sum = weighted(top, lin, unit);
    sum = _mm_add_ps(sum, weighted(top + 4, lin, unit));
    sum = _mm_add_ps(sum, weighted(bottom, lin, unit));
    sum = _mm_add_ps(sum, weighted(bottom + 4, lin, unit));
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, sum);
    if (lanes[3] <= 0) {
        // All four transparent: the plain colour average, rare enough for the scalar way.
        accumulator plain;
        plain.add(top, 1.0f);
        plain.add(top + 4, 1.0f);
        plain.add(bottom, 1.0f);
        plain.add(bottom + 4, 1.0f);
        plain.write(target);
        return;
    }
    // Colour over alpha in the first three lanes, alpha over the weight of 4 in the last.
    const __m128 divisor = _mm_setr_ps(lanes[3], lanes[3], lanes[3], 4.0f);
    const __m128 value =
        _mm_min_ps(_mm_max_ps(_mm_div_ps(sum, divisor), _mm_setzero_ps()), _mm_set1_ps(1.0f));
    const __m128 scaled =
        _mm_mul_ps(value, _mm_setr_ps(float(k_encode_steps), float(k_encode_steps),
                                      float(k_encode_steps), 255.0f));
    alignas(16) int32_t index[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), round_half_up(scaled));
    target[0] = srgb[index[0]];
    target[1] = srgb[index[1]];
    target[2] = srgb[index[2]];
    target[3] = uint8_t(index[3]);
}

// Whether all four pixels of the box are opaque (alpha 255).
inline bool opaque_box(const uint8_t* top, const uint8_t* bottom) {
    return (top[3] & top[7] & bottom[3] & bottom[7]) == 255;
}

// One output pixel of an opaque box, the common case: every weight is 1, the alpha sum 4, so the
// same sums as the accumulator's divided by 4 (exact, a power of two) need no products and no
// division. The same steps otherwise, so the same bytes.
inline void half_pixel_opaque(const uint8_t* top, const uint8_t* bottom, uint8_t* target,
                              const float* lin, const uint8_t* srgb) {
    // Read before any byte is written: a byte store may alias every table for the compiler.
    const uint8_t in[4][3] = {{top[0], top[1], top[2]},
                              {top[4], top[5], top[6]},
                              {bottom[0], bottom[1], bottom[2]},
                              {bottom[4], bottom[5], bottom[6]}};
    uint8_t out[4];
    for (int c = 0; c < 3; ++c) {
        const float sum = ((lin[in[0][c]] + lin[in[1][c]]) + lin[in[2][c]]) + lin[in[3][c]];
        // (sum / 4) * k_encode_steps, both exact: at most k_encode_steps, never below 0.
        const float scaled = sum * float(k_encode_steps / 4);
        const int32_t whole = int32_t(scaled);
        out[c] = srgb[whole + (scaled - float(whole) >= 0.5f ? 1 : 0)];
    }
    out[3] = 255;
    std::memcpy(target, out, 4);
}

void half_row_sse2(const uint8_t* top, const uint8_t* bottom, uint8_t* target, uint32_t count) {
    const float* lin = to_linear().data();
    const float* unit = unit_alpha().data();
    const uint8_t* srgb = srgb_table().data();
    for (uint32_t x = 0; x < count; ++x) {
        const uint8_t* t = top + 8 * x;
        const uint8_t* b = bottom + 8 * x;
        if (opaque_box(t, b))
            half_pixel_opaque(t, b, target + 4 * x, lin, srgb);
        else
            half_pixel_sse2(t, b, target + 4 * x, lin, unit, srgb);
    }
}

using half_row_kernel = void (*)(const uint8_t*, const uint8_t*, uint8_t*, uint32_t);

rgba_image half_size_rows(const rgba_image& image, half_row_kernel kernel) {
    rgba_image out;
    out.width = image.width / 2;
    out.height = image.height / 2;
    out.rgba.resize(size_t(out.width) * out.height * 4);
    const size_t stride = size_t(image.width) * 4;
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t* top = &image.rgba[stride * 2 * y];
        kernel(top, top + stride, &out.rgba[size_t(y) * out.width * 4], out.width);
    }
    return out;
}
#endif
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

rgba_image half_size(const rgba_image& image) {
#if defined(__SSE2__)
    // The vector form needs two rows and two columns to average; a side of 1 repeats its edge.
    // (An AVX2 form with gathers measured slower than this one on the bench machine.)
    if (image.width >= 2 && image.height >= 2 &&
        image.rgba.size() == size_t(image.width) * image.height * 4)
        return half_size_rows(image, half_row_sse2);
#endif
    return half_size_plain(image);
}

std::vector<rgba_image> mip_chain(const rgba_image& image, uint32_t count) {
    std::vector<rgba_image> levels;
    if (count == 0) return levels;
    levels.push_back(image);
    while (levels.size() < count) {
        rgba_image next = half_size(levels.back());
        levels.push_back(std::move(next));
    }
    return levels;
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
