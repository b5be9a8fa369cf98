// Dictionaries whose root size counts the root's own header: they open as their real class, every
// texture reads, and saving writes the size the children add up to.
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "raster/display_image.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
constexpr uint16_t k_red565 = 0xF800;

std::vector<uint8_t> with_root_counting_its_header(std::vector<uint8_t> bytes) {
    const uint32_t size = uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 | uint32_t(bytes[6]) << 16 |
                          uint32_t(bytes[7]) << 24;
    const uint32_t claimed = size + 12;
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = uint8_t(claimed >> (8 * i));
    return bytes;
}

std::vector<uint8_t> d3d9_dictionary() {
    pc_texture_desc dxt1;
    dxt1.platform = 9;
    dxt1.name = "dxt1";
    dxt1.format_word = {'D', 'X', 'T', '1'};
    dxt1.compression = 8;
    dxt1.raster_format = 0x100;
    dxt1.levels = {dxt1_solid(k_red565, 4)};
    pc_texture_desc dxt3 = dxt1;
    dxt3.name = "dxt3";
    dxt3.format_word = {'D', 'X', 'T', '3'};
    dxt3.compression = 9;
    dxt3.raster_format = 0x300;
    dxt3.levels = {dxt3_solid(k_red565, 0xF, 4)};
    pc_texture_desc plain;
    plain.platform = 9;
    plain.name = "plain";
    plain.depth = 32;
    plain.raster_format = 0x500;
    plain.levels = {std::vector<uint8_t>(8 * 8 * 4, 0x7F)};
    return make_dictionary({make_pc_texture(dxt1), make_pc_texture(dxt3), make_pc_texture(plain)})
        .bytes();
}

void expect_opens_as(const std::filesystem::path& path, const char* platform, uint32_t textures) {
    auto result = probe_dictionary(path, 0, k_all_platforms);
    ASSERT_TRUE(result.dictionary) << path;
    ASSERT_TRUE(result.platform) << path;
    EXPECT_STREQ(platform_name(*result.platform), platform) << path;
    ps2_txd& txd = *result.dictionary;
    ASSERT_EQ(txd.texture_count(), textures) << path;
    for (uint32_t t = 0; t < textures; ++t) {
        auto image = txd.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(image) << path << " texture " << t << ": " << txd.last_error;
        EXPECT_EQ(image->width, txd.width(t));
    }
}
} // namespace

TEST(RootSizeQuirk, RootCountingItsOwnHeaderOpensAsItsClassAndSavesTheTrueSize) {
    const auto good = d3d9_dictionary();
    const auto dir = temp_dir();
    const auto quirky = write_file(dir / "quirky.txd", with_root_counting_its_header(good));
    expect_opens_as(quirky, "PC", 3);

    auto result = probe_dictionary(quirky, 0, k_all_platforms);
    ASSERT_TRUE(result.dictionary);
    EXPECT_EQ(result.dictionary->root->child_count(), 5u);
    ASSERT_TRUE(result.dictionary->save(dir / "saved.txd", 0)) << result.dictionary->last_error;
    EXPECT_EQ(read_file(dir / "saved.txd"), good);
}

TEST(RootSizeQuirk, SamplesWithTheQuirkOpenAsTheirClass) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        const char* platform;
        uint32_t textures;
    };
    for (const row& r : {row{"LD_SPAC.txd", "PC", 1}, row{"pcbtns.txd", "PC", 4},
                         row{"crsr_hud.txd", "PC", 69}, row{"tdem_tde.txd", "PC", 38},
                         row{"flowerb.txd", "PS2", 2}, row{"radar00.txd", "XBOX", 1}}) {
        if (!std::filesystem::exists(sample(r.file))) continue;
        const auto bytes = read_file(sample(r.file));
        const auto path = write_file(temp_dir() / r.file, with_root_counting_its_header(bytes));
        expect_opens_as(path, r.platform, r.textures);
    }
}

} // namespace quillmap
