#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/pc_texture_build.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "stream/byte_reader.h"

#include <gtest/gtest.h>

#include <set>

namespace quillmap {

namespace {
// Every PC and XBOX sample texture, rebuilt from its free fields and stored levels, must come
// out as the game file holds it, byte for byte, except at the header bytes listed: the known
// deviations of real files (hasAlpha 0 on an alpha format with opaque pixels).
struct sample_row {
    const char* file;
    uint32_t textures;
    std::map<uint32_t, std::set<uint32_t>> differing; // texture -> header offsets
};

const sample_row k_samples[] = {
    {"AMBULAN.TXD", 10, {{5, {76}}, {6, {76}}}},
    {"mainsc2.txd", 1, {}},
    {"g3le_MISC.TXD", 19, {}},
    {"crsr_misc.txd", 11, {}},
    {"LD_SPAC.txd", 1, {}},
    {"pcbtns.txd", 4, {}},
    {"crsr_hud.txd", 69, {}},
    {"tdem_tde.txd", 38, {}},
    {"radar00.txd", 1, {}},
    {"playerh.txd", 1, {}},
};

pc_txd* as_pc(ps2_txd* txd) {
    return dynamic_cast<pc_txd*>(txd);
}

TEST(PcTextureBuild, EverySampleTextureRebuildsAsStored) {
    SKIP_WITHOUT_SAMPLES();
    for (const sample_row& row : k_samples) {
        SCOPED_TRACE(row.file);
        auto probe = probe_dictionary(sample(row.file), 0, k_all_platforms);
        ASSERT_TRUE(probe.dictionary) << probe.reason;
        pc_txd* txd = as_pc(probe.dictionary.get());
        ASSERT_NE(txd, nullptr);
        ASSERT_EQ(txd->texture_count(), row.textures);
        for (uint32_t t = 0; t < row.textures; ++t) {
            SCOPED_TRACE("texture " + std::to_string(t));
            const std::vector<uint8_t> stored(txd->texture_struct(t).begin(),
                                              txd->texture_struct(t).end());
            std::string error;
            const auto fields = pc_free_fields_of(stored, error);
            ASSERT_TRUE(fields) << error;
            pc_texture_source source;
            source.fields = *fields;
            source.name = txd->texture_name(t, name_kind::texture);
            std::copy_n(stored.begin() + pc_txd::k_offset_mask_name, 32, source.mask.begin());
            const auto palette = txd->palette(t);
            source.palette.assign(palette.begin(), palette.end());
            for (uint32_t level = 0; level < fields->levels; ++level) {
                const auto bytes = txd->stored_level(t, level);
                ASSERT_FALSE(bytes.empty()) << txd->last_error;
                source.levels.emplace_back(bytes.begin(), bytes.end());
            }
            const auto built = pc_struct_data(source, error);
            ASSERT_TRUE(built) << error;
            ASSERT_EQ(built->size(), stored.size());
            std::set<uint32_t> differing;
            for (uint32_t at = 0; at < stored.size(); ++at)
                if ((*built)[at] != stored[at]) differing.insert(at & ~3u);
            const auto expected = row.differing.find(t);
            EXPECT_EQ(differing,
                      expected == row.differing.end() ? std::set<uint32_t>{} : expected->second);
        }
    }
}

// Fields no game file holds are refused with a reason, one row per rule.
struct misfit_row {
    const char* what;
    pc_free_fields fields;
};

TEST(PcTextureBuild, FieldsNoGameReadsAreRefused) {
    const misfit_row rows[] = {
        {"palette on D3D9",
         {.layout = pc_layout::d3d9, .width = 8, .height = 8, .palette = pc_format_bit::pal8}},
        {"palette with DXT",
         {.width = 8,
          .height = 8,
          .pixel_format = pc_pixel::argb8888,
          .palette = pc_format_bit::pal8,
          .dxt = 1}},
        {"palette of 565",
         {.width = 8,
          .height = 8,
          .pixel_format = pc_pixel::rgb565,
          .palette = pc_format_bit::pal4}},
        {"DXT1 as 4444", {.width = 8, .height = 8, .pixel_format = pc_pixel::argb4444, .dxt = 1}},
        {"DXT5 as 565", {.width = 8, .height = 8, .pixel_format = pc_pixel::rgb565, .dxt = 5}},
        {"DXT2", {.width = 8, .height = 8, .pixel_format = pc_pixel::argb4444, .dxt = 2}},
        {"plain 565 on D3D8", {.width = 8, .height = 8, .pixel_format = pc_pixel::rgb565}},
        {"more levels than 8x8 has", {.width = 8, .height = 8, .levels = 5}},
        {"no levels", {.width = 8, .height = 8, .levels = 0}},
        {"zero width", {.width = 0, .height = 8}},
    };
    for (const misfit_row& row : rows)
        EXPECT_FALSE(pc_fields_misfit(row.fields).empty()) << row.what;
    // XBOX keeps the source's pixel format with DXT blocks (playerh.txd: 888 with DXT1).
    EXPECT_EQ(pc_fields_misfit({.layout = pc_layout::xbox,
                                .width = 8,
                                .height = 8,
                                .pixel_format = pc_pixel::rgb888,
                                .dxt = 1}),
              "");
}

// Determined fields for the free fields of each layout, against values read off real files
// and the recipe's formulas for the small levels.
TEST(PcTextureBuild, LevelSizesFollowBlocksAndPaddedRows) {
    struct row {
        pc_free_fields fields;
        std::vector<uint64_t> sizes;
        uint64_t struct_bytes;
    };
    const row rows[] = {
        // DXT1 64x64 with 5 levels (AMBULAN.TXD): 2x2 and 1x1 take one block.
        {{.width = 64, .height = 64, .pixel_format = pc_pixel::rgb565, .dxt = 1, .levels = 7},
         {2048, 512, 128, 32, 8, 8, 8},
         88 + 7 * 4 + 2048 + 512 + 128 + 32 + 24},
        // PAL8 4x2: a row of 4 bytes; 2x1 and 1x1 pad their rows to 4.
        {{.width = 4,
          .height = 2,
          .pixel_format = pc_pixel::rgb888,
          .palette = pc_format_bit::pal8,
          .levels = 3},
         {8, 4, 4},
         88 + 1024 + 12 + 16},
        // XBOX: one total word.
        {{.layout = pc_layout::xbox,
          .width = 128,
          .height = 128,
          .pixel_format = pc_pixel::rgb565,
          .dxt = 1},
         {8192},
         88 + 4 + 8192},
        // 8888 1x1: 4 bytes.
        {{.width = 1, .height = 1}, {4}, 88 + 4 + 4},
    };
    for (const row& r : rows) {
        for (uint32_t level = 0; level < r.sizes.size(); ++level)
            EXPECT_EQ(pc_level_bytes(r.fields, level), r.sizes[level]) << level;
        EXPECT_EQ(pc_struct_bytes(r.fields), r.struct_bytes);
    }
}

TEST(PcTextureBuild, DeviceIdFollowsLayoutAndStamp) {
    struct row {
        pc_layout layout;
        uint32_t version;
        uint16_t device;
    };
    const row rows[] = {{pc_layout::d3d8, 0x0401FFFF, 0}, {pc_layout::d3d8, 0x0800FFFF, 0},
                        {pc_layout::d3d8, 0x0C02FFFF, 0}, {pc_layout::d3d8, 0x320, 0},
                        {pc_layout::d3d8, 0x1803FFFF, 1}, {pc_layout::d3d9, 0x1803FFFF, 2},
                        {pc_layout::xbox, 0x350, 0},      {pc_layout::xbox, 0x1400FFFF, 0}};
    for (const row& r : rows)
        EXPECT_EQ(pc_device_id(r.layout, r.version), r.device) << std::hex << r.version;
}

TEST(PcTextureBuild, WrongLevelAndPaletteSizesAreRefused) {
    pc_texture_source source;
    source.fields = {.width = 4, .height = 4, .pixel_format = pc_pixel::rgb565, .dxt = 1};
    source.levels = {std::vector<uint8_t>(7)};
    std::string error;
    EXPECT_FALSE(pc_struct_data(source, error));
    EXPECT_NE(error.find("level 0"), std::string::npos) << error;
    source.levels = {std::vector<uint8_t>(8)};
    source.palette = std::vector<uint8_t>(64);
    EXPECT_FALSE(pc_struct_data(source, error));
    source.palette.clear();
    EXPECT_TRUE(pc_struct_data(source, error)) << error;
}
} // namespace

namespace {
// Narrow uncompressed levels pad each row to 4 bytes; the reader skips the padding (it read the
// 2x2 level's second row from the first row's padding before).
TEST(PcTextureBuild, NarrowLevelsAreReadPastTheirRowPadding) {
    pc_texture_source source;
    source.fields = {.width = 4,
                     .height = 4,
                     .pixel_format = pc_pixel::rgb888,
                     .palette = pc_format_bit::pal8,
                     .levels = 3};
    source.palette.assign(pc_pal8_bytes, 0);
    const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (uint32_t i = 0; i < 4; ++i)
        std::copy_n(colours[i], 3, source.palette.begin() + 4 * i);
    source.levels = {std::vector<uint8_t>(16, 3),
                     {0, 1, 9, 9, 2, 3, 9, 9}, // 2x2: rows of 2 indices, 2 padding bytes
                     {2, 9, 9, 9}};
    std::string error;
    auto texture = build_pc_texture(source, 0x0800FFFF, error);
    ASSERT_TRUE(texture) << error;
    test_chunk dictionary =
        make_dictionary({make_struct_texture(*texture->child(0)->data)}, 0x0800FFFF);
    pc_txd txd;
    ASSERT_TRUE(txd.load(write_temp("narrow.txd", dictionary.bytes()), 0, 0x16, 0))
        << txd.last_error;
    const auto level = txd.level_pixels(0, 1);
    ASSERT_TRUE(level) << txd.last_error;
    ASSERT_EQ(level->pixels.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(level->pixels.begin(), level->pixels.end()),
              (std::vector<uint8_t>{0, 1, 2, 3}));
    const auto smallest = txd.level_pixels(0, 2);
    ASSERT_TRUE(smallest);
    EXPECT_EQ(smallest->pixels[0], 2);
}
} // namespace

} // namespace quillmap
