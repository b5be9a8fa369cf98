#pragma once

#include "dictionary/convert_ps2.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// How a picture becomes a PS2 raster with its mip levels.
struct level_recipe {
    uint32_t depth = 8;  // 4, 8 or 32
    uint32_t levels = 1; // levels to build, already within RenderWare's own count
    bool dither = true;  // when quantizing or remapping
};

// Builds `out` from `image` (level 0). A palette picture whose palette fits the depth
// (`given`, may be none) is taken as it is; otherwise level 0 is quantized. Further levels are
// box-filtered from `image` and remapped onto level 0's palette. `quantized` tells whether
// colours were reduced. False with `error`.
bool build_ps2_levels(const rgba_image& image, const indexed_image* given,
                      const level_recipe& recipe, ps2_raster& out, bool& quantized,
                      std::string& error);

// The same from levels that already exist (a texture changing depth keeps its own mip
// pictures): `chain[0]` is level 0, every further level is remapped onto its palette.
// `recipe.levels` is not used.
bool build_ps2_levels_from_chain(const std::vector<rgba_image>& chain, const indexed_image* given,
                                 const level_recipe& recipe, ps2_raster& out, bool& quantized,
                                 std::string& error);

} // namespace quillmap
