#pragma once

#include "stream/rw_chunk.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// Builds texture natives of the mobile ports, the inverse of how ios_txd takes them apart:
// platform word, name and mask fields, alpha byte, width and height are written; the levels
// follow at 116 (16-bit pixels, every level back to back) or at 148 / 152 (one level of DXT3 /
// DXT1 blocks). The header bytes the reader gives no meaning are kept from the texture being
// rebuilt, and are zero in a new one.

namespace mobile_offset {
inline constexpr uint32_t platform = 0;
inline constexpr uint32_t name = 32;
inline constexpr uint32_t mask = 64;
inline constexpr uint32_t alpha = 98;
inline constexpr uint32_t width = 100;
inline constexpr uint32_t height = 102;
inline constexpr uint32_t block_word = 108;
inline constexpr uint32_t pixels = 116;
inline constexpr uint32_t dxt3_blocks = 148;
inline constexpr uint32_t dxt1_blocks = 152;
} // namespace mobile_offset
inline constexpr uint32_t mobile_name_bytes = 32;
// The word at 108 that moves the DXT1 blocks of a texture without alpha to 148.
inline constexpr uint32_t mobile_block_word_early = 10968;
inline constexpr uint32_t mobile_max_levels = 16;

// The formats the layout holds: DXT1 (opaque) or DXT3 blocks, one level (platform 9); RGB 565 or
// RGBA 4444 pixels with mip levels (platform 12).
enum class mobile_format { dxt1, dxt3, rgb565, rgba4444 };
// The command line's names: dxt1, dxt3, 565, 4444.
std::optional<mobile_format> mobile_format_named(std::string_view name);
const char* mobile_format_name(mobile_format format);

// What a writer chooses; the header follows from it.
struct mobile_fields {
    mobile_format format = mobile_format::dxt1;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t levels = 1;
};

bool mobile_is_dxt(mobile_format format);
bool mobile_has_alpha(mobile_format format);
// Where the pixels start: 116 for 16-bit pixels; DXT3 at 148, DXT1 at 152 or at 148 when the
// word at 108 says so.
uint32_t mobile_pixels_start(mobile_format format, uint32_t block_word);
// Bytes of level `level`.
uint64_t mobile_level_bytes(const mobile_fields& fields, uint32_t level);
// The most levels a texture of this size and format holds: one for DXT; for 16-bit pixels the
// levels down to a side of 1 (the reader counts further levels by area, which a side that stays
// at 1 no longer halves).
uint32_t mobile_most_levels(mobile_format format, uint32_t width, uint32_t height);
// Why the fields make no texture the reader takes back as it was written; empty when they do.
std::string mobile_fields_misfit(const mobile_fields& fields);

// The fields a stored Struct holds; none with `error` for PVR and ATC textures (no pixels that
// could be written again) and for Structs too short for their header or their level 0. Levels
// are counted as the reader counts them, whole levels only.
std::optional<mobile_fields> mobile_fields_of(std::span<const uint8_t> struct_data,
                                              std::string& error);

struct mobile_texture_source {
    mobile_fields fields;
    std::string name;
    std::array<uint8_t, mobile_name_bytes> mask{};
    // The stored bytes in front of the old pixels (a texture being rebuilt); empty for a new one.
    std::vector<uint8_t> header;
    // Level 0, 1, ... each exactly mobile_level_bytes long.
    std::vector<std::vector<uint8_t>> levels;
};

// The Struct data; none with `error` when the fields misfit or a level has the wrong size.
std::optional<std::vector<uint8_t>> mobile_struct_data(const mobile_texture_source& source,
                                                       std::string& error);
// A new texture native: the Struct and an empty Extension, every chunk stamped `version`.
std::unique_ptr<rw_chunk> build_mobile_texture(const mobile_texture_source& source,
                                               uint32_t version, std::string& error);

} // namespace quillmap
