#pragma once

#include "raster/simd_isa.h"

#include <cstdint>
#include <span>

namespace quillmap {

// Out-of-place unswizzling of one 4-row band of an 8-bit raster: `swizzled` holds the band's
// 4·W bytes as stored, `rows` receives its four plain rows of W bytes each (row r at r·W).
// W is a multiple of 16; `variant` is bit 2 of the band's first row. The kernels move whole
// 16-pixel columns with byte permutes read from a table derived from
// ps2_swizzling::swizzle_offset, so they give exactly the per-pixel mapping.
using unswizzle8_band_fn = void (*)(const uint8_t* swizzled, uint8_t* rows, uint32_t width_px,
                                    uint32_t variant);

// The band kernel for `isa`; none when there is no kernel for it or the processor lacks it
// (the portable kernel is always there).
unswizzle8_band_fn unswizzle8_band_kernel(simd_isa isa);
// The fastest band kernel this machine has.
unswizzle8_band_fn best_unswizzle8_band_kernel();

// Unswizzles a whole 8-bit raster in place, band by band through `kernel`, with the contract of
// ps2_swizzling::unswizzle8 (false, nothing changed, unless the size is a permutation and the
// span holds it).
bool unswizzle8_in_place(unswizzle8_band_fn kernel, std::span<uint8_t> pixels, uint32_t width_px,
                         uint32_t height_px);

} // namespace quillmap
