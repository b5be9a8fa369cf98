#include "run_cli.h"
#include "test_files.h"

#include "platform/system.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

std::filesystem::path two_textures() {
    return write_temp("two.txd", make_dictionary({make_ps2_texture({.name = "wheel\"s",
                                                                    .mask = "wa",
                                                                    .width = 64,
                                                                    .height = 32,
                                                                    .depth = 8,
                                                                    .swizzled = true}),
                                                  make_ps2_texture({.name = "b", .depth = 32})})
                                     .bytes());
}

TEST(Cli, ListJsonDescribesEveryTexture) {
    auto result = run_cli({"list", two_textures().string(), "--json"});
    ASSERT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("\"platform\":\"PS2\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"version\":\"0x1803FFFF\""), std::string::npos);
    EXPECT_NE(result.out.find("\"count\":2"), std::string::npos);
    EXPECT_NE(result.out.find(
                  "{\"index\":0,\"name\":\"wheel\\\"s\",\"mask\":\"wa\",\"width\":64,\"height\":32,"
                  "\"depth\":8,\"pixel_format\":\"0x8888\",\"compression\":0,\"mip_levels\":1,"
                  "\"swizzled\":true,\"platform_id\":4}"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\"swizzled\":false"), std::string::npos);
}

TEST(Cli, TreeUsesTheStructureViewLabels) {
    auto result = run_cli({"tree", two_textures().string()});
    ASSERT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind("0x16 - Texture Dictionary (", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\n  0x15 - Texture Native ("), std::string::npos);
    EXPECT_NE(result.out.find("    0x02 - String \"wa\" (4 bytes @ 0x"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("      0x110 - Sky Mipmap Val (4 bytes @ 0x"), std::string::npos);
}

TEST(Cli, SaveCutsADictionaryOutOfALargerFile) {
    const auto dictionary = read_file(two_textures());
    std::vector<uint8_t> archive(0x800, 0);
    archive.insert(archive.end(), dictionary.begin(), dictionary.end());
    archive.resize(archive.size() + 100, 0);
    auto path = write_temp("archive.img", archive);
    auto out = temp_dir() / "cut.txd";
    auto result = run_cli({"save", path.string(), "--offset", "800", "-o", out.string()});
    ASSERT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(out), dictionary);
}

TEST(Cli, FailuresAndUsageErrorsHaveTheirExitCodes) {
    auto bad = write_temp("bad.txd", {1, 2, 3});
    EXPECT_EQ(run_cli({"list", bad.string()}).exit_code, 1);
    EXPECT_EQ(run_cli({"tree", bad.string()}).exit_code, 1);
    EXPECT_EQ(run_cli({"list"}).exit_code, 2);
    EXPECT_EQ(run_cli({"frobnicate", bad.string()}).exit_code, 2);
    EXPECT_EQ(run_cli({"save", two_textures().string()}).exit_code, 2); // neither -o nor --in-place
    EXPECT_EQ(run_cli({"list", two_textures().string(), "--offset", "zz"}).exit_code, 2);
}

TEST(Cli, SamplesListAndSaveIdentically) {
    SKIP_WITHOUT_SAMPLES();
    for (const auto& name :
         {"VEHICLE2.txd", "flowerb.txd", "cscloth.txd", "cspolic.txd", "sav4_HUD.TXD"}) {
        const auto path = sample(name);
        if (!std::filesystem::exists(path)) continue;
        EXPECT_EQ(run_cli({"list", path.string(), "--json"}).exit_code, 0) << name;
        EXPECT_EQ(run_cli({"tree", path.string()}).exit_code, 0) << name;
        auto out = temp_dir() / "copy.txd";
        ASSERT_EQ(run_cli({"save", path.string(), "-o", out.string()}).exit_code, 0) << name;
        const auto original = read_file(path), saved = read_file(out);
        ASSERT_LE(saved.size(), original.size());
        EXPECT_TRUE(std::equal(saved.begin(), saved.end(), original.begin())) << name;
    }
}

TEST(Cli, ExportAllGivesTexturesOfOneNameTheirOwnFiles) {
    const auto path = write_temp(
        "same.txd", make_dictionary({make_ps2_texture({.name = "wheel"}),
                                     make_ps2_texture({.name = "wheel", .fill_seed = 2}),
                                     make_ps2_texture({.name = "Wheel", .fill_seed = 3})})
                        .bytes());
    const auto out = temp_dir() / "all";
    auto result = run_cli({"export", path.string(), "--all", "-o", out.string()});
    ASSERT_EQ(result.exit_code, 0) << result.out;
    EXPECT_TRUE(std::filesystem::exists(out / "wheel.bmp"));
    EXPECT_TRUE(std::filesystem::exists(out / "wheel_2.bmp"));
    EXPECT_TRUE(std::filesystem::exists(out / "Wheel_3.bmp"));
    EXPECT_NE(read_file(out / "wheel.bmp"), read_file(out / "wheel_2.bmp"));
}

TEST(Cli, VersionPrintsTheVersionAndBuildNumber) {
    auto result = run_cli({"--version"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, std::string("quillmap-cli ") + k_program_version + " build " +
                              std::to_string(build_number()) + "\n");
}

} // namespace

} // namespace quillmap
