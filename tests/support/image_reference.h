#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// Image files decoded and written for tests without the editor's own raster code, so that a
// result of the editor is never checked against itself.

// A picture as red, green, blue, alpha bytes, top row first.
struct reference_picture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    // Colours came from 5-bit channels, whose widening to 8 bits may differ by a few steps.
    bool five_bit_colour = false;
    std::vector<uint8_t> rgba;
    std::string error;

    const uint8_t* at(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Picture 0 of a TIM2 file (format id 0 or 1, 48- or 76-byte picture headers, 4/8-bit with 16-,
// 24- or 32-bit CLUT entries in CSM1 or linear order, 16-, 24- and 32-bit direct colour).
reference_picture decode_tim2_reference(const std::vector<uint8_t>& file);

// A TIM2 file of one picture. header_size 48 is the standard layout; 76 adds the "swiz" tag and
// the marker byte (unless tag is false, when the 28 bytes stay zero apart from `marker`).
struct tim2_layout {
    uint32_t width = 16;
    uint32_t height = 16;
    uint32_t depth = 8;
    std::vector<uint8_t> image; // width·height·depth/8 bytes
    std::vector<uint8_t> clut;  // 32-bit entries, for depths 4 and 8
    uint16_t header_size = 48;
    bool tag = true;
    uint8_t marker = 0x64;
};
std::vector<uint8_t> make_tim2_bytes(const tim2_layout& layout);

// An uncompressed bottom-up BMP file; rows given top row first, packed (no filler).
std::vector<uint8_t> make_bmp_bytes(uint32_t width, uint32_t height, uint32_t depth,
                                    const std::vector<uint8_t>& top_down_rows,
                                    const std::vector<uint8_t>& palette_bgra);

} // namespace quillmap
