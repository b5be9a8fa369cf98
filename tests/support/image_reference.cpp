#include "image_reference.h"

#include <algorithm>

namespace quillmap {

namespace {
uint32_t u16(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at] | b[at + 1] << 8);
}
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}
void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}

// 16-bit TIM2 colours: red in bits 0-4, green 5-9, blue 10-14, alpha in bit 15.
void colour16(uint32_t v, uint8_t* rgba) {
    rgba[0] = uint8_t((v & 0x1F) << 3);
    rgba[1] = uint8_t(((v >> 5) & 0x1F) << 3);
    rgba[2] = uint8_t(((v >> 10) & 0x1F) << 3);
    rgba[3] = (v & 0x8000) ? 0x80 : 0;
}
} // namespace

reference_picture decode_tim2_reference(const std::vector<uint8_t>& file) {
    reference_picture out;
    if (file.size() < 16 || file[0] != 'T' || file[1] != 'I' || file[2] != 'M' || file[3] != '2') {
        out.error = "no TIM2 magic";
        return out;
    }
    const size_t at = file[5] == 1 ? 128 : 16;
    if (file.size() < at + 48) {
        out.error = "short picture header";
        return out;
    }
    const uint32_t clut_size = u32(file, at + 4), image_size = u32(file, at + 8);
    const uint32_t header_size = u16(file, at + 12), colours = u16(file, at + 14);
    const uint32_t clut_type = file[at + 18], image_type = file[at + 19];
    const uint32_t w = u16(file, at + 20), h = u16(file, at + 22);
    static const uint32_t depths[] = {0, 16, 24, 32, 4, 8};
    const uint32_t d = image_type < 6 ? depths[image_type] : 0;
    const size_t image_at = at + header_size, clut_at = image_at + image_size;
    if (!d || uint64_t(w) * h * d / 8 > image_size || clut_at + clut_size > file.size()) {
        out.error = "unsupported or short picture";
        return out;
    }
    out.width = w;
    out.height = h;
    out.depth = d;
    out.rgba.assign(size_t(w) * h * 4, 0);

    std::vector<uint8_t> clut;
    if (d <= 8) {
        const uint32_t entries = 1u << d, format = clut_type & 0x3F;
        const uint32_t entry_bytes = format == 1 ? 2 : format == 2 ? 3 : 4;
        out.five_bit_colour = format == 1;
        clut.assign(size_t(entries) * 4, 0);
        for (uint32_t e = 0; e < colours && e < entries && (e + 1) * entry_bytes <= clut_size;
             ++e) {
            uint8_t rgba[4];
            const size_t s = clut_at + size_t(e) * entry_bytes;
            if (entry_bytes == 2)
                colour16(u16(file, s), rgba);
            else {
                rgba[0] = file[s];
                rgba[1] = file[s + 1];
                rgba[2] = file[s + 2];
                rgba[3] = entry_bytes == 4 ? file[s + 3] : 0x80;
            }
            // CSM1 stores 256-colour CLUTs with entries 8-15 and 16-23 of each 32 exchanged.
            uint32_t index = e;
            if (entries == 256 && !(clut_type & 0x80)) {
                const uint32_t g = (e >> 3) & 3;
                index = g == 1 ? e + 8 : g == 2 ? e - 8 : e;
            }
            for (int c = 0; c < 4; ++c)
                clut[size_t(index) * 4 + c] = rgba[c];
        }
    } else {
        out.five_bit_colour = d == 16;
    }

    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint64_t i = uint64_t(y) * w + x;
            uint8_t* px = &out.rgba[i * 4];
            if (d == 4 || d == 8) {
                const uint8_t byte = file[image_at + (d == 4 ? i / 2 : i)];
                const uint32_t index = d == 8 ? byte : (i & 1) ? byte >> 4 : byte & 0x0F;
                for (int c = 0; c < 4; ++c)
                    px[c] = clut[size_t(index) * 4 + c];
            } else if (d == 16) {
                colour16(u16(file, image_at + i * 2), px);
            } else {
                const size_t s = image_at + i * (d / 8);
                px[0] = file[s];
                px[1] = file[s + 1];
                px[2] = file[s + 2];
                px[3] = d == 32 ? file[s + 3] : 0x80;
            }
        }
    return out;
}

std::vector<uint8_t> make_tim2_bytes(const tim2_layout& layout) {
    const bool palettised = layout.depth == 4 || layout.depth == 8;
    const uint32_t clut_size = palettised ? uint32_t(layout.clut.size()) : 0;
    std::vector<uint8_t> out(16 + layout.header_size, 0);
    out[0] = 'T';
    out[1] = 'I';
    out[2] = 'M';
    out[3] = '2';
    out[4] = 4;
    put16(out, 6, 1);
    const size_t at = 16;
    put32(out, at, layout.header_size + uint32_t(layout.image.size()) + clut_size);
    put32(out, at + 4, clut_size);
    put32(out, at + 8, uint32_t(layout.image.size()));
    put16(out, at + 12, layout.header_size);
    put16(out, at + 14, palettised ? 1u << layout.depth : 0);
    out[at + 17] = 1;
    out[at + 18] = palettised ? 3 : 0;
    out[at + 19] = layout.depth == 16   ? 1
                   : layout.depth == 24 ? 2
                   : layout.depth == 32 ? 3
                   : layout.depth == 4  ? 4
                                        : 5;
    put16(out, at + 20, layout.width);
    put16(out, at + 22, layout.height);
    if (layout.header_size >= 76) {
        if (layout.tag) {
            out[at + 64] = 's';
            out[at + 65] = 'w';
            out[at + 66] = 'i';
            out[at + 67] = 'z';
        }
        out[at + 72] = layout.marker;
    }
    out.insert(out.end(), layout.image.begin(), layout.image.end());
    if (palettised) out.insert(out.end(), layout.clut.begin(), layout.clut.end());
    return out;
}

std::vector<uint8_t> make_bmp_bytes(uint32_t width, uint32_t height, uint32_t depth,
                                    const std::vector<uint8_t>& top_down_rows,
                                    const std::vector<uint8_t>& palette_bgra) {
    const uint32_t row = width * depth / 8, stride = (row + 3) / 4 * 4;
    const uint32_t offset = 54 + uint32_t(palette_bgra.size());
    std::vector<uint8_t> out(offset + size_t(stride) * height, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, uint32_t(out.size()));
    put32(out, 10, offset);
    put32(out, 14, 40);
    put32(out, 18, width);
    put32(out, 22, height);
    put16(out, 26, 1);
    put16(out, 28, depth);
    put32(out, 34, stride * height);
    put32(out, 46, depth <= 8 ? 1u << depth : 0);
    std::copy(palette_bgra.begin(), palette_bgra.end(), out.begin() + 54);
    for (uint32_t y = 0; y < height; ++y)
        std::copy_n(top_down_rows.begin() + size_t(y) * row, row,
                    out.begin() + offset + size_t(height - 1 - y) * stride);
    return out;
}

} // namespace quillmap
