#pragma once

#include "raster/simd_isa.h"

#include <cstddef>
#include <cstdint>

namespace quillmap {

// Vector decoders of whole DXT blocks into 8888 pixels (blue, green, red, alpha), giving exactly
// what the scalar decoders in dxt.cpp give. A row kernel decodes `count` blocks that lie side by
// side: block i goes to out + 16·i, its four pixel rows `pitch` bytes apart.
using dxt_8888_row_fn = void (*)(const uint8_t* blocks, uint32_t count, uint8_t* out, size_t pitch);

struct dxt_8888_kernels {
    dxt_8888_row_fn dxt1;
    dxt_8888_row_fn dxt3;
    dxt_8888_row_fn dxt5;
};

// The kernels for `isa` (sse2 or avx2); none when there are none for it or the processor lacks
// it. The scalar decoders are the portable form.
const dxt_8888_kernels* dxt_8888_kernels_for(simd_isa isa);
// The fastest kernels this machine has; none on machines without SSE2.
const dxt_8888_kernels* best_dxt_8888_kernels();

} // namespace quillmap
