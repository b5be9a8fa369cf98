#pragma once

#include <cstdint>

namespace quillmap {

// Caps on what an image file or raster header may make us allocate or loop over.
namespace raster_limits {
// Largest width or height of a PS2 texture, 2^12: the dictionaries, TEX containers and the
// conversions to PS2 refuse more.
inline constexpr uint32_t k_max_ps2_dimension_log2 = 12;
inline constexpr uint32_t k_max_ps2_dimension = 1u << k_max_ps2_dimension_log2;
// Largest width or height read from a picture file (BMP, TIM2) or a raster of another platform
// (PC, XBOX, mobile, DXT): only a cap on what a header may make us allocate, so it is looser than
// the PS2 limit and pictures beyond that still open and are refused by the conversion instead.
inline constexpr uint32_t k_max_picture_dimension = 16384;
// A TIM2 file keeps at most this many pictures; later ones are ignored.
inline constexpr uint32_t k_max_tim2_pictures = 64;
} // namespace raster_limits

// Bytes of a w×h raster at `depth` bits per pixel, rounded up to whole bytes (64-bit, no overflow
// for 32-bit inputs).
inline uint64_t raster_bytes(uint32_t width_px, uint32_t height_px, uint32_t depth) {
    return (uint64_t(width_px) * height_px * depth + 7) / 8;
}

} // namespace quillmap
