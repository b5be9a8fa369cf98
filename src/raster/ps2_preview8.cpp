#include "raster/ps2_preview8.h"

#include "raster/ps2_bitmap.h"
#include "raster/ps2_unswizzle8_kernels.h"
#include "raster/raster_limits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(QUILLMAP_NO_SIMD)
#define QM_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace quillmap {

namespace {

// The palette as the screen gets it: entry i at 4·i, blue, green, red, fourth byte.
using screen_palette = std::array<uint8_t, 256 * 4>;

// One row of indices through the palette into 3- or 4-byte pixels.
using lookup_row_fn = void (*)(const uint8_t* indices, uint32_t count, uint8_t* out,
                               const screen_palette& lut);

template <uint32_t OutPx>
void lookup_row_portable(const uint8_t* indices, uint32_t count, uint8_t* out,
                         const screen_palette& lut) {
    if constexpr (OutPx == 4) {
        for (uint32_t x = 0; x < count; ++x)
            std::memcpy(out + 4 * size_t(x), &lut[4 * size_t(indices[x])], 4);
    } else {
        // Whole words, each overwriting the fourth byte of the one before; the last pixel takes
        // three bytes so that nothing is written past the row.
        for (uint32_t x = 0; x + 1 < count; ++x)
            std::memcpy(out + 3 * size_t(x), &lut[4 * size_t(indices[x])], 4);
        if (count)
            std::memcpy(out + 3 * size_t(count - 1), &lut[4 * size_t(indices[count - 1])], 3);
    }
}

#if QM_X86_KERNELS
// AVX-512 VBMI: the palette as four planes of 256 bytes (blue, green, red, fourth byte); each
// plane answers 64 indices with two 128-byte permutes, and byte permutes interleave the planes
// into the output pixels.
// The fixed permutes, built once per pixel size.
struct vbmi_tables {
    // Index order that makes the 4-byte interleave come out in pixel order: byte 16k + 4j + i
    // of a register holds pixel 16j + 4k + i.
    alignas(64) uint8_t spread32[64];
    alignas(64) uint8_t take24[3][64]; // per output register: blue (0..63) or green (64..127)
    alignas(64) uint8_t red24[3][64];  // per output register: the red byte's pixel
    uint64_t red_mask24[3];            // per output register: the bytes that are red
    // Per band variant and row: where each of 64 row pixels lies in the 128 bytes of the runs of
    // four blocks (for 4-byte pixels already in spread32 order).
    alignas(64) uint8_t unswizzle[2][4][64];

    explicit vbmi_tables(uint32_t out_px) {
        for (uint32_t k = 0; k < 4; ++k)
            for (uint32_t j = 0; j < 4; ++j)
                for (uint32_t i = 0; i < 4; ++i)
                    spread32[16 * k + 4 * j + i] = uint8_t(16 * j + 4 * k + i);
        for (uint32_t v = 0; v < 2; ++v)
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t t = 0; t < 64; ++t) {
                    const uint32_t i = out_px == 4 ? spread32[t] : t; // the row pixel wanted here
                    const uint32_t place =
                        (ps2_swizzling::swizzle_offset(i % 16, r + 4 * v, 16) - 64 * v) & 31;
                    unswizzle[v][r][t] = uint8_t(32 * (i / 16) + place);
                }
        for (uint32_t q = 0; q < 3; ++q) {
            red_mask24[q] = 0;
            for (uint32_t t = 0; t < 64; ++t) {
                const uint32_t g = 64 * q + t, pixel = g / 3, channel = g % 3;
                take24[q][t] = uint8_t(channel == 1 ? 64 + pixel : pixel);
                red24[q][t] = uint8_t(pixel);
                if (channel == 2) red_mask24[q] |= uint64_t(1) << t;
            }
        }
    }
};

const vbmi_tables& tables_for(uint32_t out_px) {
    static const vbmi_tables three(3), four(4);
    return out_px == 4 ? four : three;
}

struct vbmi_palette {
    alignas(64) uint8_t plane[4][256];
    const vbmi_tables* fixed = nullptr;
};

void prepare_vbmi(const screen_palette& lut, uint32_t out_px, vbmi_palette& p) {
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t c = 0; c < 4; ++c)
            p.plane[c][i] = lut[4 * i + c];
    p.fixed = &tables_for(out_px);
}

#define QM_VBMI __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

QM_VBMI inline __m512i plane_lookup(const uint8_t* plane, __m512i index, __mmask64 high) {
    const __m512i* p = reinterpret_cast<const __m512i*>(plane);
    const __m512i low =
        _mm512_permutex2var_epi8(_mm512_load_si512(p), index, _mm512_load_si512(p + 1));
    const __m512i top =
        _mm512_permutex2var_epi8(_mm512_load_si512(p + 2), index, _mm512_load_si512(p + 3));
    return _mm512_mask_blend_epi8(high, low, top);
}

inline __mmask64 first_bytes(uint64_t n) {
    return n >= 64 ? ~__mmask64(0) : (__mmask64(1) << n) - 1;
}

// The first `bytes` bytes of v (all when 64 or more); whole stores are the common case.
QM_VBMI inline void store64(uint8_t* out, uint64_t bytes, __m512i v) {
    if (bytes >= 64)
        _mm512_storeu_si512(out, v);
    else
        _mm512_mask_storeu_epi8(out, first_bytes(bytes), v);
}

// 64 indices (fewer at the end of a row: `n`) through the palette into `out`; for 4-byte pixels
// the indices come in spread32 order.
template <uint32_t OutPx>
QM_VBMI inline void lookup64(__m512i index, uint32_t n, uint8_t* out, const vbmi_palette& p) {
    const __mmask64 high = _mm512_movepi8_mask(index);
    const __m512i b = plane_lookup(p.plane[0], index, high);
    const __m512i g = plane_lookup(p.plane[1], index, high);
    const __m512i r = plane_lookup(p.plane[2], index, high);
    if constexpr (OutPx == 4) {
        const __m512i a = plane_lookup(p.plane[3], index, high);
        const __m512i bg_lo = _mm512_unpacklo_epi8(b, g), bg_hi = _mm512_unpackhi_epi8(b, g);
        const __m512i ra_lo = _mm512_unpacklo_epi8(r, a), ra_hi = _mm512_unpackhi_epi8(r, a);
        const __m512i words[4] = {
            _mm512_unpacklo_epi16(bg_lo, ra_lo), _mm512_unpackhi_epi16(bg_lo, ra_lo),
            _mm512_unpacklo_epi16(bg_hi, ra_hi), _mm512_unpackhi_epi16(bg_hi, ra_hi)};
        for (uint32_t j = 0; j < 4 && 16 * j < n; ++j)
            store64(out + 64 * j, 4 * (uint64_t(n) - 16 * j), words[j]);
    } else {
        const uint64_t total = 3 * uint64_t(n);
        for (uint32_t q = 0; q < 3 && 64 * q < total; ++q) {
            // Blue and green picked from both planes, red merged into its bytes.
            const __m512i bg =
                _mm512_permutex2var_epi8(b, _mm512_load_si512(p.fixed->take24[q]), g);
            const __m512i bgr = _mm512_mask_permutexvar_epi8(
                bg, p.fixed->red_mask24[q], _mm512_load_si512(p.fixed->red24[q]), r);
            store64(out + 64 * q, total - 64 * q, bgr);
        }
    }
}

// The whole picture: runs of four blocks are loaded once, each row of them permuted out of the
// runs straight into the palette lookup. A band's rows are drawn into a small buffer and
// appended to the image bottom row first, so that the image memory is written once (resizing
// would clear it first). `image.bytes` comes empty with its capacity reserved.
template <uint32_t OutPx>
QM_VBMI void fused_vbmi(const uint8_t* raster, uint32_t w, uint32_t h, const vbmi_palette& p,
                        display_image& image) {
    const size_t row_bytes = size_t(w) * OutPx; // the stride: permutation widths need no filler
    std::vector<uint8_t> drawn(4 * row_bytes);
    for (uint32_t y0 = h; y0 >= 4;) {
        y0 -= 4;
        const uint8_t* band = raster + size_t(y0) * w;
        const uint32_t variant = (y0 >> 2) & 1;
        __m512i index[4];
        for (uint32_t r = 0; r < 4; ++r)
            index[r] = _mm512_load_si512(p.fixed->unswizzle[variant][r]);
        for (uint32_t x0 = 0; x0 < w; x0 += 64) {
            const uint32_t n = w - x0 < 64 ? w - x0 : 64; // 16, 32, 48 or 64 pixels
            const uint64_t run_bytes = 2 * uint64_t(n);
            const __mmask64 first = first_bytes(run_bytes);
            const __mmask64 second = run_bytes > 64 ? first_bytes(run_bytes - 64) : 0;
            for (uint32_t half = 0; half < 2; ++half) {
                const uint8_t* run = band + size_t(half) * 2 * w + 2 * x0;
                const __m512i a =
                    n == 64 ? _mm512_loadu_si512(run) : _mm512_maskz_loadu_epi8(first, run);
                const __m512i b = n == 64 ? _mm512_loadu_si512(run + 64)
                                          : _mm512_maskz_loadu_epi8(second, run + 64);
                for (uint32_t r = half; r < 4; r += 2)
                    lookup64<OutPx>(_mm512_permutex2var_epi8(a, index[r], b), n,
                                    drawn.data() + r * row_bytes + size_t(x0) * OutPx, p);
            }
        }
        for (uint32_t r = 4; r-- > 0;)
            image.bytes.insert(image.bytes.end(), drawn.data() + r * row_bytes,
                               drawn.data() + (r + 1) * row_bytes);
    }
}

// AVX2: eight palette words per gather; 3-byte pixels are packed inside each 128-bit half and
// stored 12 bytes at a time (the last group of a row goes pixel by pixel, so nothing is written
// past the row).
template <uint32_t OutPx>
__attribute__((target("avx2"))) void lookup_row_avx2(const uint8_t* indices, uint32_t count,
                                                     uint8_t* out, const screen_palette& lut) {
    const int* words = reinterpret_cast<const int*>(lut.data());
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    uint32_t x = 0;
    // A 3-byte group writes 28 bytes: it needs ten pixels of room.
    for (; x + (OutPx == 4 ? 8 : 10) <= count; x += 8) {
        const __m256i index =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(indices + x)));
        const __m256i pixels = _mm256_i32gather_epi32(words, index, 4);
        if constexpr (OutPx == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * size_t(x)), pixels);
        } else {
            // Each 16-byte store leaves 4 bytes that the next group overwrites.
            const __m256i packed = _mm256_shuffle_epi8(pixels, pack);
            uint8_t* d = out + 3 * size_t(x);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(packed));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 12),
                             _mm256_extracti128_si256(packed, 1));
        }
    }
    lookup_row_portable<OutPx>(indices + x, count - x, out + size_t(x) * OutPx, lut);
}
#endif

device_bitmap run(uint32_t w, uint32_t h, std::span<const uint8_t> raster,
                  std::span<const uint8_t> palette, view_mode mode, uint32_t target_bits,
                  unswizzle8_band_fn unswizzle, simd_isa lookup_isa) {
    if (!unswizzle || (target_bits != 24 && target_bits != 32)) return nullptr;
    if (w > raster_limits::k_max_picture_dimension || h > raster_limits::k_max_picture_dimension ||
        !ps2_swizzling::is_permutation_size(w, h))
        return nullptr;
    if (raster.size() < raster_bytes(w, h, 8) || palette.size() < 256 * 4) return nullptr;

    // The palette exactly as the bitmap path builds it (console slots, BMP order, alpha view).
    screen_palette lut{};
    ps2_bitmap converter;
    if (!converter.palette_to_bmp(palette, lut, 256, mode)) return nullptr;
    const uint32_t out_px = target_bits / 8;
    lookup_row_fn lookup = out_px == 4 ? lookup_row_portable<4> : lookup_row_portable<3>;
#if QM_X86_KERNELS
    if (lookup_isa == simd_isa::avx2 && simd_isa_available(lookup_isa))
        lookup = out_px == 4 ? lookup_row_avx2<4> : lookup_row_avx2<3>;
#endif
    auto image = std::make_unique<display_image>();
    image->width = w;
    image->height = h;
    image->bits = target_bits;
    image->stride = display_image::stride_for(w, target_bits);

#if QM_X86_KERNELS
    if (lookup_isa == simd_isa::avx512vbmi && simd_isa_available(lookup_isa)) {
        image->bytes.reserve(size_t(image->stride) * h);
        auto planes = std::make_unique<vbmi_palette>();
        prepare_vbmi(lut, out_px, *planes);
        if (out_px == 4)
            fused_vbmi<4>(raster.data(), w, h, *planes, *image);
        else
            fused_vbmi<3>(raster.data(), w, h, *planes, *image);
        return image;
    }
#else
    (void)lookup_isa;
#endif

    image->bytes.resize(size_t(image->stride) * h);
    std::vector<uint8_t> band(size_t(w) * 4);
    for (uint32_t y0 = 0; y0 < h; y0 += 4) {
        unswizzle(raster.data() + size_t(y0) * w, band.data(), w, (y0 >> 2) & 1);
        for (uint32_t r = 0; r < 4; ++r)
            lookup(band.data() + size_t(r) * w, w, image->top_row(y0 + r), lut);
    }
    return image;
}

} // namespace

device_bitmap preview_swizzled8(uint32_t w, uint32_t h, std::span<const uint8_t> raster,
                                std::span<const uint8_t> palette, view_mode mode,
                                uint32_t target_bits) {
    return run(w, h, raster, palette, mode, target_bits, best_unswizzle8_band_kernel(),
               simd_best_isa());
}

device_bitmap preview_swizzled8(uint32_t w, uint32_t h, std::span<const uint8_t> raster,
                                std::span<const uint8_t> palette, view_mode mode,
                                uint32_t target_bits, simd_isa isa) {
    return run(w, h, raster, palette, mode, target_bits, unswizzle8_band_kernel(isa), isa);
}

} // namespace quillmap
