#pragma once

#include <cstdint>

// Caps on what an image file or raster header may make us allocate or loop over.
namespace raster_limits {
// Largest width or height accepted from any file or raster header.
inline constexpr uint32_t k_max_dimension = 16384;
// A TIM2 file keeps at most this many pictures; later ones are ignored.
inline constexpr uint32_t k_max_tim2_pictures = 64;
} // namespace raster_limits

// Bytes of a w×h raster at `depth` bits per pixel, rounded up to whole bytes (64-bit, no overflow
// for 32-bit inputs).
inline uint64_t raster_bytes(uint32_t width_px, uint32_t height_px, uint32_t depth) {
    return (uint64_t(width_px) * height_px * depth + 7) / 8;
}

// True when [offset, offset + bytes) lies inside a buffer of `size` bytes, without overflow.
inline bool range_fits(uint64_t offset, uint64_t bytes, uint64_t size) {
    return offset <= size && bytes <= size - offset;
}
