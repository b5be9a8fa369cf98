#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// What becomes of a PS2 texture's other mip levels when level 0 is replaced.
enum class other_levels {
    // Rebuilt from the new picture when the palette changed (old indices would show noise
    // through the new palette); kept byte for byte when it did not.
    follow_palette,
    // Kept: remapped from their own colours onto a changed palette, byte for byte otherwise.
    keep,
    // Always rebuilt from the new picture.
    regenerate,
};

// Levels 1 .. n - 1 of a texture as they were before level 0 changed.
struct levels_before {
    std::vector<uint8_t> palette;     // the raster's palette bytes (depths 4 and 8)
    std::vector<rgba_image> pictures; // levels 1 .. n - 1 as they show
};

// Taken before the replace; a texture with one level gives no pictures.
levels_before capture_levels(ps2_txd& txd, uint32_t t);

// Brings levels 1 .. n - 1 of texture t in line with its new level 0 as `policy` says.
// `picture` is the new level 0 at full precision (the PNG before quantizing); none takes level 0
// as the texture now shows it. Generated levels are mapped onto level 0's palette keeping each
// pixel's alpha class. False with `error` when a level cannot be read or written.
bool update_other_levels(ps2_txd& txd, uint32_t t, const levels_before& before,
                         const rgba_image* picture, other_levels policy, bool dither,
                         std::string& error);

} // namespace quillmap
