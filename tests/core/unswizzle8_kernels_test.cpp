// Every 8-bit band kernel this machine runs gives exactly the per-pixel swizzle mapping.
#include "raster/ps2_swizzling.h"
#include "raster/ps2_unswizzle8_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace quillmap {

namespace {

std::vector<uint8_t> random_raster(uint32_t w, uint32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(size_t(w) * h);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

std::vector<uint8_t> by_definition(const std::vector<uint8_t>& swizzled, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(swizzled.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            out[size_t(y) * w + x] = swizzled[ps2_swizzling::swizzle_offset(x, y, w)];
    return out;
}

TEST(Unswizzle8Kernels, EveryKernelMatchesTheDefinitionAtEveryBlockWidth) {
    int kernels = 0;
    for (simd_isa isa : k_all_simd_isas) {
        const auto kernel = unswizzle8_band_kernel(isa);
        if (!kernel) continue;
        ++kernels;
        // Widths with every remainder of the 2- and 4-block steps; heights with both variants.
        for (uint32_t w : {16u, 32u, 48u, 64u, 80u, 96u, 112u, 208u, 1024u})
            for (uint32_t h : {4u, 8u, 12u, 64u}) {
                const auto swizzled = random_raster(w, h, w * 131 + h);
                auto buffer = swizzled;
                ASSERT_TRUE(unswizzle8_in_place(kernel, buffer, w, h));
                ASSERT_EQ(buffer, by_definition(swizzled, w, h))
                    << simd_isa_name(isa) << " " << w << "x" << h;
            }
    }
    EXPECT_GE(kernels, 1); // the portable kernel at least
}

TEST(Unswizzle8Kernels, KernelsWriteOnlyTheirBand) {
    // A band with guard bytes around the output rows: the masked tails must stay inside.
    for (simd_isa isa : k_all_simd_isas) {
        const auto kernel = unswizzle8_band_kernel(isa);
        if (!kernel) continue;
        for (uint32_t w : {16u, 48u, 80u}) {
            const auto swizzled = random_raster(w, 4, w);
            std::vector<uint8_t> rows(size_t(w) * 4 + 64, 0xA5);
            kernel(swizzled.data(), rows.data(), w, 1);
            for (size_t i = size_t(w) * 4; i < rows.size(); ++i)
                ASSERT_EQ(rows[i], 0xA5) << simd_isa_name(isa) << " " << w;
        }
    }
}

TEST(Unswizzle8Kernels, RefusesWhatTheRoutineRefuses) {
    const auto kernel = unswizzle8_band_kernel(simd_isa::portable);
    std::vector<uint8_t> buffer(64 * 64 - 1, 3);
    EXPECT_FALSE(unswizzle8_in_place(kernel, buffer, 64, 64)); // short
    std::vector<uint8_t> odd(24 * 8, 3);
    EXPECT_FALSE(unswizzle8_in_place(kernel, odd, 24, 8)); // no permutation
    EXPECT_EQ(odd, std::vector<uint8_t>(24 * 8, 3));
    EXPECT_FALSE(unswizzle8_in_place(nullptr, odd, 16, 4));
}

} // namespace

} // namespace quillmap
