#include "raster/display_bmp.h"
#include "raster/ps2_bitmap.h"
#include "raster/raster_messages.h"

#include "byte_fields.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace quillmap {

namespace {

std::vector<uint8_t> ps2_palette(uint32_t n) {
    std::vector<uint8_t> p(n * 4);
    for (uint32_t i = 0; i < n; ++i) {
        p[4 * i] = uint8_t(i * 3);
        p[4 * i + 1] = uint8_t(i * 5);
        p[4 * i + 2] = uint8_t(i * 7);
        p[4 * i + 3] = 0x80;
    }
    return p;
}

// A BMP file built by hand, field by field, as other programs write them.
struct bmp_desc {
    int32_t width = 4;
    int32_t height = 2;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t colours_used = 0; // entries stored in the file (0: 2^bits)
    uint32_t gap = 0;          // bytes between the palette and the pixel data
    uint32_t info_size = 40;
    std::vector<uint32_t> masks; // written after a 40-byte header, or inside a longer one
};

// Pixel rows of the picture top row first; row r, column x holds (r * 16 + x) for 8 bits.
std::vector<uint8_t> make_bmp(const bmp_desc& s) {
    const uint32_t w = uint32_t(s.width);
    const uint32_t h = uint32_t(s.height < 0 ? -s.height : s.height);
    const uint32_t stride = ((w * s.bits + 31) / 32) * 4;
    const uint32_t entries = s.bits <= 8 ? (s.colours_used ? s.colours_used : 1u << s.bits) : 0;
    const uint32_t masks_after = s.info_size == 40 ? uint32_t(s.masks.size()) * 4 : 0;
    const uint32_t palette_at = 14 + s.info_size + masks_after;
    const uint32_t pixels_at = palette_at + entries * 4 + s.gap;
    std::vector<uint8_t> f(pixels_at + stride * h, 0);
    f[0] = 'B';
    f[1] = 'M';
    put32(f, 2, uint32_t(f.size()));
    put32(f, 10, pixels_at);
    put32(f, 14, s.info_size);
    put32(f, 18, uint32_t(s.width));
    put32(f, 22, uint32_t(s.height));
    put16(f, 26, 1);
    put16(f, 28, s.bits);
    put32(f, 30, s.compression);
    put32(f, 46, s.colours_used);
    for (size_t i = 0; i < s.masks.size(); ++i)
        put32(f, 54 + 4 * i, s.masks[i]); // after or inside the header
    for (uint32_t i = 0; i < entries; ++i) {
        f[palette_at + 4 * i] = uint8_t(i);      // blue
        f[palette_at + 4 * i + 1] = uint8_t(i);  // green
        f[palette_at + 4 * i + 2] = uint8_t(~i); // red
    }
    for (uint32_t r = 0; r < h; ++r) {
        // Stored row index: bottom-up unless the height is negative.
        const uint32_t stored = s.height < 0 ? r : h - 1 - r;
        for (uint32_t x = 0; x < stride; ++x)
            f[pixels_at + stored * stride + x] =
                x < (w * s.bits + 7) / 8 ? uint8_t(r * 16 + x) : 0xCC; // filler marked
    }
    return f;
}

// The bitmap's rows are packed and bottom-up: picture row r is bitmap row h - 1 - r.
uint8_t bitmap_byte(const ps2_bitmap& b, uint32_t picture_row, uint32_t byte) {
    return b.pixels[size_t(b.height() - 1 - picture_row) * b.row_bytes() + byte];
}

} // namespace

TEST(BmpWrite, EightBitTwoWideHasFourByteRowsAndReadsBack) {
    const std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6}; // 2x3
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 3, 8, px, ps2_palette(256), false, view_mode::texture, 0x1555, 0),
              1);
    const auto bytes = b.bmp_bytes();
    ASSERT_EQ(bytes.size(), 54u + 1024 + 3 * 4);
    EXPECT_EQ(le32(bytes, 10), 54u + 1024);
    EXPECT_EQ(le32(bytes, 34), 12u); // image size: stride × H
    const size_t rows = 54 + 1024;
    // Bottom row first: 5, 6, then two zero filler bytes.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + rows, bytes.begin() + rows + 4),
              (std::vector<uint8_t>{5, 6, 0, 0}));
    ps2_bitmap back;
    ASSERT_EQ(back.read_bmp(bytes), 1);
    EXPECT_EQ(back.pixels, b.pixels);
    EXPECT_EQ(back.palette, b.palette);
    EXPECT_EQ(back.row_bytes(), 2u);
}

TEST(BmpWrite, FourBit64SquareFileSize) {
    const std::vector<uint8_t> px(64 * 64 / 2, 0x21);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(64, 64, 4, px, ps2_palette(16), false, view_mode::texture, 0x1555, 0),
              1);
    const auto path = temp_dir() / "four.bmp";
    ASSERT_EQ(b.write_bmp(path), 1);
    const auto bytes = read_file(path);
    EXPECT_EQ(bytes.size(), 2166u);
    EXPECT_EQ(le32(bytes, 2), 2166u);
    EXPECT_EQ(le32(bytes, 46), 16u); // colours used
    EXPECT_EQ(le16(bytes, 28), 4);
    EXPECT_EQ(bytes[54 + 64], 0x12); // left pixel in the high nibble
}

TEST(BmpWrite, HeaderFieldsForEachDepth) {
    struct row {
        uint32_t depth, width, pixel_offset, stride;
    };
    const row table[] = {
        {4, 3, 54 + 64, 4}, {8, 5, 54 + 1024, 8}, {16, 3, 54, 8}, {24, 2, 54, 8}, {32, 3, 54, 12}};
    for (const auto& r : table) {
        std::vector<uint8_t> px(r.width * 2 * r.depth / 8 + 1, 0x11);
        ps2_bitmap b;
        ASSERT_EQ(b.load_raster(r.width, 2, r.depth, px, ps2_palette(256), false,
                                view_mode::texture, 0x1555, 0),
                  1);
        const auto bytes = b.bmp_bytes();
        EXPECT_EQ(le32(bytes, 10), r.pixel_offset) << r.depth;
        EXPECT_EQ(bytes.size(), r.pixel_offset + 2 * r.stride) << r.depth;
        EXPECT_EQ(le32(bytes, 34), 2 * r.stride) << r.depth;
        EXPECT_EQ(le32(bytes, 46), r.depth <= 8 ? 1u << r.depth : 0u) << r.depth;
        EXPECT_EQ(int32_t(le32(bytes, 22)), 2) << r.depth;
    }
}

TEST(BmpWrite, ThirtyTwoBitAlphaViewAndTextureView) {
    const std::vector<uint8_t> px = {10, 20, 30, 0x40};
    ps2_bitmap alpha;
    ASSERT_EQ(alpha.load_raster(1, 1, 32, px, {}, false, view_mode::alpha, 0x1555, 0), 1);
    auto bytes = alpha.bmp_bytes();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.end()),
              (std::vector<uint8_t>{0x7F, 0x7F, 0x7F, 0x7F}));
    ps2_bitmap texture;
    ASSERT_EQ(texture.load_raster(1, 1, 32, px, {}, false, view_mode::texture, 0x1555, 0), 1);
    bytes = texture.bmp_bytes();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.end()),
              (std::vector<uint8_t>{30, 20, 10, 0}));
}

TEST(BmpWrite, WithoutPixelsNothingIsWritten) {
    ps2_bitmap b;
    EXPECT_EQ(
        b.load_raster(4, 4, 2, std::vector<uint8_t>(8), {}, false, view_mode::texture, 0x1555, 0),
        0);
    const auto path = temp_dir() / "none.bmp";
    EXPECT_EQ(b.write_bmp(path), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(b.last_error, raster_msg::unsupported_image_bpp);
}

TEST(BmpWrite, UnwritablePath) {
    ps2_bitmap b;
    ASSERT_EQ(
        b.load_raster(1, 1, 32, std::vector<uint8_t>(4), {}, false, view_mode::texture, 0x1555, 0),
        1);
    EXPECT_EQ(b.write_bmp(temp_dir() / "missing" / "x.bmp"), 0);
    // The message names the file and why it cannot be written.
    EXPECT_NE(b.last_error.find("x.bmp: No such file or directory"), std::string::npos)
        << b.last_error;
}

TEST(BmpRead, WriteThenReadGivesTheSameRowsAtEveryDepth) {
    for (uint32_t depth : {4u, 8u, 16u, 24u, 32u})
        for (uint32_t w : {1u, 2u, 3u, 8u, 13u}) {
            if (depth == 4 && w % 2) continue; // BMP 4-bit rows of odd width are tested below
            std::vector<uint8_t> px(w * 5 * depth / 8);
            std::iota(px.begin(), px.end(), uint8_t(w));
            ps2_bitmap b;
            ASSERT_EQ(b.load_raster(w, 5, depth, px, ps2_palette(256), false, view_mode::mixed,
                                    0x1555, 0),
                      1);
            ps2_bitmap back;
            ASSERT_EQ(back.read_bmp(b.bmp_bytes()), 1) << depth << " " << w;
            EXPECT_EQ(back.pixels, b.pixels) << depth << " " << w;
            EXPECT_EQ(back.palette, b.palette) << depth << " " << w;
            EXPECT_EQ(back.width(), w);
            EXPECT_EQ(back.height(), 5u);
        }
}

TEST(BmpRead, NotBm) {
    auto f = make_bmp({});
    f[0] = 'M';
    f[1] = 'B';
    ps2_bitmap b;
    EXPECT_EQ(b.read_bmp(f), 0);
    EXPECT_EQ(b.last_error, raster_msg::not_valid_bmp);
}

TEST(BmpRead, MissingFile) {
    ps2_bitmap b;
    EXPECT_EQ(b.read_bmp(temp_dir() / "absent.bmp"), 0);
    EXPECT_EQ(b.last_error, raster_msg::cant_open_for_reading);
}

TEST(BmpRead, MalformedFilesAreRefused) {
    struct row {
        const char* what;
        std::vector<uint8_t> file;
    };
    auto truncated = make_bmp({});
    truncated.pop_back();
    auto palette_cut = make_bmp({});
    palette_cut.resize(54 + 100);
    auto rle = make_bmp({.compression = 1});
    auto rle4 = make_bmp({.bits = 4, .compression = 2});
    auto zero_width = make_bmp({});
    put32(zero_width, 18, 0);
    auto negative_width = make_bmp({});
    put32(negative_width, 18, uint32_t(-4));
    auto huge = make_bmp({});
    put32(huge, 18, 0x40000000);
    auto min_height = make_bmp({});
    put32(min_height, 22, 0x80000000);
    auto bad_bits = make_bmp({});
    put16(bad_bits, 28, 7);
    auto small_header = make_bmp({});
    put32(small_header, 14, 12);
    auto offset_in_headers = make_bmp({});
    put32(offset_in_headers, 10, 20);
    auto offset_beyond = make_bmp({});
    put32(offset_beyond, 10, uint32_t(offset_beyond.size() + 1));
    auto headers_only = make_bmp({});
    headers_only.resize(30);
    auto odd_masks = make_bmp({.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}});
    const row table[] = {
        {"empty", {}},
        {"headers only", headers_only},
        {"truncated rows", truncated},
        {"truncated palette", palette_cut},
        {"RLE8", rle},
        {"RLE4", rle4},
        {"zero width", zero_width},
        {"negative width", negative_width},
        {"huge width", huge},
        {"height INT_MIN", min_height},
        {"bit count 7", bad_bits},
        {"core header", small_header},
        {"pixel offset inside the headers", offset_in_headers},
        {"pixel offset beyond the file", offset_beyond},
        {"565 bit fields", odd_masks},
    };
    for (const auto& r : table) {
        ps2_bitmap b;
        EXPECT_EQ(b.read_bmp(r.file), 0) << r.what;
        EXPECT_EQ(b.last_error, raster_msg::not_valid_bmp) << r.what;
        EXPECT_TRUE(b.pixels.empty()) << r.what;
    }
}

TEST(BmpRead, TopDownFilesReadCorrectly) {
    const auto bottom_up = make_bmp({.width = 4, .height = 3});
    const auto top_down = make_bmp({.width = 4, .height = -3});
    ps2_bitmap a, b;
    ASSERT_EQ(a.read_bmp(bottom_up), 1);
    ASSERT_EQ(b.read_bmp(top_down), 1);
    EXPECT_EQ(b.height(), 3u);
    EXPECT_EQ(a.pixels, b.pixels);
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap_byte(b, r, x), r * 16 + x);
}

TEST(BmpRead, PixelOffsetBeyondThePalette) {
    const auto f = make_bmp({.width = 4, .height = 2, .gap = 10});
    ps2_bitmap b;
    ASSERT_EQ(b.read_bmp(f), 1);
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap_byte(b, r, x), r * 16 + x);
    EXPECT_EQ(b.palette[4 * 255 + 2], 0); // red of entry 255 = ~255
    EXPECT_EQ(b.palette[4 * 1 + 2], 0xFE);
}

TEST(BmpRead, FewerPaletteEntriesThanTheDepthAllows) {
    const auto f = make_bmp({.width = 4, .height = 2, .colours_used = 3});
    ps2_bitmap b;
    ASSERT_EQ(b.read_bmp(f), 1);
    ASSERT_EQ(b.palette.size(), 1024u);
    EXPECT_EQ(b.palette[4 * 2 + 2], 0xFD);   // stored entries are kept
    EXPECT_EQ(b.palette[4 * 3 + 2], 0);      // the rest are black
    EXPECT_EQ(bitmap_byte(b, 1, 3), 16 + 3); // and the rows are where the offset says
}

TEST(BmpRead, LongerInfoHeadersAndPlainBitFields) {
    // A 124-byte header with 32-bit bit fields in the usual order reads like a plain file.
    const auto v5 = make_bmp({.width = 2,
                              .height = 2,
                              .bits = 32,
                              .compression = 3,
                              .info_size = 124,
                              .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}});
    ps2_bitmap b;
    ASSERT_EQ(b.read_bmp(v5), 1);
    EXPECT_EQ(b.depth(), 32u);
    EXPECT_EQ(bitmap_byte(b, 0, 5), 5);
    const auto v3 = make_bmp(
        {.width = 2, .height = 2, .bits = 16, .compression = 3, .masks = {0x7C00, 0x03E0, 0x001F}});
    ps2_bitmap c;
    ASSERT_EQ(c.read_bmp(v3), 1);
    EXPECT_EQ(bitmap_byte(c, 1, 2), 16 + 2);
}

TEST(BmpRead, OddWidthFourBitRowsAndTheirRaster) {
    // 3x2 4-bit: rows of 2 bytes (left pixel high nibble), stored in 4-byte rows.
    auto f = make_bmp({.width = 3, .height = 2, .bits = 4});
    const size_t rows = 54 + 64;
    f[rows + 0] = 0x45; // bottom row: 4 5 6
    f[rows + 1] = 0x60;
    f[rows + 4] = 0x12; // top row: 1 2 3
    f[rows + 5] = 0x30;
    ps2_bitmap b;
    ASSERT_EQ(b.read_bmp(f), 1);
    std::vector<uint8_t> raster(3);
    ASSERT_EQ(b.pixels_to_raster(raster, true), 1);
    // Nibble stream 1 2 3 4 5 6, even pixels in the low nibble.
    EXPECT_EQ(raster, (std::vector<uint8_t>{0x21, 0x43, 0x65}));
}

TEST(DisplayBmp, WritesTheRowsItHolds) {
    display_image image;
    image.width = 2;
    image.height = 1;
    image.bits = 32;
    image.stride = 8;
    image.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto as32 = display_image_to_bmp(image, 32);
    ASSERT_EQ(as32.size(), 54u + 8);
    EXPECT_EQ(std::vector<uint8_t>(as32.begin() + 54, as32.end()), image.bytes);
    const auto as24 = display_image_to_bmp(image, 24);
    ASSERT_EQ(as24.size(), 54u + 8);
    EXPECT_EQ(std::vector<uint8_t>(as24.begin() + 54, as24.end()),
              (std::vector<uint8_t>{1, 2, 3, 5, 6, 7, 0, 0}));
    ps2_bitmap back;
    ASSERT_EQ(back.read_bmp(as24), 1);
    EXPECT_EQ(back.depth(), 24u);
    EXPECT_TRUE(display_image_to_bmp(image, 16).empty());
    image.bytes.pop_back();
    EXPECT_TRUE(display_image_to_bmp(image, 32).empty());
}

TEST(BmpRead, CorruptedFilesNeverClaimMoreThanTheyHold) {
    // Seeded byte changes and cuts of valid files of every depth: whatever is accepted has
    // exactly the rows its header describes.
    std::mt19937 rng(2024);
    for (uint32_t depth : {1u, 4u, 8u, 16u, 24u, 32u}) {
        const auto good = make_bmp({.width = 5, .height = 3, .bits = uint16_t(depth)});
        for (int round = 0; round < 300; ++round) {
            auto f = good;
            const int changes = 1 + int(rng() % 4);
            for (int i = 0; i < changes; ++i)
                f[rng() % f.size()] = uint8_t(rng());
            if (rng() % 4 == 0) f.resize(rng() % f.size());
            ps2_bitmap b;
            if (b.read_bmp(f) == 0) {
                EXPECT_EQ(b.last_error, raster_msg::not_valid_bmp);
                continue;
            }
            EXPECT_EQ(b.pixels.size(), size_t(b.row_bytes()) * b.height());
            EXPECT_EQ(b.palette.size(), b.depth() <= 8 ? size_t(4) << b.depth() : 0u);
            EXPECT_NE(b.to_display_bitmap(24), nullptr);
        }
    }
}

} // namespace quillmap
