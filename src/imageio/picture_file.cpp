#include "imageio/picture_file.h"

#include "imageio/ps2_picture.h"
#include "raster/dds_file.h"
#include "raster/pixel_format.h"
#include "raster/ps2_bitmap.h"
#include "raster/raster_limits.h"
#include "raster/tim2_file.h"
#include "stream/ascii_lower.h"
#include "stream/byte_reader.h"

namespace quillmap {

namespace {
std::string named(const std::filesystem::path& path, const std::string& cause) {
    return path.string() + ": " + cause;
}

// Index of pixel x in a packed bottom-up BMP row of 1, 4 or 8 bits (leftmost pixel in the high
// bits).
uint8_t bmp_index(const uint8_t* row, uint32_t x, uint32_t bits) {
    if (bits == 8) return row[x];
    const uint32_t per_byte = 8 / bits, shift = 8 - bits * (x % per_byte + 1);
    return uint8_t((row[x / per_byte] >> shift) & ((1u << bits) - 1));
}

bool read_bmp_picture(const std::filesystem::path& path, png_picture& out, std::string& error,
                      bool with_alpha) {
    ps2_bitmap bitmap;
    if (!bitmap.read_bmp(path)) {
        error = named(path, bitmap.last_error);
        return false;
    }
    const uint32_t w = bitmap.width(), h = bitmap.height(), bits = bitmap.depth();
    const size_t row_bytes = bitmap.row_bytes();
    out = {};
    rgba_image& image = out.image;
    image.width = w;
    image.height = h;
    image.rgba.resize(size_t(w) * h * 4);
    if (bits <= 8) {
        indexed_image indexed;
        indexed.width = w;
        indexed.height = h;
        indexed.indices.resize(size_t(w) * h);
        const size_t entries = bitmap.palette.size() / 4;
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* e = &bitmap.palette[i * 4];
            indexed.palette.insert(indexed.palette.end(),
                                   {e[2], e[1], e[0], with_alpha ? e[3] : uint8_t(0xFF)});
        }
        for (uint32_t y = 0; y < h; ++y) {
            const uint8_t* row = &bitmap.pixels[(h - 1 - y) * row_bytes];
            for (uint32_t x = 0; x < w; ++x)
                indexed.indices[size_t(y) * w + x] = bmp_index(row, x, bits);
        }
        for (size_t i = 0; i < indexed.indices.size(); ++i)
            std::copy_n(&indexed.palette[size_t(indexed.indices[i]) * 4], 4, &image.rgba[i * 4]);
        out.indexed = std::move(indexed);
        return true;
    }
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = &bitmap.pixels[(h - 1 - y) * row_bytes];
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = image.pixel(x, y);
            if (bits == 16) {
                const rgba8 c = decode_16bit_pixel(pixel_code::rgb555, load_u16(row + 2 * x));
                p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 0xFF;
                continue;
            }
            const uint8_t* s = row + size_t(x) * (bits / 8);
            p[0] = s[2], p[1] = s[1], p[2] = s[0];
            p[3] = bits == 32 && with_alpha ? s[3] : 0xFF;
        }
    }
    return true;
}

bool read_tim2_picture(const std::filesystem::path& path, png_picture& out, std::string& error) {
    tim2_file tim2;
    if (!tim2.read(path) || tim2.pictures.empty()) {
        error =
            named(path, tim2.last_error.empty() ? "no picture in the TIM2 file" : tim2.last_error);
        return false;
    }
    const tim2_picture& picture = tim2.pictures[0];
    const uint32_t w = picture.header.width, h = picture.header.height;
    const uint32_t depth = tim2_file::picture_depth(picture.header);
    const uint64_t bytes = raster_bytes(w, h, depth);
    const bool palettised = depth == 4 || depth == 8;
    if (depth == 0 || w == 0 || h == 0 || picture.image.size() < bytes ||
        (palettised && picture.clut.size() < (size_t(4) << depth))) {
        error = named(path, "the TIM2 picture's data is too short for its size and depth");
        return false;
    }
    std::vector<uint8_t> plain(picture.image.begin(),
                               picture.image.begin() + static_cast<ptrdiff_t>(bytes));
    // Our own exports may hold the pixels as a swizzled texture stores them.
    if (palettised && tim2.holds_swizzled_pixels(0))
        ps2_swizzling::unswizzle_raster(plain, w, h, depth);
    out = {};
    out.image = rgba_from_ps2(plain, w, h, depth, picture.clut);
    if (out.image.rgba.empty()) {
        error = named(path, "the TIM2 picture's depth is not supported");
        return false;
    }
    if (palettised) out.indexed = indexed_from_ps2(plain, w, h, depth, picture.clut);
    return true;
}
} // namespace

bool read_picture_file(const std::filesystem::path& path, png_picture& out, std::string& error,
                       bool bmp_alpha) {
    const std::string extension = ascii_lower(path.extension().string());
    if (extension == ".bmp") return read_bmp_picture(path, out, error, bmp_alpha);
    if (extension == ".tm2") return read_tim2_picture(path, out, error);
    if (extension != ".dds") return read_png_file(path, out, error);
    dds_image dds;
    if (!read_dds_file(path, dds, error)) return false;
    out = {};
    out.image.width = dds.width;
    out.image.height = dds.height;
    out.image.rgba = dds_level_rgba(dds, 0);
    return true;
}

} // namespace quillmap
