#pragma once

#include "imageio/picture.h"
#include "raster/simd_isa.h"

#include <cstdint>
#include <vector>

namespace quillmap {

// RenderWare's own level count for a size: one level, and one more each time the smaller side,
// halved, stays at least 8; at most 7 (128 x 128 -> 5, 8 x 8 -> 1).
uint32_t renderware_level_count(uint32_t width, uint32_t height);

// The next mip level: each pixel is the 2 x 2 box below it, averaged in linear light with each
// colour weighted by its alpha (so transparent texels do not darken the edges), alpha averaged
// plainly. Sides halve and stay at least 1.
// Equal to half_size_plain bit for bit, worked out a few boxes at a time in vector registers,
// and large pictures in bands of rows on several threads.
rgba_image half_size(const rgba_image& image);
// The same with the instruction set and thread count chosen: the widest row kernel up to `isa`
// (half_size_kernel), the plain step for `portable`.
rgba_image half_size(const rgba_image& image, simd_isa isa, unsigned threads);
// The same one pixel at a time: the reference the vector form is held to.
rgba_image half_size_plain(const rgba_image& image);

// Levels 0 .. count - 1, level 0 being `image` itself: handed over by move when the caller has no
// further use for it (a 1024 x 1024 copy costs as much as half the rest of the chain).
std::vector<rgba_image> mip_chain(rgba_image&& image, uint32_t count);
std::vector<rgba_image> mip_chain(const rgba_image& image, uint32_t count);

// Resampled to width x height (bilinear in linear light, alpha-weighted; box-averaged when
// shrinking by more than half), for pictures whose size must become a power of two.
rgba_image resized(const rgba_image& image, uint32_t width, uint32_t height);

// The powers of two just below and just above `value` (equal when it is one).
uint32_t power_of_two_below(uint32_t value);
uint32_t power_of_two_above(uint32_t value);
// The nearer of the two (the larger on a tie).
uint32_t nearest_power_of_two(uint32_t value);

struct picture_size {
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const picture_size&) const = default;
};
// The power-of-two sizes a width x height picture may be scaled to, the nearest first: each side
// to its nearest power of two, both sides down, both sides up, and the square nearest in area
// when it keeps the area better than the nearest size does. Sides stay within 1..largest;
// no size appears twice.
std::vector<picture_size> power_of_two_sizes(uint32_t width, uint32_t height, uint32_t largest);

} // namespace quillmap
