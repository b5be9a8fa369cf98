#include "raster/ios_bitmap.h"
#include "raster/pc_bitmap.h"
#include "raster/pixel_format.h"
#include "raster/ps2_bitmap.h"
#include "raster/raster_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace quillmap {

namespace {

std::vector<uint8_t> u16_bytes(std::initializer_list<uint16_t> values) {
    std::vector<uint8_t> out;
    for (uint16_t v : values) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    return out;
}
uint16_t u16_at(const std::vector<uint8_t>& b, size_t i) {
    return uint16_t(b[2 * i] | b[2 * i + 1] << 8);
}

// A PS2 palette of `n` entries where entry i is (i, 255 - i, i ^ 0x55, alpha(i)).
std::vector<uint8_t> ramp_palette(uint32_t n, uint8_t alpha = 0x80) {
    std::vector<uint8_t> p(n * 4);
    for (uint32_t i = 0; i < n; ++i) {
        p[4 * i] = uint8_t(i);
        p[4 * i + 1] = uint8_t(255 - i);
        p[4 * i + 2] = uint8_t(i ^ 0x55);
        p[4 * i + 3] = alpha;
    }
    return p;
}

} // namespace

TEST(Ps2Alpha, ExpandAndCompressFollowTheScale) {
    ps2_bitmap b;
    const std::pair<uint8_t, uint8_t> expand[] = {{0x00, 0x00}, {0x01, 0x01}, {0x40, 0x7F},
                                                  {0x80, 0xFF}, {0x81, 0x01}, {0xFF, 0xFD}};
    for (const auto& [in, out] : expand)
        EXPECT_EQ(b.expand_alpha(in), out) << int(in);
    const std::pair<uint8_t, uint8_t> compress[] = {
        {0xFF, 0x80}, {0x80, 0x40}, {0x02, 0x01}, {0x01, 0x01}, {0x00, 0x00}};
    for (const auto& [in, out] : compress)
        EXPECT_EQ(b.compress_alpha(in), out) << int(in);
    for (uint32_t a = 0; a <= 0x80; ++a)
        EXPECT_EQ(b.compress_alpha(b.expand_alpha(uint8_t(a))), a) << a;
}

TEST(PcAlpha, ExpandKeepsEightBitAlphaButCompressIsThePs2One) {
    pc_bitmap b;
    EXPECT_EQ(b.expand_alpha(0x40), 0x40);
    EXPECT_EQ(b.compress_alpha(0xFF), 0x80);
    ios_bitmap m;
    EXPECT_EQ(m.expand_alpha(0x40), 0x40);
}

TEST(PaletteOrder, Ps2ReordersTwoHundredFiftySixColoursPcDoesNot) {
    const auto raster = ramp_palette(256);
    std::vector<uint8_t> ps2_out(1024), pc_out(1024);
    ps2_bitmap ps2;
    pc_bitmap pc;
    ASSERT_EQ(ps2.palette_to_bmp(raster, ps2_out, 256, view_mode::texture), 1);
    ASSERT_EQ(pc.palette_to_bmp(raster, pc_out, 256, view_mode::texture), 1);
    // Raster entry 8 (red 8) is BMP entry 16 for PS2 and stays entry 8 for PC; BMP order is
    // blue, green, red.
    EXPECT_EQ(ps2_out[16 * 4 + 2], 8);
    EXPECT_EQ(ps2_out[8 * 4 + 2], 16);
    EXPECT_EQ(pc_out[8 * 4 + 2], 8);
    EXPECT_EQ(pc_out[8 * 4 + 0], 8 ^ 0x55);
    // Sixteen colours keep their order.
    std::vector<uint8_t> small(64);
    ASSERT_EQ(ps2.palette_to_bmp(raster, small, 16, view_mode::texture), 1);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(small[4 * i + 2], i);
}

TEST(PaletteOrder, ViewModesFillTheFourthByte) {
    const auto raster = ramp_palette(16, 0x80);
    std::vector<uint8_t> out(64);
    ps2_bitmap b;
    b.palette_to_bmp(raster, out, 16, view_mode::mixed);
    EXPECT_EQ(out[3], 0xFF); // mixed: 0x80 shows as 0xFF
    b.palette_to_bmp(raster, out, 16, view_mode::alpha);
    EXPECT_EQ(out[0], 0xFF); // alpha: grey of level 0xFF, fourth byte 0
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xFF);
    EXPECT_EQ(out[3], 0);
    b.palette_to_bmp(raster, out, 16, view_mode::texture);
    EXPECT_EQ(out[3], 0);
}

TEST(PaletteOrder, FromBmpUndoesToBmpInMixedView) {
    const auto raster = ramp_palette(256, 0x40);
    std::vector<uint8_t> bmp(1024), back(1024);
    ps2_bitmap b;
    b.palette_to_bmp(raster, bmp, 256, view_mode::mixed);
    b.palette_from_bmp(bmp, back, 256);
    EXPECT_EQ(back, raster);
}

TEST(Convert16, Ps2SwapsRedAndBlueAndShowsAlphaAsWhite) {
    struct row {
        uint16_t in;
        view_mode mode;
        uint16_t out;
    };
    const row table[] = {
        {0x801F, view_mode::texture, 0x7C00}, {0x801F, view_mode::mixed, 0x7C00},
        {0x801F, view_mode::alpha, 0x7FFF},   {0x001F, view_mode::alpha, 0x0000},
        {0x7C00, view_mode::texture, 0x001F}, {0x03E0, view_mode::texture, 0x03E0}};
    for (const auto& r : table) {
        ps2_bitmap b;
        auto px = u16_bytes({r.in});
        ASSERT_EQ(b.convert_16bit(px, 1, 1, r.mode, pixel_code::argb1555, 0), 1);
        EXPECT_EQ(u16_at(px, 0), r.out) << std::hex << r.in << " mode " << view_mode_number(r.mode);
    }
}

TEST(Convert16, PcAlphaViewAndTargetCodes) {
    struct row {
        uint16_t in;
        view_mode mode;
        uint32_t source, target;
        uint16_t out;
    };
    const row table[] = {
        {0x1234, view_mode::alpha, 0x565, 0x565, 0xFFFF},   // 565 in alpha view is white
        {0x1238, view_mode::alpha, 0x4444, 0x4444, 0x888F}, // alpha nibble everywhere, alpha F
        {0x8000, view_mode::alpha, 0x1555, 0x1555, 0xFFFF},
        {0x0000, view_mode::alpha, 0x1555, 0x1555, 0x8000},
        {0x8123, view_mode::texture, 0x1555, 0x1555, 0x0123}, // texture view drops the alpha bit
        {0x123F, view_mode::texture, 0x4444, 0x4444, 0x1230}, // and the alpha nibble
        {0x0000, view_mode::mixed, 0x565, 0x1555, 0x8000}, // 565 to 1555 sets bit 15 on every pixel
        {0x1230, view_mode::mixed, 0x4444, 0x1555, 0x0886}, // no alpha: no bit 15
        {0x1231, view_mode::mixed, 0x4444, 0x1555, 0x8886},
    };
    for (const auto& r : table) {
        pc_bitmap b;
        auto px = u16_bytes({r.in});
        ASSERT_EQ(b.convert_16bit(px, 1, 1, r.mode, r.source, r.target), 1);
        EXPECT_EQ(u16_at(px, 0), r.out) << std::hex << r.in << " mode " << view_mode_number(r.mode);
    }
}

TEST(Convert16, ValueConversionTable) {
    struct row {
        uint32_t source, target;
        uint16_t in, out;
    };
    const row table[] = {
        {0x565, 0x1555, 0xFFFF, 0xFFFF},
        {0x565, 0x4444, 0xF800, 0xF00F},
        // 4-bit red 15 widens to 255, the top of a 5-bit field too.
        {0x4444, 0x565, 0xF000, 0xF800},
        {0x1555, 0x565, 0x7C00, 0xF800},
        {0x555, 0x1555, 0x001F, 0x801F},
        {0x1555, 0x555, 0x001F, 0x001F},
        {0x565, 0x1234, 0xABCD, 0xABCD}, // unknown target: unchanged
    };
    for (const auto& r : table)
        EXPECT_EQ(convert_16bit_value(r.source, r.target, r.in), r.out)
            << std::hex << r.source << "->" << r.target << " " << r.in;
}

TEST(Convert32, Ps2ModesAndRowOrder) {
    // Two rows of one pixel each: R, G, B, A.
    const std::vector<uint8_t> raster = {10, 20, 30, 0x80, 40, 50, 60, 0x40};
    struct row {
        view_mode mode;
        std::vector<uint8_t> out;
    };
    const row table[] = {
        {view_mode::texture, {60, 50, 40, 0, 30, 20, 10, 0}},
        {view_mode::mixed, {60, 50, 40, 0x7F, 30, 20, 10, 0xFF}},
        {view_mode::alpha, {0x7F, 0x7F, 0x7F, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}},
        {view_mode::reverse, {60, 50, 40, 0x20, 30, 20, 10, 0x40}},
    };
    for (const auto& r : table) {
        ps2_bitmap b;
        auto px = raster;
        ASSERT_EQ(b.convert_32bit(px, 1, 2, r.mode), 1);
        EXPECT_EQ(px, r.out) << "mode " << view_mode_number(r.mode);
    }
}

TEST(Convert32, PcModes) {
    const std::vector<uint8_t> raster = {1, 2, 3, 0x99};
    pc_bitmap b;
    auto px = raster;
    b.convert_32bit(px, 1, 1, view_mode::alpha);
    EXPECT_EQ(px, (std::vector<uint8_t>{0x99, 0x99, 0x99, 0x99}));
    px = raster;
    b.convert_32bit(px, 1, 1, view_mode::mixed);
    EXPECT_EQ(px, raster);
    px = raster;
    b.convert_32bit(px, 1, 1, view_mode::texture);
    EXPECT_EQ(px, (std::vector<uint8_t>{1, 2, 3, 0}));
}

TEST(FlipRows, FourBitOneRowHighExchangesNibbles) {
    ps2_bitmap b;
    std::vector<uint8_t> px = {0x12, 0x34};
    ASSERT_EQ(b.flip_rows_4bit(px, 4, 1), 1);
    EXPECT_EQ(px, (std::vector<uint8_t>{0x21, 0x43}));
}

TEST(FlipRows, OddHeightKeepsTheMiddleRow) {
    ps2_bitmap b;
    std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(b.flip_rows(px, 2, 3, 8), 1);
    EXPECT_EQ(px, (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
    EXPECT_EQ(b.flip_rows(px, 2, 4, 8), 0); // a span too short is left alone
    EXPECT_EQ(px, (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
}

TEST(LoadRaster, DepthOutsideFourTo32IsRefused) {
    ps2_bitmap b;
    const std::vector<uint8_t> px(64);
    EXPECT_EQ(b.load_raster(4, 4, 2, px, {}, false, view_mode::texture, 0x1555, 0), 0);
    EXPECT_EQ(b.last_error, raster_msg::unsupported_image_bpp);
    ps2_bitmap c;
    EXPECT_EQ(c.load_raster(4, 4, 33, px, {}, false, view_mode::texture, 0x1555, 0), 0);
    EXPECT_EQ(c.last_error, raster_msg::unsupported_image_bpp);
}

TEST(LoadRaster, Depth12GivesHeadersAndNoPixels) {
    ps2_bitmap b;
    const std::vector<uint8_t> px(64);
    EXPECT_EQ(b.load_raster(4, 4, 12, px, {}, false, view_mode::texture, 0x1555, 0), 1);
    EXPECT_EQ(b.info_header.bit_count, 12);
    EXPECT_EQ(b.info_header.width, 4);
    EXPECT_TRUE(b.pixels.empty());
    EXPECT_EQ(b.to_display_bitmap(24), nullptr);
}

TEST(LoadRaster, AbsentPixelsFailSilently) {
    ps2_bitmap b;
    EXPECT_EQ(b.load_raster(4, 4, 32, {}, {}, false, view_mode::texture, 0x1555, 0), 0);
    EXPECT_TRUE(b.last_error.empty());
}

TEST(LoadRaster, ShortRasterOrPaletteFailsWithAMessage) {
    const auto pal = ramp_palette(256);
    {
        ps2_bitmap b;
        const std::vector<uint8_t> px(64 * 64 - 1);
        EXPECT_EQ(b.load_raster(64, 64, 8, px, pal, true, view_mode::texture, 0x1555, 0), 0);
        EXPECT_EQ(b.last_error, raster_msg::raster_too_short);
        EXPECT_TRUE(b.pixels.empty());
    }
    {
        ps2_bitmap b;
        const std::vector<uint8_t> px(64 * 64);
        EXPECT_EQ(b.load_raster(64, 64, 8, px, std::span(pal).first(1023), true, view_mode::texture,
                                0x1555, 0),
                  0);
        EXPECT_EQ(b.last_error, raster_msg::palette_too_short);
    }
    {
        ps2_bitmap b;
        const std::vector<uint8_t> px(16 * 16 * 4);
        EXPECT_EQ(b.load_raster(16, 17, 32, px, {}, false, view_mode::texture, 0x1555, 0), 0);
        EXPECT_EQ(b.last_error, raster_msg::raster_too_short);
    }
}

TEST(LoadRaster, EightBitPaletteReorderedAndRowsBottomUp) {
    // 2x2 plain raster with indices 8, 1 / 2, 3.
    const std::vector<uint8_t> px = {8, 1, 2, 3};
    const auto pal = ramp_palette(256);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 2, 8, px, pal, false, view_mode::texture, 0x1555, 0), 1);
    EXPECT_EQ(b.pixels, (std::vector<uint8_t>{2, 3, 8, 1}));
    EXPECT_EQ(b.palette[16 * 4 + 2], 8); // raster entry 8 is BMP entry 16
    // The bitmap index 8 now refers to the BMP palette entry 8 = raster entry 16.
    auto image = b.to_display_bitmap(24);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->top_row(0)[2], 16); // red of raster entry 16
}

TEST(LoadRaster, FourBitSwizzledNarrowRasterUsesTheWideLayout) {
    // A 16x4 swizzled 4-bit raster stored 32 pixels wide: 64 bytes. Pixel (x, y) of the
    // picture sits at nibble swizzle_offset(x, y, 32) of the stored data.
    std::vector<uint8_t> stored(64, 0);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            const uint32_t p = ps2_swizzling::swizzle_offset(x, y, 32);
            const uint8_t v = uint8_t((x + y) & 0xF);
            stored[p / 2] |= uint8_t((p & 1) ? v << 4 : v);
        }
    const auto pal = ramp_palette(16);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(16, 4, 4, stored, pal, true, view_mode::texture, 0x1555, 0), 1);
    auto image = b.to_display_bitmap(24);
    ASSERT_TRUE(image);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            EXPECT_EQ(image->top_row(y)[3 * x + 2], (x + y) & 0xF) << x << "," << y;
}

TEST(LoadRaster, OddWidthFourBitKeepsEveryPixel) {
    // 3x2 pixels as one nibble stream: 1 2 3 / 4 5 6.
    const std::vector<uint8_t> px = {0x21, 0x43, 0x65};
    const auto pal = ramp_palette(16);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(3, 2, 4, px, pal, false, view_mode::texture, 0x1555, 0), 1);
    auto image = b.to_display_bitmap(24);
    ASSERT_TRUE(image);
    const uint8_t expected[2][3] = {{1, 2, 3}, {4, 5, 6}};
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            EXPECT_EQ(image->top_row(y)[3 * x + 2], expected[y][x]);
}

TEST(LoadRaster, TwentyFourBitShowsRedGreenBlue) {
    const std::vector<uint8_t> px = {200, 100, 50, 1, 2, 3}; // 2x1: R, G, B each
    for (view_mode mode : {view_mode::texture, view_mode::mixed}) {
        ps2_bitmap b;
        ASSERT_EQ(b.load_raster(2, 1, 24, px, {}, false, mode, 0x1555, 0), 1);
        auto image = b.to_display_bitmap(mode == view_mode::mixed ? 32 : 24);
        ASSERT_TRUE(image);
        const uint32_t step = mode == view_mode::mixed ? 4 : 3;
        EXPECT_EQ(image->top_row(0)[0], 50); // blue
        EXPECT_EQ(image->top_row(0)[1], 100);
        EXPECT_EQ(image->top_row(0)[2], 200); // red
        EXPECT_EQ(image->top_row(0)[step + 2], 1);
        if (mode == view_mode::mixed) {
            EXPECT_EQ(image->top_row(0)[3], 0xFF);
        }
    }
    // The BMP data is blue, green, red too.
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 1, 24, px, {}, false, view_mode::texture, 0x1555, 0), 1);
    EXPECT_EQ(b.pixels, (std::vector<uint8_t>{50, 100, 200, 3, 2, 1}));
}

TEST(LoadRaster, SixteenBitMixedViewKeepsAlphaOnScreen) {
    const auto px = u16_bytes({0x801F, 0x001F});
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 1, 16, px, {}, false, view_mode::mixed, 0x1555, 0), 1);
    EXPECT_EQ(u16_at(b.pixels, 0), 0x7C00); // the bitmap layout has no alpha bit
    auto image = b.to_display_bitmap(32);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->top_row(0)[2], 0xF8); // red
    EXPECT_EQ(image->top_row(0)[3], 0xFF); // alpha bit set
    EXPECT_EQ(image->top_row(0)[7], 0x00);
}

TEST(DisplayBitmap, TwentyFourBitRowsArePadded) {
    const std::vector<uint8_t> px(2 * 2 * 4, 0x80);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 2, 32, px, {}, false, view_mode::texture, 0x1555, 0), 1);
    auto image = b.to_display_bitmap(24);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->stride, 8u);
    EXPECT_EQ(image->bytes.size(), 16u);
    EXPECT_EQ(image->bytes[6], 0); // filler
    EXPECT_EQ(image->bytes[7], 0);
}

TEST(DisplayBitmap, UnsupportedTargetDepth) {
    const std::vector<uint8_t> px(16, 1);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(2, 2, 32, px, {}, false, view_mode::texture, 0x1555, 0), 1);
    EXPECT_EQ(b.to_display_bitmap(16), nullptr);
    EXPECT_EQ(b.last_error, raster_msg::current_bpp_not_supported);
    pc_bitmap p;
    ASSERT_EQ(p.load_raster(2, 2, 32, px, {}, false, view_mode::texture, 0x8888, 0), 1);
    EXPECT_EQ(p.to_display_bitmap(8, 0x8888), nullptr);
    EXPECT_EQ(p.last_error, raster_msg::unsupported_bpp);
}

TEST(DisplayBitmap, PcSixteenBitCodes) {
    struct row {
        uint32_t code;
        uint16_t v;
        uint8_t b, g, r, a_mixed;
    };
    const row table[] = {
        // Fields widen by bit replication: the top value of a field is 255, 4-bit n is n·17.
        {0x565, 0xF800, 0, 0, 0xFF, 0xFF},       {0x4444, 0xF0F8, 0xFF, 0x00, 0xFF, 0x88},
        {0x1555, 0x7C00, 0, 0, 0xFF, 0x00},      {0x555, 0x7C00, 0, 0, 0xFF, 0xFF},
        {0x1234, 0xFC00, 0, 0, 0xFF, 0xFF},      // unknown code: 1-5-5-5
        {0x565, 0x1863, 0x18, 0x0C, 0x18, 0xFF}, // fields 3, 3, 3: 3 << 3 | 3 >> 2
    };
    for (const auto& r : table) {
        for (uint32_t target : {24u, 32u}) {
            pc_bitmap b;
            const auto px = u16_bytes({r.v});
            ASSERT_EQ(b.load_raster(1, 1, 16, px, {}, false, view_mode::mixed, r.code, 0), 1);
            auto image = b.to_display_bitmap(target, r.code);
            ASSERT_TRUE(image) << std::hex << r.code;
            EXPECT_EQ(image->bits, 32u);
            EXPECT_EQ(image->bytes[0], r.b) << std::hex << r.code;
            EXPECT_EQ(image->bytes[1], r.g) << std::hex << r.code;
            EXPECT_EQ(image->bytes[2], r.r) << std::hex << r.code;
            EXPECT_EQ(image->bytes[3], target == 32 ? r.a_mixed : 0xFF) << std::hex << r.code;
        }
    }
}

TEST(DisplayBitmap, ViewModesChangeThePicture) {
    std::vector<uint8_t> px(4 * 4 * 4);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(i * 7);
    std::vector<std::vector<uint8_t>> pictures;
    for (view_mode mode : k_user_views) {
        ps2_bitmap b;
        ASSERT_EQ(b.load_raster(4, 4, 32, px, {}, false, mode, 0x1555, 0), 1);
        auto image = b.to_display_bitmap(mode == view_mode::mixed ? 32 : 24);
        ASSERT_TRUE(image);
        pictures.push_back(image->bytes);
    }
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[0], pictures[2]);
}

TEST(ToRaster, PaletteAndPixelsGoBackToPs2Order) {
    // Fill from a raster in mixed view, then take it back: the raster comes back unchanged.
    std::vector<uint8_t> px(16 * 8);
    std::iota(px.begin(), px.end(), 0);
    const auto pal = ramp_palette(256, 0x40);
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(16, 8, 8, px, pal, false, view_mode::mixed, 0x1555, 0), 1);
    std::vector<uint8_t> pal_back(1024), px_back(16 * 8);
    ASSERT_EQ(b.palette_to_raster(pal_back, true), 1);
    ASSERT_EQ(b.pixels_to_raster(px_back, true), 1);
    EXPECT_EQ(pal_back, pal);
    EXPECT_EQ(px_back, px);
    ASSERT_EQ(b.palette_to_raster(pal_back, false), 1);
    EXPECT_EQ(pal_back[3], 0x80); // full alpha
}

TEST(ToRaster, ThirtyTwoBitAndFourBit) {
    std::vector<uint8_t> px32 = {10, 20, 30, 0x80, 40, 50, 60, 0x02};
    ps2_bitmap b;
    ASSERT_EQ(b.load_raster(1, 2, 32, px32, {}, false, view_mode::mixed, 0x1555, 0), 1);
    std::vector<uint8_t> back(8);
    ASSERT_EQ(b.pixels_to_raster(back, true), 1);
    EXPECT_EQ(back, px32);
    ASSERT_EQ(b.pixels_to_raster(back, false), 1);
    EXPECT_EQ(back[7], 0x80);

    const std::vector<uint8_t> px4 = {0x21, 0x43, 0x65, 0x87};
    ps2_bitmap c;
    ASSERT_EQ(c.load_raster(4, 2, 4, px4, ramp_palette(16), false, view_mode::texture, 0x1555, 0),
              1);
    std::vector<uint8_t> back4(4);
    ASSERT_EQ(c.pixels_to_raster(back4, true), 1);
    EXPECT_EQ(back4, px4);
}

TEST(ToRaster, OtherDepthsAreRefused) {
    for (uint32_t depth : {16u, 24u}) {
        ps2_bitmap b;
        const std::vector<uint8_t> px(2 * 2 * depth / 8);
        ASSERT_EQ(b.load_raster(2, 2, depth, px, {}, false, view_mode::texture, 0x1555, 0), 1);
        std::vector<uint8_t> out(px.size());
        EXPECT_EQ(b.pixels_to_raster(out, true), 0);
        EXPECT_EQ(b.last_error, raster_msg::unsupported_image_format);
        EXPECT_EQ(b.palette_to_raster(out, true), 0);
    }
}

TEST(LoadRaster, RandomSizesNeverReadPastTheSpans) {
    // Sizes and spans chosen at random (seeded): a raster is either refused or fully converted.
    std::mt19937 rng(5);
    const std::vector<uint8_t> data(64 * 64 * 4, 0x5A);
    for (int round = 0; round < 3000; ++round) {
        const uint32_t depths[] = {4, 8, 16, 24, 32};
        const uint32_t depth = depths[rng() % 5];
        const uint32_t w = rng() % 70, h = rng() % 70;
        const size_t pixel_bytes = rng() % (data.size() + 1);
        const size_t palette_bytes = rng() % 1100;
        const bool swizzled = rng() % 2;
        const view_mode mode = view_mode_from_number(int(rng() % 4)).value();
        ps2_bitmap b;
        const int ok =
            b.load_raster(w, h, depth, std::span(data).first(pixel_bytes),
                          std::span(data).first(palette_bytes), swizzled, mode, 0x1555, 0);
        if (!ok) {
            EXPECT_TRUE(b.pixels.empty());
            continue;
        }
        EXPECT_GE(pixel_bytes, (uint64_t(w) * h * depth + 7) / 8);
        EXPECT_EQ(b.pixels.size(), size_t(b.row_bytes()) * h);
        auto image = b.to_display_bitmap(mode == view_mode::mixed ? 32 : 24);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->bytes.size(), size_t(image->stride) * h);
    }
}

} // namespace quillmap
