#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quillmap {

// The decoded_raster store of the classes that decode DXT blocks for display: one buffer per
// dictionary, replaced by every decode, so a pointer from an earlier decode is no longer valid.
struct decoded_raster {
    std::array<std::unique_ptr<std::vector<uint8_t>>, 32> decoded_buffers;
    uint32_t decoded_count = 0; // 0 or 1: only the first entry is ever occupied

    // Frees the held buffer and holds a new one of `bytes` zero bytes.
    std::span<uint8_t> hold(size_t bytes) {
        decoded_buffers[0] = std::make_unique<std::vector<uint8_t>>(bytes);
        decoded_count = 1;
        return *decoded_buffers[0];
    }
};

} // namespace quillmap
