#pragma once

// Numbers of the PS2 raster header and its GS transfers that more than one file reads.

#include <cstdint>

namespace ps2_layout {
// Swizzle kind: bits 16-19 of the raster format word.
inline constexpr uint32_t swizzle_kind_mask = 0xF0000;
inline constexpr uint32_t swizzle_kind_1 = 0x10000;
// Kind 2: the raster data begins with GIF transfer headers (80 bytes before each block).
inline constexpr uint32_t swizzle_kind_2 = 0x20000;
inline constexpr uint32_t transfer_header_bytes = 80;
// Palette sizes of the header (word 13) for kind 2: the 4-bit palette moves as an 8x3 block of
// 32-bit entries (96 bytes), the 8-bit one as 16x16 (1024 bytes), each after its transfer header.
inline constexpr uint32_t palette_size_4bit_swizzled = 96 + transfer_header_bytes;   // 176
inline constexpr uint32_t palette_size_8bit_swizzled = 1024 + transfer_header_bytes; // 1104
} // namespace ps2_layout
