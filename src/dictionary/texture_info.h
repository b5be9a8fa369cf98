#pragma once

#include <cstdint>
#include <string>

namespace quillmap {

enum class txd_family;

// What one texture is, gathered in one call (ps2_txd::info) for code that needs several fields:
// the export, the information view, the lint. Fields a class does not keep are 0 or empty.
struct texture_info {
    std::string name;
    std::string mask;
    uint32_t width_px = 0;
    uint32_t height_px = 0;
    uint32_t depth = 0;
    uint32_t raster_format = 0; // the raster format word (pixel format, swizzle kind, mip flags)
    uint32_t levels = 0;        // mip levels, 0 when the class does not say
    bool swizzled = false;
    bool ps2_raster = false; // a PS2 raster header is there
    txd_family family{};
    uint32_t palette_bytes = 0; // 4·2^depth for 4 and 8 bits, else 0
    uint32_t flags = 0;         // filter and addressing flags of the texture's Struct
};

} // namespace quillmap
