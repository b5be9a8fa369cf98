#pragma once

#include <cstdint>

namespace quillmap {

// The dictionary classes a file can be opened as, in the order they are tried. The names are
// the ones the "platform_priority" setting and the status bar use (platform_table()).
enum class txd_platform { ps2, pc, ios, xbox, tex, gamecube };

// Platform ids as stored in a texture's Struct (the first word of a PC, XBOX or mobile Struct;
// the "PS2\0" FourCC of a PS2 Struct reads as the id 4 through `platform_id`). Stored values:
// they stay integers where they are read, written or shown.
namespace stored_platform {
inline constexpr uint32_t ps2 = 4;
inline constexpr uint32_t xbox = 5;
inline constexpr uint32_t gamecube = 6; // stored big-endian
inline constexpr uint32_t d3d8 = 8;
inline constexpr uint32_t d3d9 = 9;
// Mobile Structs: 9 holds DXT data (the same number as D3D9, told apart by the layout), 10 and
// 11 other compressions, 12 plain pixels.
inline constexpr uint32_t mobile_dxt = 9;
inline constexpr uint32_t mobile_last_compressed = 11;
inline constexpr uint32_t mobile_plain = 12;
} // namespace stored_platform

} // namespace quillmap
