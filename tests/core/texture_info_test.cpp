// A texture described in one call, and the PS2 raster and transfer headers read by name.
#include "dictionary/ps2_raster_layout.h"
#include "dictionary/ps2_txd.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

TEST(TextureInfo, OneCallDescribesWhatTheTextureWasBuiltWith) {
    const ps2_texture_desc rows[] = {
        {.name = "plain8", .mask = "plain8a", .width = 32, .height = 16, .depth = 8},
        {.name = "swz4", .width = 64, .height = 64, .depth = 4, .swizzled = true},
        {.name = "swz8", .width = 128, .height = 32, .depth = 8, .swizzled = true, .levels = 3},
        {.name = "true32", .width = 16, .height = 16, .depth = 32, .levels = 2},
    };
    std::vector<test_chunk> textures;
    for (const auto& row : rows)
        textures.push_back(make_ps2_texture(row));
    ps2_txd txd;
    ASSERT_TRUE(
        txd.load(write_file(temp_dir() / "i.txd", make_dictionary(textures).bytes()), 0, 0x16, 0));
    for (uint32_t t = 0; t < std::size(rows); ++t) {
        const auto& row = rows[t];
        SCOPED_TRACE(row.name);
        const texture_info info = txd.info(t);
        EXPECT_EQ(info.name, row.name);
        EXPECT_EQ(info.mask, row.mask);
        EXPECT_EQ(info.width_px, row.width);
        EXPECT_EQ(info.height_px, row.height);
        EXPECT_EQ(info.depth, row.depth);
        EXPECT_EQ(info.levels, row.levels);
        EXPECT_EQ(info.swizzled, row.swizzled);
        EXPECT_TRUE(info.ps2_raster);
        EXPECT_EQ(info.family, txd_family::ps2);
        EXPECT_EQ(info.palette_bytes, row.depth <= 8 ? 4u << row.depth : 0u);
        // The palette the raster holds is as long as the description says.
        EXPECT_EQ(txd.palette(t).size(), info.palette_bytes);
    }
    EXPECT_EQ(txd.info(99).width_px, 0u) << "no such texture";
}

TEST(Ps2Headers, TransferHeadersReadBackWhatWasWritten) {
    const ps2_transfer rows[] = {
        {0, 0, 64, 64, 1024},
        {0x7FF, 0x7FF, 1, 1, 1},
        {12, 300, 8, 3, 6},
        {0, 0, 0, 0, 0x7FFF},
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> bytes(k_ps2_transfer_bytes + 3, 0xEE);
        ASSERT_TRUE(put_ps2_transfer_header(bytes, row));
        const auto read = read_ps2_transfer_header(bytes);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->transfer, row);
        EXPECT_TRUE(read->gif_tagged);
        EXPECT_EQ(read->image_tag, row.nloop);
        EXPECT_FALSE(read_ps2_transfer_header(std::span(bytes).first(k_ps2_transfer_bytes - 1)));
    }
}

TEST(Ps2Headers, RasterHeaderFieldsLieAtTheirWords) {
    std::vector<uint8_t> bytes(k_ps2_raster_header_bytes);
    for (uint32_t word = 0; word < 16; ++word)
        store_u32(bytes.data() + 4 * word, 0x100 + word);
    const auto h = read_ps2_raster_header(bytes);
    ASSERT_TRUE(h);
    const struct {
        const char* field;
        uint64_t value;
        uint64_t expected;
    } rows[] = {
        {"width", h->width_px, 0x100},
        {"height", h->height_px, 0x101},
        {"depth", h->depth, 0x102},
        {"raster format", h->raster_format, 0x103},
        {"TEX0", h->tex0, 0x105'00000104},
        {"palette address", h->palette_address, 0x106},
        {"TEX1 MXL", h->tex1_mxl, 0x107},
        {"MIPTBP1", h->miptbp1, 0x109'00000108},
        {"MIPTBP2", h->miptbp2, 0x10B'0000010A},
        {"pixel data size", h->pixel_data_bytes, 0x10C},
        {"palette data size", h->palette_data_bytes, 0x10D},
        {"GS memory size", h->gs_memory_size, 0x10E},
        {"TEX1 K", h->tex1_k, 0x10F},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.value, row.expected) << row.field;
    EXPECT_FALSE(read_ps2_raster_header(std::span(bytes).first(63)));
}

} // namespace

} // namespace quillmap
