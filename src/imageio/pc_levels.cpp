#include "imageio/pc_levels.h"

#include "imageio/dxt_compress.h"
#include "imageio/quantize.h"

#include <algorithm>

namespace quillmap {

namespace {
struct format_row {
    pc_format format;
    const char* name;
};
constexpr format_row k_formats[] = {
    {pc_format::dxt1, "dxt1"},     {pc_format::dxt3, "dxt3"},  {pc_format::dxt5, "dxt5"},
    {pc_format::argb8888, "8888"}, {pc_format::rgb888, "888"}, {pc_format::pal8, "pal8"},
    {pc_format::pal4, "pal4"},
};

uint32_t dxt_of(pc_format format) {
    switch (format) {
    case pc_format::dxt1:
        return 1;
    case pc_format::dxt3:
        return 3;
    case pc_format::dxt5:
        return 5;
    default:
        return 0;
    }
}

// One level's index bytes with each row padded to the stored pitch.
std::vector<uint8_t> padded_indices(const indexed_image& level, uint64_t pitch) {
    std::vector<uint8_t> out(static_cast<size_t>(pitch * level.height), 0);
    for (uint32_t y = 0; y < level.height; ++y)
        std::copy_n(level.indices.begin() + size_t(y) * level.width, level.width,
                    out.begin() + static_cast<ptrdiff_t>(y * pitch));
    return out;
}

// 8888 and 888 levels: blue, green, red, alpha bytes (888 stores 255 in the unused byte).
std::vector<uint8_t> bgra_pixels(const rgba_image& image, bool opaque) {
    std::vector<uint8_t> out(size_t(image.width) * image.height * 4);
    for (size_t i = 0; i < out.size(); i += 4) {
        out[i] = image.rgba[i + 2];
        out[i + 1] = image.rgba[i + 1];
        out[i + 2] = image.rgba[i];
        out[i + 3] = opaque ? 0xFF : image.rgba[i + 3];
    }
    return out;
}
} // namespace

std::optional<pc_format> pc_format_named(std::string_view name) {
    for (const format_row& row : k_formats)
        if (name == row.name) return row.format;
    return std::nullopt;
}

const char* pc_format_name(pc_format format) {
    for (const format_row& row : k_formats)
        if (row.format == format) return row.name;
    return "?";
}

picture_alpha alpha_of(const rgba_image& image) {
    picture_alpha found = picture_alpha::opaque;
    for (size_t i = 3; i < image.rgba.size(); i += 4) {
        const uint8_t a = image.rgba[i];
        if (a == 0xFF) continue;
        if (a != 0) return picture_alpha::graded;
        found = picture_alpha::one_bit;
    }
    return found;
}

pc_format default_pc_format(picture_alpha alpha) {
    return alpha == picture_alpha::graded ? pc_format::dxt5 : pc_format::dxt1;
}

std::optional<pc_format> pc_format_of(const pc_free_fields& f) {
    if (f.dxt == 1) return pc_format::dxt1;
    if (f.dxt == 3) return pc_format::dxt3;
    if (f.dxt == 5) return pc_format::dxt5;
    if (f.palette == pc_format_bit::pal8) return pc_format::pal8;
    if (f.palette == pc_format_bit::pal4) return pc_format::pal4;
    if (f.pixel_format == pc_pixel::argb8888) return pc_format::argb8888;
    if (f.pixel_format == pc_pixel::rgb888) return pc_format::rgb888;
    return std::nullopt;
}

bool set_pc_format(pc_free_fields& f, pc_format format, picture_alpha alpha, std::string& error) {
    const bool opaque = alpha == picture_alpha::opaque;
    f.dxt = dxt_of(format);
    f.palette = 0;
    switch (format) {
    case pc_format::dxt1:
        f.pixel_format = f.layout == pc_layout::xbox
                             ? (opaque ? pc_pixel::rgb888 : pc_pixel::argb8888)
                         : opaque ? pc_pixel::rgb565
                                  : pc_pixel::argb1555;
        break;
    case pc_format::dxt3:
    case pc_format::dxt5:
        f.pixel_format = f.layout == pc_layout::xbox ? pc_pixel::argb8888 : pc_pixel::argb4444;
        break;
    case pc_format::argb8888:
        f.pixel_format = pc_pixel::argb8888;
        break;
    case pc_format::rgb888:
        f.pixel_format = pc_pixel::rgb888;
        break;
    case pc_format::pal8:
    case pc_format::pal4:
        if (f.layout != pc_layout::d3d8) {
            error = std::string(pc_format_name(format)) + ": only D3D8 textures hold palettes; " +
                    pc_layout_name(f.layout) + " takes dxt1, dxt3, dxt5, 8888 or 888";
            return false;
        }
        f.palette = format == pc_format::pal8 ? pc_format_bit::pal8 : pc_format_bit::pal4;
        f.pixel_format = opaque ? pc_pixel::rgb888 : pc_pixel::argb8888;
        break;
    }
    // What the stored texels keep of the picture's alpha (888 keeps none).
    f.source_alpha = !opaque && f.pixel_format != pc_pixel::rgb888;
    return true;
}

bool encode_pc_levels(const std::vector<rgba_image>& chain, const indexed_image* given, bool dither,
                      pc_texture_source& source, bool& quantized, std::string& error) {
    quantized = false;
    const pc_free_fields& f = source.fields;
    if (chain.size() != f.levels || chain.empty()) {
        error = "level pictures do not match the level count";
        return false;
    }
    source.levels.clear();
    source.palette.clear();
    if (f.dxt) {
        const dxt_kind kind = f.dxt == 1   ? dxt_kind::dxt1
                              : f.dxt == 3 ? dxt_kind::dxt3
                                           : dxt_kind::dxt5;
        // DXT1 keeps 1-bit alpha where the fields say the texture has alpha.
        const bool one_bit = f.dxt == 1 && (f.pixel_format == pc_pixel::argb1555 ||
                                            f.pixel_format == pc_pixel::argb8888);
        for (const rgba_image& level : chain) {
            source.levels.push_back(
                compress_dxt(level.rgba, level.width, level.height, kind, one_bit));
            if (source.levels.back().empty()) {
                error = "the picture is too short for its size";
                return false;
            }
        }
        return true;
    }
    if (f.palette) {
        const uint32_t colours = f.palette == pc_format_bit::pal8 ? 256 : 16;
        // The 4-bit form stores a palette of 32 entries, and real files index all of them.
        const uint32_t stored = f.palette == pc_format_bit::pal8 ? 256 : pc_pal4_bytes / 4;
        indexed_image level0;
        if (given && given->entries() <= stored && given->width == chain[0].width &&
            given->height == chain[0].height &&
            std::all_of(given->indices.begin(), given->indices.end(),
                        [&](uint8_t i) { return i < given->entries(); })) {
            level0 = *given;
        } else if (!exact_palette(chain[0], colours, level0)) {
            if (!quantize(chain[0], colours, dither, level0, error)) return false;
            quantized = true;
        }
        source.palette = level0.palette;
        source.palette.resize(size_t(4) * stored, 0);
        // An opaque (888) palette stores full alpha in its entries.
        if (f.pixel_format == pc_pixel::rgb888)
            for (size_t i = 3; i < level0.palette.size(); i += 4)
                source.palette[i] = 0xFF;
        source.levels.push_back(padded_indices(level0, pc_level_pitch(f, 0)));
        for (uint32_t n = 1; n < chain.size(); ++n) {
            indexed_image level;
            if (!remap(chain[n], level0.palette, dither, level, error)) return false;
            source.levels.push_back(padded_indices(level, pc_level_pitch(f, n)));
        }
        return true;
    }
    const bool opaque = f.pixel_format == pc_pixel::rgb888;
    for (const rgba_image& level : chain)
        source.levels.push_back(bgra_pixels(level, opaque));
    return true;
}

} // namespace quillmap
