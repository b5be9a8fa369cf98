#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quillmap {

// Swaps row r with row h - 1 - r, converting both with `fn(row)`; the middle row of an odd
// height is converted in place. Rasters are top-down, BMP rows bottom-up.
template <class Fn> void reverse_rows(uint8_t* data, size_t row_bytes, uint32_t height_px, Fn fn) {
    std::vector<uint8_t> tmp(row_bytes);
    for (uint32_t r = 0; r < height_px / 2; ++r) {
        uint8_t* a = data + size_t(r) * row_bytes;
        uint8_t* b = data + size_t(height_px - 1 - r) * row_bytes;
        std::memcpy(tmp.data(), a, row_bytes);
        std::memcpy(a, b, row_bytes);
        std::memcpy(b, tmp.data(), row_bytes);
        fn(a);
        fn(b);
    }
    if (height_px % 2) fn(data + size_t(height_px / 2) * row_bytes);
}

} // namespace quillmap
