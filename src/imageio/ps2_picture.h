#pragma once

#include "imageio/picture.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

// Pictures to and from the PS2 raster's own layout: alpha 0..0x80, 256-colour palettes in the
// console's slot order (CSM1), 4-bit indices with the left pixel in the low nibble, 16-bit pixels
// red 0-4, green 5-9, blue 10-14, alpha 15, 24-bit pixels red, green, blue.

// 0..0x80 to 0..255 and back, exactly as the preview shows alpha (so that one undoes the other).
uint8_t alpha_from_ps2(uint8_t alpha);
uint8_t alpha_to_ps2(uint8_t alpha);

// Plain-order level pixels at depth 4 or 8 from indices (each below 2^depth).
std::vector<uint8_t> pack_indices(std::span<const uint8_t> indices, uint32_t depth);
// A PS2 palette of 2^depth entries (4·2^depth bytes) from logical RGBA entries; missing entries
// are zero.
std::vector<uint8_t> ps2_palette(std::span<const uint8_t> logical, uint32_t depth);

// The level as a palette picture in logical order (the PNG's order): `plain` holds
// w·h·depth/8 bytes of plain-order indices, `palette` 4·2^depth bytes of the raster's palette.
indexed_image indexed_from_ps2(std::span<const uint8_t> plain, uint32_t width, uint32_t height,
                               uint32_t depth, std::span<const uint8_t> palette);

// Level pixels at depth 16, 24 or 32 from a picture.
std::vector<uint8_t> ps2_pixels_from_rgba(const rgba_image& image, uint32_t depth);
// A plain-order level at depth 4, 8, 16, 24 or 32 as a picture; empty when the bytes are short.
rgba_image rgba_from_ps2(std::span<const uint8_t> plain, uint32_t width, uint32_t height,
                         uint32_t depth, std::span<const uint8_t> palette);

} // namespace quillmap
