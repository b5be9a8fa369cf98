#pragma once

#include "imageio/picture.h"

#include <cstdint>

namespace quillmap {

// Real textures for the picture benchmarks: level 0 of every texture of at least 32x32 in the
// shared samples' PC DXT and PS2 8-bit dictionaries, decoded as the preview shows them, one per
// 128x128 cell of a side x side picture (the dictionaries in turn; a texture repeats across its
// cell as the game tiles it). Empty when the samples are absent; the benchmarks then skip with a
// message.
const rgba_image& sample_mosaic(uint32_t side);

// The message a benchmark skips with when sample_mosaic is empty.
inline constexpr const char* k_no_samples = "shared samples absent: no real textures to measure";

} // namespace quillmap
