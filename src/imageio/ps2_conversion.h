#pragma once

#include "dictionary/convert_ps2.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// What a texture of another platform becomes on its way into a PS2 dictionary.

// A side the game takes and lint accepts: a power of two up to 1024.
bool ps2_side_allowed(uint32_t side);
// The nearest such side (the larger on a tie, 1024 for anything above it).
uint32_t ps2_allowed_side(uint32_t side);

// For convert_to_ps2: a texture whose sides are not allowed is scaled to the nearest allowed
// size with the filter of `add --resize` (a palette kept when the depth stays), and "NAME:
// scaled from WxH to W'xH'" is added to `scaled`; textures become `depth` bits (4, 8 or 32;
// 0 keeps theirs) with `mips` levels (0 = RenderWare's own count, 1 = none, k_mips_keep = the
// source's own, as far as RenderWare's count goes). Levels the source holds are taken as they
// are unless the texture is scaled or its depth changes; missing ones are built.
raster_transform ps2_conversion_transform(uint32_t depth, uint32_t mips, bool dither,
                                          std::vector<std::string>* scaled);

// The conversion when nothing else is asked (the window's, `convert` without options, every
// dictionary of `batch convert`): depth, palette and mip levels stay, and only sides the game
// refuses are scaled, each named in `scaled`.
raster_transform ps2_game_sizes_transform(std::vector<std::string>* scaled);

} // namespace quillmap
