#include "imageio/ps2_levels.h"

#include "imageio/mip_chain.h"
#include "imageio/ps2_picture.h"
#include "imageio/quantize.h"
#include "raster/ps2_swizzling.h"

namespace {
constexpr uint32_t k_narrow_width = ps2_swizzling::k_narrow_width;
constexpr uint32_t k_narrow_stored_width = ps2_swizzling::k_narrow_stored_width;
constexpr uint32_t k_narrow_row_bytes = ps2_swizzling::k_narrow_row_bytes;
} // namespace

bool level_can_swizzle(uint32_t width, uint32_t height, uint32_t depth) {
    if (depth == 4 && width <= k_narrow_width) return height % 4 == 0 && height > 0;
    if (depth == 4 && width < k_narrow_stored_width) return false;
    return (depth == 4 || depth == 8) && ps2_swizzling::is_permutation_size(width, height);
}

std::vector<uint8_t> swizzled_level(std::vector<uint8_t> plain, uint32_t width, uint32_t height,
                                    uint32_t depth) {
    if (depth == 4 && width <= k_narrow_width) {
        // Nibble by nibble into the left part of a 32-pixel-wide block, as the reader expects.
        std::vector<uint8_t> wide(size_t(k_narrow_row_bytes) * height, 0);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const size_t from = size_t(y) * width + x;
                const size_t to = size_t(y) * k_narrow_stored_width + x;
                const uint8_t v = (from & 1) ? plain[from / 2] >> 4 : plain[from / 2] & 0x0F;
                wide[to / 2] |= uint8_t((to & 1) ? v << 4 : v);
            }
        ps2_swizzling::swizzle4(wide, k_narrow_stored_width, height);
        return wide;
    }
    ps2_swizzling::swizzle_raster(plain, width, height, depth);
    return plain;
}

bool build_ps2_levels(const rgba_image& image, const indexed_image* given,
                      const level_recipe& recipe, ps2_raster& out, bool& quantized,
                      std::string& error) {
    const uint32_t d = recipe.depth;
    out = {};
    out.width = image.width;
    out.height = image.height;
    out.depth = d;
    quantized = false;
    const std::vector<rgba_image> chain = mip_chain(image, std::max(recipe.levels, 1u));
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
    } else {
        if (!quantize(image, 1u << d, recipe.dither, level0, error)) return false;
        quantized = true;
    }
    // Level 0 is handed over at exactly w·h·depth/8 bytes, so it cannot take the wider block of
    // a narrow 4-bit level: such a texture is stored plain.
    out.swizzled = recipe.swizzle && level_can_swizzle(image.width, image.height, d) &&
                   !(d == 4 && image.width <= k_narrow_width);
    auto stored = [&](const indexed_image& level) {
        std::vector<uint8_t> plain = pack_indices(level.indices, d);
        if (out.swizzled && level_can_swizzle(level.width, level.height, d))
            return swizzled_level(std::move(plain), level.width, level.height, d);
        return plain;
    };
    out.pixels = stored(level0);
    out.palette = ps2_palette(level0.palette, d);
    for (size_t k = 1; k < chain.size(); ++k) {
        indexed_image level;
        if (!remap(chain[k], level0.palette, recipe.dither, level, error)) return false;
        out.further_levels.push_back(stored(level));
    }
    return true;
}
