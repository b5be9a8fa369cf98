#include "imageio/replace_levels.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/palette_map.h"
#include "imageio/ps2_picture.h"

#include <algorithm>

namespace quillmap {

namespace {
bool palettised(uint32_t depth) {
    return depth == 4 || depth == 8;
}

std::vector<uint8_t> palette_bytes(ps2_txd& txd, uint32_t t) {
    if (!palettised(txd.depth(t))) return {};
    const auto palette = txd.palette(t);
    const size_t bytes = size_t(4) << txd.depth(t);
    if (palette.size() < bytes) return {};
    return {palette.begin(), palette.begin() + bytes};
}

// The raster's palette bytes as logical RGBA entries, through a one-pixel picture.
std::vector<uint8_t> logical_palette(std::span<const uint8_t> raster_palette, uint32_t depth) {
    const uint8_t one_pixel = 0;
    return indexed_from_ps2({&one_pixel, 1}, 1, 1, depth, raster_palette).palette;
}

// Level `level` as it shows with `palette` (the raster's bytes); empty when it cannot be read.
rgba_image level_picture(ps2_txd& txd, uint32_t t, uint32_t level,
                         std::span<const uint8_t> palette) {
    const uint32_t w = std::max(1u, txd.width(t) >> level);
    const uint32_t h = std::max(1u, txd.height(t) >> level);
    const std::vector<uint8_t> plain = txd.plain_level(t, level, txd.is_swizzled(t));
    return rgba_from_ps2(plain, w, h, txd.depth(t), palette);
}

// Writes a level's plain-order pixels where the texture keeps it: swizzled levels into their
// transfer rectangles as the game lays them out, others over their stored bytes.
bool write_level(ps2_txd& txd, uint32_t t, uint32_t level, std::span<const uint8_t> plain,
                 std::string& error) {
    if (txd.is_swizzled(t) && ps2_write_plain_level(txd, t, level, plain)) return true;
    const std::span<uint8_t> target = txd.level_storage(t, level);
    if (plain.empty() || target.size() < plain.size()) {
        error = txd_msg::raster_layout_short;
        return false;
    }
    std::copy(plain.begin(), plain.end(), target.begin());
    return true;
}

// A picture in the texture's own storage for its depth, palettised ones mapped onto `palette`
// (logical entries) keeping each pixel's alpha class.
std::vector<uint8_t> stored_form(const rgba_image& picture, uint32_t depth,
                                 std::span<const uint8_t> palette, bool dither) {
    if (!palettised(depth)) return ps2_pixels_from_rgba(picture, depth);
    const indexed_image mapped = map_to_palette(picture, palette, dither);
    return mapped.indices.empty() ? std::vector<uint8_t>{} : pack_indices(mapped.indices, depth);
}
} // namespace

levels_before capture_levels(ps2_txd& txd, uint32_t t) {
    levels_before out;
    if (!txd.raster_header(t)) return out;
    out.palette = palette_bytes(txd, t);
    const uint32_t levels = txd.mip_count(t);
    for (uint32_t k = 1; k < levels; ++k) {
        rgba_image picture = level_picture(txd, t, k, out.palette);
        if (picture.rgba.empty()) break;
        out.pictures.push_back(std::move(picture));
    }
    return out;
}

bool update_other_levels(ps2_txd& txd, uint32_t t, const levels_before& before,
                         const rgba_image* picture, other_levels policy, bool dither,
                         std::string& error) {
    const uint32_t levels = txd.mip_count(t);
    if (levels <= 1) return true;
    const uint32_t d = txd.depth(t);
    const std::vector<uint8_t> palette = palette_bytes(txd, t);
    const bool palette_changed = palette != before.palette;
    if (!palette_changed && policy != other_levels::regenerate) return true;
    // The palette the levels are mapped onto, in logical order.
    const std::vector<uint8_t> logical =
        palettised(d) ? logical_palette(palette, d) : std::vector<uint8_t>{};

    std::vector<rgba_image> sources;
    if (policy == other_levels::keep) {
        sources = before.pictures;
    } else {
        rgba_image level0 = picture ? *picture : level_picture(txd, t, 0, palette);
        if (level0.rgba.empty()) {
            error = txd_msg::raster_layout_short;
            return false;
        }
        sources = mip_chain(level0, levels);
        sources.erase(sources.begin());
    }
    for (uint32_t k = 1; k < levels && k - 1 < sources.size(); ++k) {
        const std::vector<uint8_t> stored = stored_form(sources[k - 1], d, logical, dither);
        if (!write_level(txd, t, k, stored, error)) return false;
    }
    return true;
}

} // namespace quillmap
