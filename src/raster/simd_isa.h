#pragma once

namespace quillmap {

// The instruction sets the raster inner loops have kernels for, chosen at run time so that one
// build runs everywhere and uses what the machine has. `portable` is plain C++ (the reference
// the others must match); `sse2` is the x86-64 baseline; `avx2` and `avx512vbmi` (AVX-512 with
// the byte permutes, which also implies BW and VL) are used only when the processor reports them.
enum class simd_isa { portable, sse2, avx2, avx512vbmi };

inline constexpr simd_isa k_all_simd_isas[] = {simd_isa::portable, simd_isa::sse2, simd_isa::avx2,
                                               simd_isa::avx512vbmi};

// Whether this build has kernels for `isa` and this processor runs them.
bool simd_isa_available(simd_isa isa);
// The widest available instruction set (checked once).
simd_isa simd_best_isa();
const char* simd_isa_name(simd_isa isa);

} // namespace quillmap
