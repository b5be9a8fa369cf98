#pragma once

#include "test_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// A GameCube texture native written field by field (big-endian inside the Struct), for tests
// that need headers real files never carry.
struct gc_texture_desc {
    std::string name = "tex";
    std::string mask;
    uint32_t filter = 0x1101;
    uint32_t raster_format = 0x4104;
    uint32_t width = 8, height = 8;
    uint8_t depth = 4;
    uint8_t levels = 1;
    uint8_t gx = 8;
    uint8_t palette_format = 2;
    uint32_t alpha = 1;
    // Stored entries: 0 means 16 for GX 8 and 256 otherwise, none without a palette format.
    uint32_t palette_entries = 0;
    std::vector<uint16_t> palette;     // the first entries; the rest are zero
    std::vector<uint8_t> level_bytes;  // empty: level 0 of zeros
    std::optional<uint32_t> data_size; // none: the bytes stored
    std::optional<size_t> truncate_to; // the Struct cut to this many bytes
};

inline constexpr uint32_t k_gc_version = 0x1C020037;

std::vector<uint8_t> gc_struct_bytes(const gc_texture_desc& desc);
test_chunk gc_texture(const gc_texture_desc& desc);
std::vector<uint8_t> gc_dictionary(std::vector<test_chunk> textures, uint16_t device_id = 0);

} // namespace quillmap
