#pragma once

#include "imageio/picture.h"
#include "raster/simd_isa.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

// The rows of the half-size step (see half_size), a few boxes at a time in vector registers.
// Every instruction set gives half_size_plain's bytes.

// Whether this build has a row kernel for `isa` and the processor runs it.
bool half_size_kernel_available(simd_isa isa);

// Output rows first .. last - 1 of `image` halved into `out`, which already has its size. Both
// sides of `image` are at least 2, and `isa` is available. Rows are independent: ranges may be
// worked out on different threads.
void half_size_rows(const rgba_image& image, rgba_image& out, uint32_t first, uint32_t last,
                    simd_isa isa);

// The sRGB bytes the `isa` kernel encodes half steps (each 0 .. 2 · k_encode_steps) to, to hold
// them to srgb_of_half_step; empty for the kernels that read that table itself.
std::vector<uint8_t> encoded_half_steps(simd_isa isa, std::span<const int32_t> steps);

} // namespace quillmap
