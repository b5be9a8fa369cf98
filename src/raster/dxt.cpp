#include "raster/dxt.h"

#include "raster/dxt_8888_kernels.h"
#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

// Each block's four colours are packed into output words once; every pixel then stores one
// whole word chosen by its index (plus its own alpha for DXT3/5).

namespace {

constexpr uint32_t k_dxt1_block = 8;
constexpr uint32_t k_dxt3_block = 16;
constexpr uint32_t k_level_size_word = 4;

enum class layout { w565, w4444, w1555, w888, w8888 };

layout layout_of(uint32_t code) {
    switch (code) {
    case pixel_code::rgb565:
        return layout::w565;
    case pixel_code::rgba4444:
        return layout::w4444;
    case pixel_code::rgb888:
        return layout::w888;
    case pixel_code::bgra8888:
        return layout::w8888;
    default:
        return layout::w1555;
    }
}

template <layout L> struct packer;
template <> struct packer<layout::w565> {
    static constexpr uint32_t size = 2;
    static uint32_t colour(uint32_t r, uint32_t g, uint32_t b, uint32_t) {
        return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    }
    static uint32_t alpha_bits(uint32_t) { return 0; }
};
template <> struct packer<layout::w4444> {
    static constexpr uint32_t size = 2;
    static uint32_t colour(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
        return (r >> 4) << 12 | (g >> 4) << 8 | (b >> 4) << 4 | (a >> 4);
    }
    static uint32_t alpha_bits(uint32_t a) { return a >> 4; }
};
template <> struct packer<layout::w1555> {
    static constexpr uint32_t size = 2;
    static uint32_t colour(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
        return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3) | (a ? 0x8000 : 0);
    }
    static uint32_t alpha_bits(uint32_t a) { return a ? 0x8000 : 0; }
};
template <> struct packer<layout::w888> {
    static constexpr uint32_t size = 3;
    static uint32_t colour(uint32_t r, uint32_t g, uint32_t b, uint32_t) {
        return r | g << 8 | b << 16;
    }
    static uint32_t alpha_bits(uint32_t) { return 0; }
};
template <> struct packer<layout::w8888> {
    static constexpr uint32_t size = 4;
    static uint32_t colour(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
        return b | g << 8 | r << 16 | a << 24;
    }
    static uint32_t alpha_bits(uint32_t a) { return a << 24; }
};

template <uint32_t Size> inline void store(uint8_t* p, uint32_t w) {
    if constexpr (Size == 2) {
        const uint16_t v = uint16_t(w);
        std::memcpy(p, &v, 2); // little-endian target, as the format requires
    } else if constexpr (Size == 3) {
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
        p[2] = uint8_t(w >> 16);
    } else {
        std::memcpy(p, &w, 4);
    }
}

enum class kind { dxt1, dxt3, dxt5 };

// The four colour words of a colour block; `four` forces the four-colour form (DXT3/5).
// `opaque` is the alpha of the opaque colours: 0xFF for DXT1, 0 where the alpha comes per pixel
// and is added to the word afterwards.
template <layout L>
inline void colour_words(const uint8_t* block, bool four, uint32_t opaque, uint32_t words[4]) {
    using P = packer<L>;
    const uint32_t c0 = load_u16(block), c1 = load_u16(block + 2);
    const uint32_t r0 = widen_5bit(c0 >> 11), g0 = widen_6bit(c0 >> 5), b0 = widen_5bit(c0);
    const uint32_t r1 = widen_5bit(c1 >> 11), g1 = widen_6bit(c1 >> 5), b1 = widen_5bit(c1);
    words[0] = P::colour(r0, g0, b0, opaque);
    words[1] = P::colour(r1, g1, b1, opaque);
    if (four || c0 > c1) {
        words[2] = P::colour((2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3, opaque);
        words[3] = P::colour((r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3, opaque);
    } else {
        words[2] = P::colour((r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2, opaque);
        words[3] = P::colour(0, 0, 0, 0);
    }
}

// The 16 alpha values of a DXT3 or DXT5 block, as bits to add to a colour word.
template <layout L, kind K> inline void block_alphas(const uint8_t* block, uint32_t alpha[16]) {
    using P = packer<L>;
    if constexpr (K == kind::dxt3) {
        for (uint32_t k = 0; k < 16; ++k) {
            const uint8_t b = block[k / 2];
            alpha[k] = P::alpha_bits(widen_4bit(k & 1 ? b >> 4 : b));
        }
    } else if constexpr (K == kind::dxt5) {
        const uint32_t a0 = block[0], a1 = block[1];
        uint8_t table[8];
        table[0] = uint8_t(a0);
        table[1] = uint8_t(a1);
        if (a0 > a1) {
            for (uint32_t i = 1; i <= 6; ++i)
                table[i + 1] = uint8_t(((7 - i) * a0 + i * a1) / 7);
        } else {
            for (uint32_t i = 1; i <= 4; ++i)
                table[i + 1] = uint8_t(((5 - i) * a0 + i * a1) / 5);
            table[6] = 0;
            table[7] = 255;
        }
        uint64_t bits = 0;
        for (uint32_t i = 0; i < 6; ++i)
            bits |= uint64_t(block[2 + i]) << (8 * i);
        for (uint32_t k = 0; k < 16; ++k)
            alpha[k] = P::alpha_bits(table[(bits >> (3 * k)) & 7]);
    }
}

// One block into a level of w×h pixels at `out` (row pitch w pixels).
template <layout L, kind K>
inline void decode_block(uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, const uint8_t* block,
                         uint8_t* out) {
    using P = packer<L>;
    constexpr uint32_t size = P::size;
    const uint8_t* colour = K == kind::dxt1 ? block : block + 8;
    uint32_t words[4];
    colour_words<L>(colour, K != kind::dxt1, K == kind::dxt1 ? 0xFF : 0, words);
    const uint32_t indices = load_u32(colour + 4);
    uint32_t alpha[16] = {};
    if constexpr (K != kind::dxt1) block_alphas<L, K>(block, alpha);
    auto pixel = [&](uint32_t k) {
        uint32_t word = words[(indices >> (2 * k)) & 3];
        if constexpr (K != kind::dxt1) word |= alpha[k];
        return word;
    };
    if (w - x0 >= 4 && h - y0 >= 4) {
        // Whole block: fixed bounds, so the loops unroll.
        for (uint32_t row = 0; row < 4; ++row) {
            uint8_t* p = out + (size_t(y0 + row) * w + x0) * size;
            for (uint32_t col = 0; col < 4; ++col)
                store<size>(p + col * size, pixel(row * 4 + col));
        }
        return;
    }
    const uint32_t cols = std::min(4u, w - x0);
    const uint32_t rows = std::min(4u, h - y0);
    for (uint32_t row = 0; row < rows; ++row) {
        uint8_t* p = out + (size_t(y0 + row) * w + x0) * size;
        for (uint32_t col = 0; col < cols; ++col)
            store<size>(p + col * size, pixel(row * 4 + col));
    }
}

uint64_t level_blocks(uint32_t w, uint32_t h) {
    return uint64_t((w + 3) / 4) * ((h + 3) / 4);
}

template <layout L, kind K>
bool decode_levels(uint32_t w, uint32_t h, std::span<const uint8_t> input, uint8_t* out,
                   uint32_t levels) {
    constexpr uint32_t block_bytes = K == kind::dxt1 ? k_dxt1_block : k_dxt3_block;
    constexpr uint32_t size = packer<L>::size;
    // 8888 output goes through the vector kernels where the processor has them.
    dxt_8888_row_fn row_kernel = nullptr;
    if constexpr (L == layout::w8888) {
        if (const auto* kernels = best_dxt_8888_kernels())
            row_kernel = K == kind::dxt1   ? kernels->dxt1
                         : K == kind::dxt3 ? kernels->dxt3
                                           : kernels->dxt5;
    }
    uint64_t in_pos = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        if (level > 0) {
            if (!fits(in_pos, k_level_size_word, input.size())) return false;
            in_pos += k_level_size_word;
            w /= 2;
            h /= 2;
            if (w == 0 && h == 0) continue; // empty levels only skip their size word
        }
        const uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
        for (uint32_t by = 0; by < bh; ++by) {
            uint32_t bx = 0;
            if (row_kernel && by * 4 + 4 <= h) {
                // The whole blocks of the row through the vector kernel, as far as input lasts.
                const uint32_t whole = w / 4;
                const uint32_t fit =
                    uint32_t(std::min<uint64_t>(whole, (input.size() - in_pos) / block_bytes));
                row_kernel(input.data() + in_pos, fit, out + size_t(by) * 4 * w * size,
                           size_t(w) * size);
                in_pos += uint64_t(fit) * block_bytes;
                if (fit < whole) return false;
                bx = whole;
            }
            for (; bx < bw; ++bx) {
                if (!fits(in_pos, block_bytes, input.size())) return false;
                decode_block<L, K>(bx * 4, by * 4, w, h, input.data() + in_pos, out);
                in_pos += block_bytes;
            }
        }
        out += size_t(w) * h * size;
    }
    return true;
}

template <kind K>
bool decode(uint32_t w, uint32_t h, std::span<const uint8_t> input, std::span<uint8_t> output,
            uint32_t levels, uint32_t code) {
    levels = std::max(levels, 1u);
    if (w > raster_limits::k_max_picture_dimension || h > raster_limits::k_max_picture_dimension)
        return false;
    if (output.size() < dxt_output_bytes(w, h, levels, code)) return false;
    uint8_t* out = output.data();
    switch (layout_of(code)) {
    case layout::w565:
        return decode_levels<layout::w565, K>(w, h, input, out, levels);
    case layout::w4444:
        return decode_levels<layout::w4444, K>(w, h, input, out, levels);
    case layout::w888:
        return decode_levels<layout::w888, K>(w, h, input, out, levels);
    case layout::w8888:
        return decode_levels<layout::w8888, K>(w, h, input, out, levels);
    default:
        return decode_levels<layout::w1555, K>(w, h, input, out, levels);
    }
}

template <kind K>
bool decode_one(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const uint8_t* block,
                std::span<uint8_t> out, uint32_t code) {
    if (out.size() < uint64_t(w) * h * dxt_pixel_size(code)) return false;
    if (x >= w || y >= h) return true; // wholly outside the level: nothing to write
    switch (layout_of(code)) {
    case layout::w565:
        decode_block<layout::w565, K>(x, y, w, h, block, out.data());
        break;
    case layout::w4444:
        decode_block<layout::w4444, K>(x, y, w, h, block, out.data());
        break;
    case layout::w888:
        decode_block<layout::w888, K>(x, y, w, h, block, out.data());
        break;
    case layout::w8888:
        decode_block<layout::w8888, K>(x, y, w, h, block, out.data());
        break;
    default:
        decode_block<layout::w1555, K>(x, y, w, h, block, out.data());
        break;
    }
    return true;
}

} // namespace

uint32_t dxt_pixel_size(uint32_t code) {
    switch (layout_of(code)) {
    case layout::w888:
        return 3;
    case layout::w8888:
        return 4;
    default:
        return 2;
    }
}

uint32_t pack_pixel(uint32_t code, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    switch (layout_of(code)) {
    case layout::w565:
        return packer<layout::w565>::colour(r, g, b, a);
    case layout::w4444:
        return packer<layout::w4444>::colour(r, g, b, a);
    case layout::w888:
        return packer<layout::w888>::colour(r, g, b, a);
    case layout::w8888:
        return packer<layout::w8888>::colour(r, g, b, a);
    default:
        return packer<layout::w1555>::colour(r, g, b, a);
    }
}

uint64_t dxt_input_bytes(uint32_t w, uint32_t h, uint32_t levels, uint32_t block_bytes) {
    levels = std::max(levels, 1u);
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        if (level > 0) {
            w /= 2;
            h /= 2;
            total += k_level_size_word;
            if (w == 0 && h == 0) return total + uint64_t(levels - 1 - level) * k_level_size_word;
        }
        total += level_blocks(w, h) * block_bytes;
    }
    return total;
}

uint64_t dxt_output_bytes(uint32_t w, uint32_t h, uint32_t levels, uint32_t code) {
    levels = std::max(levels, 1u);
    const uint64_t size = dxt_pixel_size(code);
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels && (w || h); ++level) {
        total += uint64_t(w) * h * size;
        w /= 2;
        h /= 2;
    }
    return total;
}

bool decode_dxt1(uint32_t w, uint32_t h, std::span<const uint8_t> input, std::span<uint8_t> output,
                 uint32_t levels, uint32_t code) {
    return decode<kind::dxt1>(w, h, input, output, levels, code);
}
bool decode_dxt3(uint32_t w, uint32_t h, std::span<const uint8_t> input, std::span<uint8_t> output,
                 uint32_t levels, uint32_t code) {
    return decode<kind::dxt3>(w, h, input, output, levels, code);
}
bool decode_dxt5(uint32_t w, uint32_t h, std::span<const uint8_t> input, std::span<uint8_t> output,
                 uint32_t levels, uint32_t code) {
    return decode<kind::dxt5>(w, h, input, output, levels, code);
}

bool decode_dxt1_block(uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                       std::span<const uint8_t, 8> block, std::span<uint8_t> out, uint32_t code) {
    return decode_one<kind::dxt1>(x, y, w, h, block.data(), out, code);
}
bool decode_dxt3_block(uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                       std::span<const uint8_t, 16> block, std::span<uint8_t> out, uint32_t code) {
    return decode_one<kind::dxt3>(x, y, w, h, block.data(), out, code);
}
bool decode_dxt5_block(uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                       std::span<const uint8_t, 16> block, std::span<uint8_t> out, uint32_t code) {
    return decode_one<kind::dxt5>(x, y, w, h, block.data(), out, code);
}

} // namespace quillmap
