#pragma once

// The steps of one 2 x 2 box of the half-size step, shared by its row kernels: the plain
// accumulator's arithmetic, in the same order, so that every kernel gives its bytes. x86 only
// (the plain step serves elsewhere).

#include "imageio/linear_light.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(QUILLMAP_NO_SIMD)
#define QM_HALF_SSE2 1
#include <immintrin.h>
#endif
// The wider kernels are compiled for their instruction sets function by function.
#if QM_HALF_SSE2 && defined(__GNUC__)
#define QM_HALF_WIDE 1
#endif

#if QM_HALF_SSE2
namespace quillmap::half_size_detail {

// The tables every box reads, looked up once per band of rows.
struct tables {
    const float* lin = linear_of_srgb().data();
    const float* unit = unit_alpha().data();
    const uint8_t* srgb = srgb_of_step().data();
    const uint8_t* srgb_half = srgb_of_half_step().data();
};

inline uint32_t load_pixel(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// lround of values in 0 .. 2^23 in four lanes: the whole part, plus one when the fraction is at
// least a half (half away from zero, as lround; the vector's own rounding goes to even).
inline __m128i round_half_up(__m128 v) {
    const __m128i whole = _mm_cvttps_epi32(v);
    const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
    const __m128i up = _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f)));
    return _mm_sub_epi32(whole, up); // a true lane is -1
}

// One input pixel in the order the accumulator adds it, as (r·a, g·a, b·a, a) with
// a = alpha / 255: the same products and the same sums, lane by lane.
inline __m128 weighted(const uint8_t* p, const tables& k) {
    const __m128 alpha = _mm_set1_ps(k.unit[p[3]]);
    return _mm_mul_ps(_mm_setr_ps(k.lin[p[0]], k.lin[p[1]], k.lin[p[2]], 1.0f), alpha);
}

// A box of mixed alphas (some neither 0 nor 255): the accumulator's steps, lane by lane.
inline void mixed_box(const uint8_t* top, const uint8_t* bottom, uint8_t* target, const tables& k) {
    __m128 sum = weighted(top, k);
    sum = _mm_add_ps(sum, weighted(top + 4, k));
    sum = _mm_add_ps(sum, weighted(bottom, k));
    sum = _mm_add_ps(sum, weighted(bottom + 4, k));
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, sum);
    if (lanes[3] <= 0) {
        // All four as good as transparent: the plain colour average, rare enough for the plain way.
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
    const uint32_t pixel = uint32_t(k.srgb[index[0]]) | uint32_t(k.srgb[index[1]]) << 8 |
                           uint32_t(k.srgb[index[2]]) << 16 | uint32_t(index[3]) << 24;
    std::memcpy(target, &pixel, 4);
}

// A box whose four alphas are all 255 or all 0. Opaque, the weights are 1 and the alpha sum 4;
// clear, the plain colour average is taken. Either way each colour is the accumulator's sum of
// the four linear values over 4, so it needs no products and no division (over 4 and the
// doubling for the half-step table are exact): the same steps, so the same bytes. Scalar, since
// the twelve table reads cost the same one by one, and each fuses with its add.
inline uint32_t even_box(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br, const tables& k) {
    uint32_t pixel = tl & 0xFF000000u;
    for (uint32_t shift = 0; shift < 24; shift += 8) {
        const float sum =
            ((k.lin[tl >> shift & 0xFF] + k.lin[tr >> shift & 0xFF]) + k.lin[bl >> shift & 0xFF]) +
            k.lin[br >> shift & 0xFF];
        pixel |= uint32_t(k.srgb_half[uint32_t(sum * float(k_encode_steps / 2))]) << shift;
    }
    return pixel;
}

// One box of any class, at `top` and `bottom`.
inline void any_box(const uint8_t* top, const uint8_t* bottom, uint8_t* target, const tables& k) {
    const uint32_t tl = load_pixel(top), tr = load_pixel(top + 4);
    const uint32_t bl = load_pixel(bottom), br = load_pixel(bottom + 4);
    if ((tl & tr & bl & br) >= 0xFF000000u || (tl | tr | bl | br) < 0x01000000u) {
        const uint32_t pixel = even_box(tl, tr, bl, br, k);
        std::memcpy(target, &pixel, 4);
    } else {
        mixed_box(top, bottom, target, k);
    }
}

// The boxes of a group not marked in `flat` (bit 2k for box k), the flat ones being already
// written: a box of four equal pixels halves to that pixel, every colour and alpha, as the plain
// step gives it. Flat areas are common in game textures.
inline void unflat_boxes(const uint8_t* t, const uint8_t* b, uint8_t* target, uint32_t flat,
                         uint32_t every, const tables& k) {
    for (uint32_t rest = ~flat & every; rest; rest &= rest - 1) {
        const uint32_t box = uint32_t(std::countr_zero(rest)) / 2;
        any_box(t + 8 * box, b + 8 * box, target + 4 * box, k);
    }
}

} // namespace quillmap::half_size_detail
#endif
