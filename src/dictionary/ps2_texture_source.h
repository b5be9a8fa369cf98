#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// What a PS2 texture is built from: level n is (width >> n) x (height >> n) pixels in plain row
// order (4-bit: left pixel in the low nibble), the palette as stored (red, green, blue, alpha
// 0..0x80; 256 entries in console order). Empty spans leave zeros.
struct ps2_texture_source {
    std::string name;
    std::string mask;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    std::vector<std::span<const uint8_t>> levels;
    std::span<const uint8_t> palette;
    uint32_t flags = 0;      // filter and addressing; 0: 0x1102 one level, 0x1106 mipmapped
    uint32_t rw_version = 0; // version the layout rules follow; 0: the dictionary's own
    // Stored the old way (no transfer headers, plain row order, level 0 only): the one layout
    // that keeps 8-bit data unswizzled, asked for when a texture is unswizzled on purpose.
    bool plain_order = false;
};

} // namespace quillmap
