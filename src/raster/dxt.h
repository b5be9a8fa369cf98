#pragma once

#include <cstdint>
#include <span>

namespace quillmap {

// DXT1 / DXT3 / DXT5 (BC1 / BC2 / BC3) decoding into plain pixels of a pixel_code layout:
// 0x565, 0x4444 and anything else (1-5-5-5) take 2 bytes, 0x888 3 bytes (red, green, blue),
// 0x8888 4 bytes (blue, green, red, alpha). Levels are row-major, top row first, one after
// another; between two input levels lies a 4-byte level size that is skipped. End-point fields
// and DXT3's 4-bit alphas widen as pixel_format.h's widen_5bit / widen_6bit / widen_4bit.

uint32_t dxt_pixel_size(uint32_t code);
uint32_t pack_pixel(uint32_t code, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// Input bytes that `levels` levels of w×h need (block_bytes 8 for DXT1, 16 for DXT3/5), level
// size words included; and output bytes for the same levels in `code`.
uint64_t dxt_input_bytes(uint32_t width_px, uint32_t height_px, uint32_t levels,
                         uint32_t block_bytes);
uint64_t dxt_output_bytes(uint32_t width_px, uint32_t height_px, uint32_t levels, uint32_t code);

// Decode max(levels, 1) levels. Nothing is written when `output` is smaller than
// dxt_output_bytes; decoding stops at the last whole block `input` holds. True when every level
// was decoded.
bool decode_dxt1(uint32_t width_px, uint32_t height_px, std::span<const uint8_t> input,
                 std::span<uint8_t> output, uint32_t levels, uint32_t code);
bool decode_dxt3(uint32_t width_px, uint32_t height_px, std::span<const uint8_t> input,
                 std::span<uint8_t> output, uint32_t levels, uint32_t code);
bool decode_dxt5(uint32_t width_px, uint32_t height_px, std::span<const uint8_t> input,
                 std::span<uint8_t> output, uint32_t levels, uint32_t code);

// One block into the 4×4 pixels at (x_px, y_px) of a level's output, skipping pixels outside
// the level. False, writing nothing, when `level_output` is smaller than the level.
bool decode_dxt1_block(uint32_t x_px, uint32_t y_px, uint32_t level_width, uint32_t level_height,
                       std::span<const uint8_t, 8> block, std::span<uint8_t> level_output,
                       uint32_t code);
bool decode_dxt3_block(uint32_t x_px, uint32_t y_px, uint32_t level_width, uint32_t level_height,
                       std::span<const uint8_t, 16> block, std::span<uint8_t> level_output,
                       uint32_t code);
bool decode_dxt5_block(uint32_t x_px, uint32_t y_px, uint32_t level_width, uint32_t level_height,
                       std::span<const uint8_t, 16> block, std::span<uint8_t> level_output,
                       uint32_t code);

} // namespace quillmap
