#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>

namespace quillmap {

// Level `level` of texture t rendered in view `mode`, or nothing with `error` saying why
// (the dictionary's own message, or that the level has no picture).
device_bitmap rendered_level(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode,
                             swizzle_mode swizzle, std::string& error);

// A rendered picture (bottom-up BGR(A)) as top-down RGBA; alpha 255 for 24 bits.
rgba_image rgba_of_display(const display_image& image);

// Level `level` of texture t as the preview shows it (mixed view: colour with alpha 0..255),
// as RGBA top row first. An empty picture with `error` when it cannot be rendered.
rgba_image texture_rgba(ps2_txd& txd, uint32_t t, uint32_t level, std::string& error);

} // namespace quillmap
