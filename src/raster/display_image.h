#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmap {

// The picture a dictionary renders for the screen: what a device bitmap holds, owned by the
// caller. Rows are stored bottom-up (the first row in `bytes` is the bottom row of the picture),
// pixels blue, green, red for 24 bits and blue, green, red, alpha for 32 bits. The row stride is
// width·3 raised to a multiple of 4 for 24 bits and width·4 for 32 bits.
struct display_image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 24;
    uint32_t stride = 0;
    std::vector<uint8_t> bytes;

    static uint32_t stride_for(uint32_t width, uint32_t bits) {
        return bits == 32 ? width * 4 : (width * 3 + 3) & ~3u;
    }
    // Row y counted from the top of the picture.
    const uint8_t* top_row(uint32_t y) const {
        return bytes.data() + static_cast<size_t>(height - 1 - y) * stride;
    }
    uint8_t* top_row(uint32_t y) {
        return bytes.data() + static_cast<size_t>(height - 1 - y) * stride;
    }
};

using device_bitmap = std::unique_ptr<display_image>;

} // namespace quillmap
