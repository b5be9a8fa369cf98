#pragma once

// The AVX-512 row kernel of the half-size step (with the byte permutes of AVX512-VBMI).

#include "imageio/half_size_boxes.h"

#include <cstdint>
#include <span>

#if QM_HALF_WIDE
namespace quillmap::half_size_detail {

// Whether the kernel's encoding tables came out right (checked once, on first use); the kernel
// is not used otherwise.
bool avx512_encodes();
// One output row of `count` pixels from the rows `top` and `bottom`.
void half_row_avx512(const uint8_t* top, const uint8_t* bottom, uint8_t* target, uint32_t count,
                     const tables& k);
// The bytes the kernel encodes half steps to.
void encode_steps_avx512(std::span<const int32_t> steps, uint8_t* bytes);

} // namespace quillmap::half_size_detail
#endif
