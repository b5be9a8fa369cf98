#include "imageio/texture_png.h"

#include "dictionary/txd_messages.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_picture.h"
#include "imageio/texture_dds.h"
#include "imageio/texture_rgba.h"

#include <optional>

namespace quillmap {

namespace {
// The palette bit of a PC raster format whose 4-bit indices are stored a byte each, and the
// palette entries such a texture stores.
constexpr uint32_t k_pal4_bit = 0x4000;
constexpr uint32_t k_pal4_entries = 32;

// The picture the preview shows, as RGBA (mixed view carries alpha 0..255) or grey.
bool rendered_png(ps2_txd& txd, uint32_t t, uint32_t level, bool alpha, swizzle_mode swizzle,
                  std::vector<uint8_t>& png, std::string& error, const png_write_options& options) {
    const device_bitmap picture =
        rendered_level(txd, t, level, alpha ? view_mode::alpha : view_mode::mixed, swizzle, error);
    if (!picture) return false;
    const display_image& image = *picture;
    const uint32_t bytes_per_pixel = image.bits / 8;
    if (alpha) {
        std::vector<uint8_t> grey(size_t(image.width) * image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = image.top_row(y);
            for (uint32_t x = 0; x < image.width; ++x)
                grey[size_t(y) * image.width + x] = row[x * bytes_per_pixel];
        }
        png = encode_png_grey(image.width, image.height, grey, error, options);
        return !png.empty();
    }
    const rgba_image rgba = rgba_of_display(image);
    png = encode_png_rgba(rgba, error, options);
    return !png.empty();
}

// A palettised PC, XBOX or mobile level as a palette picture: its indices and every entry the
// texture stores (256, or 32 for the 4-bit form that indexes a 32-entry palette), alpha as the
// preview shows it. None for textures without a palette.
std::optional<indexed_image> native_palette_picture(ps2_txd& txd, uint32_t t, uint32_t level,
                                                    const texture_info& info) {
    if (info.ps2_raster) return std::nullopt;
    txd.last_error.clear();
    const auto found = txd.level_pixels(t, level);
    if (!found || (found->depth != 4 && found->depth != 8) || found->palette.empty())
        return std::nullopt;
    const size_t count = size_t(found->width) * found->height;
    if (found->pixels.size() < (count * found->depth + 7) / 8) return std::nullopt;
    indexed_image out;
    out.width = found->width;
    out.height = found->height;
    out.indices.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.indices[i] = found->depth == 8 ? found->pixels[i]
                                           : uint8_t(found->pixels[i / 2] >> (i & 1 ? 4 : 0) & 0xF);
    uint32_t entries = uint32_t(found->palette.size() / 4);
    if (info.family == txd_family::pc_xbox && found->depth == 8 &&
        (info.raster_format & k_pal4_bit))
        entries = k_pal4_entries;
    out.palette.assign(found->palette.begin(), found->palette.begin() + size_t(entries) * 4);
    for (const uint8_t index : out.indices)
        if (index >= entries) return std::nullopt;
    return out;
}
} // namespace

bool texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode, swizzle_mode swizzle,
                 std::vector<uint8_t>& png, std::string& error, const png_write_options& options) {
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    const texture_info info = txd.info(t);
    const uint32_t levels = info.levels;
    if (levels && level >= levels) {
        // Numbered from 1, as the texture list numbers textures.
        error = "Texture " + std::to_string(uint64_t(t) + 1) + " has " + std::to_string(levels) +
                " mip level(s); level " + std::to_string(level) + " does not exist.";
        return false;
    }
    const uint32_t d = info.depth;
    const bool ps2_palette_texture = info.ps2_raster && (d == 4 || d == 8);
    if (mode != view_mode::alpha && !ps2_palette_texture) {
        const auto indexed = native_palette_picture(txd, t, level, info);
        txd.release_pixels(t);
        if (indexed) {
            png = encode_png_indexed(*indexed, indexed->entries() <= 16 ? 4 : 8, error, options);
            return !png.empty();
        }
    }
    if (mode == view_mode::alpha || !ps2_palette_texture)
        return rendered_png(txd, t, level, mode == view_mode::alpha, swizzle, png, error, options);

    const bool swizzled = reads_swizzled(swizzle, info.swizzled);
    const uint32_t shift = std::min<uint32_t>(level, 31);
    const uint32_t w = info.width_px >> shift, h = info.height_px >> shift;
    txd.last_error.clear();
    const std::vector<uint8_t> plain = txd.plain_level(t, level, swizzled);
    const auto palette = txd.palette(t);
    const indexed_image indexed = indexed_from_ps2(plain, w, h, d, palette);
    txd.release_pixels(t);
    if (indexed.indices.empty()) {
        error = txd.last_error.empty() ? txd_msg::raster_layout_short : txd.last_error;
        return false;
    }
    png = encode_png_indexed(indexed, d, error, options);
    return !png.empty();
}

bool export_texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode,
                        swizzle_mode swizzle, const std::filesystem::path& path, std::string& error,
                        const png_write_options& options) {
    std::vector<uint8_t> png;
    return texture_png(txd, t, level, mode, swizzle, png, error, options) &&
           write_bytes(path, png, error);
}

} // namespace quillmap
