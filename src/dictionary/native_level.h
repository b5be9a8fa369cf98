#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// One mip level of a PC, XBOX or mobile texture as the bitmap code takes it: the stored pixels
// (or the DXT blocks decoded), bounded to exactly the level's bytes, and the palette padded to
// 2^depth entries. Pixels are borrowed from the dictionary and stay valid until its next decode,
// release or edit.
struct native_level {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0; // bits per pixel of `pixels`
    uint32_t code = 0;  // pixel_code of 16-bit pixels; 0x8888 for decoded 32-bit pixels
    std::span<const uint8_t> pixels;
    // 4·2^depth bytes red, green, blue, alpha in plain order for depths 4 and 8; empty otherwise.
    std::vector<uint8_t> palette;
    // 32-bit pixels whose fourth byte carries no alpha (raster format 888).
    bool opaque = false;
};

// How a level is wanted: as the texture declares it (the stored pixel format), or with DXT blocks
// decoded to 32 bits so that nothing of their colour or alpha is lost (rendering, export and
// conversion: repacked to the declared 4444 or 1555, a gradient would band).
enum class level_detail { declared, full_colour };

} // namespace quillmap
