#pragma once

#include <cstdint>

// 16-bit pixel layouts named by their channel widths, plus the DXT output codes.
namespace pixel_code {
inline constexpr uint32_t argb1555 = 0x1555; // alpha 15, red 10-14, green 5-9, blue 0-4
inline constexpr uint32_t rgb555 = 0x555;    // as 1555 without alpha
inline constexpr uint32_t rgb565 = 0x565;    // red 11-15, green 5-10, blue 0-4
inline constexpr uint32_t rgba4444 = 0x4444; // red 12-15, green 8-11, blue 4-7, alpha 0-3
inline constexpr uint32_t rgb888 = 0x888;    // bytes red, green, blue
inline constexpr uint32_t bgra8888 = 0x8888; // bytes blue, green, red, alpha
} // namespace pixel_code

// Decodes v in the source layout into 8-bit channels and packs them in the target layout; a
// target code outside 0x565, 0x4444, 0x1555 and 0x555 returns v unchanged.
uint16_t convert_16bit_value(uint32_t source_code, uint32_t target_code, uint16_t v);
