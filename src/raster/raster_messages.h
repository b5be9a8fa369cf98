#pragma once

// Messages of the bitmap, DXT and image file code, shown to the user as they stand.
namespace raster_msg {
inline constexpr const char* unsupported_image_bpp = "Unsupported image BPP";
inline constexpr const char* current_bpp_not_supported = "Current BPP is not supported";
inline constexpr const char* unsupported_bpp = "Unsupported BPP.";
inline constexpr const char* unsupported_image_format = "Unsupported image format";
inline constexpr const char* cant_open_for_writing = "Can't open file for writing.";
inline constexpr const char* cant_open_for_reading = "Can't open file for reading.";
inline constexpr const char* not_valid_bmp = "This is not valid BMP file.";
inline constexpr const char* not_valid_tim2 = "This is not a valid PlayStation 2 TIM2 file.";
// Our own texts for hostile input the original never checked.
inline constexpr const char* raster_too_short = "Raster data is too short.";
inline constexpr const char* palette_too_short = "Palette data is too short.";
inline constexpr const char* bad_image_size = "Image size is not supported.";
} // namespace raster_msg
