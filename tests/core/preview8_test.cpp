// The fused preview of swizzled 8-bit rasters draws exactly the picture of the general bitmap
// path, with every instruction set this machine runs, and declines what it does not handle.
#include "raster/ps2_bitmap.h"
#include "raster/ps2_preview8.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace quillmap {

namespace {

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

device_bitmap general_path(uint32_t w, uint32_t h, const std::vector<uint8_t>& raster,
                           const std::vector<uint8_t>& palette, view_mode mode, uint32_t bits) {
    ps2_bitmap bitmap;
    if (!bitmap.load_raster(w, h, 8, raster, palette, true, mode, 0x1555, 0)) return nullptr;
    return bitmap.to_display_bitmap(bits);
}

TEST(Preview8, EveryInstructionSetDrawsTheGeneralPathsPicture) {
    int sets = 0;
    for (simd_isa isa : k_all_simd_isas) {
        if (!preview_swizzled8(16, 4, random_bytes(64, 1), random_bytes(1024, 2),
                               view_mode::texture, 24, isa))
            continue; // no fused path with this set
        ++sets;
        // Widths with every remainder of the 64-pixel step, heights with both band variants.
        for (uint32_t w : {16u, 48u, 64u, 80u, 512u})
            for (uint32_t h : {4u, 12u, 32u}) {
                const auto raster = random_bytes(size_t(w) * h, w + h);
                const auto palette = random_bytes(1024, w * h);
                for (view_mode mode :
                     {view_mode::texture, view_mode::alpha, view_mode::mixed, view_mode::reverse})
                    for (uint32_t bits : {24u, 32u}) {
                        const auto fused =
                            preview_swizzled8(w, h, raster, palette, mode, bits, isa);
                        const auto general = general_path(w, h, raster, palette, mode, bits);
                        ASSERT_TRUE(fused && general);
                        EXPECT_EQ(fused->width, general->width);
                        EXPECT_EQ(fused->height, general->height);
                        EXPECT_EQ(fused->bits, general->bits);
                        EXPECT_EQ(fused->stride, general->stride);
                        ASSERT_EQ(fused->bytes, general->bytes)
                            << simd_isa_name(isa) << " " << w << "x" << h << " mode "
                            << view_mode_number(mode) << " bits " << bits;
                    }
            }
    }
    EXPECT_GE(sets, 1); // the portable set at least
}

TEST(Preview8, DeclinesWhatOnlyTheGeneralPathHandles) {
    const auto palette = random_bytes(1024, 3);
    const auto raster = random_bytes(64 * 64, 4);
    for (simd_isa isa : {simd_isa::portable, simd_best_isa()}) {
        EXPECT_FALSE(preview_swizzled8(24, 8, raster, palette, view_mode::texture, 24,
                                       isa)); // no permutation
        EXPECT_FALSE(
            preview_swizzled8(8, 8, raster, palette, view_mode::texture, 24, isa)); // narrow
        EXPECT_FALSE(preview_swizzled8(64, 64, std::span(raster).first(64 * 64 - 1), palette,
                                       view_mode::texture, 24,
                                       isa)); // short raster
        EXPECT_FALSE(preview_swizzled8(64, 64, raster, std::span(palette).first(1020),
                                       view_mode::texture, 24,
                                       isa)); // short palette
        EXPECT_FALSE(preview_swizzled8(64, 64, raster, palette, view_mode::texture, 16,
                                       isa)); // display depth
    }
}

} // namespace

} // namespace quillmap
