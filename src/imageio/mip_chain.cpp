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

// One output pixel of a box whose four alphas are all 255 or all 0, the common cases. Opaque, the
// weights are 1 and the alpha sum 4; clear, the plain colour average is taken. Either way the
// colour is the accumulator's sum of the four linear values divided by 4 (exact, a power of two),
// so it needs no products and no division: the same steps, so the same bytes.
inline void half_pixel_even(const uint8_t* top, const uint8_t* bottom, uint8_t* target,
                            uint8_t alpha, const float* lin, const uint8_t* srgb) {
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
    out[3] = alpha;
    std::memcpy(target, out, 4);
}

// Four boxes side by side whose alphas are each all 255 or all 0: half_pixel_even's steps, a box
// per lane, channel by channel.
inline void half_four_even(const uint8_t* t, const uint8_t* b, uint8_t* target, const float* lin,
                           const uint8_t* srgb) {
    alignas(16) int32_t index[3][4];
    for (int c = 0; c < 3; ++c) {
        const __m128 tl = _mm_setr_ps(lin[t[c]], lin[t[8 + c]], lin[t[16 + c]], lin[t[24 + c]]);
        const __m128 tr =
            _mm_setr_ps(lin[t[4 + c]], lin[t[12 + c]], lin[t[20 + c]], lin[t[28 + c]]);
        const __m128 bl = _mm_setr_ps(lin[b[c]], lin[b[8 + c]], lin[b[16 + c]], lin[b[24 + c]]);
        const __m128 br =
            _mm_setr_ps(lin[b[4 + c]], lin[b[12 + c]], lin[b[20 + c]], lin[b[28 + c]]);
        const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(tl, tr), bl), br);
        const __m128 scaled = _mm_mul_ps(sum, _mm_set1_ps(float(k_encode_steps / 4)));
        _mm_store_si128(reinterpret_cast<__m128i*>(index[c]), round_half_up(scaled));
    }
    // Each pixel put together in a register and stored once: bytes stored one by one and read
    // back as a whole stall the store forwarding.
    for (int k = 0; k < 4; ++k) {
        const uint32_t pixel = uint32_t(srgb[index[0][k]]) | uint32_t(srgb[index[1][k]]) << 8 |
                               uint32_t(srgb[index[2][k]]) << 16 | uint32_t(t[8 * k + 3]) << 24;
        std::memcpy(target + 4 * k, &pixel, 4);
    }
}

// Per pixel lane of two rows of four pixels: whether the alpha of the pixel and of the one below
// it is `alpha` (255 or 0, in the top byte of each lane).
inline int alpha_lanes(__m128i top, __m128i bottom, __m128i alpha) {
    const __m128i mask = _mm_set1_epi32(int32_t(0xFF000000u));
    const __m128i same = _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(top, mask), alpha),
                                       _mm_cmpeq_epi32(_mm_and_si128(bottom, mask), alpha));
    return _mm_movemask_ps(_mm_castsi128_ps(same));
}

// Per pixel lane of a row of four pixels: whether it equals its horizontal neighbour in the same
// box and the pixel below it. A box whose two lanes are both set holds four equal pixels.
inline int equal_lanes(__m128i top, __m128i bottom) {
    const __m128i neighbour = _mm_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi32(top, neighbour), _mm_cmpeq_epi32(top, bottom));
    return _mm_movemask_ps(_mm_castsi128_ps(same));
}

// One box's pixel, by the class of the box.
inline void half_pixel(const uint8_t* t, const uint8_t* b, uint8_t* target, const float* lin,
                       const float* unit, const uint8_t* srgb) {
    const uint8_t alphas[4] = {t[3], t[7], b[3], b[7]};
    uint32_t all;
    std::memcpy(&all, alphas, 4);
    if (all == 0xFFFFFFFFu || all == 0)
        half_pixel_even(t, b, target, alphas[0], lin, srgb);
    else
        half_pixel_sse2(t, b, target, lin, unit, srgb);
}

// `next` is the top row of the next pair (null for the last): fetched ahead, since the hardware
// prefetcher starts afresh at every row of a wide picture (each its own page).
void half_row_sse2(const uint8_t* top, const uint8_t* bottom, const uint8_t* next, uint8_t* target,
                   uint32_t count) {
    const size_t stride = size_t(bottom - top);
    const float* lin = to_linear().data();
    const float* unit = unit_alpha().data();
    const uint8_t* srgb = srgb_table().data();
    uint32_t x = 0;
    // Four boxes at a time. A box of four equal pixels halves to that pixel (every colour and
    // alpha, as the plain step gives it), and flat areas are common in game textures: such boxes
    // are copied, and a run of four is one store.
    for (; x + 4 <= count; x += 4) {
        const uint8_t* t = top + 8 * x;
        const uint8_t* b = bottom + 8 * x;
        if (next) {
            _mm_prefetch(reinterpret_cast<const char*>(next + 8 * x), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(next + stride + 8 * x), _MM_HINT_T0);
        }
        const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16));
        const int lanes = equal_lanes(t0, b0) | equal_lanes(t1, b1) << 4;
        // Bit 2k of `flat`: box k is flat (both its lanes set).
        const int flat = (lanes & lanes >> 1) & 0x55;
        if (flat == 0x55) {
            const __m128 even =
                _mm_shuffle_ps(_mm_castsi128_ps(t0), _mm_castsi128_ps(t1), _MM_SHUFFLE(2, 0, 2, 0));
            _mm_storeu_ps(reinterpret_cast<float*>(target + 4 * x), even);
            continue;
        }
        // Bit 2k of `even`: the alphas of box k are all 255 or all 0.
        const __m128i opaque = _mm_set1_epi32(int32_t(0xFF000000u)), clear = _mm_setzero_si128();
        const int opaque_lanes = alpha_lanes(t0, b0, opaque) | alpha_lanes(t1, b1, opaque) << 4;
        const int clear_lanes = alpha_lanes(t0, b0, clear) | alpha_lanes(t1, b1, clear) << 4;
        const int even =
            ((opaque_lanes & opaque_lanes >> 1) | (clear_lanes & clear_lanes >> 1)) & 0x55;
        if (even == 0x55) {
            half_four_even(t, b, target + 4 * x, lin, srgb);
            continue;
        }
        for (uint32_t k = 0; k < 4; ++k) {
            uint8_t* out = target + 4 * (x + k);
            if (flat >> (2 * k) & 1)
                std::memcpy(out, t + 8 * k, 4);
            else
                half_pixel(t + 8 * k, b + 8 * k, out, lin, unit, srgb);
        }
    }
    for (; x < count; ++x)
        half_pixel(top + 8 * x, bottom + 8 * x, target + 4 * x, lin, unit, srgb);
}

using half_row_kernel = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*,
                                 uint32_t);

rgba_image half_size_rows(const rgba_image& image, half_row_kernel kernel) {
    rgba_image out;
    out.width = image.width / 2;
    out.height = image.height / 2;
    out.rgba.resize(size_t(out.width) * out.height * 4);
    const size_t stride = size_t(image.width) * 4;
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t* top = &image.rgba[stride * 2 * y];
        const uint8_t* next = y + 1 < out.height ? top + 2 * stride : nullptr;
        kernel(top, top + stride, next, &out.rgba[size_t(y) * out.width * 4], out.width);
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
    // (An AVX2 form with gathers measured slower than this one on the bench machine; an AVX-512
    // form reading the linear table through byte permutes, four per byte of each float, made the
    // chain only about 12 % faster: the permutes cost about what the scalar table reads do.)
    if (image.width >= 2 && image.height >= 2 &&
        image.rgba.size() == size_t(image.width) * image.height * 4)
        return half_size_rows(image, half_row_sse2);
#endif
    return half_size_plain(image);
}

std::vector<rgba_image> mip_chain(rgba_image&& image, uint32_t count) {
    std::vector<rgba_image> levels;
    if (count == 0) return levels;
    levels.reserve(count);
    levels.push_back(std::move(image));
    while (levels.size() < count)
        levels.push_back(half_size(levels.back()));
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
