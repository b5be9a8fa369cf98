#pragma once

#include "dictionary/convert_ps2.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>

// How a picture becomes a PS2 raster with its mip levels.
struct level_recipe {
    uint32_t depth = 8;  // 4, 8 or 32
    uint32_t levels = 1; // levels to build, already within RenderWare's own count
    bool dither = true;  // when quantizing or remapping
    bool swizzle = true; // store 4- and 8-bit levels swizzled where the layout allows
};

// Builds `out` from `image` (level 0). A palette picture whose palette fits the depth
// (`given`, may be none) is taken as it is; otherwise level 0 is quantized. Further levels are
// box-filtered from `image` and remapped onto level 0's palette. `quantized` tells whether
// colours were reduced. False with `error`.
bool build_ps2_levels(const rgba_image& image, const indexed_image* given,
                      const level_recipe& recipe, ps2_raster& out, bool& quantized,
                      std::string& error);

// Whether a level of this size and depth can be stored swizzled and read back.
bool level_can_swizzle(uint32_t width, uint32_t height, uint32_t depth);
// Plain-order level pixels to the stored order of a swizzled texture: the console's swizzle, or
// for a 4-bit level at most 16 pixels wide the 32-pixel-wide swizzled block it is stored in.
std::vector<uint8_t> swizzled_level(std::vector<uint8_t> plain, uint32_t width, uint32_t height,
                                    uint32_t depth);
