#include "imageio/texture_conversion.h"

#include "dictionary/ps2_raster_layout.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/ps2_levels.h"
#include "imageio/ps2_picture.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace quillmap {

namespace {
constexpr const char* k_not_applicable = "The texture already has this form or cannot take it.";

uint32_t target_depth(texture_conversion conversion) {
    switch (conversion) {
    case texture_conversion::depth4:
        return 4;
    case texture_conversion::depth8:
        return 8;
    case texture_conversion::depth32:
        return 32;
    default:
        return 0;
    }
}

bool palettised(uint32_t depth) {
    return depth == 4 || depth == 8;
}

// Every level of texture t in plain row order; empty with last_error when one cannot be read.
std::vector<std::vector<uint8_t>> plain_levels(ps2_txd& txd, uint32_t t) {
    std::vector<std::vector<uint8_t>> levels;
    const uint32_t count = std::max(1u, std::min(txd.mip_count(t), k_ps2_max_levels));
    const bool swizzled = txd.is_swizzled(t);
    for (uint32_t k = 0; k < count; ++k) {
        std::vector<uint8_t> level = txd.plain_level(t, k, swizzled);
        if (level.empty()) return {};
        levels.push_back(std::move(level));
    }
    return levels;
}

// Levels at a new depth: the texture's own mip pictures, decoded and stored again.
bool levels_at_depth(ps2_txd& txd, uint32_t t, const std::vector<std::vector<uint8_t>>& levels,
                     uint32_t depth, bool dither, ps2_raster& out, std::string& error) {
    const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
    const std::span<const uint8_t> palette =
        palettised(d) ? std::span<const uint8_t>(txd.palette(t)) : std::span<const uint8_t>();
    std::vector<rgba_image> chain;
    for (uint32_t k = 0; k < levels.size(); ++k) {
        rgba_image level =
            rgba_from_ps2(levels[k], std::max(1u, w >> k), std::max(1u, h >> k), d, palette);
        if (level.rgba.empty()) {
            error = txd_msg::image_data_short;
            return false;
        }
        chain.push_back(std::move(level));
    }
    // A palette that fits the new depth is kept as it is (4 to 8 bits loses no colour).
    indexed_image kept;
    if (palettised(d) && palettised(depth) && d <= depth)
        kept = indexed_from_ps2(levels[0], w, h, d, palette);
    level_recipe recipe;
    recipe.depth = depth;
    recipe.dither = dither;
    bool quantized = false;
    return build_ps2_levels_from_chain(chain, kept.indices.empty() ? nullptr : &kept, recipe, out,
                                       quantized, error);
}
} // namespace

bool conversion_applies(ps2_txd& txd, uint32_t t, texture_conversion conversion) {
    if (t >= txd.texture_count() || txd.family() != txd_family::ps2 || !txd.is_ps2(t) ||
        !txd.raster_header(t))
        return false;
    const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
    switch (conversion) {
    case texture_conversion::unswizzle:
        return palettised(d) && txd.is_swizzled(t);
    case texture_conversion::swizzle:
        // The game's layout must store this depth swizzled, at a size a reader can unswizzle.
        return palettised(d) && !txd.is_swizzled(t) &&
               ps2_stores_swizzled(d, k_ps2_kind_headered, txd.root_version()) &&
               ((std::has_single_bit(w) && std::has_single_bit(h)) || ps2_swizzle_fits(w, h, d));
    default:
        return d != target_depth(conversion) && (palettised(d) || d == 16 || d == 24 || d == 32);
    }
}

bool convert_texture(ps2_txd& txd, uint32_t t, texture_conversion conversion, bool dither,
                     std::string& error, uint32_t* dropped_levels) {
    if (dropped_levels) *dropped_levels = 0;
    if (!conversion_applies(txd, t, conversion)) {
        error = k_not_applicable;
        return false;
    }
    const std::vector<std::vector<uint8_t>> levels = plain_levels(txd, t);
    if (levels.empty()) {
        error = txd.last_error.empty() ? txd_msg::raster_layout_short : txd.last_error;
        return false;
    }
    const uint32_t stored_depth = txd.depth(t);
    if (palettised(stored_depth) && txd.palette(t).size() < (size_t(4) << stored_depth)) {
        error = txd_msg::image_data_short;
        return false;
    }
    ps2_raster raster;
    const uint32_t depth = target_depth(conversion);
    if (depth != 0) {
        if (!levels_at_depth(txd, t, levels, depth, dither, raster, error)) return false;
    } else {
        // The order changes, the pixels and the palette (console order) do not.
        raster.width = txd.width(t);
        raster.height = txd.height(t);
        raster.depth = txd.depth(t);
        raster.pixels = levels[0];
        raster.further_levels.assign(levels.begin() + 1, levels.end());
        const std::span<uint8_t> palette = txd.palette(t);
        raster.palette.assign(palette.begin(), palette.begin() + (size_t(4) << raster.depth));
    }

    ps2_texture_source source = texture_source_of(raster, txd.texture_name(t, name_kind::texture),
                                                  txd.texture_name(t, name_kind::mask));
    source.flags = txd.texture_flags(t);
    source.plain_order = conversion == texture_conversion::unswizzle;
    std::unique_ptr<rw_chunk> texture = txd.build_texture(source, dropped_levels);
    txd.release_pixels(t);
    if (!texture || !txd.replace_texture_chunk(t, std::move(texture))) {
        error = txd.last_error;
        return false;
    }
    return true;
}

} // namespace quillmap
