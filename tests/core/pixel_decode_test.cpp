#include "raster/pixel_format.h"

#include <gtest/gtest.h>

namespace quillmap {

// The channel values every 16-bit reader shows (PC bitmap, conversion to PS2, 16-bit recoding):
// fields at the top of their byte, low bits zero.
TEST(Decode16BitPixel, EachLayoutGivesItsChannels) {
    struct row {
        uint32_t code;
        uint16_t value;
        rgba8 want;
    };
    const row rows[] = {
        {pixel_code::argb1555, 0xFFFF, {0xF8, 0xF8, 0xF8, 0xFF}},
        {pixel_code::argb1555, 0x7C00, {0xF8, 0, 0, 0}},
        {pixel_code::rgb555, 0x03E0, {0, 0xF8, 0, 0xFF}}, // no alpha bit: opaque
        {pixel_code::rgb565, 0xF800, {0xF8, 0, 0, 0xFF}},
        {pixel_code::rgb565, 0x07E0, {0, 0xFC, 0, 0xFF}},
        {pixel_code::rgb565, 0x001F, {0, 0, 0xF8, 0xFF}},
        {pixel_code::rgba4444, 0xF00F, {0xF0, 0, 0, 0xF0}},
        {pixel_code::rgba4444, 0x0F70, {0, 0xF0, 0x70, 0}},
        {0x1234, 0x801F, {0, 0, 0xF8, 0xFF}}, // unknown codes read as 1-5-5-5
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
    // 4-bit fields keep their low bits clear: 0xF0 becomes 0x1E, not 0x1F.
    EXPECT_EQ(convert_16bit_value(pixel_code::rgba4444, pixel_code::argb1555, 0xFFF0), 0x7BDE);
}

} // namespace quillmap
