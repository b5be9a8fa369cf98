#pragma once

#include <cstdint>
#include <span>

namespace quillmap {

// The region a swizzled 4- or 8-bit mip level is stored in. A level goes to the console as a
// transfer of at least a minimum size (swizzled 8-bit 16x4 pixels, sent as 8x2 CT32; swizzled
// 4-bit 32x4, sent as 16x2 CT16), so a smaller level is stored as that padded region: swizzled at
// the padded width, the picture in its top-left corner. flowerb.txd's 8x8 8-bit level is stored
// 16 wide, sav4_HUD.TXD's 16x16 4-bit textures 32 wide.
namespace ps2_region {

struct extent {
    uint32_t width_px = 0;
    uint32_t height_px = 0;
    bool operator==(const extent&) const = default;
};

inline constexpr extent k_min_swizzled8 = {16, 4};
inline constexpr extent k_min_swizzled4 = {32, 4};

// The stored region of a swizzled w×h level at `depth`; the level itself for other depths.
extent swizzled_region(uint32_t width_px, uint32_t height_px, uint32_t depth);

// Unswizzles the stored region and writes the top-left w×h pixels as a plain image to `out`
// (raster_bytes(w, h, depth) bytes; at 4 bits one nibble stream, pixel i in the low nibble of
// byte i / 2 when i is even). False, with `out` untouched, when `stored` holds less than the
// region or the region is no swizzle permutation.
bool unswizzle_padded(std::span<const uint8_t> stored, uint32_t width_px, uint32_t height_px,
                      uint32_t depth, std::span<uint8_t> out);

// The reverse: puts the plain w×h image into the top-left of the stored region and swizzles it
// again; pixels of the region outside the picture keep their values. False, with `stored`
// untouched, when it holds less than the region, `plain` less than the picture, or the region is
// no swizzle permutation.
bool swizzle_into_padded(std::span<uint8_t> stored, uint32_t width_px, uint32_t height_px,
                         uint32_t depth, std::span<const uint8_t> plain);

} // namespace ps2_region

} // namespace quillmap
