#pragma once

#include "imageio/picture.h"
#include "raster/simd_isa.h"

#include <cstdint>

namespace quillmap {

// The rows of the half-size step (see half_size), a few boxes at a time in vector registers.
// Every instruction set gives half_size_plain's bytes.

// The instruction set of the widest row kernel this build has and this processor runs, no wider
// than `wanted`: the kernels of the narrower sets stand in for a wider one that has none.
// `portable` when there is none (the plain step).
simd_isa half_size_kernel(simd_isa wanted);

// Output rows first .. last - 1 of `image` halved into `out`, which already has its size. Both
// sides of `image` are at least 2, and `isa` is a kernel's (half_size_kernel). Rows are
// independent: ranges may be worked out on different threads.
void half_size_rows(const rgba_image& image, rgba_image& out, uint32_t first, uint32_t last,
                    simd_isa isa);

} // namespace quillmap
