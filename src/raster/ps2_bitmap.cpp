#include "raster/ps2_bitmap.h"

#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "raster/raster_messages.h"
#include "raster/row_order.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillmap {

namespace {

bool palettised(uint32_t depth) {
    return depth == 1 || depth == 4 || depth == 8;
}

// A top-down nibble stream (pixel i in the low nibble of byte i/2 when even) to bottom-up BMP rows
// of (w + 1) / 2 bytes with the left pixel in the high nibble; and back. Used for odd widths,
// where raster rows do not start on byte boundaries.
void nibbles_to_bmp_rows(std::span<const uint8_t> stream, uint32_t w, uint32_t h,
                         std::span<uint8_t> rows) {
    const size_t row_bytes = (size_t(w) + 1) / 2;
    std::fill(rows.begin(), rows.end(), 0);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = rows.data() + size_t(h - 1 - y) * row_bytes;
        for (uint32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            const uint8_t v = (i & 1) ? stream[i / 2] >> 4 : stream[i / 2] & 0x0F;
            row[x / 2] |= uint8_t((x & 1) ? v : v << 4);
        }
    }
}

void bmp_rows_to_nibbles(std::span<const uint8_t> rows, uint32_t w, uint32_t h,
                         std::span<uint8_t> stream) {
    const size_t row_bytes = (size_t(w) + 1) / 2;
    std::fill(stream.begin(), stream.end(), 0);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = rows.data() + size_t(h - 1 - y) * row_bytes;
        for (uint32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            const uint8_t v = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
            stream[i / 2] |= uint8_t((i & 1) ? v << 4 : v);
        }
    }
}

// One row of 1-, 4- or 8-bit indices (left pixel in the high bits) to 3- or 4-byte pixels.
template <uint32_t OutPx>
void indexed_row(const uint8_t* s, uint8_t* d, uint32_t w, uint32_t bits,
                 const std::array<uint8_t, 256 * 4>& lut) {
    auto put = [&](uint32_t x, uint32_t index) {
        std::memcpy(d + size_t(x) * OutPx, &lut[4 * index], OutPx);
    };
    if (bits == 8) {
        for (uint32_t x = 0; x < w; ++x)
            put(x, s[x]);
    } else if (bits == 4) {
        for (uint32_t x = 0; x < w; ++x)
            put(x, (x & 1) ? s[x / 2] & 0x0F : s[x / 2] >> 4);
    } else {
        for (uint32_t x = 0; x < w; ++x)
            put(x, (s[x / 8] >> (7 - x % 8)) & 1);
    }
}

} // namespace

// --- headers -------------------------------------------------------------------------------------

void bmp_file_header::store(uint8_t* out) const {
    byte_writer w(std::span<uint8_t>(out, k_size));
    w.u8(type[0]);
    w.u8(type[1]);
    w.u32(file_size);
    w.u16(reserved1);
    w.u16(reserved2);
    w.u32(pixel_offset);
}

void bmp_file_header::load(std::span<const uint8_t, k_size> in) {
    byte_reader r(in);
    type[0] = r.u8("BMP magic");
    type[1] = r.u8("BMP magic");
    file_size = r.u32("BMP file size");
    reserved1 = r.u16("BMP reserved");
    reserved2 = r.u16("BMP reserved");
    pixel_offset = r.u32("BMP pixel offset");
}

void bmp_info_header::store(uint8_t* out) const {
    byte_writer w(std::span<uint8_t>(out, k_size));
    w.u32(header_size);
    w.u32(uint32_t(width));
    w.u32(uint32_t(height));
    w.u16(planes);
    w.u16(bit_count);
    w.u32(compression);
    w.u32(image_size);
    w.u32(uint32_t(x_resolution));
    w.u32(uint32_t(y_resolution));
    w.u32(colours_used);
    w.u32(colours_important);
}

void bmp_info_header::load(std::span<const uint8_t, k_size> in) {
    byte_reader r(in);
    header_size = r.u32("BMP info header size");
    width = int32_t(r.u32("BMP width"));
    height = int32_t(r.u32("BMP height"));
    planes = r.u16("BMP planes");
    bit_count = r.u16("BMP bit count");
    compression = r.u32("BMP compression");
    image_size = r.u32("BMP image size");
    x_resolution = int32_t(r.u32("BMP x resolution"));
    y_resolution = int32_t(r.u32("BMP y resolution"));
    colours_used = r.u32("BMP colours used");
    colours_important = r.u32("BMP colours important");
}

// --- 16-bit value conversion ---------------------------------------------------------------------

uint16_t convert_16bit_value(uint32_t source_code, uint32_t target_code, uint16_t v) {
    const rgba8 c = decode_16bit_pixel(source_code, v);
    const uint32_t r = c.r, g = c.g, b = c.b, a = c.a;
    switch (target_code) {
    case pixel_code::rgb565:
        return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    case pixel_code::rgba4444:
        return uint16_t((r >> 4) << 12 | (g >> 4) << 8 | (b >> 4) << 4 | (a >> 4));
    case pixel_code::argb1555:
    case pixel_code::rgb555:
        return uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3) | (a ? 0x8000 : 0));
    default:
        return v;
    }
}

// --- conversion slots ----------------------------------------------------------------------------

int ps2_bitmap::palette_to_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                               uint32_t count, view_mode mode) {
    if (source.size() < size_t(count) * 4 || destination.size() < size_t(count) * 4) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* s = &source[size_t(i) * 4];
        uint8_t* d = &destination[size_t(count == 256 ? clut_slot(i) : i) * 4];
        if (mode == view_mode::alpha) {
            const uint8_t a = expand_alpha(s[3]);
            d[0] = d[1] = d[2] = a;
            d[3] = 0;
        } else {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = mode == view_mode::mixed ? expand_alpha(s[3]) : 0;
        }
    }
    return 1;
}

int ps2_bitmap::palette_from_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                                 uint32_t count) {
    if (source.size() < size_t(count) * 4 || destination.size() < size_t(count) * 4) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* s = &source[size_t(i) * 4];
        uint8_t* d = &destination[size_t(count == 256 ? clut_slot(i) : i) * 4];
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = compress_alpha(s[3]);
    }
    return 1;
}

int ps2_bitmap::flip_rows(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                          uint32_t depth) {
    // Whole bytes per row at every depth (the row of a 32-bit image is 4·W bytes).
    const uint64_t row_bytes = (uint64_t(width_px) * depth + 7) / 8;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [](uint8_t*) {});
    return 1;
}

int ps2_bitmap::flip_rows_4bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px) {
    const size_t row_bytes = width_px / 2;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [row_bytes](uint8_t* row) {
        for (size_t i = 0; i < row_bytes; ++i)
            row[i] = uint8_t(row[i] << 4 | row[i] >> 4);
    });
    return 1;
}

int ps2_bitmap::convert_16bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                              view_mode mode, uint32_t, uint32_t) {
    const size_t row_bytes = size_t(width_px) * 2;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [width_px, mode](uint8_t* row) {
        for (uint32_t x = 0; x < width_px; ++x) {
            const uint16_t v = load_u16(row + 2 * x);
            uint16_t out;
            if (mode == view_mode::alpha)
                out = (v & 0x8000) ? 0x7FFF : 0;
            else
                out = uint16_t((v & 0x1F) << 10 | (v & 0x3E0) | ((v >> 10) & 0x1F));
            store_u16(row + 2 * x, out);
        }
    });
    return 1;
}

// 24-bit rasters hold red, green, blue; the bitmap keeps blue, green, red so that the BMP file
// and the screen show the right colours. They carry no alpha, so alpha view shows them opaque.
// The reverse view turns BMP data back into raster order.
int ps2_bitmap::convert_24bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                              view_mode mode) {
    const size_t row_bytes = size_t(width_px) * 3;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [width_px, mode](uint8_t* row) {
        for (uint32_t x = 0; x < width_px; ++x) {
            uint8_t* p = row + 3 * x;
            if (mode == view_mode::alpha)
                p[0] = p[1] = p[2] = 0xFF;
            else
                std::swap(p[0], p[2]);
        }
    });
    return 1;
}

int ps2_bitmap::convert_32bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                              view_mode mode) {
    const size_t row_bytes = size_t(width_px) * 4;
    if (data.size() < row_bytes * height_px) return 0;
    std::array<uint8_t, 256> alpha{};
    for (uint32_t a = 0; a < 256; ++a)
        alpha[a] =
            mode == view_mode::reverse ? compress_alpha(uint8_t(a)) : expand_alpha(uint8_t(a));
    reverse_rows(data.data(), row_bytes, height_px, [width_px, mode, &alpha](uint8_t* row) {
        for (uint32_t x = 0; x < width_px; ++x) {
            uint8_t* p = row + 4 * x;
            switch (mode) {
            case view_mode::texture:
                std::swap(p[0], p[2]);
                p[3] = 0;
                break;
            case view_mode::alpha:
                p[0] = p[1] = p[2] = p[3] = alpha[p[3]];
                break;
            default: // mixed and reverse: swap red and blue, scale alpha
                std::swap(p[0], p[2]);
                p[3] = alpha[p[3]];
                break;
            }
        }
    });
    return 1;
}

uint8_t ps2_bitmap::expand_alpha(uint8_t a) {
    return a == 0 ? 0 : uint8_t(2 * a - 1);
}

uint8_t ps2_bitmap::compress_alpha(uint8_t a) {
    return a == 0 ? 0 : uint8_t((a + 1) >> 1);
}

// --- filling from a raster -----------------------------------------------------------------------

uint32_t ps2_bitmap::row_bytes() const {
    return uint32_t((uint64_t(width()) * depth() + 7) / 8);
}

void ps2_bitmap::set_headers(uint32_t width_px, uint32_t height_px, uint32_t bits) {
    const uint32_t palette_bytes = palettised(bits) ? 4u << bits : 0;
    const uint64_t image_bytes = bmp_row_stride(width_px, bits) * height_px;
    file_header = bmp_file_header{};
    file_header.pixel_offset = bmp_layout::k_headers + palette_bytes;
    file_header.file_size = uint32_t(bmp_layout::k_headers + palette_bytes + image_bytes);
    info_header = bmp_info_header{};
    info_header.width = int32_t(width_px);
    info_header.height = int32_t(height_px);
    info_header.bit_count = uint16_t(bits);
    info_header.image_size = uint32_t(image_bytes);
    info_header.colours_used = palettised(bits) ? 1u << bits : 0;
}

int ps2_bitmap::load_raster(uint32_t width_px, uint32_t height_px, uint32_t bits,
                            std::span<const uint8_t> raster_pixels,
                            std::span<const uint8_t> raster_palette, bool swizzled, view_mode mode,
                            uint32_t source_code, uint32_t target_code) {
    if (target_code == 0) target_code = source_code;
    if (bits < 4 || bits > 32) {
        last_error = raster_msg::unsupported_image_bpp;
        return 0;
    }
    if (raster_pixels.empty()) return 0;
    if (width_px == 0 || height_px == 0 || width_px > raster_limits::k_max_picture_dimension ||
        height_px > raster_limits::k_max_picture_dimension) {
        last_error = raster_msg::bad_image_size;
        return 0;
    }
    const uint64_t need = raster_bytes(width_px, height_px, bits);
    const bool known = bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (known && raster_pixels.size() < need) {
        last_error = raster_msg::raster_too_short;
        return 0;
    }
    const uint32_t entries = bits == 4 || bits == 8 ? 1u << bits : 0;
    if (entries && raster_palette.size() < size_t(entries) * 4) {
        last_error = raster_msg::palette_too_short;
        return 0;
    }
    set_headers(width_px, height_px, bits);

    std::vector<uint8_t> new_palette;
    std::vector<uint8_t> new_pixels;
    switch (bits) {
    case 4:
    case 8: {
        new_palette.resize(size_t(entries) * 4);
        palette_to_bmp(raster_palette, new_palette, entries, mode);
        plain_copy(raster_pixels, width_px, height_px, bits, swizzled, new_pixels);
        if (bits == 8) {
            flip_rows(new_pixels, width_px, height_px, 8);
        } else if (width_px % 2 == 0) {
            flip_rows_4bit(new_pixels, width_px, height_px);
        } else {
            std::vector<uint8_t> rows(size_t((width_px + 1) / 2) * height_px);
            nibbles_to_bmp_rows(new_pixels, width_px, height_px, rows);
            new_pixels.swap(rows);
        }
        break;
    }
    case 16:
        new_pixels.assign(raster_pixels.begin(), raster_pixels.begin() + need);
        alpha16_.clear();
        if (mode == view_mode::mixed) {
            // Bottom row first, like the bitmap's rows.
            alpha16_.resize(size_t(width_px) * height_px);
            for (uint32_t y = 0; y < height_px; ++y)
                for (uint32_t x = 0; x < width_px; ++x)
                    alpha16_[size_t(height_px - 1 - y) * width_px + x] =
                        raster_pixels[(size_t(y) * width_px + x) * 2 + 1] >> 7;
        }
        convert_16bit(new_pixels, width_px, height_px, mode, source_code, target_code);
        break;
    case 24:
        new_pixels.assign(raster_pixels.begin(), raster_pixels.begin() + need);
        convert_24bit(new_pixels, width_px, height_px, mode);
        break;
    case 32:
        new_pixels.assign(raster_pixels.begin(), raster_pixels.begin() + need);
        convert_32bit(new_pixels, width_px, height_px, mode);
        break;
    default:
        return 1; // headers only
    }
    palette.swap(new_palette);
    pixels.swap(new_pixels);
    return 1;
}

// --- the picture for the screen ------------------------------------------------------------------

device_bitmap ps2_bitmap::to_display_bitmap(uint32_t target_depth) {
    if (pixels.empty()) return nullptr;
    if (target_depth != 24 && target_depth != 32) {
        last_error = raster_msg::current_bpp_not_supported;
        return nullptr;
    }
    const uint32_t w = width(), h = height(), bits = depth();
    const size_t src_row = row_bytes();
    if (pixels.size() < src_row * h) return nullptr;
    auto image = std::make_unique<display_image>();
    image->width = w;
    image->height = h;
    image->bits = target_depth;
    image->stride = display_image::stride_for(w, target_depth);
    image->bytes.assign(size_t(image->stride) * h, 0);
    const uint32_t out_px = target_depth / 8;
    const bool with_alpha = target_depth == 32;

    // Palette entries as they go to the screen, one table lookup per pixel; indices wrap at the
    // palette size.
    std::array<uint8_t, 256 * 4> lut{};
    if (palettised(bits)) {
        const uint32_t entries = uint32_t(palette.size() / 4);
        for (uint32_t i = 0; entries && i < (1u << bits); ++i)
            std::memcpy(&lut[4 * i], &palette[size_t(i % entries) * 4], 4);
    }
    const bool has_alpha16 = alpha16_.size() == size_t(w) * h;
    const uint8_t alpha_on = expand_alpha(0x80), alpha_off = expand_alpha(0);

    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* s = pixels.data() + size_t(r) * src_row;
        uint8_t* d = image->bytes.data() + size_t(r) * image->stride;
        switch (bits) {
        case 1:
        case 4:
        case 8:
            if (with_alpha)
                indexed_row<4>(s, d, w, bits, lut);
            else
                indexed_row<3>(s, d, w, bits, lut);
            break;
        case 16:
            for (uint32_t x = 0; x < w; ++x, d += out_px) {
                const uint16_t v = load_u16(s + 2 * x);
                d[0] = uint8_t((v & 0x1F) << 3);
                d[1] = uint8_t(((v >> 5) & 0x1F) << 3);
                d[2] = uint8_t(((v >> 10) & 0x1F) << 3);
                if (with_alpha) {
                    const bool on = (v & 0x8000) || (has_alpha16 && alpha16_[size_t(r) * w + x]);
                    d[3] = on ? alpha_on : alpha_off;
                }
            }
            break;
        case 24:
            for (uint32_t x = 0; x < w; ++x, d += out_px) {
                d[0] = s[3 * x];
                d[1] = s[3 * x + 1];
                d[2] = s[3 * x + 2];
                if (with_alpha) d[3] = 0xFF;
            }
            break;
        case 32:
            if (with_alpha) {
                std::memcpy(d, s, size_t(w) * 4);
            } else {
                for (uint32_t x = 0; x < w; ++x, d += 3) {
                    d[0] = s[4 * x];
                    d[1] = s[4 * x + 1];
                    d[2] = s[4 * x + 2];
                }
            }
            break;
        default:
            return nullptr;
        }
    }
    return image;
}

// --- back to PS2 raster data ---------------------------------------------------------------------

int ps2_bitmap::palette_to_raster(std::span<uint8_t> output, bool keep_alpha) {
    if (palette.empty()) return 0;
    const uint32_t entries = uint32_t(palette.size() / 4);
    if (output.size() < palette.size()) {
        last_error = raster_msg::palette_too_short;
        return 0;
    }
    palette_from_bmp(palette, output, entries);
    if (!keep_alpha) {
        const uint8_t opaque = compress_alpha(0xFF);
        for (uint32_t i = 0; i < entries; ++i)
            output[size_t(i) * 4 + 3] = opaque;
    }
    return 1;
}

int ps2_bitmap::pixels_to_raster(std::span<uint8_t> output, bool keep_alpha) {
    const uint32_t w = width(), h = height(), bits = depth();
    if (bits != 4 && bits != 8 && bits != 32) {
        last_error = raster_msg::unsupported_image_format;
        return 0;
    }
    const uint64_t need = raster_bytes(w, h, bits);
    if (pixels.size() < size_t(row_bytes()) * h || output.size() < need) {
        last_error = raster_msg::raster_too_short;
        return 0;
    }
    if (bits == 4 && w % 2) {
        bmp_rows_to_nibbles(pixels, w, h, output);
        return 1;
    }
    std::copy(pixels.begin(), pixels.begin() + need, output.begin());
    if (bits == 4) {
        flip_rows_4bit(output, w, h);
    } else if (bits == 8) {
        flip_rows(output, w, h, 8);
    } else {
        convert_32bit(output, w, h, view_mode::reverse);
        if (!keep_alpha) {
            const uint8_t opaque = compress_alpha(0xFF);
            for (size_t i = 3; i < need; i += 4)
                output[i] = opaque;
        }
    }
    return 1;
}

} // namespace quillmap
