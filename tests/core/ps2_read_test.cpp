#include "dictionary/ps2_txd.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <map>

namespace quillmap {

namespace {

std::filesystem::path dictionary_file(std::vector<test_chunk> textures) {
    return write_temp("d.txd", make_dictionary(std::move(textures)).bytes());
}

TEST(Ps2Read, ReadsNamesSizesAndFormats) {
    ps2_txd txd;
    ASSERT_TRUE(
        txd.load(dictionary_file(
                     {make_ps2_texture(
                          {.name = "body", .mask = "bodya", .width = 64, .height = 32, .depth = 8}),
                      make_ps2_texture({.name = "hi", .depth = 32})}),
                 0, 0x16, 0))
        << txd.last_error;
    ASSERT_EQ(txd.texture_count(), 2u);
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "body");
    EXPECT_EQ(txd.texture_name(0, name_kind::mask), "bodya");
    EXPECT_EQ(txd.texture_name(1, name_kind::mask), "");
    EXPECT_EQ(txd.width(0), 64u);
    EXPECT_EQ(txd.height(0), 32u);
    EXPECT_EQ(txd.depth(0), 8u);
    EXPECT_EQ(txd.pixel_format(0), 0x8888u);
    EXPECT_EQ(txd.platform_id(0), 4u);
    EXPECT_EQ(txd.texture_flags(0), 0x1102u);
    EXPECT_EQ(txd.compression(0), 0u);
    EXPECT_EQ(txd.root_version(), 0x1803FFFFu);
}

TEST(Ps2Read, PixelFormatTable) {
    const std::map<uint32_t, uint32_t> table = {{0x100, 0x1555}, {0x200, 0x565},  {0x300, 0x4444},
                                                {0x400, 0x8},    {0x500, 0x8888}, {0x600, 0x888},
                                                {0xA00, 0x555},  {0x700, 0},      {0x000, 0}};
    for (auto [code, expected] : table) {
        ps2_txd txd;
        ASSERT_TRUE(
            txd.load(dictionary_file({make_ps2_texture({.depth = 32, .raster_format = code | 4})}),
                     0, 0x16, 0));
        EXPECT_EQ(txd.pixel_format(0), expected) << std::hex << code;
    }
}

TEST(Ps2Read, MissingTexturesAnswerWithTheMessage) {
    ps2_txd txd;
    ASSERT_TRUE(txd.load(dictionary_file({make_ps2_texture({})}), 0, 0x16, 0));
    EXPECT_EQ(txd.width(1), 0u);
    EXPECT_EQ(txd.last_error, "Texture not exists.");
    txd.last_error.clear();
    EXPECT_EQ(txd.texture_name(5, name_kind::texture), "");
    EXPECT_TRUE(txd.last_error.empty()); // the name slot answers without a message
    EXPECT_TRUE(txd.pixels(3, 0).empty());
    EXPECT_FALSE(txd.is_ps2(1));
    EXPECT_EQ(txd.last_error, "Unknown texture ID");
}

TEST(Ps2Read, LoadAcceptsEmptyDictionariesAndChecksEveryTexture) {
    ps2_txd empty;
    EXPECT_TRUE(empty.load(dictionary_file({}), 0, 0x16, 0));
    EXPECT_EQ(empty.texture_count(), 0u);

    auto pc = make_ps2_texture({});
    pc.children[0].data = u32_bytes({9, 0});
    ps2_txd mixed;
    EXPECT_FALSE(mixed.load(dictionary_file({make_ps2_texture({}), pc}), 0, 0x16, 0));
    EXPECT_EQ(mixed.error_detail, "texture 1 is no PS2 texture (platform id 9)");

    ps2_txd refused;
    EXPECT_FALSE(refused.load(dictionary_file({pc}), 0, 0x16, 0));
    EXPECT_EQ(refused.last_error, "This is not a PS2 texture.");
    EXPECT_FALSE(refused.load(temp_dir() / "none.txd", 0, 0x16, 0));
    EXPECT_EQ(refused.last_error, "This is not a PS2 texture.");
}

struct swizzle_row {
    const char* name;
    uint32_t depth;
    uint32_t kind;
    uint32_t palette_size; // 0: as built
    bool half_transfer;
    bool expected;
};

TEST(Ps2Read, SwizzleDetectionTable) {
    const swizzle_row rows[] = {
        {"4-bit kind 2 palette 176", 4, 0x20000, 176, false, true},
        {"4-bit kind 2 palette 144", 4, 0x20000, 144, false, false},
        {"8-bit kind 2 palette 1104", 8, 0x20000, 1104, false, true},
        {"8-bit kind 2 palette 1120", 8, 0x20000, 1120, false, false},
        {"kind 0", 8, 0, 1104, false, false},
        {"kind 1", 32, 0x10000, 0, false, true},
        {"32-bit kind 2 half transfer", 32, 0x20000, 0, true, true},
        {"32-bit kind 2 full transfer", 32, 0x20000, 0, false, false},
        {"kind 4 unclassified", 8, 0x40000, 1104, true, false},
    };
    for (const auto& row : rows) {
        auto texture = make_ps2_texture({.depth = row.depth, .swizzled = row.half_transfer});
        auto& header = texture.children[3].children[0].data;
        header[14] = uint8_t(row.kind >> 16);
        if (row.palette_size) {
            header[52] = uint8_t(row.palette_size);
            header[53] = uint8_t(row.palette_size >> 8);
        }
        ps2_txd txd;
        ASSERT_TRUE(txd.load(dictionary_file({texture}), 0, 0x16, 0));
        EXPECT_EQ(txd.is_swizzled(0), row.expected) << row.name;
    }
}

TEST(Ps2Read, LocatesLevelsAndPaletteInHeaderedData) {
    ps2_txd txd;
    ASSERT_TRUE(txd.load(
        dictionary_file({make_ps2_texture({.width = 64, .height = 64, .depth = 8, .levels = 2})}),
        0, 0x16, 0));
    auto level0 = txd.pixels(0, 0);
    auto level1 = txd.pixels(0, 1);
    auto palette = txd.palette(0);
    ASSERT_EQ(level0.size(), 4096u);
    ASSERT_EQ(level1.size(), 1024u);
    ASSERT_EQ(palette.size(), 1024u);
    auto* data = txd.root->child(1)->child(3)->child(1)->data->data();
    EXPECT_EQ(level0.data(), data + 80);
    EXPECT_EQ(level1.data(), data + 80 + 4096 + 80);
    EXPECT_EQ(palette.data(), data + 80 + 4096 + 80 + 1024 + 80);
    EXPECT_TRUE(txd.pixels(0, 2).empty()); // only the palette block follows
}

TEST(Ps2Read, SwizzledFourBitPaletteSitsBeforeThePadding) {
    ps2_txd txd;
    ASSERT_TRUE(txd.load(dictionary_file({make_ps2_texture(
                             {.width = 32, .height = 32, .depth = 4, .swizzled = true})}),
                         0, 0x16, 0));
    ASSERT_TRUE(txd.is_swizzled(0));
    auto palette = txd.palette(0);
    ASSERT_EQ(palette.size(), 64u);
    const auto& data = *txd.root->child(1)->child(3)->child(1)->data;
    EXPECT_EQ(palette.data(), data.data() + data.size() - 96);
}

TEST(Ps2Read, RawDataGivesItsStartForEveryLevel) {
    ps2_txd txd;
    ASSERT_TRUE(txd.load(dictionary_file({make_ps2_texture({.width = 16,
                                                            .height = 16,
                                                            .depth = 32,
                                                            .levels = 2,
                                                            .headered = false,
                                                            .fill_seed = 9})}),
                         0, 0x16, 0));
    auto level0 = txd.pixels(0, 0);
    ASSERT_TRUE(txd.root->child(1)->child(3)->child(1)->data);
    auto* data = txd.root->child(1)->child(3)->child(1)->data->data();
    ASSERT_NE(data[0], 3);
    EXPECT_EQ(level0.size(), 1024u);
    EXPECT_EQ(txd.pixels(0, 0).data(), data);
    EXPECT_EQ(txd.pixels(0, 1).data(), data);
    EXPECT_EQ(txd.pixels(0, 1).size(), 256u);
}

TEST(Ps2Read, MipCount) {
    struct row {
        ps2_texture_desc desc;
        uint32_t expected;
    } rows[] = {
        // Exactly one level: 4096 + 80 + 1024 + 80 bytes; then with a second 32x32 level.
        {{.width = 64, .height = 64, .depth = 8, .levels = 1}, 1},
        {{.width = 64, .height = 64, .depth = 8, .levels = 2}, 2},
        {{.width = 64, .height = 64, .depth = 8, .levels = 2, .headered = false}, 2},
        {{.width = 64, .height = 64, .depth = 32, .levels = 3}, 3},
        // Padded small levels, as console files store them, must not inflate the count.
        {{.width = 128, .height = 128, .depth = 8, .levels = 7, .small_level_padding = 64}, 7},
        {{.width = 8, .height = 8, .depth = 8, .levels = 1, .small_level_padding = 64}, 1},
        {{.width = 32, .height = 32, .depth = 4, .swizzled = true, .levels = 1}, 1},
    };
    for (const auto& r : rows) {
        ps2_txd txd;
        ASSERT_TRUE(txd.load(dictionary_file({make_ps2_texture(r.desc)}), 0, 0x16, 0));
        EXPECT_EQ(txd.mip_count(0), r.expected) << r.desc.width << "x" << r.desc.height << " depth "
                                                << r.desc.depth << " levels " << r.desc.levels;
    }
}

TEST(Ps2Read, ShortRasterDataNeverGivesAnOversizedSpan) {
    auto texture = make_ps2_texture({.width = 64, .height = 64, .depth = 8});
    auto& data = texture.children[3].children[1].data;
    data.resize(2000); // the level claims 4096 bytes
    ps2_txd txd;
    ASSERT_TRUE(txd.load(dictionary_file({texture}), 0, 0x16, 0));
    EXPECT_TRUE(txd.pixels(0, 0).empty());
    EXPECT_EQ(txd.palette(0).size(), 1024u);
    auto huge = make_ps2_texture({.depth = 8});
    auto& header = huge.children[3].children[0].data;
    header[0] = header[1] = header[2] = header[3] = 0xFF; // width 0xFFFFFFFF
    EXPECT_FALSE(txd.load(dictionary_file({huge}), 0, 0x16, 0));
    // The same width set in memory after the load.
    ASSERT_TRUE(txd.load(dictionary_file({make_ps2_texture({.depth = 8})}), 0, 0x16, 0));
    auto& loaded = *txd.root->child(1)->child(3)->child(0)->data.edit();
    loaded[0] = loaded[1] = loaded[2] = loaded[3] = 0xFF;
    EXPECT_TRUE(txd.pixels(0, 0).empty());
    EXPECT_GE(txd.mip_count(0), 1u);
}

TEST(Ps2Read, ReleasePixelsStatesAndAllocatedBytes) {
    auto path = dictionary_file({make_ps2_texture({.width = 64, .height = 64, .depth = 8})});
    ps2_txd txd;
    ASSERT_TRUE(txd.load(path, 0, 0x16, 0));
    const uint32_t at_open = txd.allocated_bytes;
    EXPECT_FALSE(txd.release_pixels(0)); // nothing loaded yet
    ASSERT_FALSE(txd.pixels(0, 0).empty());
    const uint32_t data_size = txd.root->child(1)->child(3)->child(1)->size;
    EXPECT_EQ(txd.allocated_bytes, at_open + data_size);
    EXPECT_TRUE(txd.release_pixels(0));
    EXPECT_EQ(txd.allocated_bytes, at_open);
    // After a save the data can no longer be reloaded from the file, so it stays.
    ASSERT_TRUE(txd.save(temp_dir() / "copy.txd", 0));
    EXPECT_FALSE(txd.release_pixels(0));
    EXPECT_FALSE(txd.pixels(0, 0).empty());
}

TEST(Ps2Read, OpenReadsOnlyHeadersAndSmallLeaves) {
    std::vector<test_chunk> textures;
    for (int i = 0; i < 10; ++i)
        textures.push_back(make_ps2_texture({.width = 128, .height = 128, .depth = 8}));
    auto path = dictionary_file(textures);
    ps2_txd txd;
    ASSERT_TRUE(txd.load(path, 0, 0x16, 0));
    EXPECT_LT(txd.bytes_read(), 10u * 400);
    for (uint32_t t = 0; t < 10; ++t) {
        EXPECT_EQ(txd.mip_count(t), 1u);
        EXPECT_TRUE(txd.is_swizzled(t) == false);
    }
    EXPECT_LT(txd.bytes_read(), 10u * 600); // counting levels reads transfer headers only
}

TEST(Ps2Read, CreateEmptySavesFortyBytes) {
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1003FFFF));
    EXPECT_EQ(txd.texture_count(), 0u);
    auto out = temp_dir() / "new.txd";
    ASSERT_TRUE(txd.save(out, 0));
    auto expected = make_dictionary({}, 0x1003FFFF);
    expected.children[0].data = u32_bytes({0x00060000}); // count 0, PS2 device id 6
    EXPECT_EQ(read_file(out), expected.bytes());
    EXPECT_EQ(read_file(out).size(), 40u);
}

// Every PS2 sample: saving reproduces the tree's bytes and the level count matches the file.
TEST(Ps2Samples, SaveIsByteIdenticalAndLevelsMatch) {
    SKIP_WITHOUT_SAMPLES();
    // Levels stored per texture, as the sample notes list them.
    const std::map<std::string, std::vector<uint32_t>> levels = {
        {"VEHICLE2.txd", {1}}, {"flowerb.txd", {1, 4}}, {"cscloth.txd", {}}};
    int opened = 0;
    for (const auto& ext : {".txd", ".TXD"}) {
        for (const auto& path : sample_files(ext)) {
            ps2_txd txd;
            if (!txd.load(path, 0, 0x16, 0)) continue; // another platform
            if (txd.texture_count() > 0 && txd.platform_id(0) != 4) continue;
            ++opened;
            const auto original = read_file(path);
            auto out = temp_dir() / "copy.txd";
            ASSERT_TRUE(txd.save(out, 0)) << path;
            const auto saved = read_file(out);
            ASSERT_LE(saved.size(), original.size());
            EXPECT_TRUE(std::equal(saved.begin(), saved.end(), original.begin())) << path;
            auto it = levels.find(path.filename().string());
            if (it != levels.end()) {
                ASSERT_EQ(txd.texture_count(), it->second.size()) << path;
                for (uint32_t t = 0; t < it->second.size(); ++t)
                    EXPECT_EQ(txd.mip_count(t), it->second[t]) << path << " texture " << t;
            }
            for (uint32_t t = 0; t < txd.texture_count(); ++t) {
                EXPECT_TRUE(txd.is_swizzled(t)) << path << " " << t;
                EXPECT_GE(txd.mip_count(t), 1u);
                for (uint32_t level = 0; level < txd.mip_count(t); ++level)
                    EXPECT_FALSE(txd.pixels(t, level).empty())
                        << path << " " << t << " level " << level;
            }
        }
    }
    EXPECT_GE(opened, 5);
}

} // namespace

namespace {
TEST(Ps2Read, TransferHeadersOfSwizzleKindTwoRasters) {
    ps2_txd txd;
    ASSERT_TRUE(
        txd.load(dictionary_file(
                     {make_ps2_texture({.width = 32, .height = 32, .depth = 8, .swizzled = true}),
                      make_ps2_texture({.depth = 8})}),
                 0, 0x16, 0));
    const uint8_t* pixels_header = txd.transfer_header(0);
    const uint8_t* palette_header = txd.palette_transfer_header(0);
    ASSERT_NE(pixels_header, nullptr);
    ASSERT_NE(palette_header, nullptr);
    EXPECT_EQ(u32_at({pixels_header, 80}, 32).value(),
              16u); // half the width, as swizzled files have
    EXPECT_EQ(u32_at({palette_header, 80}, 32).value(), 16u); // the 16x16 palette block
    EXPECT_EQ(u32_at({palette_header, 80}, 64).value(), 64u); // 1024 bytes in quadwords
    EXPECT_EQ(txd.transfer_header(1), nullptr);
    EXPECT_EQ(txd.palette_transfer_header(1), nullptr);
}
} // namespace

} // namespace quillmap
