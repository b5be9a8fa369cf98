#pragma once

#include "raster/display_image.h"
#include "raster/simd_isa.h"
#include "raster/view_mode.h"

#include <cstdint>
#include <span>

namespace quillmap {

// The screen picture of a swizzled 8-bit PS2 raster in one pass: each 4-row band is unswizzled
// into a small buffer that stays in the first-level cache, and its rows go straight through the
// palette into the display rows. The picture is the one ps2_bitmap::load_raster followed by
// to_display_bitmap gives (palette in console order turned to BMP order and alpha expanded as
// `mode` asks, rows bottom-up, `target_bits` 24 or 32).
//
// Handles only what it can do fast: sizes that are a permutation of the swizzled layout, a
// raster of at least w·h bytes and a palette of 256 entries, on machines with a vector
// unswizzle kernel. Returns none otherwise, and the caller takes the general path.
device_bitmap preview_swizzled8(uint32_t width_px, uint32_t height_px,
                                std::span<const uint8_t> raster, std::span<const uint8_t> palette,
                                view_mode mode, uint32_t target_bits);
// The same with the kernels of one instruction set (the portable set always works), so that
// tests can hold every set against the general path.
device_bitmap preview_swizzled8(uint32_t width_px, uint32_t height_px,
                                std::span<const uint8_t> raster, std::span<const uint8_t> palette,
                                view_mode mode, uint32_t target_bits, simd_isa isa);

} // namespace quillmap
