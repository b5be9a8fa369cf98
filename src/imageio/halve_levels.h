#pragma once

#include "imageio/picture.h"
#include "raster/simd_isa.h"

#include <cstdint>
#include <span>

namespace quillmap {

// Each of `out` made the half of the one before it, the first the half of `image`, with
// half_size's bytes, by the widest row kernel up to `isa` (half_size_kernel). The rows are
// worked out in bands that up to `threads` threads of the process's pool take in turn (0: as
// many as the thread budget allows). When every level halves exactly, a band is a strip of rows
// followed down the whole chain; otherwise a level is begun when the one above it is done.
void halve_levels(const rgba_image& image, std::span<rgba_image> out, simd_isa isa,
                  unsigned threads);

// The threads worth sharing the halving of `image` `count` times between: one for small
// pictures, the thread budget for the others.
unsigned halving_threads(const rgba_image& image, uint32_t count);

} // namespace quillmap
