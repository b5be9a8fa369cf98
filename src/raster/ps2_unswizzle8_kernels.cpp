#include "raster/ps2_unswizzle8_kernels.h"

#include "raster/ps2_swizzling.h"
#include "raster/raster_limits.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(QUILLMAP_NO_SIMD)
#define QM_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace quillmap {

// A band is a row of 16×4 pixel blocks; block b keeps its rows 0 and 2 in a 32-byte run at
// 32·b and its rows 1 and 3 in a run at 2·W + 32·b. Inside a run the bytes are interleaved in a
// fixed way that depends only on the variant, so each output row of a block is a byte permute
// of one run.

namespace {

constexpr uint32_t k_block_w = 16;

// For each variant: the place inside its run (0..31) of the pixel at block row r, column x.
struct run_places {
    std::array<std::array<std::array<uint8_t, 16>, 4>, 2> place{};
    run_places() {
        for (uint32_t v = 0; v < 2; ++v)
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t x = 0; x < 16; ++x)
                    place[v][r][x] = uint8_t(
                        (ps2_swizzling::swizzle_offset(x, r + 4 * v, k_block_w) - 64 * v) & 31);
    }
};

const run_places& places() {
    static const run_places table;
    return table;
}

void unswizzle_band_portable(const uint8_t* swizzled, uint8_t* rows, uint32_t w, uint32_t variant) {
    const auto& place = places().place[variant];
    for (uint32_t x0 = 0; x0 < w; x0 += k_block_w) {
        const uint8_t* run_even = swizzled + 2 * x0;
        const uint8_t* run_odd = swizzled + 2 * size_t(w) + 2 * x0;
        for (uint32_t r = 0; r < 4; ++r) {
            const uint8_t* run = r & 1 ? run_odd : run_even;
            uint8_t* out = rows + size_t(r) * w + x0;
            for (uint32_t x = 0; x < k_block_w; ++x)
                out[x] = run[place[r][x]];
        }
    }
}

#if QM_X86_KERNELS
// --- AVX2: two blocks per step, each row an OR of two in-lane byte shuffles ---------------------

// For each variant and row: shuffle masks picking the row's bytes from the low and from the high
// 16 bytes of its run (0x80 elsewhere), repeated in both 128-bit lanes.
struct avx2_masks {
    alignas(32) uint8_t from_low[2][4][32];
    alignas(32) uint8_t from_high[2][4][32];
    avx2_masks() {
        for (uint32_t v = 0; v < 2; ++v)
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t i = 0; i < 32; ++i) {
                    const uint8_t p = places().place[v][r][i & 15];
                    from_low[v][r][i] = p < 16 ? p : 0x80;
                    from_high[v][r][i] = p < 16 ? 0x80 : uint8_t(p - 16);
                }
    }
};

const avx2_masks& masks_avx2() {
    static const avx2_masks table;
    return table;
}

__attribute__((target("avx2"))) void unswizzle_band_avx2(const uint8_t* swizzled, uint8_t* rows,
                                                         uint32_t w, uint32_t variant) {
    const auto& m = masks_avx2();
    __m256i lo_mask[4], hi_mask[4];
    for (int r = 0; r < 4; ++r) {
        lo_mask[r] = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.from_low[variant][r]));
        hi_mask[r] = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.from_high[variant][r]));
    }
    uint32_t x0 = 0;
    for (; x0 + 2 * k_block_w <= w; x0 += 2 * k_block_w) {
        for (uint32_t half = 0; half < 2; ++half) {
            // Runs of two neighbouring blocks: low halves in one register, high in the other.
            const uint8_t* run = swizzled + size_t(half) * 2 * w + 2 * x0;
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run + 32));
            const __m256i low = _mm256_permute2x128_si256(a, b, 0x20);
            const __m256i high = _mm256_permute2x128_si256(a, b, 0x31);
            for (uint32_t r = half; r < 4; r += 2) {
                const __m256i row = _mm256_or_si256(_mm256_shuffle_epi8(low, lo_mask[r]),
                                                    _mm256_shuffle_epi8(high, hi_mask[r]));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows + size_t(r) * w + x0), row);
            }
        }
    }
    if (x0 < w) {
        // One block left: the same masks on 128-bit halves.
        for (uint32_t half = 0; half < 2; ++half) {
            const uint8_t* run = swizzled + size_t(half) * 2 * w + 2 * x0;
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + 16));
            for (uint32_t r = half; r < 4; r += 2) {
                const __m128i row =
                    _mm_or_si128(_mm_shuffle_epi8(low, _mm256_castsi256_si128(lo_mask[r])),
                                 _mm_shuffle_epi8(high, _mm256_castsi256_si128(hi_mask[r])));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(rows + size_t(r) * w + x0), row);
            }
        }
    }
}

// --- AVX-512 VBMI: four blocks per step, each row one two-register byte permute ---------------

// For each variant and row: the index of each of the 64 row bytes of four blocks inside the 128
// bytes of their four runs.
struct vbmi_indices {
    alignas(64) uint8_t index[2][4][64];
    vbmi_indices() {
        for (uint32_t v = 0; v < 2; ++v)
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t i = 0; i < 64; ++i)
                    index[v][r][i] = uint8_t(32 * (i / 16) + places().place[v][r][i % 16]);
    }
};

const vbmi_indices& indices_vbmi() {
    static const vbmi_indices table;
    return table;
}

__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) void
unswizzle_band_vbmi(const uint8_t* swizzled, uint8_t* rows, uint32_t w, uint32_t variant) {
    const auto& t = indices_vbmi();
    __m512i index[4];
    for (int r = 0; r < 4; ++r)
        index[r] = _mm512_load_si512(t.index[variant][r]);
    for (uint32_t x0 = 0; x0 < w; x0 += 4 * k_block_w) {
        // Blocks left in this step (the last step may hold one to three): masked loads and
        // stores keep the work inside the band.
        const uint32_t blocks = w - x0 >= 4 * k_block_w ? 4 : (w - x0) / k_block_w;
        const uint64_t run_bytes = 32 * blocks;
        const __mmask64 first = run_bytes >= 64 ? ~__mmask64(0) : (__mmask64(1) << run_bytes) - 1;
        const __mmask64 second = run_bytes >= 128 ? ~__mmask64(0)
                                 : run_bytes > 64 ? (__mmask64(1) << (run_bytes - 64)) - 1
                                                  : 0;
        const __mmask64 out = blocks == 4 ? ~__mmask64(0) : (__mmask64(1) << (16 * blocks)) - 1;
        for (uint32_t half = 0; half < 2; ++half) {
            const uint8_t* run = swizzled + size_t(half) * 2 * w + 2 * x0;
            const __m512i a = _mm512_maskz_loadu_epi8(first, run);
            const __m512i b = _mm512_maskz_loadu_epi8(second, run + 64);
            for (uint32_t r = half; r < 4; r += 2)
                _mm512_mask_storeu_epi8(rows + size_t(r) * w + x0, out,
                                        _mm512_permutex2var_epi8(a, index[r], b));
        }
    }
}
#endif

} // namespace

unswizzle8_band_fn unswizzle8_band_kernel(simd_isa isa) {
    if (!simd_isa_available(isa)) return nullptr;
    switch (isa) {
    case simd_isa::portable:
        return unswizzle_band_portable;
#if QM_X86_KERNELS
    case simd_isa::avx2:
        return unswizzle_band_avx2;
    case simd_isa::avx512vbmi:
        return unswizzle_band_vbmi;
#endif
    default:
        return nullptr;
    }
}

unswizzle8_band_fn best_unswizzle8_band_kernel() {
    static const unswizzle8_band_fn best = [] {
        for (simd_isa isa : {simd_isa::avx512vbmi, simd_isa::avx2})
            if (auto fn = unswizzle8_band_kernel(isa)) return fn;
        return unswizzle8_band_fn(nullptr);
    }();
    return best;
}

bool unswizzle8_in_place(unswizzle8_band_fn kernel, std::span<uint8_t> pixels, uint32_t width_px,
                         uint32_t height_px) {
    if (!kernel || !ps2_swizzling::is_permutation_size(width_px, height_px)) return false;
    if (pixels.size() < raster_bytes(width_px, height_px, 8)) return false;
    // Each band is copied aside (it stays in the first-level cache) and unswizzled back.
    const size_t band_bytes = size_t(width_px) * 4;
    std::vector<uint8_t> work(band_bytes);
    for (uint32_t y0 = 0; y0 < height_px; y0 += 4) {
        uint8_t* band = pixels.data() + size_t(y0) * width_px;
        std::memcpy(work.data(), band, band_bytes);
        kernel(work.data(), band, width_px, (y0 >> 2) & 1);
    }
    return true;
}

} // namespace quillmap
