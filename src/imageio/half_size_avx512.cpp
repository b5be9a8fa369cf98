#include "imageio/half_size_avx512.h"

#include <algorithm>

#if QM_HALF_WIDE
#define QM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2")))

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 takes the deliberately undefined inputs inside its AVX-512 intrinsics for
// uninitialized values at some optimization levels.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace quillmap::half_size_detail {

namespace {
// The kernel works out sixteen boxes at once, the linear table read through
// byte permutes: each float is four bytes, each byte a 256-entry plane of four registers.
// The twelve (corner, channel) values of the boxes are picked out of the rows into three
// registers of 64 indices, in the order that the unpacking of the looked-up planes into floats
// turns into one register per (corner, channel), box by box.
struct vbmi_tables {
    alignas(64) uint8_t plane[4][256];
    alignas(64) uint8_t pick[3][64]; // (corner, channel) bytes out of a row pair of pixels
    uint64_t from_bottom[3] = {};    // picks taken from the bottom row
    // Encoding: the half step t (see srgb_of_half_step) has a place f, about sqrt(t) · scale:
    // the bits of t as a float halved, which halves its exponent, plus a constant that fits the
    // mantissa. Its whole part is the bucket, its fraction in 256ths the rank in the bucket. The
    // byte is the bucket's `first` byte, plus one for each of its rises that the rank passes
    // (unused rises 255, passed by none). The sRGB curve rises about as fast as a square root,
    // so a bucket holds few rises, and steps a unit apart are more than a 256th apart in f, so
    // ranks in a bucket differ. Scale and constant were searched for the fewest rises;
    // `encodes` says that every step comes out right.
    static constexpr float k_bucket_scale = 1.21f;
    static constexpr uint32_t k_root_bias = 0x1FC21DF5u;
    static constexpr uint32_t k_buckets = 128, k_rises = 3;
    alignas(64) uint8_t first[k_buckets] = {};
    alignas(64) uint8_t passed[k_rises][k_buckets];
    bool encodes = false;

    vbmi_tables() {
        const float* lin = linear_of_srgb().data();
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &lin[i], 4);
            for (uint32_t p = 0; p < 4; ++p)
                plane[p][i] = uint8_t(bits >> (8 * p));
        }
        // Float m of the unpacked planes of index register r holds, in element 4L + e, the
        // bytes of index 16L + 4m + e: (corner, channel) n = 4r + m of box 4L + e.
        for (uint32_t r = 0; r < 3; ++r)
            for (uint32_t j = 0; j < 64; ++j) {
                const uint32_t lane = j / 16, m = j % 16 / 4, e = j % 4;
                const uint32_t n = 4 * r + m, corner = n / 3, channel = n % 3;
                const uint32_t box = 4 * lane + e;
                pick[r][j] = uint8_t(8 * box + 4 * (corner % 2) + channel);
                if (corner >= 2) from_bottom[r] |= uint64_t(1) << j;
            }
        encodes = make_encoding();
    }

    // The bucket and rank of step t, by the vector steps, one lane at a time.
    static uint32_t bucket(uint32_t t) { return uint32_t(place(t)); }
    static uint32_t rank(uint32_t t) {
        const float f = place(t);
        return uint32_t((f - float(uint32_t(f))) * 256.0f);
    }
    static float place(uint32_t t) {
        return std::bit_cast<float>((std::bit_cast<uint32_t>(float(t)) >> 1) + k_root_bias) *
               k_bucket_scale;
    }

    bool make_encoding() {
        const uint8_t* srgb = srgb_of_half_step().data();
        for (auto& row : passed)
            std::fill(std::begin(row), std::end(row), uint8_t(255));
        bool seen[k_buckets] = {};
        uint32_t count[k_buckets] = {};
        for (uint32_t t = 0; t <= 2 * k_encode_steps; ++t) {
            const uint32_t u = bucket(t);
            if (u >= k_buckets) return false;
            if (!seen[u]) {
                seen[u] = true;
                first[u] = srgb[t];
            }
            // A bucket holds a run of steps, over which the byte only rises.
            for (uint32_t byte = first[u] + count[u]; byte < srgb[t]; ++byte) {
                if (count[u] == k_rises || rank(t) == 0) return false;
                passed[count[u]++][u] = uint8_t(rank(t) - 1);
            }
        }
        for (uint32_t t = 0; t <= 2 * k_encode_steps; ++t) {
            uint32_t byte = first[bucket(t)];
            for (const auto& row : passed)
                byte += rank(t) > row[bucket(t)];
            if (byte != srgb[t]) return false;
        }
        return first[0] == 0; // the bytes beside each lane's bucket look this up
    }
};

const vbmi_tables& vbmi() {
    static const vbmi_tables tables;
    return tables;
}

// Sixteen floats per (corner, channel), box by box, from one index register.
QM_AVX512 inline void lookup_linear(const vbmi_tables& v, __m512i index, __m512 out[4]) {
    const __mmask64 high = _mm512_movepi8_mask(index);
    __m512i b[4];
    for (uint32_t p = 0; p < 4; ++p) {
        const __m512i* t = reinterpret_cast<const __m512i*>(v.plane[p]);
        const __m512i low =
            _mm512_permutex2var_epi8(_mm512_load_si512(t), index, _mm512_load_si512(t + 1));
        const __m512i top =
            _mm512_permutex2var_epi8(_mm512_load_si512(t + 2), index, _mm512_load_si512(t + 3));
        b[p] = _mm512_mask_blend_epi8(high, low, top);
    }
    const __m512i w_lo = _mm512_unpacklo_epi8(b[0], b[1]), w_hi = _mm512_unpackhi_epi8(b[0], b[1]);
    const __m512i v_lo = _mm512_unpacklo_epi8(b[2], b[3]), v_hi = _mm512_unpackhi_epi8(b[2], b[3]);
    out[0] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(w_lo, v_lo));
    out[1] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(w_lo, v_lo));
    out[2] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(w_hi, v_hi));
    out[3] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(w_hi, v_hi));
}

// The entries of a 128-byte table for the numbers in the low byte of each lane; the other bytes
// (all 0) look up entry 0.
QM_AVX512 inline __m512i bucket_bytes(const uint8_t* table, __m512i bucket) {
    const __m512i* t = reinterpret_cast<const __m512i*>(table);
    return _mm512_permutex2var_epi8(_mm512_load_si512(t), bucket, _mm512_load_si512(t + 1));
}

// The sRGB bytes of sixteen half steps (each 0 .. 2 · k_encode_steps), as srgb_of_half_step
// gives them, in the low byte of each lane (the others 0, the first byte of bucket 0): the
// bucket's first byte and its rises from byte permutes, counted in the low bytes alone.
QM_AVX512 inline __m512i encoded(const vbmi_tables& v, __m512i step) {
    const __m512i root =
        _mm512_add_epi32(_mm512_srli_epi32(_mm512_castps_si512(_mm512_cvtepi32_ps(step)), 1),
                         _mm512_set1_epi32(int32_t(vbmi_tables::k_root_bias)));
    const __m512 place =
        _mm512_mul_ps(_mm512_castsi512_ps(root), _mm512_set1_ps(vbmi_tables::k_bucket_scale));
    const __m512i bucket = _mm512_cvttps_epi32(place);
    const __m512i rank = _mm512_cvttps_epi32(
        _mm512_mul_ps(_mm512_sub_ps(place, _mm512_cvtepi32_ps(bucket)), _mm512_set1_ps(256.0f)));
    const __mmask64 low_bytes = 0x1111111111111111ull;
    __m512i byte = bucket_bytes(v.first, bucket);
    for (const auto& row : v.passed)
        byte = _mm512_mask_add_epi8(
            byte, _mm512_mask_cmpgt_epu8_mask(low_bytes, rank, bucket_bytes(row, bucket)), byte,
            _mm512_set1_epi8(1));
    return byte;
}

// The steps of mixed_box for sixteen boxes, put into `steps` (colour, as half steps) and `lefts`
// (alpha) where `mixed` has a box's bit: the same products, sums, quotients and roundings, lane
// by lane. `value` holds the boxes' linear colours.
QM_AVX512 inline void mixed_steps(const __m512 value[12], __m512i t0, __m512i t1, __m512i b0,
                                  __m512i b1, __mmask16 mixed, __m512i steps[3], __m512i& lefts) {
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds = _mm512_add_epi32(evens, _mm512_set1_epi32(1));
    const __m512i corners[4] = {lefts, _mm512_permutex2var_epi32(t0, odds, t1),
                                _mm512_permutex2var_epi32(b0, evens, b1),
                                _mm512_permutex2var_epi32(b0, odds, b1)};
    __m512 alpha[4];
    for (uint32_t q = 0; q < 4; ++q)
        alpha[q] = _mm512_div_ps(_mm512_cvtepi32_ps(_mm512_srli_epi32(corners[q], 24)),
                                 _mm512_set1_ps(255.0f));
    const __m512 weight =
        _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(alpha[0], alpha[1]), alpha[2]), alpha[3]);
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
    for (uint32_t c = 0; c < 3; ++c) {
        __m512 sum = _mm512_mul_ps(value[c], alpha[0]);
        for (uint32_t q = 1; q < 4; ++q)
            sum = _mm512_add_ps(sum, _mm512_mul_ps(value[3 * q + c], alpha[q]));
        const __m512 clamped = _mm512_min_ps(_mm512_max_ps(_mm512_div_ps(sum, weight), zero), one);
        steps[c] = _mm512_mask_cvttps_epi32(
            steps[c], mixed, _mm512_mul_ps(clamped, _mm512_set1_ps(2 * k_encode_steps)));
    }
    // Alpha: the weight over 4, as lround gives it (a half rounded up).
    const __m512 scaled = _mm512_mul_ps(
        _mm512_min_ps(_mm512_max_ps(_mm512_div_ps(weight, _mm512_set1_ps(4.0f)), zero), one),
        _mm512_set1_ps(255.0f));
    const __m512i whole = _mm512_cvttps_epi32(scaled);
    const __mmask16 up = _mm512_cmp_ps_mask(_mm512_sub_ps(scaled, _mm512_cvtepi32_ps(whole)),
                                            _mm512_set1_ps(0.5f), _CMP_GE_OQ);
    const __m512i rounded = _mm512_mask_add_epi32(whole, up, whole, _mm512_set1_epi32(1));
    lefts = _mm512_mask_blend_epi32(
        mixed, lefts,
        _mm512_or_si512(_mm512_and_si512(lefts, _mm512_set1_epi32(0xFFFFFF)),
                        _mm512_slli_epi32(rounded, 24)));
}

// Sixteen boxes as even_box works them out (and as mixed_box does those marked in `mixed`), the
// alphas of the even ones taken from `lefts` (each box's top-left pixel): the same sums in the
// same order, lane by lane.
QM_AVX512 inline __m512i worked_boxes(const vbmi_tables& v, __m512i t0, __m512i t1, __m512i b0,
                                      __m512i b1, __m512i lefts, __mmask16 mixed) {
    __m512 value[12];
    for (uint32_t r = 0; r < 3; ++r) {
        const __m512i pick = _mm512_load_si512(v.pick[r]);
        __m512i index;
        if (v.from_bottom[r] == 0)
            index = _mm512_permutex2var_epi8(t0, pick, t1);
        else if (v.from_bottom[r] == ~uint64_t(0))
            index = _mm512_permutex2var_epi8(b0, pick, b1);
        else
            index = _mm512_mask_blend_epi8(v.from_bottom[r], _mm512_permutex2var_epi8(t0, pick, t1),
                                           _mm512_permutex2var_epi8(b0, pick, b1));
        lookup_linear(v, index, value + 4 * r);
    }
    __m512i steps[3];
    for (uint32_t c = 0; c < 3; ++c) {
        const __m512 sum = _mm512_add_ps(
            _mm512_add_ps(_mm512_add_ps(value[c], value[3 + c]), value[6 + c]), value[9 + c]);
        steps[c] = _mm512_cvttps_epi32(_mm512_mul_ps(sum, _mm512_set1_ps(k_encode_steps / 2)));
    }
    if (mixed) mixed_steps(value, t0, t1, b0, b1, mixed, steps, lefts);
    const __m512i colour = _mm512_or_si512(
        _mm512_or_si512(encoded(v, steps[0]), _mm512_slli_epi32(encoded(v, steps[1]), 8)),
        _mm512_slli_epi32(encoded(v, steps[2]), 16));
    return _mm512_or_si512(colour,
                           _mm512_and_si512(lefts, _mm512_set1_epi32(int32_t(0xFF000000u))));
}

// Per box of a row pair (bit k for box k): whether its four pixels' lanes are all set in the
// per-pixel masks of the top and bottom registers.
QM_AVX512 inline uint32_t box_bits(uint32_t top0, uint32_t bottom0, uint32_t top1,
                                   uint32_t bottom1) {
    const uint32_t lanes = (top0 & bottom0) | (top1 & bottom1) << 16;
    return _pext_u32(lanes & lanes >> 1, 0x55555555u);
}

// Per pixel lane of a row of sixteen: whether it equals its neighbour in the same box and the
// pixel below it.
QM_AVX512 inline uint32_t equal_lanes_avx512(__m512i top, __m512i bottom) {
    return uint32_t(_mm512_cmpeq_epi32_mask(top, _mm512_shuffle_epi32(top, _MM_PERM_CDAB)) &
                    _mm512_cmpeq_epi32_mask(top, bottom));
}

// Boxes that need working out, fewer than this in a group: one by one.
constexpr int k_few_boxes = 6;

} // namespace

bool avx512_encodes() {
    return vbmi().encodes;
}

QM_AVX512 void half_row_avx512(const uint8_t* top, const uint8_t* bottom, uint8_t* target,
                               uint32_t count, const tables& k) {
    const vbmi_tables& v = vbmi();
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i opaque = _mm512_set1_epi32(int32_t(0xFF000000u));
    const __m512i visible = _mm512_set1_epi32(0x01000000);
    uint32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const uint8_t *t = top + 8 * x, *b = bottom + 8 * x;
        uint8_t* out = target + 4 * x;
        const __m512i t0 = _mm512_loadu_si512(t), t1 = _mm512_loadu_si512(t + 64);
        const __m512i b0 = _mm512_loadu_si512(b), b1 = _mm512_loadu_si512(b + 64);
        const __m512i lefts = _mm512_permutex2var_epi32(t0, evens, t1);
        const uint32_t flat =
            box_bits(equal_lanes_avx512(t0, b0), 0xFFFF, equal_lanes_avx512(t1, b1), 0xFFFF);
        const uint32_t unflat = ~flat & 0xFFFF;
        if (std::popcount(unflat) < k_few_boxes) {
            _mm512_storeu_si512(out, lefts);
            for (uint32_t rest = unflat; rest; rest &= rest - 1) {
                const uint32_t box = uint32_t(std::countr_zero(rest));
                any_box(t + 8 * box, b + 8 * box, out + 4 * box, k);
            }
            continue;
        }
        const uint32_t opaque_boxes =
            box_bits(_mm512_cmpge_epu32_mask(t0, opaque), _mm512_cmpge_epu32_mask(b0, opaque),
                     _mm512_cmpge_epu32_mask(t1, opaque), _mm512_cmpge_epu32_mask(b1, opaque));
        const uint32_t clear_boxes =
            box_bits(_mm512_cmplt_epu32_mask(t0, visible), _mm512_cmplt_epu32_mask(b0, visible),
                     _mm512_cmplt_epu32_mask(t1, visible), _mm512_cmplt_epu32_mask(b1, visible));
        // Flat boxes of mixed alphas too: every box comes out right, flat or not.
        const uint32_t mixed = ~(opaque_boxes | clear_boxes) & 0xFFFF;
        _mm512_storeu_si512(out, worked_boxes(v, t0, t1, b0, b1, lefts, __mmask16(mixed)));
    }
    for (; x < count; ++x)
        any_box(top + 8 * x, bottom + 8 * x, target + 4 * x, k);
}

QM_AVX512 void encode_steps_avx512(std::span<const int32_t> steps, uint8_t* bytes) {
    for (size_t i = 0; i < steps.size(); i += 16) {
        alignas(64) int32_t lanes[16] = {};
        std::copy_n(steps.begin() + i, std::min<size_t>(16, steps.size() - i), lanes);
        alignas(64) uint32_t out[16];
        _mm512_store_si512(out, encoded(vbmi(), _mm512_load_si512(lanes)));
        for (size_t k = 0; k < 16 && i + k < steps.size(); ++k)
            bytes[i + k] = uint8_t(out[k]);
    }
}

} // namespace quillmap::half_size_detail

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif
