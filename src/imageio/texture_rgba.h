#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>

namespace quillmap {

// Level `level` of texture t as the preview shows it (mixed view: colour with alpha 0..255),
// as RGBA top row first. An empty picture with `error` when it cannot be rendered.
rgba_image texture_rgba(ps2_txd& txd, uint32_t t, uint32_t level, std::string& error);

} // namespace quillmap
