#include "raster/ps2_swizzling.h"

#include "raster/ps2_stored_region.h"
#include "raster/ps2_unswizzle8_kernels.h"
#include "raster/raster_limits.h"

#include <algorithm>
#include <array>
#include <cstring>

// SSE2 is part of every x86-64 target; QUILLMAP_NO_SIMD builds the portable form for checking.
#if defined(__SSE2__) && !defined(QUILLMAP_NO_SIMD)
#define QM_SWIZZLE_SSE2 1
#include <emmintrin.h>
#endif

namespace quillmap {

// The mapping keeps every 4-row band to itself: the 16×4 pixel block at column x0 of the band
// at row y0 lands in two 32-pixel runs, at y0·W + 2·x0 (rows 0 and 2 of the block) and at
// (y0 + 2)·W + 2·x0 (rows 1 and 3). Inside the block the pixels are interleaved in a fixed way
// that depends only on whether bit 2 of y0 is set. So the conversions copy one band at a time
// into a small work buffer and shuffle whole blocks out of it, which gives exactly the per-pixel
// formula at a fraction of its cost.

namespace {

constexpr uint32_t k_block_w = 16;
constexpr uint32_t k_block_h = 4;

// For variant v (bit 2 of the band's first row), the place of block pixel r·16 + x inside the
// 64-pixel pair of runs (0..31 first run, 32..63 second run). Derived from swizzle_offset at
// width 16, where a band is exactly one block.
struct block_table {
    std::array<std::array<uint8_t, 64>, 2> place{};
    block_table() {
        for (uint32_t v = 0; v < 2; ++v)
            for (uint32_t i = 0; i < 64; ++i)
                place[v][i] =
                    uint8_t(ps2_swizzling::swizzle_offset(i & 15, (i >> 4) + 4 * v, 16) - 64 * v);
    }
};

const block_table& table() {
    static const block_table t;
    return t;
}

// --- 8-bit blocks ------------------------------------------------------------------------------

// rows: the 4 source rows of the block (linear order); run0/run1: the two 32-byte runs.
// Kept compiled on SIMD builds too, so the portable path cannot rot unseen.
[[maybe_unused]] inline void swizzle_block8_scalar(const uint8_t* const rows[4], uint8_t* run0,
                                                   uint8_t* run1, uint32_t variant) {
    const auto& place = table().place[variant];
    for (uint32_t r = 0; r < 4; ++r)
        for (uint32_t x = 0; x < 16; ++x) {
            const uint32_t p = place[r * 16 + x];
            (p < 32 ? run0[p] : run1[p - 32]) = rows[r][x];
        }
}

[[maybe_unused]] inline void unswizzle_block8_scalar(const uint8_t* run0, const uint8_t* run1,
                                                     uint8_t* const rows[4], uint32_t variant) {
    const auto& place = table().place[variant];
    for (uint32_t r = 0; r < 4; ++r)
        for (uint32_t x = 0; x < 16; ++x) {
            const uint32_t p = place[r * 16 + x];
            rows[r][x] = p < 32 ? run0[p] : run1[p - 32];
        }
}

#if QM_SWIZZLE_SSE2
// Exchanges the two 4-byte halves of each 8-byte half: the row rotation of the odd band rows.
inline __m128i rotate_row(__m128i v) {
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1));
}

// Two rows (a from block row 0 or 1, b from row 2 or 3, already rotated) to one 32-byte run:
// groups of four bytes a[g], b[g], a[g + 8], b[g + 8].
inline void interleave_run(__m128i a, __m128i b, __m128i& lo, __m128i& hi) {
    const __m128i l = _mm_unpacklo_epi8(a, b);
    const __m128i h = _mm_unpackhi_epi8(a, b);
    lo = _mm_unpacklo_epi16(l, h);
    hi = _mm_unpackhi_epi16(l, h);
}

// The inverse of interleave_run: three byte riffles and an exchange of 8-byte halves (each
// unpack pair rotates bits of the element index; these four undo the two above).
inline void deinterleave_run(__m128i lo, __m128i hi, __m128i& a, __m128i& b) {
    for (int i = 0; i < 3; ++i) {
        const __m128i l = _mm_unpacklo_epi8(lo, hi);
        hi = _mm_unpackhi_epi8(lo, hi);
        lo = l;
    }
    a = _mm_unpacklo_epi64(lo, hi);
    b = _mm_unpackhi_epi64(lo, hi);
}

// Block rows r0..r3 (16 values each) to the two runs; variant 0 rotates rows 2 and 3, variant 1
// rows 0 and 1.
inline void swizzle_rows(__m128i r0, __m128i r1, __m128i r2, __m128i r3, uint32_t variant,
                         __m128i out[4]) {
    if (variant) {
        r0 = rotate_row(r0);
        r1 = rotate_row(r1);
    } else {
        r2 = rotate_row(r2);
        r3 = rotate_row(r3);
    }
    interleave_run(r0, r2, out[0], out[1]);
    interleave_run(r1, r3, out[2], out[3]);
}

inline void unswizzle_rows(const __m128i in[4], uint32_t variant, __m128i rows[4]) {
    deinterleave_run(in[0], in[1], rows[0], rows[2]);
    deinterleave_run(in[2], in[3], rows[1], rows[3]);
    if (variant) {
        rows[0] = rotate_row(rows[0]);
        rows[1] = rotate_row(rows[1]);
    } else {
        rows[2] = rotate_row(rows[2]);
        rows[3] = rotate_row(rows[3]);
    }
}

inline __m128i load16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store16(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// 4-bit blocks work on bytes that pair the pixel of block row r (low nibble) with the pixel of
// row r + 2 (high nibble), which is how a swizzled byte holds them. For two neighbouring blocks,
// the pair bytes of even pixels (both blocks) and of odd pixels are the two blocks' runs after
// three unpack steps, and the other way round.
template <__m128i (*Lo)(__m128i, __m128i), __m128i (*Hi)(__m128i, __m128i)>
inline void unpack_step(__m128i& lo, __m128i& hi) {
    const __m128i l = Lo(lo, hi);
    hi = Hi(lo, hi);
    lo = l;
}
inline __m128i lo8(__m128i a, __m128i b) {
    return _mm_unpacklo_epi8(a, b);
}
inline __m128i hi8(__m128i a, __m128i b) {
    return _mm_unpackhi_epi8(a, b);
}
inline __m128i lo16(__m128i a, __m128i b) {
    return _mm_unpacklo_epi16(a, b);
}
inline __m128i hi16(__m128i a, __m128i b) {
    return _mm_unpackhi_epi16(a, b);
}
inline __m128i lo64(__m128i a, __m128i b) {
    return _mm_unpacklo_epi64(a, b);
}
inline __m128i hi64(__m128i a, __m128i b) {
    return _mm_unpackhi_epi64(a, b);
}

// even/odd pair bytes (block 0 in the low 8 bytes) to the runs of block 0 and block 1.
inline void pairs_to_runs(__m128i& even_run0, __m128i& odd_run1) {
    unpack_step<lo8, hi8>(even_run0, odd_run1);
    unpack_step<lo64, hi64>(even_run0, odd_run1);
    unpack_step<lo8, hi8>(even_run0, odd_run1);
}
inline void runs_to_pairs(__m128i& run0_even, __m128i& run1_odd) {
    unpack_step<lo16, hi16>(run0_even, run1_odd);
    unpack_step<lo8, hi8>(run0_even, run1_odd);
    unpack_step<lo8, hi8>(run0_even, run1_odd);
}

// Pixel x to x ^ 4 inside each 8-pixel group: 2-byte pairs change places in each 4 bytes.
inline __m128i rotate_row4(__m128i v) {
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
}

// Rows a (low nibbles) and b (high nibbles) to pair bytes of even and odd pixels.
inline void pair_nibbles(__m128i a, __m128i b, __m128i& even, __m128i& odd) {
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_set1_epi8(char(0xF0));
    even = _mm_or_si128(_mm_and_si128(a, low), _mm_slli_epi16(_mm_and_si128(b, low), 4));
    odd = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(a, 4), low), _mm_and_si128(b, high));
}

// The inverse of pair_nibbles.
inline void split_nibbles(__m128i even, __m128i odd, __m128i& a, __m128i& b) {
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_set1_epi8(char(0xF0));
    a = _mm_or_si128(_mm_and_si128(even, low), _mm_slli_epi16(_mm_and_si128(odd, low), 4));
    b = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(even, 4), low), _mm_and_si128(odd, high));
}

inline __m128i load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void store8(uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}
#endif

// One 4-row band of an 8-bit image; `band` points at row y0 of the buffer, `work` holds 4·W.
void swizzle_band8(uint8_t* band, uint8_t* work, uint32_t width_px, uint32_t variant) {
    std::memcpy(work, band, size_t(width_px) * k_block_h);
    for (uint32_t x0 = 0; x0 < width_px; x0 += k_block_w) {
        const uint8_t* rows[4] = {work + x0, work + width_px + x0, work + 2 * width_px + x0,
                                  work + 3 * width_px + x0};
        uint8_t* run0 = band + 2 * x0;
        uint8_t* run1 = band + 2 * width_px + 2 * x0;
#if QM_SWIZZLE_SSE2
        __m128i out[4];
        swizzle_rows(load16(rows[0]), load16(rows[1]), load16(rows[2]), load16(rows[3]), variant,
                     out);
        store16(run0, out[0]);
        store16(run0 + 16, out[1]);
        store16(run1, out[2]);
        store16(run1 + 16, out[3]);
#else
        swizzle_block8_scalar(rows, run0, run1, variant);
#endif
    }
}

void unswizzle_band8(uint8_t* band, uint8_t* work, uint32_t width_px, uint32_t variant) {
    std::memcpy(work, band, size_t(width_px) * k_block_h);
    for (uint32_t x0 = 0; x0 < width_px; x0 += k_block_w) {
        const uint8_t* run0 = work + 2 * x0;
        const uint8_t* run1 = work + 2 * width_px + 2 * x0;
        uint8_t* rows[4] = {band + x0, band + width_px + x0, band + 2 * width_px + x0,
                            band + 3 * width_px + x0};
#if QM_SWIZZLE_SSE2
        const __m128i in[4] = {load16(run0), load16(run0 + 16), load16(run1), load16(run1 + 16)};
        __m128i out[4];
        unswizzle_rows(in, variant, out);
        for (int r = 0; r < 4; ++r)
            store16(rows[r], out[r]);
#else
        unswizzle_block8_scalar(run0, run1, rows, variant);
#endif
    }
}

#if QM_SWIZZLE_SSE2
// Calls step(column byte, two) across a 4-bit band: two blocks side by side (16 bytes of each
// row) while they fit, then a single one if left.
template <class Step> void for_block_pairs4(uint32_t width_px, Step step) {
    uint32_t x0 = 0;
    for (; x0 + 2 * k_block_w <= width_px; x0 += 2 * k_block_w)
        step(x0 / 2, true);
    if (x0 < width_px) step(x0 / 2, false);
}
#endif

// 4-bit bands: W nibbles per row, so a band is 2·W bytes; a block row is 8 bytes and a run 16.
void swizzle_band4(uint8_t* band, uint8_t* work, uint32_t width_px, uint32_t variant) {
    const uint32_t row_bytes = width_px / 2;
    std::memcpy(work, band, size_t(row_bytes) * k_block_h);
#if QM_SWIZZLE_SSE2
    auto step = [&](uint32_t col, bool two) {
        for (uint32_t r = 0; r < 2; ++r) {
            const uint8_t* ra = work + r * row_bytes + col;
            const uint8_t* rb = work + (r + 2) * row_bytes + col;
            __m128i a = two ? load16(ra) : load8(ra);
            __m128i b = two ? load16(rb) : load8(rb);
            if (variant)
                a = rotate_row4(a);
            else
                b = rotate_row4(b);
            __m128i even, odd;
            pair_nibbles(a, b, even, odd);
            pairs_to_runs(even, odd);
            uint8_t* run = band + r * width_px + 2 * col; // nibble 2·x0 of band row 2·r
            store16(run, even);
            if (two) store16(run + 16, odd);
        }
    };
    for_block_pairs4(width_px, step);
#else
    for (uint32_t x0 = 0; x0 < width_px; x0 += k_block_w) {
        const uint32_t col = x0 / 2;
        uint8_t* run0 = band + x0;            // nibble 2·x0
        uint8_t* run1 = band + width_px + x0; // nibble 2·W + 2·x0
        uint8_t rows_px[4][16];
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t x = 0; x < 16; ++x) {
                const uint8_t b = work[r * row_bytes + col + x / 2];
                rows_px[r][x] = (x & 1) ? b >> 4 : b & 0x0F;
            }
        const uint8_t* rows[4] = {rows_px[0], rows_px[1], rows_px[2], rows_px[3]};
        uint8_t runs[2][32];
        swizzle_block8_scalar(rows, runs[0], runs[1], variant);
        for (uint32_t i = 0; i < 16; ++i) {
            run0[i] = uint8_t(runs[0][2 * i] | runs[0][2 * i + 1] << 4);
            run1[i] = uint8_t(runs[1][2 * i] | runs[1][2 * i + 1] << 4);
        }
    }
#endif
}

void unswizzle_band4(uint8_t* band, uint8_t* work, uint32_t width_px, uint32_t variant) {
    const uint32_t row_bytes = width_px / 2;
    std::memcpy(work, band, size_t(row_bytes) * k_block_h);
#if QM_SWIZZLE_SSE2
    auto step = [&](uint32_t col, bool two) {
        for (uint32_t r = 0; r < 2; ++r) {
            const uint8_t* run = work + r * width_px + 2 * col;
            __m128i even = load16(run);
            __m128i odd = two ? load16(run + 16) : _mm_setzero_si128();
            runs_to_pairs(even, odd);
            __m128i a, b;
            split_nibbles(even, odd, a, b);
            if (variant)
                a = rotate_row4(a);
            else
                b = rotate_row4(b);
            uint8_t* ra = band + r * row_bytes + col;
            uint8_t* rb = band + (r + 2) * row_bytes + col;
            if (two) {
                store16(ra, a);
                store16(rb, b);
            } else {
                store8(ra, a);
                store8(rb, b);
            }
        }
    };
    for_block_pairs4(width_px, step);
#else
    for (uint32_t x0 = 0; x0 < width_px; x0 += k_block_w) {
        const uint32_t col = x0 / 2;
        const uint8_t* run0 = work + x0;
        const uint8_t* run1 = work + width_px + x0;
        uint8_t runs[2][32];
        for (uint32_t i = 0; i < 32; ++i) {
            runs[0][i] = (i & 1) ? run0[i / 2] >> 4 : run0[i / 2] & 0x0F;
            runs[1][i] = (i & 1) ? run1[i / 2] >> 4 : run1[i / 2] & 0x0F;
        }
        uint8_t rows_px[4][16];
        uint8_t* rows[4] = {rows_px[0], rows_px[1], rows_px[2], rows_px[3]};
        unswizzle_block8_scalar(runs[0], runs[1], rows, variant);
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t i = 0; i < 8; ++i)
                band[r * row_bytes + col + i] =
                    uint8_t(rows_px[r][2 * i] | rows_px[r][2 * i + 1] << 4);
    }
#endif
}

using band_fn = void (*)(uint8_t*, uint8_t*, uint32_t, uint32_t);

// Runs a band conversion over the whole image when the size is a permutation and the span holds
// it; `depth` is 4 or 8.
bool convert(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px, uint32_t depth,
             band_fn fn) {
    if (!ps2_swizzling::is_permutation_size(width_px, height_px)) return false;
    if (pixels.size() < raster_bytes(width_px, height_px, depth)) return false;
    const size_t band_bytes = size_t(width_px) * depth / 8 * k_block_h;
    std::vector<uint8_t> work(band_bytes);
    for (uint32_t y0 = 0; y0 < height_px; y0 += k_block_h)
        fn(pixels.data() + size_t(y0) * width_px * depth / 8, work.data(), width_px, (y0 >> 2) & 1);
    return true;
}

} // namespace

uint32_t ps2_swizzling::swizzle_offset(uint32_t x, uint32_t y, uint32_t width_px) {
    const uint32_t row = ((y & ~3u) | ((y & 1) << 1)) * width_px;
    const uint32_t column = 2 * (x & ~15u);
    const uint32_t group = 4 * ((((y + 2) & ~3u) + x) & 7);
    return row + column + group + ((x >> 2) & 2) + ((y >> 1) & 1);
}

bool ps2_swizzling::is_permutation_size(uint32_t width_px, uint32_t height_px) {
    return width_px > 0 && height_px > 0 && width_px % k_block_w == 0 &&
           height_px % k_block_h == 0 && width_px <= raster_limits::k_max_picture_dimension * 2 &&
           height_px <= raster_limits::k_max_picture_dimension;
}

bool ps2_swizzling::unswizzle8(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px) {
    // The band kernels of AVX2 and AVX-512 machines, when there are some.
    if (const auto kernel = best_unswizzle8_band_kernel())
        return unswizzle8_in_place(kernel, pixels, width_px, height_px);
    return convert(pixels, width_px, height_px, 8, unswizzle_band8);
}

bool ps2_swizzling::swizzle8(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px) {
    return convert(pixels, width_px, height_px, 8, swizzle_band8);
}

bool ps2_swizzling::unswizzle4(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px) {
    if (width_px == 16) width_px = 32;
    return convert(pixels, width_px, height_px, 4, unswizzle_band4);
}

bool ps2_swizzling::swizzle4(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px) {
    return convert(pixels, width_px, height_px, 4, swizzle_band4);
}

bool ps2_swizzling::unswizzle_raster(std::span<uint8_t> pixels, uint32_t width_px,
                                     uint32_t height_px, uint32_t depth) {
    if (depth == 4) return unswizzle4(pixels, width_px, height_px);
    if (depth == 8) return unswizzle8(pixels, width_px, height_px);
    return false;
}

bool ps2_swizzling::swizzle_raster(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                                   uint32_t depth) {
    if (depth == 4) return swizzle4(pixels, width_px, height_px);
    if (depth == 8) return swizzle8(pixels, width_px, height_px);
    return false;
}

bool ps2_swizzling::unswizzle4_narrow(std::span<const uint8_t> raster, uint32_t width_px,
                                      uint32_t height_px, std::span<uint8_t> out) {
    constexpr uint32_t k_stored_width = 32;
    constexpr uint32_t k_stored_row_bytes = k_stored_width / 2;
    if (width_px == 0 || width_px > 16 || height_px == 0 || height_px % k_block_h != 0)
        return false;
    const uint64_t stored_bytes = uint64_t(k_stored_row_bytes) * height_px;
    if (raster.size() < stored_bytes || out.size() < raster_bytes(width_px, height_px, 4))
        return false;
    std::vector<uint8_t> work(raster.begin(), raster.begin() + stored_bytes);
    if (!unswizzle4(work, k_stored_width, height_px)) return false;
    if (width_px % 2 == 0) {
        const uint32_t row_bytes = width_px / 2;
        for (uint32_t r = 0; r < height_px; ++r)
            std::memcpy(out.data() + size_t(r) * row_bytes,
                        work.data() + size_t(r) * k_stored_row_bytes, row_bytes);
        return true;
    }
    // Odd widths: the image is one nibble stream, so rows do not start on byte boundaries.
    std::fill(out.begin(), out.begin() + raster_bytes(width_px, height_px, 4), 0);
    for (uint32_t r = 0; r < height_px; ++r)
        for (uint32_t x = 0; x < width_px; ++x) {
            const uint32_t from = r * k_stored_width + x;
            const uint32_t to = r * width_px + x;
            const uint8_t v = (from & 1) ? work[from / 2] >> 4 : work[from / 2] & 0x0F;
            out[to / 2] |= uint8_t((to & 1) ? v << 4 : v);
        }
    return true;
}

bool ps2_swizzling::plain_copy(std::span<const uint8_t> raster, uint32_t width_px,
                               uint32_t height_px, uint32_t depth, bool swizzled,
                               std::vector<uint8_t>& out, bool* unswizzled) {
    if (unswizzled) *unswizzled = false;
    const uint64_t need = raster_bytes(width_px, height_px, depth);
    if (raster.size() < need) return false;
    out.assign(raster.begin(), raster.begin() + need);
    if (!swizzled) return true;
    bool done = false;
    if (!(ps2_region::swizzled_region(width_px, height_px, depth) ==
          ps2_region::extent{width_px, height_px})) {
        // Levels below the transfer minimum are stored as a wider or taller region; when the data
        // does not hold that region the pixels are taken as they stand, like any size that is no
        // permutation.
        std::vector<uint8_t> picture(need);
        done = ps2_region::unswizzle_padded(raster, width_px, height_px, depth, picture);
        if (done) out.swap(picture);
    } else {
        done = unswizzle_raster(out, width_px, height_px, depth);
    }
    if (unswizzled) *unswizzled = done;
    return true;
}

uint32_t ps2_swizzling::clut_slot(uint32_t i) {
    const uint32_t g = (i >> 3) & 3;
    if (g == 1) return i + 8;
    if (g == 2) return i - 8;
    return i;
}

} // namespace quillmap
