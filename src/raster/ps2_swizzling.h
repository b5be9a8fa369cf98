#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

// Address mapping between plain row order and the console's swizzled order for 4- and 8-bit
// rasters, and the 256-colour palette order. Stateless; the bitmap classes derive from it and the
// dictionary and TIM2 code call it directly.
//
// The in-place conversions change `pixels` only when the size is a permutation of the swizzled
// layout (width a multiple of 16, height a multiple of 4, after the 16 -> 32 width rule of
// unswizzle4) and the span holds the bytes that size covers; otherwise they leave the buffer
// unchanged and return false.
class ps2_swizzling {
  public:
    // Position (pixels: bytes at 8 bits, nibbles at 4 bits) of pixel (x, y) in the swizzled buffer.
    static uint32_t swizzle_offset(uint32_t x, uint32_t y, uint32_t width_px);
    // Whether the mapping is a permutation of 0 .. w·h - 1 at this size.
    static bool is_permutation_size(uint32_t width_px, uint32_t height_px);

    static bool unswizzle8(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px);
    static bool swizzle8(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px);
    // A width of 16 is taken as 32 (the buffer then holds 16 bytes per row).
    static bool unswizzle4(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px);
    // The width is used as given (16 stays 16).
    static bool swizzle4(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px);
    // Depth 4 and 8 only; other depths leave the buffer unchanged and return false.
    static bool unswizzle_raster(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                                 uint32_t depth);
    static bool swizzle_raster(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                               uint32_t depth);

    static constexpr uint32_t k_narrow_width = 16;        // widest raster that is stored wider
    static constexpr uint32_t k_narrow_stored_width = 32; // the width it is stored at
    static constexpr uint32_t k_narrow_row_bytes = 16;    // bytes per stored row

    // Narrow rasters: a swizzled 4-bit raster at most 16 pixels wide is stored 32 pixels wide
    // (16 bytes per row). Writes the plain w·h-nibble image to `out` (w·h/2 bytes, rounded up).
    // False, with `out` untouched, when the raster does not hold 16·h bytes or h is not a
    // multiple of 4.
    static bool unswizzle4_narrow(std::span<const uint8_t> raster, uint32_t width_px,
                                  uint32_t height_px, std::span<uint8_t> out);

    // Copies the first w·h·depth/8 bytes of a raster into `out`, unswizzled when `swizzled` is set
    // (levels below the transfer minimum are read from their padded region, see
    // ps2_stored_region.h; sizes that are no permutation are copied as they stand). False
    // when the raster holds fewer bytes than the plain image; `unswizzled` (if given) tells whether
    // the bytes were actually reordered.
    static bool plain_copy(std::span<const uint8_t> raster, uint32_t width_px, uint32_t height_px,
                           uint32_t depth, bool swizzled, std::vector<uint8_t>& out,
                           bool* unswizzled = nullptr);

    // Palette slot of entry i in a 256-colour palette: bits 3 and 4 exchanged. Its own inverse.
    static uint32_t clut_slot(uint32_t i);
};

} // namespace quillmap
