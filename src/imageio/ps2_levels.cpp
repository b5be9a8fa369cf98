#include "imageio/ps2_levels.h"

#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/palette_map.h"
#include "imageio/ps2_picture.h"
#include "imageio/quantize.h"

namespace quillmap {

bool build_ps2_levels(const rgba_image& image, const indexed_image* given,
                      const level_recipe& recipe, ps2_raster& out, bool& quantized,
                      std::string& error) {
    return build_ps2_levels_from_chain(mip_chain(image, std::max(recipe.levels, 1u)), given, recipe,
                                       out, quantized, error);
}

bool build_ps2_levels_from_chain(const std::vector<rgba_image>& chain, const indexed_image* given,
                                 const level_recipe& recipe, ps2_raster& out, bool& quantized,
                                 std::string& error) {
    const uint32_t d = recipe.depth;
    out = {};
    quantized = false;
    if (chain.empty()) {
        error = txd_msg::image_data_short;
        return false;
    }
    const rgba_image& image = chain[0];
    out.width = image.width;
    out.height = image.height;
    out.depth = d;
    if (d != 4 && d != 8) {
        out.depth = 32;
        out.pixels = ps2_pixels_from_rgba(chain[0], 32);
        for (size_t k = 1; k < chain.size(); ++k)
            out.further_levels.push_back(ps2_pixels_from_rgba(chain[k], 32));
        return true;
    }

    indexed_image level0;
    if (given && given->entries() <= (1u << d) && given->width == image.width &&
        given->height == image.height) {
        level0 = *given;
    } else if (!exact_palette(image, 1u << d, level0)) {
        if (!quantize(image, 1u << d, recipe.dither, level0, error)) return false;
        quantized = true;
    }
    // Levels go out in plain row order: the builder stores them the way the game's converter
    // does (swizzled, padded to the transfer minimum).
    out.swizzled = false;
    auto stored = [&](const indexed_image& level) { return pack_indices(level.indices, d); };
    out.pixels = stored(level0);
    out.palette = ps2_palette(level0.palette, d);
    // Each pixel keeps its alpha class: a cut-out's edges stay transparent on every level.
    palette_mapper mapper(level0.palette, mapping_rule::keep_alpha_class);
    for (size_t k = 1; k < chain.size(); ++k) {
        const indexed_image level = mapper.map(chain[k], recipe.dither);
        if (level.indices.empty()) {
            error = txd_msg::image_data_short;
            return false;
        }
        out.further_levels.push_back(stored(level));
    }
    return true;
}

} // namespace quillmap
