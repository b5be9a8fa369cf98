#pragma once

#include "test_files.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// Texture natives of the PC, XBOX and mobile layouts and TEX container files, built byte by
// byte for tests.

// PC (platform 8/9) and XBOX (platform 5) Struct data.
struct pc_texture_desc {
    uint32_t platform = 8;
    uint32_t filter_flags = 0x1106;
    std::string name = "pc";
    std::string mask;
    uint32_t raster_format = 0x200;
    std::array<uint8_t, 4> format_word = {0, 0, 0, 0}; // offset 76: "DXT1" etc. on D3D9
    uint16_t width = 8;
    uint16_t height = 8;
    uint8_t depth = 16;
    uint8_t mip_count = 1;
    uint8_t raster_type = 4;
    uint8_t compression = 0;
    std::vector<uint8_t> palette;             // stored as it is after offset 88
    std::vector<std::vector<uint8_t>> levels; // pixel bytes or DXT blocks per level
    // PC: a size word in front of every level. XBOX: one word (the total) in front of all.
    bool xbox_layout = false;
    bool xbox_chained = false; // XBOX levels each behind a size word, as on the PC
};
std::vector<uint8_t> pc_struct_bytes(const pc_texture_desc& desc);
// Texture Native: the Struct and an empty Extension.
test_chunk make_pc_texture(const pc_texture_desc& desc);
test_chunk make_struct_texture(std::vector<uint8_t> struct_data);

// Mobile (platform 9-12) Struct data.
struct mobile_texture_desc {
    uint32_t platform = 12;
    std::string name = "mobile";
    std::string mask;
    uint8_t alpha = 0;
    uint16_t width = 8;
    uint16_t height = 8;
    uint32_t word108 = 0;
    std::vector<uint8_t> data; // at 116 (platform 12) or at 148/152 (platform 9)
    uint32_t data_offset = 0;  // 0: 116 for platform 12, 148 with alpha, 152 without
    // Fills the header bytes the reader gives no meaning (4-31, 96-97, 99, 104-107, 112 up to
    // the pixels), as real files hold values there.
    uint8_t header_fill = 0;
};
std::vector<uint8_t> mobile_struct_bytes(const mobile_texture_desc& desc);

// A mobile dictionary file whose root and texture native sizes are wrong by `size_error`
// bytes (as the mobile tools write them) and whose count word is `count_word` (the number of
// textures when 0).
std::vector<uint8_t> mobile_dictionary_bytes(const std::vector<mobile_texture_desc>& textures,
                                             int32_t size_error = 0, uint32_t count_word = 0);

// DXT blocks of one solid colour (565 endpoints).
std::vector<uint8_t> dxt1_solid(uint16_t colour565, uint32_t blocks);
std::vector<uint8_t> dxt3_solid(uint16_t colour565, uint8_t alpha4, uint32_t blocks);
std::vector<uint8_t> dxt5_solid(uint16_t colour565, uint8_t alpha, uint32_t blocks);
// 16-bit pixels of one value.
std::vector<uint8_t> fill16(uint16_t value, uint32_t pixels);

// A TEX container. Records are laid out one after another; `next` overrides the record links
// (an empty list links each record to the following one and the last to the head).
struct tex_record_desc {
    std::string name = "tex";
    std::string mask;
    // The 16-byte raster header words; the pixel position word is patched when 0.
    std::array<uint32_t, 4> raster = {0, 0, 0, 0};
    int position_word = 0; // which of the four words holds the pixel position
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;
};
std::vector<uint8_t> tex_file_bytes(const std::vector<tex_record_desc>& records,
                                    const std::vector<uint32_t>& next = {});
// A dimension word: log2 width in bits 0-3, log2 height in 6-9, depth in 12-15.
uint32_t tex_dimension_word(uint32_t width_log2, uint32_t height_log2, uint32_t depth);

// Pixel (x, y) of a rendered picture, counted from the top: blue, green, red(, alpha).
struct bgra {
    uint8_t b = 0, g = 0, r = 0, a = 0;
    bool operator==(const bgra&) const = default;
};
struct display_image;
bgra pixel_at(const display_image& image, uint32_t x, uint32_t y);
// The same with the alpha byte left out (0), for pictures shown without alpha.
bgra rgb_at(const display_image& image, uint32_t x, uint32_t y);

} // namespace quillmap
