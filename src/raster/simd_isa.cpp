#include "raster/simd_isa.h"

#include <initializer_list>

// QUILLMAP_NO_SIMD builds only the portable kernels, to check them on their own.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(QUILLMAP_NO_SIMD)
#define QM_X86_DISPATCH 1
#endif

namespace quillmap {

bool simd_isa_available(simd_isa isa) {
    switch (isa) {
    case simd_isa::portable:
        return true;
#if QM_X86_DISPATCH
    case simd_isa::sse2:
        return __builtin_cpu_supports("sse2");
    case simd_isa::avx2:
        return __builtin_cpu_supports("avx2");
    case simd_isa::avx512vbmi:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
#endif
    default:
        return false;
    }
}

simd_isa simd_best_isa() {
    static const simd_isa best = [] {
        for (simd_isa isa : {simd_isa::avx512vbmi, simd_isa::avx2, simd_isa::sse2})
            if (simd_isa_available(isa)) return isa;
        return simd_isa::portable;
    }();
    return best;
}

const char* simd_isa_name(simd_isa isa) {
    switch (isa) {
    case simd_isa::sse2:
        return "sse2";
    case simd_isa::avx2:
        return "avx2";
    case simd_isa::avx512vbmi:
        return "avx512vbmi";
    default:
        return "portable";
    }
}

} // namespace quillmap
