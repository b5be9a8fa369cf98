#pragma once

#include "dictionary/ps2_txd.h"

#include <cstdint>
#include <string>

namespace quillmap {

// The conversions of the texture list's pop-up menu: a PS2 texture rebuilt in the other storage
// order or at another depth through the game-ready builder, keeping its name, mask name, flag
// word (filtering and addressing) and mip pictures. PS2 textures of these files have no 16-bit
// grayscale format, so there is no conversion to one.
enum class texture_conversion { unswizzle, swizzle, depth4, depth8, depth32 };

// Whether the conversion would change texture t: false for textures that are no PS2 rasters,
// for the order or depth the texture already has, and for orders its depth does not have.
bool conversion_applies(ps2_txd& txd, uint32_t t, texture_conversion conversion);

// Rebuilds texture t in place. Unswizzled 4- and 8-bit data exists only in the old layout
// without transfer headers, which holds one level: the others are dropped and counted in
// `dropped_levels`. Depth 4 and 8 quantize with libimagequant (`dither`) unless the texture's
// palette already fits; further levels are remapped onto level 0's palette. False with `error`
// when the conversion does not apply or the texture's data cannot be read; t is then unchanged.
bool convert_texture(ps2_txd& txd, uint32_t t, texture_conversion conversion, bool dither,
                     std::string& error, uint32_t* dropped_levels = nullptr);

} // namespace quillmap
