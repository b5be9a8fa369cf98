#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "raster/display_image.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
std::string platform_name(const probe_result& result) {
    return result.platform ? platform_name(*result.platform) : "none";
}

std::filesystem::path mobile_file() {
    mobile_texture_desc desc;
    desc.data = fill16(0xF800, 64);
    return write_temp("mobile.txd", mobile_dictionary_bytes({desc}, 40));
}

std::filesystem::path xbox_file() {
    pc_texture_desc desc;
    desc.platform = 5;
    desc.compression = 12;
    desc.xbox_layout = true;
    desc.levels = {dxt1_solid(0xF800, 4)};
    return write_temp("xbox.txd", make_dictionary({make_pc_texture(desc)}).bytes());
}

std::filesystem::path tex_file() {
    tex_record_desc record;
    record.raster = {0, tex_dimension_word(2, 2, 4), 0, 0};
    record.pixels.assign(8, 0x12);
    record.palette.assign(64, 0x40);
    return write_temp("a.tex", tex_file_bytes({record}));
}
} // namespace

TEST(ProbePlatforms, TableOrderNamesAndMasks) {
    const auto table = platform_table();
    ASSERT_EQ(table.size(), 6u);
    const char* names[] = {"PS2", "PC", "iOS", "XBOX", "TEX", "GameCube"};
    // PC, mobile, XBOX and GameCube dictionaries take every edit; TEX refuses import, replace
    // and save.
    const uint32_t masks[] = {0, 0, 0, 0, 58, 0};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_STREQ(table[i].name, names[i]);
        EXPECT_EQ(table[i].restriction_mask, masks[i]);
    }
}

TEST(ProbePlatforms, EachSyntheticPlatformOpensWithItsClass) {
    struct row {
        std::filesystem::path file;
        const char* platform;
    };
    const row rows[] = {{mobile_file(), "iOS"}, {xbox_file(), "XBOX"}, {tex_file(), "TEX"}};
    for (const auto& r : rows) {
        auto result = probe_dictionary(r.file, 0, k_all_platforms);
        ASSERT_TRUE(result.dictionary) << r.file;
        EXPECT_EQ(platform_name(result), r.platform);
        EXPECT_EQ(result.restriction_mask, platform_entry_of(*result.platform).restriction_mask);
        EXPECT_TRUE(
            result.dictionary->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0))
            << r.platform;
    }
}

TEST(ProbePlatforms, SettingDecidesWhichClassesAreTried) {
    // The default leaves XBOX and TEX out.
    EXPECT_FALSE(probe_dictionary(xbox_file(), 0, k_default_platform_priority).dictionary);
    auto xbox = probe_dictionary(xbox_file(), 0, "PS2,PC,iOS,XBOX");
    ASSERT_TRUE(xbox.dictionary);
    EXPECT_EQ(xbox.restriction_mask, 0u);
    EXPECT_FALSE(probe_dictionary(tex_file(), 0, k_default_platform_priority).dictionary);
    // Names need no separator; order in the text does not matter.
    EXPECT_EQ(platform_name(probe_dictionary(xbox_file(), 0, "TEXXBOX")), "XBOX");
    EXPECT_EQ(platform_name(probe_dictionary(mobile_file(), 0, "iOS,PS2")), "iOS");
    // Case matters and partial names match nothing.
    EXPECT_FALSE(probe_dictionary(mobile_file(), 0, "IOS,ios,XBO,PS").dictionary);
    EXPECT_FALSE(probe_dictionary(mobile_file(), 0, "").dictionary);
}

TEST(ProbePlatforms, PcAndMobileTests) {
    auto empty =
        probe_dictionary(write_temp("e.txd", make_dictionary({}).bytes()), 0, k_all_platforms);
    ASSERT_TRUE(empty.dictionary);
    EXPECT_EQ(platform_name(empty), "PS2");
    EXPECT_TRUE(probe_pc_test(*empty.dictionary));
    EXPECT_FALSE(probe_mobile_test(*empty.dictionary));

    auto mobile = probe_dictionary(mobile_file(), 0, k_all_platforms);
    ASSERT_TRUE(mobile.dictionary);
    EXPECT_FALSE(probe_pc_test(*mobile.dictionary)); // platform 12
    EXPECT_FALSE(probe_mobile_test(*mobile.dictionary));

    pc_texture_desc d3d9;
    d3d9.platform = 9;
    d3d9.levels = {fill16(0, 64)};
    auto pc = probe_dictionary(
        write_temp("p.txd", make_dictionary({make_pc_texture(d3d9)}).bytes()), 0, k_all_platforms);
    ASSERT_TRUE(pc.dictionary);
    EXPECT_EQ(platform_name(pc), "PC");
    EXPECT_TRUE(probe_pc_test(*pc.dictionary));
    EXPECT_TRUE(probe_mobile_test(*pc.dictionary));
}

struct sample_row {
    const char* file;
    const char* platform;
    uint32_t textures;
};

class SamplePlatforms : public ::testing::TestWithParam<sample_row> {};

TEST_P(SamplePlatforms, OpensWithTheRightClassAndEveryTextureRenders) {
    SKIP_WITHOUT_SAMPLES();
    const auto& row = GetParam();
    if (!std::filesystem::exists(sample(row.file)))
        GTEST_SKIP() << "sample " << row.file << " is absent";
    auto result = probe_dictionary(sample(row.file), 0, k_all_platforms);
    ASSERT_TRUE(result.dictionary) << row.file;
    EXPECT_EQ(platform_name(result), row.platform);
    ps2_txd& txd = *result.dictionary;
    ASSERT_EQ(txd.texture_count(), row.textures);
    for (uint32_t t = 0; t < txd.texture_count(); ++t) {
        for (view_mode mode : {view_mode::texture, view_mode::mixed}) {
            auto image = txd.render(t, mode, swizzle_mode::as_stored, nullptr, 0);
            ASSERT_TRUE(image) << row.file << " texture " << t << ": " << txd.last_error;
            EXPECT_EQ(image->width, txd.width(t));
            EXPECT_EQ(image->height, txd.height(t));
        }
        txd.release_pixels(t);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SamplePlatforms,
    ::testing::Values(sample_row{"VEHICLE2.txd", "PS2", 1}, sample_row{"flowerb.txd", "PS2", 2},
                      sample_row{"cscloth.txd", "PS2", 0}, sample_row{"cspolic.txd", "PS2", 3},
                      sample_row{"sav4_HUD.TXD", "PS2", 70}, sample_row{"AMBULAN.TXD", "PC", 10},
                      sample_row{"mainsc2.txd", "PC", 1}, sample_row{"g3le_MISC.TXD", "PC", 19},
                      sample_row{"LD_SPAC.txd", "PC", 1}, sample_row{"pcbtns.txd", "PC", 4},
                      sample_row{"crsr_misc.txd", "PC", 11}, sample_row{"crsr_hud.txd", "PC", 69},
                      sample_row{"tdem_tde.txd", "PC", 38}, sample_row{"radar00.txd", "XBOX", 1},
                      sample_row{"playerh.txd", "XBOX", 1}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (auto& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(SamplePlatformsExtra, Tdem5IsDxt5AndOpaqueWhereTheBlocksSaySo) {
    SKIP_WITHOUT_SAMPLES();
    // tdem_tde.txd "tde-1": byte 87 = 8, word "DXT5"; decoded as DXT1 its colours would be noise.
    auto result = probe_dictionary(sample("tdem_tde.txd"), 0, k_all_platforms);
    ASSERT_TRUE(result.dictionary);
    ps2_txd& txd = *result.dictionary;
    ASSERT_EQ(txd.texture_name(3, name_kind::texture), "tde-1");
    EXPECT_EQ(txd.compression(3), 5u);
    auto image = txd.render(3, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image);
    // The corners of this icon are a flat dark grey.
    const bgra corner = pixel_at(*image, 0, 0);
    EXPECT_EQ(corner, pixel_at(*image, 127, 127));
    EXPECT_EQ(corner.r, corner.g);
    EXPECT_EQ(corner.g, corner.b);
    EXPECT_LT(corner.r, 0x30);
}

} // namespace quillmap
