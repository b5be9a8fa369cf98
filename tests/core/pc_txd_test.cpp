#include "image_reference.h"
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/pc_txd.h"
#include "dictionary/platform_messages.h"
#include "raster/display_image.h"
#include "stream/rw_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace quillmap {

namespace {
constexpr uint16_t k_red565 = 0xF800;
constexpr uint16_t k_green565 = 0x07E0;
constexpr uint16_t k_blue565 = 0x001F;

std::filesystem::path write_dictionary(std::vector<test_chunk> textures,
                                       const char* name = "pc.txd") {
    return write_temp(name, make_dictionary(std::move(textures)).bytes());
}

struct opened_pc {
    pc_txd txd;
    bool ok = false;
};

std::unique_ptr<opened_pc> open_pc(const std::filesystem::path& path) {
    auto opened = std::make_unique<opened_pc>();
    opened->ok = opened->txd.load(path, 0, 0x16, 0);
    return opened;
}

pc_texture_desc dxt_desc(uint32_t platform, uint8_t compression, std::vector<uint8_t> blocks) {
    pc_texture_desc desc;
    desc.platform = platform;
    desc.compression = compression;
    desc.levels = {std::move(blocks)};
    return desc;
}

// Rendering `t` at `level` in texture view must give a picture of one colour.
void expect_solid(pc_txd& txd, uint32_t t, uint32_t level, uint32_t w, uint32_t h, bgra colour,
                  view_mode mode = view_mode::texture) {
    auto image = txd.render(t, mode, swizzle_mode::as_stored, nullptr, level);
    ASSERT_TRUE(image) << txd.last_error;
    ASSERT_EQ(image->width, w);
    ASSERT_EQ(image->height, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bgra p = pixel_at(*image, x, y);
            ASSERT_EQ(p.r, colour.r) << x << "," << y;
            ASSERT_EQ(p.g, colour.g) << x << "," << y;
            ASSERT_EQ(p.b, colour.b) << x << "," << y;
            if (mode == view_mode::mixed) {
                ASSERT_EQ(p.a, colour.a) << x << "," << y;
            }
        }
}
} // namespace

TEST(PcTxd, LoadAcceptsEmptyAndChecksEveryTexture) {
    auto empty = open_pc(write_dictionary({}));
    EXPECT_TRUE(empty->ok) << empty->txd.last_error;

    auto xbox_first = dxt_desc(5, 12, dxt1_solid(k_red565, 4));
    auto refused = open_pc(write_dictionary({make_pc_texture(xbox_first)}));
    EXPECT_FALSE(refused->ok);
    EXPECT_EQ(refused->txd.last_error, "This is not a valid PC texture.");

    auto first = dxt_desc(9, 8, dxt1_solid(k_red565, 4));
    auto mixed = open_pc(write_dictionary({make_pc_texture(first), make_pc_texture(xbox_first)}));
    EXPECT_FALSE(mixed->ok);
    EXPECT_EQ(mixed->txd.last_error, "This is not a valid PC texture.");
    EXPECT_EQ(mixed->txd.error_detail, "texture 1 is no PC texture (platform id 5)");

    auto both = open_pc(write_dictionary({make_pc_texture(first), make_pc_texture(first)}));
    ASSERT_TRUE(both->ok) << both->txd.error_detail;
    EXPECT_TRUE(both->txd.is_pc_texture(1));
    EXPECT_FALSE(both->txd.is_pc_texture(2));
    EXPECT_EQ(both->txd.last_error, "Unknown texture ID");
}

TEST(PcTxd, FieldsNamesAndMessages) {
    pc_texture_desc desc = dxt_desc(8, 1, dxt1_solid(k_red565, 4));
    desc.name = "wheel";
    desc.mask = "wheela";
    desc.raster_format = 0x8200;
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    pc_txd& txd = opened->txd;
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "wheel");
    EXPECT_EQ(txd.texture_name(0, name_kind::mask), "wheela");
    EXPECT_EQ(txd.texture_name(5, name_kind::texture), "");
    EXPECT_EQ(txd.width(0), 8u);
    EXPECT_EQ(txd.height(0), 8u);
    EXPECT_EQ(txd.depth(0), 16u);
    EXPECT_EQ(txd.pixel_format(0), 0x565u);
    EXPECT_EQ(txd.platform_id(0), 8u);
    EXPECT_EQ(txd.mip_count(0), 1u);
    EXPECT_FALSE(txd.is_swizzled(0));
    EXPECT_EQ(txd.width(1), 0u);
    EXPECT_EQ(txd.last_error, "Texture not exists.");
    EXPECT_TRUE(txd.pixels(1, 0).empty());
}

struct compression_case {
    const char* label;
    uint32_t platform;
    uint8_t byte87;
    const char* format_word;
    uint32_t expected;
};

class PcCompression : public ::testing::TestWithParam<compression_case> {};

TEST_P(PcCompression, FromByte87AndTheFormatWord) {
    const auto& row = GetParam();
    // Enough level bytes for every reading of the byte: 8x8 pixels at 16 bits.
    pc_texture_desc desc = dxt_desc(row.platform, row.byte87, fill16(k_red565, 64));
    if (row.format_word) std::memcpy(desc.format_word.data(), row.format_word, 4);
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    EXPECT_EQ(opened->txd.compression(0), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PcCompression,
    ::testing::Values(compression_case{"d3d8_none", 8, 0, nullptr, 0},
                      compression_case{"d3d8_dxt1", 8, 1, nullptr, 1},
                      compression_case{"d3d8_dxt3", 8, 3, nullptr, 3},
                      compression_case{"d3d8_dxt5", 8, 5, nullptr, 5},
                      compression_case{"d3d9_byte1", 9, 1, nullptr, 0},
                      compression_case{"d3d9_byte8", 9, 8, nullptr, 1},
                      compression_case{"d3d9_byte9", 9, 9, nullptr, 3},
                      compression_case{"d3d9_other", 9, 7, nullptr, 7},
                      compression_case{"d3d9_word_dxt1_flags9", 9, 9, "DXT1", 1},
                      compression_case{"d3d9_word_dxt3_flags8", 9, 8, "DXT3", 3},
                      compression_case{"d3d9_word_dxt5_flags8", 9, 8, "DXT5", 5},
                      compression_case{"d3d9_word_dxt5_flags9", 9, 9, "DXT5", 5},
                      compression_case{"d3d9_word_a8r8g8b8_flags1", 9, 1, "\x15\0\0\0", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PcTxd, Dxt1RendersAtFullColour) {
    // Four blocks of an 8x8 texture in four colours; 565 red shows as 255.
    std::vector<uint8_t> blocks = dxt1_solid(k_red565, 1);
    for (uint16_t c : {k_green565, k_blue565, uint16_t(0xFFFF)}) {
        auto more = dxt1_solid(c, 1);
        blocks.insert(blocks.end(), more.begin(), more.end());
    }
    auto opened = open_pc(write_dictionary({make_pc_texture(dxt_desc(8, 1, blocks))}));
    ASSERT_TRUE(opened->ok);
    auto image = opened->txd.render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image) << opened->txd.last_error;
    EXPECT_EQ(rgb_at(*image, 0, 0), (bgra{0, 0, 255, 0}));
    EXPECT_EQ(rgb_at(*image, 4, 0), (bgra{0, 255, 0, 0}));
    EXPECT_EQ(rgb_at(*image, 0, 4), (bgra{255, 0, 0, 0}));
    EXPECT_EQ(rgb_at(*image, 7, 7), (bgra{255, 255, 255, 0}));
}

TEST(PcTxd, D3d9Dxt5WithFlagsByteDecodesAsDxt5) {
    // tdem_tde.txd: byte 87 = 8 would mean DXT1 by the byte alone; the word says DXT5.
    for (uint8_t flags : {uint8_t(8), uint8_t(9)}) {
        pc_texture_desc desc = dxt_desc(9, flags, dxt5_solid(k_red565, 0x80, 4));
        desc.format_word = {'D', 'X', 'T', '5'};
        desc.raster_format = 0x300;
        auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
        ASSERT_TRUE(opened->ok);
        EXPECT_EQ(opened->txd.compression(0), 5u);
        // 4444 output: red 0xF0, alpha 0x80 -> nibble 8 -> 0x80.
        expect_solid(opened->txd, 0, 0, 8, 8, {0, 0, 0xFF, 0x80}, view_mode::mixed);
    }
}

TEST(PcTxd, D3d8CompressionFiveIsDxt5) {
    // AMBULAN.TXD: DXT5 blocks flagged 4444.
    pc_texture_desc desc = dxt_desc(8, 5, dxt5_solid(k_blue565, 0xFF, 4));
    desc.raster_format = 0x8300;
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    expect_solid(opened->txd, 0, 0, 8, 8, {0xFF, 0, 0, 0xFF}, view_mode::mixed);
}

TEST(PcTxd, Dxt3KeepsExplicitAlpha) {
    pc_texture_desc desc = dxt_desc(9, 9, dxt3_solid(k_green565, 0x4, 4));
    desc.raster_format = 0x300;
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    // Nibble 4 widens as Direct3D widens it: 4·17.
    expect_solid(opened->txd, 0, 0, 8, 8, {0, 0xFF, 0, 0x44}, view_mode::mixed);
}

TEST(PcTxd, Dxt1OnA32BitTextureDecodesToFullColour) {
    pc_texture_desc desc = dxt_desc(8, 1, dxt1_solid(k_red565, 4));
    desc.depth = 32;
    desc.raster_format = 0x600;
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    expect_solid(opened->txd, 0, 0, 8, 8, {0, 0, 255, 0});
}

TEST(PcTxd, EightBitPaletteIsPlainOrder) {
    pc_texture_desc desc;
    desc.depth = 8;
    desc.raster_format = 0x2500;
    desc.format_word = {1, 0, 0, 0}; // has alpha: its palette's alpha bytes count
    desc.palette.assign(1024, 0);
    // Entry 8 would move to slot 16 in console order; PC palettes are not reordered.
    const uint8_t entry8[4] = {10, 20, 30, 200};
    std::memcpy(&desc.palette[32], entry8, 4);
    desc.levels = {std::vector<uint8_t>(64, 8)};
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    pc_txd& txd = opened->txd;
    EXPECT_EQ(txd.palette(0).size(), 1024u);
    EXPECT_EQ(txd.palette(0).data(), txd.texture_struct(0).data() + 88);
    EXPECT_EQ(txd.pixels(0, 0).data(), txd.texture_struct(0).data() + 88 + 1024 + 4);
    expect_solid(txd, 0, 0, 8, 8, {30, 20, 10, 200}, view_mode::mixed);
}

TEST(PcTxd, FourBitPaletteOnEightBitRasterHas32Entries) {
    pc_texture_desc desc;
    desc.depth = 8;
    desc.raster_format = 0x4500;
    desc.format_word = {1, 0, 0, 0}; // has alpha: its palette's alpha bytes count
    desc.palette.assign(128, 0);
    const uint8_t entry31[4] = {1, 2, 3, 255};
    std::memcpy(&desc.palette[124], entry31, 4);
    std::vector<uint8_t> pixels(64, 31);
    pixels[9] = 40; // beyond the stored entries: the padded palette's zero
    desc.levels = {pixels};
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    pc_txd& txd = opened->txd;
    EXPECT_EQ(txd.palette(0).size(), 128u);
    auto image = txd.render(0, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image) << txd.last_error;
    EXPECT_EQ(pixel_at(*image, 0, 0), (bgra{3, 2, 1, 255}));
    EXPECT_EQ(pixel_at(*image, 1, 1), (bgra{0, 0, 0, 0}));
}

TEST(PcTxd, FourBitRaster) {
    pc_texture_desc desc;
    desc.depth = 4;
    desc.raster_format = 0x500;
    desc.palette.assign(64, 0);
    const uint8_t entry1[4] = {200, 100, 50, 255}, entry2[4] = {5, 6, 7, 255};
    std::memcpy(&desc.palette[4], entry1, 4);
    std::memcpy(&desc.palette[8], entry2, 4);
    desc.levels = {std::vector<uint8_t>(32, 0x21)}; // left pixel 1 (low nibble), right 2
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    auto image = opened->txd.render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image) << opened->txd.last_error;
    EXPECT_EQ(rgb_at(*image, 0, 0), (bgra{50, 100, 200, 0}));
    EXPECT_EQ(rgb_at(*image, 1, 0), (bgra{7, 6, 5, 0}));
}

TEST(PcTxd, SixteenAndThirtyTwoBitPixels) {
    pc_texture_desc s1555;
    s1555.raster_format = 0x100;
    s1555.levels = {fill16(0x801F, 64)}; // alpha set, blue at maximum
    pc_texture_desc s4444;
    s4444.raster_format = 0x300;
    s4444.levels = {fill16(0x1238, 64)};
    pc_texture_desc s8888;
    s8888.depth = 32;
    s8888.raster_format = 0x500;
    for (int i = 0; i < 64; ++i)
        s8888.levels.resize(1), s8888.levels[0].insert(s8888.levels[0].end(), {9, 8, 7, 100});
    auto opened = open_pc(
        write_dictionary({make_pc_texture(s1555), make_pc_texture(s4444), make_pc_texture(s8888)}));
    ASSERT_TRUE(opened->ok);
    // Fields widen by bit replication: 5-bit 31 is 255, 4-bit n is n·17.
    expect_solid(opened->txd, 0, 0, 8, 8, {255, 0, 0, 255}, view_mode::mixed);
    expect_solid(opened->txd, 1, 0, 8, 8, {0x33, 0x22, 0x11, 0x88}, view_mode::mixed);
    expect_solid(opened->txd, 2, 0, 8, 8, {9, 8, 7, 100}, view_mode::mixed);
}

TEST(PcTxd, MipLevelsAreLocatedBehindTheirSizeWords) {
    pc_texture_desc plain;
    plain.mip_count = 3;
    plain.levels = {fill16(k_red565, 64), fill16(k_green565, 16), fill16(k_blue565, 4)};
    pc_texture_desc dxt = dxt_desc(8, 1, dxt1_solid(k_red565, 4));
    dxt.mip_count = 3;
    dxt.levels.push_back(dxt1_solid(k_green565, 1));
    dxt.levels.push_back(dxt1_solid(k_blue565, 1));
    auto opened = open_pc(write_dictionary({make_pc_texture(plain), make_pc_texture(dxt)}));
    ASSERT_TRUE(opened->ok);
    for (uint32_t t = 0; t < 2; ++t) {
        // 565 pixels and DXT blocks widen alike: the top field is 255.
        const uint8_t top5 = 255, top6 = 255;
        EXPECT_EQ(opened->txd.mip_count(t), 3u);
        expect_solid(opened->txd, t, 0, 8, 8, {0, 0, top5, 0});
        expect_solid(opened->txd, t, 1, 4, 4, {0, top6, 0, 0});
        expect_solid(opened->txd, t, 2, 2, 2, {top5, 0, 0, 0});
        EXPECT_FALSE(
            opened->txd.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 3));
    }
}

TEST(PcTxd, MipCountZeroWithOneStoredLevelRenders) {
    pc_texture_desc desc;
    desc.mip_count = 0;
    desc.levels = {fill16(k_green565, 64)};
    auto opened = open_pc(write_dictionary({make_pc_texture(desc)}));
    ASSERT_TRUE(opened->ok);
    EXPECT_EQ(opened->txd.mip_count(0), 1u);
    expect_solid(opened->txd, 0, 0, 8, 8, {0, 255, 0, 0});
}

struct damaged_case {
    const char* label;
    pc_texture_desc desc;
    size_t cut_struct_to; // 0: keep
    const char* detail;   // why the load refuses the file
};

class PcDamaged : public ::testing::TestWithParam<damaged_case> {};

// A texture whose fields do not fit its Struct is no PC texture this class can read: the load
// refuses the file and says which texture and why, so that the next class is tried.
TEST_P(PcDamaged, RefusedWithTheTextureAndTheCause) {
    const auto& row = GetParam();
    auto data = pc_struct_bytes(row.desc);
    if (row.cut_struct_to) data.resize(row.cut_struct_to);
    pc_texture_desc good;
    good.levels = {fill16(k_red565, 64)};
    auto opened = open_pc(write_dictionary({make_pc_texture(good), make_struct_texture(data)}));
    EXPECT_FALSE(opened->ok);
    EXPECT_EQ(opened->txd.last_error, "This is not a valid PC texture.");
    EXPECT_EQ(opened->txd.error_detail, row.detail);
}

namespace {
pc_texture_desc with(std::function<void(pc_texture_desc&)> change) {
    pc_texture_desc desc;
    desc.name = "damaged";
    desc.levels = {fill16(k_red565, 64)};
    change(desc);
    return desc;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Rows, PcDamaged,
    ::testing::Values(damaged_case{"too_wide", with([](auto& s) { s.width = 16385; }), 0,
                                   "texture 1 is 16385x8, outside 1x1 to 16384x16384"},
                      damaged_case{"zero_height", with([](auto& s) { s.height = 0; }), 0,
                                   "texture 1 is 8x0, outside 1x1 to 16384x16384"},
                      damaged_case{"depth_2", with([](auto& s) { s.depth = 2; }), 0,
                                   "texture 1 has an unsupported depth of 2 bits"},
                      damaged_case{"level_cut", with([](auto&) {}), 88 + 4 + 100,
                                   "texture 1 needs 220 bytes, its Struct holds 192"},
                      damaged_case{"no_size_word", with([](auto&) {}), 88 + 2,
                                   "texture 1 needs 220 bytes, its Struct holds 90"},
                      damaged_case{"short_fixed_fields", with([](auto&) {}), 84,
                                   "texture 1 needs 88 bytes, its Struct holds 84"},
                      damaged_case{"level_size_word_claims_more",
                                   with([](auto& s) { s.levels = {fill16(k_red565, 8)}; }), 0,
                                   "texture 1 needs 220 bytes, its Struct holds 108"},
                      damaged_case{"palette_beyond_struct", with([](auto& s) {
                                       s.depth = 8;
                                       s.raster_format = 0x2500;
                                       s.levels.clear();
                                       s.palette.assign(500, 1);
                                   }),
                                   0, "texture 1 needs 1112 bytes, its Struct holds 588"},
                      damaged_case{"dxt_blocks_short", with([](auto& s) {
                                       s.compression = 1;
                                       s.width = 64;
                                       s.height = 64;
                                       s.levels = {dxt1_solid(k_red565, 3)};
                                   }),
                                   0, "texture 1 needs 2140 bytes, its Struct holds 116"},
                      damaged_case{"dxt5_blocks_short", with([](auto& s) {
                                       s.compression = 5;
                                       s.levels = {dxt5_solid(k_red565, 1, 3)};
                                   }),
                                   0, "texture 1 needs 156 bytes, its Struct holds 140"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PcTxd, RenameWritesTheStructNameFields) {
    pc_texture_desc desc = dxt_desc(9, 8, dxt1_solid(k_red565, 4));
    desc.name = "old";
    desc.mask = "olda";
    auto dir = temp_dir();
    const auto bytes = make_dictionary({make_pc_texture(desc)}).bytes();
    auto path = write_file(dir / "r.txd", bytes);
    auto opened = open_pc(path);
    ASSERT_TRUE(opened->ok);
    pc_txd& txd = opened->txd;
    const uint32_t root_size = txd.root->size;
    EXPECT_TRUE(txd.rename_texture(0, "brand_new_name", name_kind::texture));
    EXPECT_TRUE(txd.rename_texture(0, "m", name_kind::mask));
    EXPECT_FALSE(txd.rename_texture(0, std::string(32, 'x'), name_kind::texture));
    EXPECT_EQ(txd.last_error, "Texture name must not be longer than 31 characters.");
    EXPECT_TRUE(txd.rename_texture(0, std::string(31, 'y'), name_kind::mask));
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "brand_new_name");
    EXPECT_EQ(txd.texture_chunk(0)->child_count(), 2u); // no String chunk added
    EXPECT_EQ(txd.root->size, root_size);
    // Releasing must not lose the edit.
    EXPECT_FALSE(txd.release_pixels(0));
    ASSERT_TRUE(txd.save(dir / "renamed.txd", 0)) << txd.last_error;

    auto saved = read_file(dir / "renamed.txd");
    ASSERT_EQ(saved.size(), bytes.size());
    auto reopened = open_pc(dir / "renamed.txd");
    ASSERT_TRUE(reopened->ok);
    EXPECT_EQ(reopened->txd.texture_name(0, name_kind::texture), "brand_new_name");
    EXPECT_EQ(reopened->txd.texture_name(0, name_kind::mask), std::string(31, 'y'));
    expect_solid(reopened->txd, 0, 0, 8, 8, {0, 0, 255, 0});
}

TEST(PcTxd, ExportTypes) {
    pc_texture_desc desc = dxt_desc(8, 1, dxt1_solid(k_red565, 4));
    desc.name = "exp";
    auto dir = temp_dir();
    auto opened =
        open_pc(write_file(dir / "e.txd", make_dictionary({make_pc_texture(desc)}).bytes()));
    ASSERT_TRUE(opened->ok);
    pc_txd& txd = opened->txd;

    const auto bmp = dir / "out.bmp";
    ASSERT_TRUE(
        txd.export_texture(0, view_mode::texture, export_type::bmp, &bmp, swizzle_mode::as_stored))
        << txd.last_error;
    const auto bmp_bytes = read_file(bmp);
    ASSERT_GE(bmp_bytes.size(), 54u);
    EXPECT_EQ(bmp_bytes[0], 'B');
    EXPECT_EQ(bmp_bytes[28], 32); // DXT blocks come out at full colour

    const auto bad = dir / "out.xxx";
    EXPECT_FALSE(
        txd.export_texture(0, view_mode::texture, export_type::png, &bad, swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "Unknown export type/extension");
    EXPECT_FALSE(std::filesystem::exists(bad));

    const auto raw = dir / "out.rwsect";
    ASSERT_TRUE(txd.export_texture(0, view_mode::texture, export_type::rwsect, &raw,
                                   swizzle_mode::as_stored))
        << txd.last_error;
    rw_stream section;
    ASSERT_TRUE(section.open(raw, 0, 0x15, 0)) << section.last_error;
    EXPECT_EQ(read_file(raw), make_pc_texture(desc).bytes());

    const auto tim2 = dir / "out.tm2";
    ASSERT_TRUE(txd.export_texture(0, view_mode::texture, export_type::tim2, &tim2,
                                   swizzle_mode::as_stored))
        << txd.last_error;
    const auto tim2_bytes = read_file(tim2);
    ASSERT_GE(tim2_bytes.size(), 4u);
    EXPECT_EQ(std::string(tim2_bytes.begin(), tim2_bytes.begin() + 4), "TIM2");
}

TEST(PcTxd, MissingClosingExtensionIsSupplied) {
    // The root's size still counts the Extension's header, the file ends after the last texture.
    auto full = make_dictionary({make_pc_texture(dxt_desc(9, 8, dxt1_solid(k_red565, 4)))});
    auto bytes = full.bytes();
    auto cut = bytes;
    cut.resize(cut.size() - 12);
    auto dir = temp_dir();
    auto opened = open_pc(write_file(dir / "noext.txd", cut));
    ASSERT_TRUE(opened->ok) << opened->txd.last_error;
    pc_txd& txd = opened->txd;
    ASSERT_EQ(txd.root->child_count(), 3u);
    EXPECT_EQ(txd.root->child(2)->id, 3u);
    expect_solid(txd, 0, 0, 8, 8, {0, 0, 255, 0});
    ASSERT_TRUE(txd.save(dir / "fixed.txd", 0));
    EXPECT_EQ(read_file(dir / "fixed.txd"), bytes);

    // Without the matching root size the file stays refused.
    auto wrong = cut;
    wrong[4] = uint8_t(wrong[4] + 4);
    auto refused = open_pc(write_file(dir / "wrong.txd", wrong));
    EXPECT_FALSE(refused->ok);
}

TEST(PcTxd, Tim2ExportHoldsThePs2Layout) {
    // TIM2 pictures are PS2 rasters: red and blue must not be exchanged and the 256-colour
    // palette must be in console order, as an independent TIM2 reader sees it.
    pc_texture_desc bgra32;
    bgra32.depth = 32;
    bgra32.raster_format = 0x500;
    for (int i = 0; i < 64; ++i) {
        bgra32.levels.resize(1);
        bgra32.levels[0].insert(bgra32.levels[0].end(), {10, 20, uint8_t(200 + i % 3), 255});
    }
    pc_texture_desc pal8;
    pal8.depth = 8;
    pal8.raster_format = 0x2500;
    pal8.palette.assign(1024, 0);
    const uint8_t entry8[4] = {90, 80, 70, 255};
    std::memcpy(&pal8.palette[32], entry8, 4);
    pal8.levels = {std::vector<uint8_t>(64, 8)};
    auto dir = temp_dir();
    auto opened = open_pc(write_file(
        dir / "t.txd", make_dictionary({make_pc_texture(bgra32), make_pc_texture(pal8)}).bytes()));
    ASSERT_TRUE(opened->ok);
    for (uint32_t t = 0; t < 2; ++t) {
        const auto target = dir / ("t" + std::to_string(t) + ".tm2");
        ASSERT_TRUE(opened->txd.export_texture(t, view_mode::texture, export_type::tim2, &target,
                                               swizzle_mode::as_stored))
            << opened->txd.last_error;
        const auto picture = decode_tim2_reference(read_file(target));
        ASSERT_TRUE(picture.error.empty()) << picture.error;
        ASSERT_EQ(picture.width, 8u);
        const uint8_t* p = picture.at(0, 0);
        if (t == 0) {
            EXPECT_EQ(p[0], 200);
            EXPECT_EQ(p[1], 20);
            EXPECT_EQ(p[2], 10);
        } else {
            EXPECT_EQ(p[0], 90);
            EXPECT_EQ(p[1], 80);
            EXPECT_EQ(p[2], 70);
        }
    }
}

} // namespace quillmap
