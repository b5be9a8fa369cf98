#pragma once

#include "imageio/picture.h"

#include <cstdint>
#include <span>
#include <string>

// Colour reduction through libimagequant: a palette of at most `colours` entries (2..256) that
// keeps alpha, and the picture mapped onto it, with Floyd-Steinberg dithering when `dither`.
// The palette holds only the colours used (fewer than `colours` for a picture with fewer).
// False with `error` when the library refuses.
bool quantize(const rgba_image& image, uint32_t colours, bool dither, indexed_image& out,
              std::string& error);

// Maps `image` onto a given palette (RGBA entries in logical order): mip levels reuse the
// palette of level 0. `out.palette` is `palette` unchanged.
bool remap(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
           indexed_image& out, std::string& error);

// Number of distinct RGBA colours in `image`, counting at most up to `limit` + 1.
uint32_t count_colours(const rgba_image& image, uint32_t limit);
