#pragma once

#include "dictionary/ps2_txd.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillmap {

// What a texture stores for one pixel of a level, beside what the preview shows: the palette
// index of a 4- or 8-bit PS2 or GameCube palette texture and the alpha as stored (0..0x80 on PS2).
struct stored_pixel {
    std::optional<uint32_t> index;
    std::optional<uint32_t> alpha;
};

// Pixel (x, y) of level `level` of texture t, read in plain order (`swizzled`: the level is
// stored swizzled and is read unswizzled). Nothing for textures of other platforms, pixels
// outside the level or rasters that do not hold them.
stored_pixel probe_stored_pixel(ps2_txd& txd, uint32_t t, uint32_t level, uint32_t x, uint32_t y,
                                bool swizzled);

// The palette of a 4- or 8-bit PS2 texture in index order (entry i is what index i shows), red,
// green, blue and alpha as stored; empty for other textures.
std::vector<std::array<uint8_t, 4>> indexed_palette(ps2_txd& txd, uint32_t t);

// The palette index of every pixel of a level, row by row from the top; empty for textures
// without a palette or levels the raster does not hold.
std::vector<uint8_t> level_indices(ps2_txd& txd, uint32_t t, uint32_t level, bool swizzled);

} // namespace quillmap
