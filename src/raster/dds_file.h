#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// DirectDraw Surface files: one 2D picture with its mip levels, in a DXT or a plain RGB layout,
// under the legacy header or the DX10 header. Levels are kept as the file stores them, so a
// texture's own blocks travel through a DDS file byte for byte.

enum class dds_format {
    dxt1,     // BC1, 8 bytes per 4×4 block
    dxt3,     // BC2, 16 bytes per block
    dxt5,     // BC3, 16 bytes per block
    argb8888, // bytes blue, green, red, alpha (A8R8G8B8)
    xrgb8888, // bytes blue, green, red, unused (X8R8G8B8): an opaque 8888
    abgr8888, // bytes red, green, blue, alpha (A8B8G8R8)
    rgb888,   // bytes blue, green, red (R8G8B8)
    rgb565,   // red 11-15, green 5-10, blue 0-4
    argb1555, // alpha 15, red 10-14, green 5-9, blue 0-4
    xrgb1555, // as 1555, bit 15 unused: opaque
    argb4444, // alpha 12-15, red 8-11, green 4-7, blue 0-3
};

const char* dds_format_name(dds_format format);
bool dds_is_dxt(dds_format format);
// Bytes of one level of w×h in `format` (whole 4×4 blocks for DXT).
uint64_t dds_level_bytes(dds_format format, uint32_t width, uint32_t height);

struct dds_image {
    dds_format format = dds_format::argb8888;
    uint32_t width = 0;
    uint32_t height = 0;
    // Level n is max(1, width >> n) × max(1, height >> n), exactly dds_level_bytes of it.
    std::vector<std::vector<uint8_t>> levels;
};

// Most levels a DDS may declare, the chain of the largest picture side.
inline constexpr uint32_t k_dds_max_levels = 15;

// Reads a whole DDS file held in memory. False with `error` (the cause, without a file name)
// for anything that is not a 2D DDS picture of the formats above whose levels are all there.
bool read_dds(std::span<const uint8_t> file, dds_image& out, std::string& error);
// The same for a file on disk; the message names the file.
bool read_dds_file(const std::filesystem::path& path, dds_image& out, std::string& error);

// The file bytes: the legacy header (every format here has one), the levels as they stand.
// Empty with `error` when the levels do not have the sizes of the format and picture.
std::vector<uint8_t> write_dds(const dds_image& image, std::string& error);

// Level `level` as RGBA, top row first, 8 bits per channel (16-bit fields widened as the program
// shows them elsewhere). Empty when the level does not exist.
std::vector<uint8_t> dds_level_rgba(const dds_image& image, uint32_t level);

} // namespace quillmap
