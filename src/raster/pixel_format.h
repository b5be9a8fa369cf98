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

// One 16-bit pixel in `code`'s layout as 8-bit channels: each field moves to the top of its byte
// (the low bits stay zero, as the PC bitmap and the converters have always shown them) and
// layouts without alpha are opaque. Codes other than 0x565 and 0x4444 read as 1-5-5-5.
inline rgba8 decode_16bit_pixel(uint32_t code, uint16_t v) {
    switch (code) {
    case pixel_code::rgba4444:
        return {uint8_t((v >> 8) & 0xF0), uint8_t((v >> 4) & 0xF0), uint8_t(v & 0xF0),
                uint8_t((v & 0xF) << 4)};
    case pixel_code::rgb565:
        return {uint8_t((v >> 8) & 0xF8), uint8_t((v >> 3) & 0xFC), uint8_t((v & 0x1F) << 3), 0xFF};
    default:
        return {uint8_t(((v >> 10) & 0x1F) << 3), uint8_t(((v >> 5) & 0x1F) << 3),
                uint8_t((v & 0x1F) << 3),
                uint8_t(code == pixel_code::rgb555 || (v & 0x8000) ? 0xFF : 0)};
    }
}

// Decodes v in the source layout into 8-bit channels and packs them in the target layout; a
// target code outside 0x565, 0x4444, 0x1555 and 0x555 returns v unchanged.
uint16_t convert_16bit_value(uint32_t source_code, uint32_t target_code, uint16_t v);

} // namespace quillmap
