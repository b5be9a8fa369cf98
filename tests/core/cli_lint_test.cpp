#include "dictionary/ps2_txd.h"
#include "image_reference.h"
#include "run_cli.h"
#include "stream/byte_reader.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

TEST(CliNew, WritesAnEmptyPs2Dictionary) {
    const auto dir = temp_dir();
    ASSERT_EQ(run_cli({"new", (dir / "a.txd").string()}).exit_code, 0);
    const auto bytes = read_file(dir / "a.txd");
    ASSERT_EQ(bytes.size(), 40u);
    EXPECT_EQ(u32_at(bytes, 8).value(), 0x1803FFFFu);
    EXPECT_EQ(u32_at(bytes, 24).value(), 0x00060000u); // no textures, device id 6
    ASSERT_EQ(run_cli({"new", (dir / "b.txd").string(), "--version", "0x0C02FFFF"}).exit_code, 0);
    EXPECT_EQ(u32_at(read_file(dir / "b.txd"), 8).value(), 0x0C02FFFFu);
    EXPECT_EQ(run_cli({"new", (dir / "c.txd").string(), "--version", "nope"}).exit_code, 2);
    EXPECT_EQ(run_cli({"new"}).exit_code, 2);
    // Textures added to it come out game-ready.
    const auto added = dir / "added.txd";
    ASSERT_EQ(
        run_cli({"add", (dir / "a.txd").string(),
                 write_temp("wall.tm2", make_tim2_bytes({.width = 32,
                                                         .height = 32,
                                                         .depth = 4,
                                                         .image = std::vector<uint8_t>(512, 1),
                                                         .clut = std::vector<uint8_t>(64, 2)}))
                     .string(),
                 "-o", added.string()})
            .exit_code,
        0);
    EXPECT_EQ(run_cli({"lint", added.string()}).exit_code, 0);
}

// A copy of VEHICLE2 whose TEX0 was zeroed: lint names it, repair restores the file.
TEST(CliLint, ReportsAndRepairRestores) {
    SKIP_WITHOUT_SAMPLES();
    const auto original = read_file(sample("VEHICLE2.txd"));
    auto damaged = original;
    // Texture native at 28: its header, Struct 12 + 8, names 12 + 12 and 12 + 4, then the
    // raster's header and its header Struct's.
    const size_t header_at = 28 + 12 + 20 + 24 + 16 + 12 + 12;
    ASSERT_EQ(u32_at(damaged, header_at).value(), 32u);
    ASSERT_EQ(u32_at(damaged, header_at + 16).value(), 0x55408000u);
    store_u32(&damaged[header_at + 16], 0);
    const auto path = write_temp("damaged.txd", damaged);

    const auto text = run_cli({"lint", path.string(), sample("flowerb.txd").string()});
    EXPECT_EQ(text.exit_code, 1);
    EXPECT_NE(text.out.find("texture 0 \"vehmirref32\": header word 4 (TEX0 low): found 0x0, "
                            "expected 0x55408000"),
              std::string::npos)
        << text.out;
    const auto json = run_cli({"lint", path.string(), "--json"});
    EXPECT_EQ(json.exit_code, 1);
    EXPECT_EQ(json.out, "{\"problems\":[{\"file\":\"" + path.string() +
                            "\",\"texture\":0,\"name\":\"vehmirref32\",\"what\":\"header word 4 "
                            "(TEX0 low)\",\"found\":\"0x0\",\"expected\":\"0x55408000\"}]}\n");

    const auto repaired = temp_dir() / "repaired.txd";
    ASSERT_EQ(run_cli({"repair", path.string(), "-o", repaired.string()}).exit_code, 0);
    EXPECT_EQ(read_file(repaired), original);
    EXPECT_EQ(run_cli({"lint", repaired.string(), "--json"}).out, "{\"problems\":[]}\n");
    EXPECT_EQ(run_cli({"repair", path.string()}).exit_code, 2); // no output named
}

} // namespace

} // namespace quillmap
