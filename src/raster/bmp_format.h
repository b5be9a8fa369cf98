#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quillmap {

// Windows Bitmap headers as they lie in the file (little-endian, no padding on disk).
struct bmp_file_header {
    uint8_t type[2] = {'B', 'M'};
    uint32_t file_size = 0;
    uint16_t reserved1 = 0;
    uint16_t reserved2 = 0;
    uint32_t pixel_offset = 0;

    static constexpr size_t k_size = 14;
    void store(uint8_t* out) const;
    void load(std::span<const uint8_t, k_size> in);
};

struct bmp_info_header {
    uint32_t header_size = 40;
    int32_t width = 0;
    int32_t height = 0; // positive: rows bottom-up
    uint16_t planes = 1;
    uint16_t bit_count = 0;
    uint32_t compression = 0;
    uint32_t image_size = 0;
    int32_t x_resolution = 0;
    int32_t y_resolution = 0;
    uint32_t colours_used = 0;
    uint32_t colours_important = 0;

    static constexpr size_t k_size = 40;
    void store(uint8_t* out) const;
    void load(std::span<const uint8_t, k_size> in);
};

namespace bmp_layout {
inline constexpr uint32_t k_headers = 54;
inline constexpr uint32_t k_compression_none = 0;
inline constexpr uint32_t k_compression_bitfields = 3;
} // namespace bmp_layout

// Bytes of one stored row: w·depth/8 rounded up to whole bytes, then to a multiple of 4.
inline uint64_t bmp_row_stride(uint32_t width_px, uint32_t depth) {
    return ((uint64_t(width_px) * depth + 31) / 32) * 4;
}

} // namespace quillmap
