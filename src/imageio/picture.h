#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmap {

// Pictures as the PNG, quantizer and mip code pass them around: top row first, no row padding,
// 8 bits per channel, alpha 0..255 (the PS2 scale 0..0x80 is applied only at the raster).
struct rgba_image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba; // width·height·4 bytes red, green, blue, alpha

    uint8_t* pixel(uint32_t x, uint32_t y) { return &rgba[(size_t(y) * width + x) * 4]; }
    const uint8_t* pixel(uint32_t x, uint32_t y) const {
        return &rgba[(size_t(y) * width + x) * 4];
    }
};

// A palette picture: one index byte per pixel into `palette` (red, green, blue, alpha entries in
// logical order, as a PNG's PLTE and tRNS give them).
struct indexed_image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> indices; // width·height bytes
    std::vector<uint8_t> palette; // 4 bytes per entry, at most 256 entries

    uint32_t entries() const { return uint32_t(palette.size() / 4); }
};

} // namespace quillmap
