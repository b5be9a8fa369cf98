#pragma once

#include "imageio/picture.h"

#include <cstdint>
#include <span>
#include <string>

namespace quillmap {

// How the palette is chosen; the defaults come from quantize_bench's table (time and PSNR on
// real textures against libimagequant's own defaults).
struct quantize_settings {
    int speed = 6;             // libimagequant's speed setting: 1 slowest .. 10 fastest
    uint32_t palette_step = 0; // the palette from every n-th pixel and row; 0: by picture size
};

// The picture's own colours as a palette, in the order the pixels first show them, when there
// are at most `colours` of them (alpha counted): every pixel keeps its exact colour. False,
// leaving `out` alone, for more colours.
bool exact_palette(const rgba_image& image, uint32_t colours, indexed_image& out);

// The picture mapped onto a given palette (RGBA entries in logical order) when every pixel's
// colour, alpha included, is one of its entries: each pixel takes the first entry of its colour.
// False, leaving `out` alone, when some colour is missing.
bool exact_indices(const rgba_image& image, std::span<const uint8_t> palette, indexed_image& out);

// Colour reduction (none when exact_palette fits): a palette of at most `colours` entries (2..256)
// that keeps alpha, chosen by libimagequant, and the picture mapped onto it by colour as it is seen
// (map_to_palette's as_seen rule), dithered when `dither`. The palette holds only the colours used
// (fewer than `colours` for a picture with fewer). False with `error` when the library refuses.
bool quantize(const rgba_image& image, uint32_t colours, bool dither, indexed_image& out,
              std::string& error, const quantize_settings& settings = {});

// Maps `image` onto a given palette (RGBA entries in logical order) as map_to_palette does: mip
// levels reuse the palette of level 0. `out.palette` is `palette` (its first 256 entries).
bool remap(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
           indexed_image& out, std::string& error);

// Number of distinct RGBA colours in `image`, counting at most up to `limit` + 1.
uint32_t count_colours(const rgba_image& image, uint32_t limit);

} // namespace quillmap
