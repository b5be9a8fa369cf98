#include "imageio/ps2_conversion.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/palette_map.h"
#include "imageio/picture_fit.h"
#include "imageio/ps2_levels.h"
#include "imageio/ps2_picture.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
bool palettised(uint32_t depth) {
    return depth == 4 || depth == 8;
}
} // namespace

bool ps2_side_allowed(uint32_t side) {
    return std::has_single_bit(side) && side <= k_max_game_side_px;
}

uint32_t ps2_allowed_side(uint32_t side) {
    return std::min(nearest_power_of_two(std::max(side, 1u)), k_max_game_side_px);
}

raster_transform ps2_conversion_transform(uint32_t depth, uint32_t mips, bool dither,
                                          std::vector<std::string>* scaled) {
    return [depth, mips, dither, scaled](ps2_raster& raster, std::string& error) {
        const bool fits = ps2_side_allowed(raster.width) && ps2_side_allowed(raster.height);
        const uint32_t have = 1 + uint32_t(raster.further_levels.size());
        if (fits && depth == 0) {
            // The levels the source holds stay as they are, as many as are asked for.
            const uint32_t most = renderware_level_count(raster.width, raster.height);
            const uint32_t want = mips == k_mips_keep ? std::min(have, most)
                                  : mips == 0         ? most
                                                      : std::min(mips, most);
            if (mips == k_mips_keep && have > most && scaled)
                scaled->push_back(raster.name + ": " + std::to_string(have - most) +
                                  " mip level(s) left out, RenderWare's most for " +
                                  size_text(raster.width, raster.height) + " is " +
                                  std::to_string(most));
            if (want <= have) {
                raster.further_levels.resize(want - 1);
                return true;
            }
        }
        rgba_image image =
            rgba_from_ps2(raster.pixels, raster.width, raster.height, raster.depth, raster.palette);
        if (image.rgba.empty()) {
            error = txd_msg::image_data_short;
            return false;
        }
        level_recipe recipe;
        recipe.depth = depth ? depth : raster.depth;
        recipe.dither = dither;
        // A palette the source already has is kept when the depth stays.
        const bool keeps_palette = palettised(raster.depth) && recipe.depth == raster.depth;
        indexed_image kept;
        if (!fits) {
            const uint32_t w = ps2_allowed_side(raster.width), h = ps2_allowed_side(raster.height);
            image = resized(image, w, h);
            if (scaled)
                scaled->push_back(raster.name + ": scaled from " +
                                  size_text(raster.width, raster.height) + " to " +
                                  size_text(w, h));
            if (keeps_palette) {
                const uint8_t one_pixel = 0;
                const indexed_image palette =
                    indexed_from_ps2({&one_pixel, 1}, 1, 1, raster.depth, raster.palette);
                kept = map_to_palette(image, palette.palette, dither);
            }
        } else if (keeps_palette) {
            kept = indexed_from_ps2(raster.pixels, raster.width, raster.height, raster.depth,
                                    raster.palette);
        }
        const uint32_t most = renderware_level_count(image.width, image.height);
        recipe.levels = std::min(mips == 0 ? most : mips == k_mips_keep ? have : mips, most);
        // The builder's input starts anew; what the source said about itself stays.
        const uint32_t flags = raster.flags;
        const uint32_t levels_before = raster.levels_before;
        const std::string name = raster.name;
        bool quantized = false;
        const bool built = build_ps2_levels(image, kept.indices.empty() ? nullptr : &kept, recipe,
                                            raster, quantized, error);
        raster.flags = flags;
        raster.levels_before = levels_before;
        raster.name = name;
        return built;
    };
}

raster_transform ps2_game_sizes_transform(std::vector<std::string>* scaled) {
    return ps2_conversion_transform(/*depth=*/0, k_mips_keep, /*dither=*/true, scaled);
}

} // namespace quillmap
