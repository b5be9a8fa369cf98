#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/texture_dds.h"
#include "imageio/texture_rgba.h"
#include "raster/dds_file.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace quillmap {

namespace {

// A DDS file laid out field by field from the published header, independently of the writer.
struct dds_header_desc {
    uint32_t size = 124;
    uint32_t flags = 0x1007;
    uint32_t width = 2;
    uint32_t height = 2;
    uint32_t depth = 0;
    uint32_t mips = 0;
    uint32_t pf_size = 32;
    uint32_t pf_flags = 0x40;
    const char* fourcc = nullptr;
    uint32_t bits = 32;
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    uint32_t caps2 = 0;
    // DX10 header (fourcc "DX10"): format, dimension, misc flags, array size.
    uint32_t dx10[4] = {0, 3, 0, 1};
};

std::vector<uint8_t> dds_bytes(const dds_header_desc& d, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    auto word = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    word(d.size);
    word(d.flags);
    word(d.height);
    word(d.width);
    word(0);
    word(d.depth);
    word(d.mips);
    for (int i = 0; i < 11; ++i)
        word(0);
    word(d.pf_size);
    word(d.fourcc ? 0x4 : d.pf_flags);
    if (d.fourcc)
        out.insert(out.end(), d.fourcc, d.fourcc + 4);
    else
        word(0);
    word(d.bits);
    for (uint32_t m : d.masks)
        word(m);
    word(0x1000);
    word(d.caps2);
    for (int i = 0; i < 3; ++i)
        word(0);
    if (d.fourcc && std::memcmp(d.fourcc, "DX10", 4) == 0) {
        for (uint32_t v : d.dx10)
            word(v);
        word(0);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> pattern(size_t bytes, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(bytes);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

// ---- Reading each format: 2x2 pixels (or one DXT block) against pixels worked out by hand.

struct golden_case {
    const char* label;
    dds_header_desc header;
    std::vector<uint8_t> data;
    dds_format format;
    std::vector<uint8_t> rgba; // 2x2 pixels, top row first
};

class DdsGolden : public ::testing::TestWithParam<golden_case> {};

TEST_P(DdsGolden, DecodesToTheExpectedPixels) {
    const golden_case& c = GetParam();
    dds_image image;
    std::string error;
    ASSERT_TRUE(read_dds(dds_bytes(c.header, c.data), image, error)) << error;
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 2u);
    ASSERT_EQ(image.levels.size(), 1u);
    EXPECT_EQ(dds_level_rgba(image, 0), c.rgba);
}

dds_header_desc rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    dds_header_desc d;
    d.pf_flags = a ? 0x41 : 0x40;
    d.bits = bits;
    d.masks[0] = r;
    d.masks[1] = g;
    d.masks[2] = b;
    d.masks[3] = a;
    return d;
}
dds_header_desc compressed(const char* fourcc) {
    dds_header_desc d;
    d.fourcc = fourcc;
    return d;
}
dds_header_desc dx10(uint32_t dxgi) {
    dds_header_desc d;
    d.fourcc = "DX10";
    d.dx10[0] = dxgi;
    return d;
}

// One DXT1 block: colour 0 = 565 red, colour 1 = 565 blue (c0 > c1: four colours); indices of
// the four pixels at the top left 0, 1, 2, 3.
const std::vector<uint8_t> k_dxt1_block = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
// Colour 0 blue, colour 1 red (c0 < c1: three colours and transparent black); the top-left
// pixels use indices 0 and 3.
const std::vector<uint8_t> k_dxt1_alpha_block = {0x1F, 0x00, 0x00, 0xF8, 0x0C, 0x00, 0x00, 0x00};
// DXT3: explicit alpha 0x0, 0x5, 0xA, 0xF for the top-left pixels, then the DXT1 colour block.
std::vector<uint8_t> dxt3_block() {
    std::vector<uint8_t> b = {0x50, 0x00, 0xFA, 0x00, 0, 0, 0, 0};
    b.insert(b.end(), k_dxt1_block.begin(), k_dxt1_block.end());
    return b;
}
// DXT5: alpha endpoints 255 and 0; the top-left pixels use alpha indices 0, 1 and 1, 0.
std::vector<uint8_t> dxt5_block() {
    std::vector<uint8_t> b = {0xFF, 0x00, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00};
    b.insert(b.end(), k_dxt1_block.begin(), k_dxt1_block.end());
    return b;
}
// The top-left 2x2 pixels of the DXT1 colour block: red, blue above, red, red below.
std::vector<uint8_t> dxt_pixels(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3) {
    return {255, 0, 0, a0, 0, 0, 255, a1, 255, 0, 0, a2, 255, 0, 0, a3};
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DdsGolden,
    ::testing::Values(
        golden_case{"argb8888",
                    rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                    dds_format::argb8888,
                    {3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16}},
        golden_case{"xrgb8888",
                    rgb(32, 0xFF0000, 0xFF00, 0xFF, 0),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                    dds_format::xrgb8888,
                    {3, 2, 1, 255, 7, 6, 5, 255, 11, 10, 9, 255, 15, 14, 13, 255}},
        golden_case{"abgr8888",
                    rgb(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                    dds_format::abgr8888,
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        golden_case{"rgb888",
                    rgb(24, 0xFF0000, 0xFF00, 0xFF, 0),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                    dds_format::rgb888,
                    {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}},
        golden_case{"rgb565",
                    rgb(16, 0xF800, 0x07E0, 0x001F, 0),
                    {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF},
                    dds_format::rgb565,
                    {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}},
        golden_case{"argb1555",
                    rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
                    {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0xFF, 0x7F},
                    dds_format::argb1555,
                    {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0}},
        golden_case{"xrgb1555",
                    rgb(16, 0x7C00, 0x03E0, 0x001F, 0),
                    {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F},
                    dds_format::xrgb1555,
                    {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}},
        golden_case{"argb4444",
                    rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
                    {0x00, 0xFF, 0xF0, 0x80, 0x0F, 0x00, 0x21, 0x43},
                    dds_format::argb4444,
                    {255, 0, 0, 255, 0, 255, 0, 136, 0, 0, 255, 0, 51, 34, 17, 68}},
        golden_case{"dxt1",
                    compressed("DXT1"),
                    k_dxt1_block,
                    dds_format::dxt1,
                    {255, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255}},
        golden_case{"dxt1_transparent",
                    compressed("DXT1"),
                    k_dxt1_alpha_block,
                    dds_format::dxt1,
                    {0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 255, 255}},
        // Four-bit alpha widens as everywhere in the program: n·17, so 0xF is opaque.
        golden_case{"dxt3", compressed("DXT3"), dxt3_block(), dds_format::dxt3,
                    dxt_pixels(0x00, 0x55, 0xAA, 0xFF)},
        golden_case{"dxt5", compressed("DXT5"), dxt5_block(), dds_format::dxt5,
                    dxt_pixels(255, 0, 0, 255)},
        golden_case{"dx10_bc1",
                    dx10(71),
                    k_dxt1_block,
                    dds_format::dxt1,
                    {255, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255}},
        golden_case{"dx10_rgba",
                    dx10(28),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                    dds_format::abgr8888,
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        golden_case{"dx10_bgra",
                    dx10(87),
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                    dds_format::argb8888,
                    {3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16}},
        golden_case{"dx10_565",
                    dx10(85),
                    {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF},
                    dds_format::rgb565,
                    {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}},
        golden_case{"dx10_1555",
                    dx10(86),
                    {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0xFF, 0x7F},
                    dds_format::argb1555,
                    {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0}},
        golden_case{"dx10_4444",
                    dx10(115),
                    {0x00, 0xFF, 0xF0, 0x80, 0x0F, 0x00, 0x21, 0x43},
                    dds_format::argb4444,
                    {255, 0, 0, 255, 0, 255, 0, 136, 0, 0, 255, 0, 51, 34, 17, 68}}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Write, read back: the same format, size and level bytes.

struct round_trip_case {
    const char* label;
    dds_format format;
    uint32_t width, height, levels;
};

class DdsRoundTrip : public ::testing::TestWithParam<round_trip_case> {};

TEST_P(DdsRoundTrip, LevelsComeBackIdentical) {
    const round_trip_case& c = GetParam();
    dds_image image;
    image.format = c.format;
    image.width = c.width;
    image.height = c.height;
    for (uint32_t level = 0; level < c.levels; ++level)
        image.levels.push_back(pattern(dds_level_bytes(c.format, std::max(1u, c.width >> level),
                                                       std::max(1u, c.height >> level)),
                                       level + 7));
    std::string error;
    const auto bytes = write_dds(image, error);
    ASSERT_FALSE(bytes.empty()) << error;
    dds_image back;
    ASSERT_TRUE(read_dds(bytes, back, error)) << error;
    EXPECT_EQ(back.format, c.format);
    EXPECT_EQ(back.width, c.width);
    EXPECT_EQ(back.height, c.height);
    EXPECT_EQ(back.levels, image.levels);
    // Nothing follows the last level.
    size_t total = 128;
    for (const auto& level : image.levels)
        total += level.size();
    EXPECT_EQ(bytes.size(), total);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DdsRoundTrip,
    ::testing::Values(round_trip_case{"dxt1_chain", dds_format::dxt1, 64, 32, 7},
                      round_trip_case{"dxt3_odd", dds_format::dxt3, 13, 6, 2},
                      round_trip_case{"dxt5_chain", dds_format::dxt5, 16, 16, 5},
                      round_trip_case{"argb8888", dds_format::argb8888, 8, 4, 4},
                      round_trip_case{"xrgb8888", dds_format::xrgb8888, 4, 4, 1},
                      round_trip_case{"abgr8888", dds_format::abgr8888, 4, 2, 2},
                      round_trip_case{"rgb888", dds_format::rgb888, 5, 3, 3},
                      round_trip_case{"rgb565", dds_format::rgb565, 8, 8, 4},
                      round_trip_case{"argb1555", dds_format::argb1555, 2, 8, 4},
                      round_trip_case{"xrgb1555", dds_format::xrgb1555, 1, 1, 1},
                      round_trip_case{"argb4444", dds_format::argb4444, 16, 1, 5}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DdsWrite, RefusesLevelsOfTheWrongSize) {
    dds_image image{dds_format::dxt1, 8, 8, {std::vector<uint8_t>(32), std::vector<uint8_t>(9)}};
    std::string error;
    EXPECT_TRUE(write_dds(image, error).empty());
    EXPECT_EQ(error, "DDS level size does not match the picture: level 1 holds 9 bytes, not 8");
    image.levels.clear();
    EXPECT_TRUE(write_dds(image, error).empty());
    EXPECT_EQ(error, "DDS picture has no levels");
}

// ---- Hostile files: each refused with its own cause.

struct malformed_case {
    const char* label;
    std::vector<uint8_t> file;
    const char* message; // the whole message, or its start when it ends in "..."
};

class DdsMalformed : public ::testing::TestWithParam<malformed_case> {};

TEST_P(DdsMalformed, FailsWithItsOwnMessage) {
    const malformed_case& c = GetParam();
    dds_image image;
    image.width = 99;
    std::string error;
    EXPECT_FALSE(read_dds(c.file, image, error));
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(image.levels.empty());
    EXPECT_EQ(image.width, 0u);
}

std::vector<uint8_t> with(dds_header_desc d, size_t data_bytes = 16) {
    return dds_bytes(d, std::vector<uint8_t>(data_bytes));
}
template <class F> dds_header_desc changed(F change) {
    dds_header_desc d;
    change(d);
    return d;
}
std::vector<uint8_t> cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DdsMalformed,
    ::testing::Values(
        malformed_case{"empty", {}, "not a DDS file: it does not start with \"DDS \""},
        malformed_case{"png",
                       {0x89, 'P', 'N', 'G', 13, 10, 26, 10},
                       "not a DDS file: it does not start with \"DDS \""},
        malformed_case{"header_cut", cut(with({}), 100),
                       "DDS pixel format at offset 100 needs 4 bytes, only 0 remain"},
        malformed_case{"header_size", with(changed([](auto& d) { d.size = 100; })),
                       "DDS header size is 100, not 124"},
        malformed_case{"pixel_format_size", with(changed([](auto& d) { d.pf_size = 0; })),
                       "DDS pixel format size is 0, not 32"},
        malformed_case{"zero_width", with(changed([](auto& d) { d.width = 0; })),
                       "DDS picture size is not supported: 0x2"},
        malformed_case{"huge_height", with(changed([](auto& d) { d.height = 0x80000000; })),
                       "DDS picture size is not supported: 2x2147483648"},
        malformed_case{"cube_map", with(changed([](auto& d) { d.caps2 = 0xFE00; })),
                       "DDS cube maps and volume textures are not supported"},
        malformed_case{"volume", with(changed([](auto& d) { d.depth = 4; })),
                       "DDS cube maps and volume textures are not supported"},
        malformed_case{"dxt2", with(compressed("DXT2")),
                       "DDS premultiplied alpha (DXT2, DXT4) is not supported"},
        malformed_case{"ati2", with(compressed("ATI2")),
                       "DDS compression is not supported: 'ATI2'"},
        malformed_case{"unprintable_fourcc", with(compressed("\x01\x02\x03\x04")),
                       "DDS compression is not supported: 0x04030201"},
        malformed_case{"luminance", with(changed([](auto& d) {
                           d.pf_flags = 0x20000;
                           d.bits = 8;
                       })),
                       "DDS pixel layout is not supported: 8 bits, flags 0x00020000, masks "
                       "0x00FF0000 0x0000FF00 0x000000FF 0xFF000000"},
        malformed_case{"odd_masks", with(rgb(16, 0x001F, 0x07E0, 0xF800, 0)),
                       "DDS pixel layout is not supported: 16 bits, flags 0x00000040, masks "
                       "0x0000001F 0x000007E0 0x0000F800 0x00000000"},
        malformed_case{"dx10_cut", cut(with(dx10(71)), 140),
                       "DDS DX10 header at offset 140 needs 4 bytes, only 0 remain"},
        malformed_case{"dx10_array", with(changed([](auto& d) {
                           d = dx10(71);
                           d.dx10[3] = 6;
                       })),
                       "DDS file holds no single 2D texture: dimension 3, array size 6, flags "
                       "0x00000000"},
        malformed_case{"dx10_cube", with(changed([](auto& d) {
                           d = dx10(71);
                           d.dx10[2] = 4;
                       })),
                       "DDS file holds no single 2D texture: dimension 3, array size 1, flags "
                       "0x00000004"},
        malformed_case{"dx10_3d", with(changed([](auto& d) {
                           d = dx10(71);
                           d.dx10[1] = 4;
                       })),
                       "DDS file holds no single 2D texture: dimension 4, array size 1, flags "
                       "0x00000000"},
        malformed_case{"dx10_bc7", with(dx10(98)), "DDS DXGI format is not supported: 98"},
        malformed_case{"too_many_levels", with(changed([](auto& d) { d.mips = 3; })),
                       "DDS file declares too many mip levels: 3 for a 2x2 picture (at most 2)"},
        malformed_case{"level0_short", with({}, 15),
                       "DDS mip level 0 (2x2 X888) at offset 128 needs 16 bytes, only 15 remain"},
        malformed_case{"level1_missing", with(changed([](auto& d) { d.mips = 2; })),
                       "DDS mip level 1 (1x1 X888) at offset 144 needs 4 bytes, only 0 remain"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DdsFile, MessageNamesTheFile) {
    const auto path = write_temp("broken.dds", cut(with({}), 100));
    dds_image image;
    std::string error;
    EXPECT_FALSE(read_dds_file(path, image, error));
    EXPECT_EQ(error,
              path.string() + ": DDS pixel format at offset 100 needs 4 bytes, only 0 remain");
}

// ---- Textures out as DDS.

std::unique_ptr<ps2_txd> open_any(const std::filesystem::path& path) {
    auto probe = probe_dictionary(path, 0, k_all_platforms);
    EXPECT_TRUE(probe.dictionary) << probe.reason;
    return std::move(probe.dictionary);
}

struct pc_export_case {
    const char* label;
    uint32_t platform;
    uint8_t compression; // byte 87
    uint32_t raster_format;
    uint8_t depth;
    uint32_t levels;
    dds_format expected;
    uint32_t block_or_pixel_bytes; // bytes of a 4x4 block (DXT) or of a pixel
};

class DdsPcExport : public ::testing::TestWithParam<pc_export_case> {};

// The levels as the texture stores them, byte for byte (4444 with its alpha nibble moved on top).
TEST_P(DdsPcExport, KeepsTheStoredLevels) {
    const pc_export_case& c = GetParam();
    pc_texture_desc desc;
    desc.platform = c.platform;
    desc.compression = c.compression;
    desc.raster_format = c.raster_format;
    desc.depth = c.depth;
    desc.width = 16;
    desc.height = 8;
    desc.mip_count = uint8_t(c.levels);
    const bool dxt = c.compression != 0;
    for (uint32_t level = 0; level < c.levels; ++level) {
        const uint32_t w = std::max(1u, 16u >> level), h = std::max(1u, 8u >> level);
        const size_t bytes = dxt ? size_t((w + 3) / 4) * ((h + 3) / 4) * c.block_or_pixel_bytes
                                 : size_t(w) * h * c.block_or_pixel_bytes;
        desc.levels.push_back(pattern(bytes, level + 1));
    }
    const auto file = write_temp("pc.txd", make_dictionary({make_pc_texture(desc)}).bytes());
    auto txd = open_any(file);
    ASSERT_TRUE(txd);
    const auto out = temp_dir() / "pc.dds";
    std::string error;
    ASSERT_TRUE(export_texture_dds(*txd, 0, out, error)) << error;

    dds_image image;
    ASSERT_TRUE(read_dds_file(out, image, error)) << error;
    EXPECT_EQ(image.format, c.expected);
    EXPECT_EQ(image.width, 16u);
    EXPECT_EQ(image.height, 8u);
    auto expected = desc.levels;
    if (c.expected == dds_format::argb4444)
        for (auto& level : expected)
            for (size_t i = 0; i + 1 < level.size(); i += 2) {
                const uint16_t v = uint16_t(level[i] | level[i + 1] << 8);
                const uint16_t moved = uint16_t((v & 0xF) << 12 | v >> 4);
                level[i] = uint8_t(moved);
                level[i + 1] = uint8_t(moved >> 8);
            }
    EXPECT_EQ(image.levels, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DdsPcExport,
    ::testing::Values(pc_export_case{"d3d8_dxt1", 8, 1, 0x8200, 16, 4, dds_format::dxt1, 8},
                      pc_export_case{"d3d8_dxt3", 8, 3, 0x8300, 16, 2, dds_format::dxt3, 16},
                      pc_export_case{"d3d8_dxt5", 8, 5, 0x300, 16, 1, dds_format::dxt5, 16},
                      pc_export_case{"d3d8_565", 8, 0, 0x8200, 16, 4, dds_format::rgb565, 2},
                      pc_export_case{"d3d8_1555", 8, 0, 0x100, 16, 2, dds_format::argb1555, 2},
                      pc_export_case{"d3d8_4444", 8, 0, 0x300, 16, 3, dds_format::argb4444, 2},
                      pc_export_case{"d3d9_8888", 9, 0, 0x8500, 32, 5, dds_format::argb8888, 4},
                      pc_export_case{"d3d9_888", 9, 0, 0x600, 32, 1, dds_format::xrgb8888, 4}),
    [](const auto& info) { return std::string(info.param.label); });

// PS2 and palettised textures become 8888 pictures of every level, as the preview shows them.
TEST(DdsExport, Ps2TextureBecomes8888OfEveryLevel) {
    const auto file = write_temp(
        "ps2.txd",
        make_dictionary({make_ps2_texture({.width = 32, .height = 16, .depth = 8, .levels = 3})})
            .bytes());
    auto txd = open_any(file);
    ASSERT_TRUE(txd);
    dds_image image;
    std::string error;
    ASSERT_TRUE(texture_dds(*txd, 0, image, error)) << error;
    EXPECT_EQ(image.format, dds_format::argb8888);
    ASSERT_EQ(image.levels.size(), 3u);
    for (uint32_t level = 0; level < 3; ++level) {
        const rgba_image shown = texture_rgba(*txd, 0, level, error);
        ASSERT_EQ(shown.width, 32u >> level);
        EXPECT_EQ(dds_level_rgba(image, level), shown.rgba) << "level " << level;
    }
}

// A real PC DXT texture: the file holds the Struct's own blocks (level 0 lies behind the size
// word at offset 88) and decodes to the picture the preview shows.
TEST(DdsExport, RealDxtTextureKeepsItsBlocks) {
    SKIP_WITHOUT_SAMPLES();
    auto txd = open_any(sample("tdem_tde.txd"));
    ASSERT_TRUE(txd);
    for (uint32_t t = 0; t < txd->texture_count(); ++t) {
        if (txd->compression(t) == 0) continue;
        dds_image image;
        std::string error;
        ASSERT_TRUE(texture_dds(*txd, t, image, error)) << error;
        ASSERT_TRUE(dds_is_dxt(image.format));
        const auto data = txd->texture_struct(t);
        const uint32_t size = uint32_t(data[88] | data[89] << 8 | data[90] << 16 | data[91] << 24);
        ASSERT_EQ(image.levels[0].size(), size) << "texture " << t;
        EXPECT_TRUE(std::equal(image.levels[0].begin(), image.levels[0].end(), data.begin() + 92))
            << "texture " << t;
        EXPECT_EQ(dds_level_rgba(image, 0), texture_rgba(*txd, t, 0, error).rgba)
            << "texture " << t;
    }
}

// The command line and the batch take "dds" as the other export kinds.
TEST(DdsExport, CommandLineAndBatchWriteDds) {
    pc_texture_desc desc;
    desc.compression = 1;
    desc.raster_format = 0x8200;
    desc.levels = {pattern(128, 3)};
    desc.width = desc.height = 16;
    const auto dir = temp_dir();
    const auto file = write_file(dir / "one.txd", make_dictionary({make_pc_texture(desc)}).bytes());
    const auto out = dir / "pc.dds";
    auto result = run_cli({"export", file.string(), "-t", "0", "-o", out.string()});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    dds_image image;
    std::string error;
    ASSERT_TRUE(read_dds_file(out, image, error)) << error;
    EXPECT_EQ(image.levels, desc.levels);

    result =
        run_cli({"batch", "export", file.string(), "-f", "dds", "-o", (dir / "batch").string()});
    ASSERT_EQ(result.exit_code, 0) << result.err << result.out;
    std::vector<std::filesystem::path> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "batch"))
        if (entry.is_regular_file()) written.push_back(entry.path());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].filename(), "pc.dds");
    ASSERT_TRUE(read_dds_file(written[0], image, error)) << error;
    EXPECT_EQ(image.levels, desc.levels);
}

// A DDS exported from a 32-bit PS2 texture replaces that texture without changing a pixel.
TEST(DdsReplace, Ps2TextureFromItsOwnDds) {
    const auto dir = temp_dir();
    const auto file = write_file(
        dir / "ps2.txd",
        make_dictionary({make_ps2_texture({.width = 16, .height = 16, .depth = 32})}).bytes());
    editor_session session;
    ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened)
        << session.last_error();
    const auto dds = dir / "tex.dds";
    ASSERT_TRUE(session.export_texture(0, view_mode::texture, export_type::dds, &dds,
                                       swizzle_mode::as_stored))
        << session.last_error();
    std::string error;
    const auto before = texture_rgba(*session.dictionary(), 0, 0, error).rgba;
    // Another picture in between, so that the replace has something to change.
    const auto other =
        write_file(dir / "other.txd",
                   make_dictionary(
                       {make_ps2_texture({.width = 16, .height = 16, .depth = 32, .fill_seed = 9})})
                       .bytes());
    editor_session donor;
    ASSERT_EQ(donor.open(other.string(), 0, k_all_platforms), open_status::opened);
    const auto other_dds = dir / "other.dds";
    ASSERT_TRUE(donor.export_texture(0, view_mode::texture, export_type::dds, &other_dds,
                                     swizzle_mode::as_stored));
    ASSERT_TRUE(session.replace(0, other_dds.string(), false)) << session.last_error();
    ASSERT_NE(texture_rgba(*session.dictionary(), 0, 0, error).rgba, before);
    ASSERT_TRUE(session.replace(0, dds.string(), false)) << session.last_error();
    EXPECT_EQ(texture_rgba(*session.dictionary(), 0, 0, error).rgba, before);
}

} // namespace

} // namespace quillmap
