#pragma once

#include "dictionary/pc_raster_rules.h"
#include "stream/rw_chunk.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// Builds Direct3D 8, Direct3D 9 and XBOX texture natives as the games' converters write them:
// the free fields come in, every determined word of the header follows pc_raster_rules. Levels
// come already encoded in the texture's own format (DXT blocks, rows padded to 4 bytes,
// one index byte per texel), so blocks taken from a file go in untouched.

// A 32-byte name field: the text, a NUL and zeros.
using pc_name_field = std::array<uint8_t, 32>;
pc_name_field pc_name_field_of(const std::string& text);

struct pc_texture_source {
    pc_free_fields fields;
    std::string name;
    // The mask field as stored: a texture being rebuilt keeps its bytes (some D3D9 files carry
    // a fixed pattern after an empty mask's NUL); new textures get pc_name_field_of(mask).
    pc_name_field mask{};
    // R, G, B, A entries: 256 for PAL8, 16 (or all 32 stored) for PAL4; empty for no palette.
    std::vector<uint8_t> palette;
    // Level 0, 1, ... in stored form, each exactly pc_level_bytes long.
    std::vector<std::vector<uint8_t>> levels;
};

// The Struct data of the texture; none with `error` when the fields misfit or a level or the
// palette has the wrong size.
std::optional<std::vector<uint8_t>> pc_struct_data(const pc_texture_source& source,
                                                   std::string& error);

// A texture native of the Struct `struct_data` and an empty Extension, every chunk stamped
// `version`; the sizes follow the data.
std::unique_ptr<rw_chunk> texture_native_chunk(std::vector<uint8_t> struct_data, uint32_t version);

// A new texture native: the Struct and an empty Extension, every chunk stamped `version`.
// (An edited texture keeps its own Extension: only its Struct is built anew.)
std::unique_ptr<rw_chunk> build_pc_texture(const pc_texture_source& source, uint32_t version,
                                           std::string& error);

// Level sizes checked against the fields; the message names the first level that differs.
std::string pc_levels_misfit(const pc_texture_source& source);

} // namespace quillmap
