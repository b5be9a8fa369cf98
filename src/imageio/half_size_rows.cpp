#include "imageio/half_size_rows.h"

#include "imageio/half_size_boxes.h"

#include <algorithm>

#if QM_HALF_WIDE
#define QM_AVX2 __attribute__((target("avx2")))
#endif

namespace quillmap {

#if QM_HALF_SSE2
using namespace half_size_detail;

namespace {
// Per pixel lane: whether it equals its horizontal neighbour in the same box and the pixel below.
inline uint32_t equal_lanes(__m128i top, __m128i bottom) {
    const __m128i neighbour = _mm_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi32(top, neighbour), _mm_cmpeq_epi32(top, bottom));
    return uint32_t(_mm_movemask_ps(_mm_castsi128_ps(same)));
}

// The row kernels: groups of boxes whose top-left pixels are stored at once (right for every
// flat box), then the others worked out one by one; the last boxes of a row one by one.
void half_row_sse2(const uint8_t* top, const uint8_t* bottom, uint8_t* target, uint32_t count,
                   const tables& k) {
    uint32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const uint8_t *t = top + 8 * x, *b = bottom + 8 * x;
        const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16));
        const uint32_t lanes = equal_lanes(t0, b0) | equal_lanes(t1, b1) << 4;
        const __m128 lefts =
            _mm_shuffle_ps(_mm_castsi128_ps(t0), _mm_castsi128_ps(t1), _MM_SHUFFLE(2, 0, 2, 0));
        _mm_storeu_ps(reinterpret_cast<float*>(target + 4 * x), lefts);
        unflat_boxes(t, b, target + 4 * x, lanes & lanes >> 1, 0x55, k);
    }
    for (; x < count; ++x)
        any_box(top + 8 * x, bottom + 8 * x, target + 4 * x, k);
}

#if QM_HALF_WIDE
QM_AVX2 inline uint32_t equal_lanes_avx2(__m256i top, __m256i bottom) {
    const __m256i neighbour = _mm256_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1));
    const __m256i same =
        _mm256_and_si256(_mm256_cmpeq_epi32(top, neighbour), _mm256_cmpeq_epi32(top, bottom));
    return uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(same)));
}

QM_AVX2 void half_row_avx2(const uint8_t* top, const uint8_t* bottom, uint8_t* target,
                           uint32_t count, const tables& k) {
    uint32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const uint8_t *t = top + 8 * x, *b = bottom + 8 * x;
        const __m256i t0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t));
        const __m256i t1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + 32));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 32));
        const uint32_t lanes = equal_lanes_avx2(t0, b0) | equal_lanes_avx2(t1, b1) << 8;
        // Even pixels of each 128-bit half, then the halves in order.
        const __m256 lefts = _mm256_shuffle_ps(_mm256_castsi256_ps(t0), _mm256_castsi256_ps(t1),
                                               _MM_SHUFFLE(2, 0, 2, 0));
        _mm256_storeu_pd(reinterpret_cast<double*>(target + 4 * x),
                         _mm256_permute4x64_pd(_mm256_castps_pd(lefts), _MM_SHUFFLE(3, 1, 2, 0)));
        unflat_boxes(t, b, target + 4 * x, lanes & lanes >> 1, 0x5555, k);
    }
    for (; x < count; ++x)
        any_box(top + 8 * x, bottom + 8 * x, target + 4 * x, k);
}
#endif

using half_row_kernel = void (*)(const uint8_t*, const uint8_t*, uint8_t*, uint32_t, const tables&);

half_row_kernel kernel_for(simd_isa isa) {
    switch (isa) {
    case simd_isa::sse2:
        return half_row_sse2;
#if QM_HALF_WIDE
    case simd_isa::avx2:
        return half_row_avx2;
#endif
    default:
        return nullptr;
    }
}
} // namespace

simd_isa half_size_kernel(simd_isa wanted) {
    for (simd_isa isa : {simd_isa::avx2, simd_isa::sse2})
        if (isa <= wanted && kernel_for(isa) && simd_isa_available(isa)) return isa;
    return simd_isa::portable;
}

void half_size_rows(const rgba_image& image, rgba_image& out, uint32_t first, uint32_t last,
                    simd_isa isa) {
    constexpr size_t k_lines_ahead = 4;
    const half_row_kernel kernel = kernel_for(isa);
    const tables k;
    const size_t stride = size_t(image.width) * 4;
    for (uint32_t y = first; y < last; ++y) {
        const uint8_t* top = &image.rgba[stride * 2 * y];
        // The start of the next two rows fetched ahead: the hardware prefetcher follows a row
        // only after missing on its first lines, and a wide picture's rows are pages apart.
        if (y + 1 < out.height)
            for (size_t line = 0; line < std::min<size_t>(stride, k_lines_ahead * 64); line += 64) {
                _mm_prefetch(reinterpret_cast<const char*>(top + 2 * stride + line), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(top + 3 * stride + line), _MM_HINT_T0);
            }
        kernel(top, top + stride, &out.rgba[size_t(y) * out.width * 4], out.width, k);
    }
}
#else
simd_isa half_size_kernel(simd_isa) {
    return simd_isa::portable;
}
void half_size_rows(const rgba_image&, rgba_image&, uint32_t, uint32_t, simd_isa) {}
#endif

} // namespace quillmap
