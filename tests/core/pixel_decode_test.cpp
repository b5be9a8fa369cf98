#include "raster/pixel_format.h"

#include <gtest/gtest.h>

namespace quillmap {

// The channel values every PC, XBOX and mobile reader shows (PC bitmap, conversion to PS2,
// 16-bit recoding, DDS): each field widened by bit replication, so that white is 255 and the
// top bits give the field back.
TEST(Decode16BitPixel, EachLayoutGivesItsChannels) {
    struct row {
        uint32_t code;
        uint16_t value;
        rgba8 want;
    };
    const row rows[] = {
        {pixel_code::argb1555, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},
        {pixel_code::argb1555, 0x7C00, {0xFF, 0, 0, 0}},
        {pixel_code::argb1555, 0x0C63, {0x18, 0x18, 0x18, 0}},  // fields 3: 3 << 3 | 3 >> 2
        {pixel_code::rgb555, 0x03E0, {0, 0xFF, 0, 0xFF}},       // no alpha bit: opaque
        {pixel_code::rgb555, 0x2A10, {0x52, 0x84, 0x84, 0xFF}}, // fields 10, 16, 16
        {pixel_code::rgb565, 0xF800, {0xFF, 0, 0, 0xFF}},
        {pixel_code::rgb565, 0x07E0, {0, 0xFF, 0, 0xFF}},
        {pixel_code::rgb565, 0x001F, {0, 0, 0xFF, 0xFF}},
        {pixel_code::rgb565, 0xA6B4, {0xA5, 0xD7, 0xA5, 0xFF}}, // fields 20, 53, 20
        {pixel_code::rgb565, 0x0821, {0x08, 0x04, 0x08, 0xFF}},
        {pixel_code::rgba4444, 0xF00F, {0xFF, 0, 0, 0xFF}},
        {pixel_code::rgba4444, 0x0F70, {0, 0xFF, 0x77, 0}},
        {pixel_code::rgba4444, 0x1E8D, {0x11, 0xEE, 0x88, 0xDD}},
        {0x1234, 0x801F, {0, 0, 0xFF, 0xFF}}, // unknown codes read as 1-5-5-5
    };
    for (const row& r : rows) {
        const rgba8 got = decode_16bit_pixel(r.code, r.value);
        EXPECT_EQ(got.r, r.want.r) << std::hex << r.code << ' ' << r.value;
        EXPECT_EQ(got.g, r.want.g) << std::hex << r.code << ' ' << r.value;
        EXPECT_EQ(got.b, r.want.b) << std::hex << r.code << ' ' << r.value;
        EXPECT_EQ(got.a, r.want.a) << std::hex << r.code << ' ' << r.value;
    }
    // Recoding goes through the same decoder: 565 white stays white in 1555, with alpha.
    EXPECT_EQ(convert_16bit_value(pixel_code::rgb565, pixel_code::argb1555, 0xFFFF), 0xFFFF);
    // White 4444 is white 1555, not one step darker.
    EXPECT_EQ(convert_16bit_value(pixel_code::rgba4444, pixel_code::argb1555, 0xFFF0), 0x7FFF);
    // Every value of every layout comes back from its own recoding.
    for (uint32_t code : {pixel_code::rgb565, pixel_code::argb1555, pixel_code::rgba4444})
        for (uint32_t v = 0; v < 0x10000; ++v)
            if (convert_16bit_value(code, code, uint16_t(v)) != v) {
                ADD_FAILURE() << std::hex << code << ' ' << v;
                break;
            }
}

// 24- and 32-bit pixels are blue, green, red (alpha); 16-bit ones little-endian words.
TEST(DecodePcPixel, EachDepthGivesItsChannels) {
    const uint8_t bytes[] = {0x10, 0x20, 0x30, 0x40};
    struct row {
        uint32_t depth, code;
        rgba8 want;
    };
    const row rows[] = {
        {32, 0, {0x30, 0x20, 0x10, 0x40}},
        {24, 0, {0x30, 0x20, 0x10, 0xFF}},
        {16, pixel_code::rgb565, decode_16bit_pixel(pixel_code::rgb565, 0x2010)},
        {16, pixel_code::rgba4444, {0x22, 0x00, 0x11, 0x00}},
        {8, 0, {0, 0, 0, 0xFF}},
    };
    for (const row& r : rows) {
        const rgba8 got = decode_pc_pixel(r.depth, r.code, bytes);
        EXPECT_EQ(got.r, r.want.r) << r.depth;
        EXPECT_EQ(got.g, r.want.g) << r.depth;
        EXPECT_EQ(got.b, r.want.b) << r.depth;
        EXPECT_EQ(got.a, r.want.a) << r.depth;
    }
}

} // namespace quillmap
