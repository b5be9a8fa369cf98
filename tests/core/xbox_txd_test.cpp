#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/xbox_txd.h"
#include "raster/display_image.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
constexpr uint16_t k_red565 = 0xF800;
constexpr uint16_t k_green565 = 0x07E0;
constexpr uint16_t k_blue565 = 0x001F;

std::unique_ptr<xbox_txd> open_xbox(std::vector<test_chunk> textures, bool* ok) {
    auto txd = std::make_unique<xbox_txd>();
    *ok = txd->load(write_temp("x.txd", make_dictionary(std::move(textures), 0x350).bytes()), 0,
                    0x16, 0);
    return txd;
}

pc_texture_desc xbox_desc(uint8_t compression, std::vector<std::vector<uint8_t>> levels) {
    pc_texture_desc desc;
    desc.platform = 5;
    desc.compression = compression;
    desc.xbox_layout = true;
    desc.mip_count = uint8_t(levels.size());
    desc.levels = std::move(levels);
    return desc;
}

bgra solid_colour(xbox_txd& txd, uint32_t t, uint32_t level, view_mode mode, uint32_t* w = nullptr,
                  uint32_t* h = nullptr) {
    auto image = txd.render(t, mode, swizzle_mode::as_stored, nullptr, level);
    if (!image) return {1, 2, 3, 4};
    if (w) *w = image->width;
    if (h) *h = image->height;
    const bgra first = pixel_at(*image, 0, 0);
    for (uint32_t y = 0; y < image->height; ++y)
        for (uint32_t x = 0; x < image->width; ++x)
            if (!(pixel_at(*image, x, y) == first)) return {5, 6, 7, 8};
    return mode == view_mode::mixed ? first : rgb_at(*image, 0, 0);
}
} // namespace

TEST(XboxTxd, LoadChecksTheFirstTexture) {
    bool ok = false;
    auto pc_first = open_xbox({make_pc_texture(pc_texture_desc{})}, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(pc_first->last_error, "This is not a XBOX texture.");
    auto empty = open_xbox({}, &ok);
    EXPECT_TRUE(ok);
    auto good = open_xbox({make_pc_texture(xbox_desc(12, {dxt1_solid(k_red565, 4)}))}, &ok);
    EXPECT_TRUE(ok) << good->last_error;
    EXPECT_TRUE(good->is_xbox_texture(0));
    EXPECT_FALSE(good->is_xbox_texture(1));
    EXPECT_EQ(good->last_error, "Unknown texture ID");
}

struct xbox_case {
    const char* label;
    uint8_t byte87;
    std::vector<uint8_t> blocks;
    uint32_t raster_format;
    uint32_t expected_compression;
    bgra expected; // mixed view
};

class XboxCompression : public ::testing::TestWithParam<xbox_case> {};

TEST_P(XboxCompression, DecodesByTheXboxNumbers) {
    const auto& row = GetParam();
    auto desc = xbox_desc(row.byte87, {row.blocks});
    desc.raster_format = row.raster_format;
    bool ok = false;
    auto txd = open_xbox({make_pc_texture(desc)}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(txd->compression(0), row.expected_compression);
    EXPECT_EQ(solid_colour(*txd, 0, 0, view_mode::mixed), row.expected) << txd->last_error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, XboxCompression,
    ::testing::Values(
        // DXT1 into 565: opaque, red 0xF8.
        xbox_case{"dxt1_565", 12, dxt1_solid(k_red565, 4), 0x200, 1, {0, 0, 255, 255}},
        // DXT3 into 4444: explicit alpha nibble 5 -> 5·17 = 0x55.
        xbox_case{"dxt3_4444", 14, dxt3_solid(k_green565, 5, 4), 0x300, 3, {0, 0xFF, 0, 0x55}},
        // DXT5 into 4444: interpolated alpha endpoint 0x90 -> nibble 9.
        xbox_case{"dxt5_4444", 15, dxt5_solid(k_blue565, 0x90, 4), 0x300, 5, {0xFF, 0, 0, 0x90}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(XboxTxd, UnknownCompressionIsDescribedButNotRendered) {
    bool ok = false;
    auto txd = open_xbox({make_pc_texture(xbox_desc(16, {dxt1_solid(k_red565, 4)}))}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(txd->compression(0), 16u);
    EXPECT_EQ(txd->width(0), 8u);
    EXPECT_FALSE(txd->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
    EXPECT_TRUE(txd->pixels(0, 0).empty());
}

TEST(XboxTxd, Dxt1On32Bit888DecodesTo8888) {
    // playerh.txd: depth 32, raster format 888.
    auto desc = xbox_desc(12, {dxt1_solid(k_blue565, 4)});
    desc.depth = 32;
    desc.raster_format = 0x600;
    bool ok = false;
    auto txd = open_xbox({make_pc_texture(desc)}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(solid_colour(*txd, 0, 0, view_mode::texture), (bgra{255, 0, 0, 0}));
}

TEST(XboxTxd, UncompressedPixelsFollowTheWordAfterThePalette) {
    auto desc = xbox_desc(0, {fill16(k_green565, 64)});
    bool ok = false;
    auto txd = open_xbox({make_pc_texture(desc)}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(txd->pixels(0, 0).data(), txd->texture_struct(0).data() + 92);
    EXPECT_EQ(solid_colour(*txd, 0, 0, view_mode::texture), (bgra{0, 255, 0, 0}));
}

TEST(XboxTxd, FurtherLevelsAreLocatedWhenThereOrLevelZeroIsShown) {
    const std::vector<std::vector<uint8_t>> levels = {
        dxt1_solid(k_red565, 4), dxt1_solid(k_green565, 1), dxt1_solid(k_blue565, 1)};
    auto contiguous = xbox_desc(12, levels);
    auto chained = xbox_desc(12, levels);
    chained.xbox_chained = true;
    // Level 0 only stored although three are declared.
    auto missing = xbox_desc(12, {dxt1_solid(k_red565, 4)});
    missing.mip_count = 3;
    bool ok = false;
    auto txd = open_xbox(
        {make_pc_texture(contiguous), make_pc_texture(chained), make_pc_texture(missing)}, &ok);
    ASSERT_TRUE(ok);
    for (uint32_t t = 0; t < 2; ++t) {
        uint32_t w = 0, h = 0;
        EXPECT_EQ(solid_colour(*txd, t, 1, view_mode::texture, &w, &h), (bgra{0, 255, 0, 0})) << t;
        EXPECT_EQ(w, 4u);
        EXPECT_EQ(h, 4u);
        EXPECT_EQ(solid_colour(*txd, t, 2, view_mode::texture, &w, &h), (bgra{255, 0, 0, 0})) << t;
        EXPECT_EQ(w, 2u);
    }
    // Never the top of level 0 shown small: level 0 whole instead.
    uint32_t w = 0, h = 0;
    EXPECT_EQ(solid_colour(*txd, 2, 1, view_mode::texture, &w, &h), (bgra{0, 0, 255, 0}));
    EXPECT_EQ(w, 8u);
    EXPECT_EQ(h, 8u);
}

TEST(XboxTxd, DxtDataShorterThanTheSizeIsRefused) {
    auto desc = xbox_desc(12, {dxt1_solid(k_red565, 3)});
    bool ok = false;
    auto txd = open_xbox({make_pc_texture(desc)}, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(txd->last_error, "This is not a XBOX texture.");
    EXPECT_EQ(txd->error_detail, "texture 0 needs 124 bytes, its Struct holds 116");
}

} // namespace quillmap
