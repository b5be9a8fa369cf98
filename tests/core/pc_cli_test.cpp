#include "run_cli.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
// convert --to between the platforms from the command line; each result lints clean, and what
// cannot be done is refused with its reason.
TEST(PcCli, ConvertToEveryLayoutLintsClean) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        std::vector<std::string> arguments; // after FILE -o OUT
        const char* file;
        int exit_code;
        const char* message; // part of stderr when refused
    };
    const row rows[] = {
        {{"--to", "d3d8"}, "flowerb.txd", 0, ""},
        {{"--to", "d3d9", "--format", "8888"}, "flowerb.txd", 0, ""},
        {{"--to", "d3d9", "--format", "dxt3", "--mips", "auto"}, "cspolic.txd", 0, ""},
        {{"--to", "xbox"}, "crsr_hud.txd", 0, ""},
        {{"--to", "d3d8", "--format", "pal4"}, "AMBULAN.TXD", 0, ""},
        {{"--to", "ps2"}, "AMBULAN.TXD", 0, ""},
        {{"--to", "d3d9", "--format", "pal8"}, "flowerb.txd", 1, "only D3D8"},
        {{"--to", "mobile"}, "flowerb.txd", 0, ""},
        {{"--to", "mobile", "--format", "4444", "--mips", "auto"}, "AMBULAN.TXD", 0, ""},
        {{"--to", "mobile", "--format", "dxt5"}, "flowerb.txd", 2, "--format takes"},
        {{"--to", "dreamcast"}, "flowerb.txd", 2, "--to takes"},
        {{"--to", "d3d8", "--format", "dxt2"}, "flowerb.txd", 2, "--format takes"},
        {{"--to", "ps2", "--format", "dxt1"}, "flowerb.txd", 2, "--format applies"},
    };
    for (const row& r : rows) {
        const auto out = temp_dir() / "out.txd";
        std::vector<std::string> arguments = {"convert", sample(r.file).string(), "-o",
                                              out.string()};
        arguments.insert(arguments.end(), r.arguments.begin(), r.arguments.end());
        SCOPED_TRACE(std::string(r.file) + " " + r.arguments[1]);
        const cli_result result = run_cli(arguments);
        EXPECT_EQ(result.exit_code, r.exit_code) << result.err;
        EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
        if (r.exit_code != 0) continue;
        const cli_result lint = run_cli({"lint", out.string()});
        EXPECT_EQ(lint.exit_code, 0) << lint.out;
    }
}

// replace, add and mips on a PC file from the command line, each result lint-clean.
TEST(PcCli, EditsOnAPcFileLintClean) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    const auto png = dir / "t.png";
    ASSERT_EQ(run_cli({"export", sample("crsr_misc.txd").string(), "-t", "2", "-f", "png", "-o",
                       png.string()})
                  .exit_code,
              0);
    const auto edited = dir / "edited.txd";
    const std::vector<std::vector<std::string>> steps = {
        {"replace", sample("crsr_misc.txd").string(), "-t", "0", png.string(), "--mips", "auto",
         "-o", edited.string()},
        {"add", edited.string(), png.string(), "--format", "pal8", "--in-place"},
        {"mips", edited.string(), "-t", "1", "--mips", "3", "--in-place"},
        {"replace", edited.string(), "-t", "3", png.string(), "--format", "dxt5", "--in-place"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step[0]);
        const cli_result result = run_cli(step);
        ASSERT_EQ(result.exit_code, 0) << result.err;
        const cli_result lint = run_cli({"lint", edited.string()});
        EXPECT_EQ(lint.exit_code, 0) << lint.out;
    }
    const cli_result list = run_cli({"list", edited.string()});
    EXPECT_NE(list.out.find("textures 12"), std::string::npos) << list.out;
}

// The same on a mobile file, with pictures in BMP and TIM2 too.
TEST(PcCli, EditsOnAMobileFileLintClean) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    const auto mobile = dir / "m.txd", bmp = dir / "t.bmp", tm2 = dir / "t.tm2";
    const std::vector<std::vector<std::string>> steps = {
        {"convert", sample("cspolic.txd").string(), "-o", mobile.string(), "--to", "mobile"},
        {"export", sample("cspolic.txd").string(), "-t", "2", "-f", "bmp", "-o", bmp.string()},
        {"export", sample("cspolic.txd").string(), "-t", "2", "-f", "tm2", "-o", tm2.string()},
        {"replace", mobile.string(), "-t", "2", bmp.string(), "--in-place"},
        {"replace", mobile.string(), "-t", "1", tm2.string(), "--resize", "--format", "565",
         "--mips", "auto", "--in-place"},
        {"add", mobile.string(), tm2.string(), "--format", "4444", "--mips", "auto", "--in-place"},
        {"mips", mobile.string(), "-t", "3", "--mips", "2", "--in-place"},
        {"rename", mobile.string(), "-t", "0", "renamed", "--in-place"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step[0] + " " + step[2]);
        const cli_result result = run_cli(step);
        ASSERT_EQ(result.exit_code, 0) << result.err;
        const cli_result lint = run_cli({"lint", mobile.string()});
        EXPECT_EQ(lint.exit_code, 0) << lint.out;
    }
    const cli_result list = run_cli({"list", mobile.string()});
    EXPECT_NE(list.out.find("platform iOS"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("renamed"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("128x128 16bpp format 0x565 compression 0 mips 8"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("  3  t "), std::string::npos) << list.out;
}
} // namespace

} // namespace quillmap
