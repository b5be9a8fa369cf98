#pragma once

#include <cstdint>

namespace quillmap {

// 16-bit pixel layouts named by their channel widths, plus the DXT output codes.
namespace pixel_code {
inline constexpr uint32_t argb1555 = 0x1555; // alpha 15, red 10-14, green 5-9, blue 0-4
inline constexpr uint32_t rgb555 = 0x555;    // as 1555 without alpha
inline constexpr uint32_t rgb565 = 0x565;    // red 11-15, green 5-10, blue 0-4
inline constexpr uint32_t rgba4444 = 0x4444; // red 12-15, green 8-11, blue 4-7, alpha 0-3
inline constexpr uint32_t rgb888 = 0x888;    // bytes red, green, blue
inline constexpr uint32_t bgra8888 = 0x8888; // bytes blue, green, red, alpha
} // namespace pixel_code

// One pixel as 8-bit channels.
struct rgba8 {
    uint8_t r = 0, g = 0, b = 0, a = 0xFF;
};

// Narrow channel fields widened to 8 bits as Direct3D does it: bit replication, so that the
// largest field is 255 and the top bits of the result give the field back.
constexpr uint8_t widen_4bit(uint32_t field) {
    return uint8_t((field & 0xF) * 17);
}
constexpr uint8_t widen_5bit(uint32_t field) {
    field &= 0x1F;
    return uint8_t(field << 3 | field >> 2);
}
constexpr uint8_t widen_6bit(uint32_t field) {
    field &= 0x3F;
    return uint8_t(field << 2 | field >> 4);
}

// One 16-bit pixel in `code`'s layout as 8-bit channels, each field widened by bit replication;
// layouts without alpha are opaque. Codes other than 0x565 and 0x4444 read as 1-5-5-5.
constexpr rgba8 decode_16bit_pixel(uint32_t code, uint16_t v) {
    switch (code) {
    case pixel_code::rgba4444:
        return {widen_4bit(v >> 12), widen_4bit(v >> 8), widen_4bit(v >> 4), widen_4bit(v)};
    case pixel_code::rgb565:
        return {widen_5bit(v >> 11), widen_6bit(v >> 5), widen_5bit(v), 0xFF};
    default:
        return {widen_5bit(v >> 10), widen_5bit(v >> 5), widen_5bit(v),
                uint8_t(code == pixel_code::rgb555 || (v & 0x8000) ? 0xFF : 0)};
    }
}

// One PC/XBOX/mobile pixel of `depth` bits at `p` (16: `code`'s layout, little-endian; 24: blue,
// green, red; 32: blue, green, red, alpha) as 8-bit channels. Other depths give opaque black.
constexpr rgba8 decode_pc_pixel(uint32_t depth, uint32_t code, const uint8_t* p) {
    switch (depth) {
    case 16:
        return decode_16bit_pixel(code, uint16_t(p[0] | p[1] << 8));
    case 24:
        return {p[2], p[1], p[0], 0xFF};
    case 32:
        return {p[2], p[1], p[0], p[3]};
    default:
        return {};
    }
}

// Decodes v in the source layout into 8-bit channels and packs them in the target layout; a
// target code outside 0x565, 0x4444, 0x1555 and 0x555 returns v unchanged.
uint16_t convert_16bit_value(uint32_t source_code, uint32_t target_code, uint16_t v);

} // namespace quillmap
