// Swizzled levels below the transfer minimum (8-bit 16x4, 4-bit 32x4) are stored as that padded
// region, swizzled at its width, with the picture in the top-left corner.
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "raster/display_image.h"
#include "raster/ps2_bitmap.h"
#include "raster/ps2_swizzling.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmap {

namespace {
constexpr uint32_t k_transfer_header_bytes = 80;

struct small_case {
    uint32_t width, height, depth;
    uint32_t region_width, region_height; // the padded region the level is stored as
};

uint8_t index_at(uint32_t x, uint32_t y, uint32_t depth) {
    return uint8_t(depth == 8 ? (x * 7 + y * 13 + 1) % 256 : (x + 3 * y + 1) % 16);
}

uint8_t nibble_or_byte(const std::vector<uint8_t>& plain, size_t i, uint32_t depth) {
    if (depth == 8) return plain[i];
    return (i & 1) ? plain[i / 2] >> 4 : plain[i / 2] & 0x0F;
}

class SmallLevels : public ::testing::TestWithParam<small_case> {};

// Replacing a small texture writes the picture into the top-left of its region and keeps the
// rest; reading it back (export) gives the picture again.
TEST_P(SmallLevels, ReplaceWritesTheRegionAndExportReadsIt) {
    const auto& c = GetParam();
    const uint32_t region_bytes = c.region_width * c.region_height * c.depth / 8;
    const uint32_t level_bytes = c.width * c.height * c.depth / 8;
    const auto dir = temp_dir();
    const auto path = write_file(
        dir / "small.txd",
        make_dictionary({make_ps2_texture({.width = c.width,
                                           .height = c.height,
                                           .depth = c.depth,
                                           .swizzled = true,
                                           .small_level_padding = region_bytes - level_bytes})})
            .bytes());
    auto opened = probe_dictionary(path, 0, "PS2");
    ASSERT_TRUE(opened.dictionary);
    ps2_txd& txd = *opened.dictionary;
    ASSERT_TRUE(txd.is_swizzled(0));
    const uint8_t* level = txd.transfer_header(0) + k_transfer_header_bytes;
    std::vector<uint8_t> before_region(level, level + region_bytes);
    ASSERT_TRUE(
        ps2_swizzling::unswizzle_raster(before_region, c.region_width, c.region_height, c.depth));

    // A BMP of the texture with a known picture.
    const auto bmp = dir / "small.bmp";
    ASSERT_TRUE(
        txd.export_texture(0, view_mode::texture, export_type::bmp, &bmp, swizzle_mode::as_stored))
        << txd.last_error;
    ps2_bitmap picture;
    ASSERT_TRUE(picture.read_bmp(bmp));
    const uint32_t row_bytes = picture.row_bytes();
    std::fill(picture.pixels.begin(), picture.pixels.end(), 0);
    for (uint32_t y = 0; y < c.height; ++y)
        for (uint32_t x = 0; x < c.width; ++x) {
            uint8_t* row = picture.pixels.data() + size_t(c.height - 1 - y) * row_bytes;
            const uint8_t v = index_at(x, y, c.depth);
            if (c.depth == 8)
                row[x] = v;
            else
                row[x / 2] |= uint8_t((x & 1) ? v : v << 4);
        }
    ASSERT_TRUE(picture.write_bmp(bmp));
    ASSERT_TRUE(txd.replace_texture(0, bmp, export_type::bmp, false)) << txd.last_error;

    level = txd.transfer_header(0) + k_transfer_header_bytes;
    std::vector<uint8_t> region(level, level + region_bytes);
    ASSERT_TRUE(ps2_swizzling::unswizzle_raster(region, c.region_width, c.region_height, c.depth));
    for (uint32_t y = 0; y < c.region_height; ++y)
        for (uint32_t x = 0; x < c.region_width; ++x) {
            const size_t i = size_t(y) * c.region_width + x;
            const uint8_t expected = x < c.width && y < c.height
                                         ? index_at(x, y, c.depth)
                                         : nibble_or_byte(before_region, i, c.depth);
            ASSERT_EQ(nibble_or_byte(region, i, c.depth), expected) << x << "," << y;
        }

    const auto again = dir / "again.bmp";
    ASSERT_TRUE(txd.export_texture(0, view_mode::texture, export_type::bmp, &again,
                                   swizzle_mode::as_stored))
        << txd.last_error;
    ps2_bitmap exported;
    ASSERT_TRUE(exported.read_bmp(again));
    EXPECT_EQ(exported.pixels, picture.pixels);
}

INSTANTIATE_TEST_SUITE_P(Rows, SmallLevels,
                         ::testing::Values(small_case{8, 8, 8, 16, 8}, small_case{4, 4, 8, 16, 4},
                                           small_case{8, 2, 8, 16, 4}, small_case{2, 2, 4, 32, 4},
                                           small_case{4, 4, 4, 32, 4}, small_case{8, 8, 4, 32, 8}),
                         [](const auto& info) {
                             const auto& c = info.param;
                             return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
                                    std::to_string(c.depth) + "bit";
                         });

// Mean difference per channel between a mip level and level 0 scaled down by box averaging: a
// level read with the right layout is a small copy of level 0.
double distance_to_level0(ps2_txd& txd, uint32_t t, uint32_t level, swizzle_mode swizzle) {
    auto big = txd.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    auto small = txd.render(t, view_mode::texture, swizzle, nullptr, level);
    if (!big || !small) return 1e9;
    const uint32_t scale = 1u << level;
    double total = 0;
    for (uint32_t y = 0; y < small->height; ++y)
        for (uint32_t x = 0; x < small->width; ++x)
            for (uint32_t channel = 0; channel < 3; ++channel) {
                double sum = 0;
                for (uint32_t v = 0; v < scale; ++v)
                    for (uint32_t u = 0; u < scale; ++u)
                        sum += big->bytes[size_t(big->height - 1 - (y * scale + v)) * big->stride +
                                          (x * scale + u) * 3 + channel];
                const double mean = sum / (scale * scale);
                const double got =
                    small->bytes[size_t(small->height - 1 - y) * small->stride + x * 3 + channel];
                total += std::fabs(mean - got);
            }
    return total / (small->width * small->height * 3);
}
} // namespace

TEST(SmallLevelSamples, SmallLevelsLookLikeLevelZero) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        uint32_t texture, level; // an 8-bit level 8 pixels wide
    };
    for (const row& r :
         {row{"flowerb.txd", 1, 3}, row{"cspolic.txd", 1, 4}, row{"cspolic.txd", 2, 2}}) {
        if (!std::filesystem::exists(sample(r.file))) continue;
        auto opened = probe_dictionary(sample(r.file), 0, "PS2");
        ASSERT_TRUE(opened.dictionary) << r.file;
        ps2_txd& txd = *opened.dictionary;
        ASSERT_EQ(txd.depth(r.texture), 8u);
        ASSERT_EQ(txd.width(r.texture) >> r.level, 8u) << r.file;
        const double read = distance_to_level0(txd, r.texture, r.level, swizzle_mode::as_stored);
        const double as_stored = distance_to_level0(txd, r.texture, r.level, swizzle_mode::off);
        std::cout << r.file << " " << r.texture << "/" << r.level << ": " << read << " vs "
                  << as_stored << "\n";
        EXPECT_LT(read, 20.0) << r.file << " texture " << r.texture;
        EXPECT_LT(read * 2, as_stored) << r.file << " texture " << r.texture;
    }
}

} // namespace quillmap
