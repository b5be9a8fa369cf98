#include "raster/dxt_8888_kernels.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(QUILLMAP_NO_SIMD)
#define QM_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace quillmap {

#if QM_X86_KERNELS
namespace {

// The colour part of each kernel mirrors dxt.cpp step by step in 16-bit lanes. An endpoint's
// lanes are blue, green, red, alpha, so that packing the lanes to bytes gives the output word.
// Field widening is pixel_format.h's bit replication, f·33 >> 2 (five bits) and f·65 >> 4 (six),
// the shifts done as high-half multiplies (x >> s equals the high half of x·2^(16-s)); the
// divisions by 3, 5 and 7 are high-half multiplies by 21846, 13108 and 9363, exact for every sum
// the decoders form (at most 7·255).

inline uint32_t load_u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4); // little-endian target, as the format requires
    return v;
}

inline __m128i lanes(short a, short b, short c, short d) {
    return _mm_setr_epi16(a, b, c, d, a, b, c, d);
}

// The four colour words of a colour block. `dxt1`: opaque alpha and the three-colour form when
// c0 <= c1; otherwise alpha 0 (added per pixel) and always four colours.
template <bool Dxt1> inline __m128i colour_words(const uint8_t* colour) {
    const uint32_t c01 = load_u32(colour);
    __m128i v = _mm_cvtsi32_si128(int(c01));
    v = _mm_unpacklo_epi16(v, v);
    v = _mm_unpacklo_epi32(v, v); // c0 ×4, c1 ×4
    // Each field to the top of its lane, then down to its own width.
    const __m128i top = _mm_and_si128(_mm_mullo_epi16(v, lanes(1 << 11, 1 << 5, 1, 0)),
                                      lanes(short(0xF800), short(0xFC00), short(0xF800), 0));
    const __m128i field = _mm_mulhi_epu16(top, lanes(1 << 5, 1 << 6, 1 << 5, 0));
    // widen: f << 3 | f >> 2 = f·33 >> 2 (five bits), f << 2 | f >> 4 = f·65 >> 4 (six).
    __m128i e = _mm_mulhi_epu16(_mm_mullo_epi16(field, lanes(33, 65, 33, 0)),
                                lanes(1 << 14, 1 << 12, 1 << 14, 0));
    if constexpr (Dxt1) e = _mm_or_si128(e, lanes(0, 0, 0, 0xFF));
    const __m128i swapped = _mm_shuffle_epi32(e, _MM_SHUFFLE(1, 0, 3, 2)); // e1, e0
    // (2·e0 + e1) / 3 and (e0 + 2·e1) / 3 in one go.
    const __m128i thirds =
        _mm_mulhi_epu16(_mm_add_epi16(_mm_add_epi16(e, e), swapped), _mm_set1_epi16(21846));
    __m128i mixed = thirds;
    if constexpr (Dxt1) {
        // Three colours when c0 <= c1: the halfway colour and transparent black.
        const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_add_epi16(e, swapped), 1),
                                           _mm_setr_epi32(-1, -1, 0, 0));
        const uint32_t c0 = c01 & 0xFFFF, c1 = c01 >> 16;
        const __m128i four = _mm_set1_epi32(-int32_t(c0 > c1));
        mixed = _mm_or_si128(_mm_and_si128(four, thirds), _mm_andnot_si128(four, half));
    }
    return _mm_packus_epi16(e, mixed); // words 0, 1, 2, 3
}

// 16 alpha bytes of a DXT3 block in pixel order (4-bit values times 17, as dxt.cpp has them).
inline __m128i dxt3_alphas(const uint8_t* block) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i nibbles =
        _mm_unpacklo_epi8(_mm_and_si128(a, low), _mm_and_si128(_mm_srli_epi16(a, 4), low));
    return _mm_or_si128(nibbles, _mm_slli_epi16(nibbles, 4));
}

// The eight-entry alpha table of a DXT5 block in 16-bit lanes.
inline __m128i dxt5_table(const uint8_t* block) {
    const uint32_t a0 = block[0], a1 = block[1];
    const __m128i v0 = _mm_set1_epi16(short(a0)), v1 = _mm_set1_epi16(short(a1));
    const __m128i eight =
        _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(v0, _mm_setr_epi16(7, 0, 6, 5, 4, 3, 2, 1)),
                                      _mm_mullo_epi16(v1, _mm_setr_epi16(0, 7, 1, 2, 3, 4, 5, 6))),
                        _mm_set1_epi16(9363));
    const __m128i six = _mm_or_si128(
        _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(v0, _mm_setr_epi16(5, 0, 4, 3, 2, 1, 0, 0)),
                                      _mm_mullo_epi16(v1, _mm_setr_epi16(0, 5, 1, 2, 3, 4, 0, 0))),
                        _mm_set1_epi16(13108)),
        _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, 255));
    const __m128i use_eight = _mm_set1_epi32(-int32_t(a0 > a1));
    return _mm_or_si128(_mm_and_si128(use_eight, eight), _mm_andnot_si128(use_eight, six));
}

inline uint64_t dxt5_index_bits(const uint8_t* block) {
    uint64_t bits = 0;
    std::memcpy(&bits, block + 2, 6);
    return bits; // little-endian target
}

// 16 alpha bytes of a DXT5 block in pixel order (baseline form: one table read per pixel).
inline __m128i dxt5_alphas(const uint8_t* block) {
    alignas(16) uint8_t table[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(table),
                    _mm_packus_epi16(dxt5_table(block), _mm_setzero_si128()));
    const uint64_t bits = dxt5_index_bits(block);
    alignas(16) uint8_t alpha[16];
    for (uint32_t k = 0; k < 16; ++k)
        alpha[k] = table[(bits >> (3 * k)) & 7];
    return _mm_load_si128(reinterpret_cast<const __m128i*>(alpha));
}

// Alpha bytes (pixel order) of rows 0..3 as the top bytes of 32-bit words.
inline void alpha_rows(__m128i alpha, __m128i rows[4]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a01 = _mm_unpacklo_epi8(zero, alpha), a23 = _mm_unpackhi_epi8(zero, alpha);
    rows[0] = _mm_unpacklo_epi16(zero, a01);
    rows[1] = _mm_unpackhi_epi16(zero, a01);
    rows[2] = _mm_unpacklo_epi16(zero, a23);
    rows[3] = _mm_unpackhi_epi16(zero, a23);
}

inline void store_row(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// --- SSE2: each pixel picks its word by two mask selections --------------------------------

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

enum class kind { dxt1, dxt3, dxt5 };

template <kind K>
void decode_row_sse2(const uint8_t* blocks, uint32_t count, uint8_t* out, size_t pitch) {
    constexpr size_t block_bytes = K == kind::dxt1 ? 8 : 16;
    for (uint32_t i = 0; i < count; ++i, blocks += block_bytes, out += 16) {
        const uint8_t* colour = K == kind::dxt1 ? blocks : blocks + 8;
        const __m128i words = colour_words<K == kind::dxt1>(colour);
        const __m128i w0 = _mm_shuffle_epi32(words, 0x00), w1 = _mm_shuffle_epi32(words, 0x55);
        const __m128i w2 = _mm_shuffle_epi32(words, 0xAA), w3 = _mm_shuffle_epi32(words, 0xFF);
        __m128i alpha[4] = {};
        if constexpr (K == kind::dxt3) alpha_rows(dxt3_alphas(blocks), alpha);
        if constexpr (K == kind::dxt5) alpha_rows(dxt5_alphas(blocks), alpha);
        const __m128i indices = _mm_set1_epi32(int(load_u32(colour + 4)));
        __m128i bit0 = _mm_setr_epi32(1 << 0, 1 << 2, 1 << 4, 1 << 6);
        for (uint32_t r = 0; r < 4; ++r) {
            const __m128i bit1 = _mm_add_epi32(bit0, bit0);
            const __m128i low = _mm_cmpeq_epi32(_mm_and_si128(indices, bit0), bit0);
            const __m128i high = _mm_cmpeq_epi32(_mm_and_si128(indices, bit1), bit1);
            __m128i row = select(high, select(low, w3, w2), select(low, w1, w0));
            if constexpr (K != kind::dxt1) row = _mm_or_si128(row, alpha[r]);
            store_row(out + r * pitch, row);
            bit0 = _mm_slli_epi32(bit0, 8);
        }
    }
}

// --- AVX2: two rows per step, each pixel's word fetched by a lane permute -----------------

__attribute__((target("avx2"))) inline __m256i two_rows(__m128i a, __m128i b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}

template <kind K>
__attribute__((target("avx2"))) void decode_row_avx2(const uint8_t* blocks, uint32_t count,
                                                     uint8_t* out, size_t pitch) {
    constexpr size_t block_bytes = K == kind::dxt1 ? 8 : 16;
    const __m256i shifts = _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14);
    const __m256i alpha_shifts = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
    const __m256i three = _mm256_set1_epi32(3), seven = _mm256_set1_epi32(7);
    for (uint32_t i = 0; i < count; ++i, blocks += block_bytes, out += 16) {
        const uint8_t* colour = K == kind::dxt1 ? blocks : blocks + 8;
        const __m256i words = _mm256_broadcastsi128_si256(colour_words<K == kind::dxt1>(colour));
        const uint32_t indices = load_u32(colour + 4);
        __m256i rows01 = _mm256_permutevar8x32_epi32(
            words,
            _mm256_and_si256(_mm256_srlv_epi32(_mm256_set1_epi32(int(indices)), shifts), three));
        __m256i rows23 = _mm256_permutevar8x32_epi32(
            words, _mm256_and_si256(
                       _mm256_srlv_epi32(_mm256_set1_epi32(int(indices >> 16)), shifts), three));
        if constexpr (K == kind::dxt3) {
            __m128i alpha[4];
            alpha_rows(dxt3_alphas(blocks), alpha);
            rows01 = _mm256_or_si256(rows01, two_rows(alpha[0], alpha[1]));
            rows23 = _mm256_or_si256(rows23, two_rows(alpha[2], alpha[3]));
        } else if constexpr (K == kind::dxt5) {
            // The table as words with the alpha in the top byte, fetched like the colours.
            const __m256i table = _mm256_slli_epi32(_mm256_cvtepu16_epi32(dxt5_table(blocks)), 24);
            const uint64_t bits = dxt5_index_bits(blocks);
            const __m256i first = _mm256_and_si256(
                _mm256_srlv_epi32(_mm256_set1_epi32(int(bits & 0xFFFFFF)), alpha_shifts), seven);
            const __m256i second = _mm256_and_si256(
                _mm256_srlv_epi32(_mm256_set1_epi32(int(bits >> 24)), alpha_shifts), seven);
            rows01 = _mm256_or_si256(rows01, _mm256_permutevar8x32_epi32(table, first));
            rows23 = _mm256_or_si256(rows23, _mm256_permutevar8x32_epi32(table, second));
        }
        store_row(out, _mm256_castsi256_si128(rows01));
        store_row(out + pitch, _mm256_extracti128_si256(rows01, 1));
        store_row(out + 2 * pitch, _mm256_castsi256_si128(rows23));
        store_row(out + 3 * pitch, _mm256_extracti128_si256(rows23, 1));
    }
}

const dxt_8888_kernels k_sse2 = {decode_row_sse2<kind::dxt1>, decode_row_sse2<kind::dxt3>,
                                 decode_row_sse2<kind::dxt5>};
const dxt_8888_kernels k_avx2 = {decode_row_avx2<kind::dxt1>, decode_row_avx2<kind::dxt3>,
                                 decode_row_avx2<kind::dxt5>};

} // namespace
#endif

const dxt_8888_kernels* dxt_8888_kernels_for(simd_isa isa) {
    if (!simd_isa_available(isa)) return nullptr;
#if QM_X86_KERNELS
    if (isa == simd_isa::sse2) return &k_sse2;
    // The AVX-512 machines run the AVX2 kernels; wider registers gain nothing per block.
    if (isa == simd_isa::avx2) return &k_avx2;
#endif
    return nullptr;
}

const dxt_8888_kernels* best_dxt_8888_kernels() {
    static const dxt_8888_kernels* best = [] {
        const auto* avx2 = dxt_8888_kernels_for(simd_isa::avx2);
        return avx2 ? avx2 : dxt_8888_kernels_for(simd_isa::sse2);
    }();
    return best;
}

} // namespace quillmap
