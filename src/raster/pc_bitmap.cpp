#include "raster/pc_bitmap.h"

#include "raster/pixel_format.h"
#include "raster/raster_messages.h"
#include "raster/row_order.h"
#include "stream/byte_reader.h"

namespace quillmap {

int pc_bitmap::palette_to_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                              uint32_t count, view_mode mode) {
    if (source.size() < size_t(count) * 4 || destination.size() < size_t(count) * 4) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* s = &source[size_t(i) * 4];
        uint8_t* d = &destination[size_t(i) * 4];
        if (mode == view_mode::alpha) {
            d[0] = d[1] = d[2] = s[3];
            d[3] = 0;
        } else {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = mode == view_mode::mixed ? s[3] : 0;
        }
    }
    return 1;
}

int pc_bitmap::convert_16bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                             view_mode mode, uint32_t source_code, uint32_t target_code) {
    const size_t row_bytes = size_t(width_px) * 2;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [=](uint8_t* row) {
        for (uint32_t x = 0; x < width_px; ++x) {
            uint16_t v = load_u16(row + 2 * x);
            if (mode == view_mode::texture) {
                if (source_code == pixel_code::argb1555)
                    v &= 0x7FFF;
                else if (source_code == pixel_code::rgba4444)
                    v &= 0xFFF0;
            } else if (mode == view_mode::alpha) {
                if (source_code == pixel_code::rgb565) {
                    v = 0xFFFF;
                } else if (source_code == pixel_code::argb1555) {
                    v = (v & 0x8000) ? 0xFFFF : 0x8000;
                } else if (source_code == pixel_code::rgba4444) {
                    const uint16_t a = v & 0xF;
                    v = uint16_t(a << 12 | a << 8 | a << 4 | 0xF);
                }
            }
            if (source_code != target_code) v = convert_16bit_value(source_code, target_code, v);
            store_u16(row + 2 * x, v);
        }
    });
    return 1;
}

int pc_bitmap::convert_32bit(std::span<uint8_t> data, uint32_t width_px, uint32_t height_px,
                             view_mode mode) {
    const size_t row_bytes = size_t(width_px) * 4;
    if (data.size() < row_bytes * height_px) return 0;
    reverse_rows(data.data(), row_bytes, height_px, [=](uint8_t* row) {
        for (uint32_t x = 0; x < width_px; ++x) {
            uint8_t* p = row + 4 * x;
            if (mode == view_mode::alpha)
                p[0] = p[1] = p[2] = p[3];
            else if (mode != view_mode::mixed)
                p[3] = 0;
        }
    });
    return 1;
}

uint8_t pc_bitmap::expand_alpha(uint8_t alpha) {
    return alpha;
}

device_bitmap pc_bitmap::to_display_bitmap(uint32_t target_depth, uint32_t code) {
    if (pixels.empty()) return nullptr;
    if (target_depth != 24 && target_depth != 32) {
        last_error = raster_msg::unsupported_bpp;
        return nullptr;
    }
    const uint32_t w = width(), h = height(), bits = depth();
    const size_t src_row = row_bytes();
    if (pixels.size() < src_row * h) return nullptr;
    const bool mixed = target_depth == 32;
    auto image = std::make_unique<display_image>();
    image->width = w;
    image->height = h;
    image->bits = 32; // always 32 bits; alpha is opaque unless asked for
    image->stride = display_image::stride_for(w, 32);
    image->bytes.assign(size_t(image->stride) * h, 0);
    const uint32_t entries = uint32_t(palette.size() / 4);

    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* s = pixels.data() + size_t(r) * src_row;
        uint8_t* d = image->bytes.data() + size_t(r) * image->stride;
        for (uint32_t x = 0; x < w; ++x, d += 4) {
            uint8_t b = 0, g = 0, red = 0, a = 0xFF;
            switch (bits) {
            case 1:
            case 4:
            case 8: {
                const uint32_t per_byte = 8 / bits;
                const uint32_t shift = (per_byte - 1 - x % per_byte) * bits;
                const uint32_t index = (s[x / per_byte] >> shift) & ((1u << bits) - 1);
                if (entries) {
                    const uint8_t* e = &palette[size_t(index % entries) * 4];
                    b = e[0];
                    g = e[1];
                    red = e[2];
                    a = e[3];
                }
                break;
            }
            case 16:
            case 24:
            case 32: {
                const rgba8 c = decode_pc_pixel(bits, code, s + size_t(x) * (bits / 8));
                red = c.r;
                g = c.g;
                b = c.b;
                a = c.a;
                break;
            }
            default:
                return nullptr;
            }
            d[0] = b;
            d[1] = g;
            d[2] = red;
            d[3] = mixed ? a : 0xFF;
        }
    }
    return image;
}

} // namespace quillmap
