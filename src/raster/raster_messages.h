#pragma once

namespace quillmap {

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

// DDS files: the cause of a refusal, completed with the numbers found.
namespace dds_msg {
inline constexpr const char* not_dds = "not a DDS file: it does not start with \"DDS \"";
inline constexpr const char* header_size = "DDS header size is ";
inline constexpr const char* pixel_format_size = "DDS pixel format size is ";
inline constexpr const char* bad_size = "DDS picture size is not supported: ";
inline constexpr const char* cube_or_volume = "DDS cube maps and volume textures are not supported";
inline constexpr const char* too_many_levels = "DDS file declares too many mip levels: ";
inline constexpr const char* premultiplied =
    "DDS premultiplied alpha (DXT2, DXT4) is not supported";
inline constexpr const char* unknown_fourcc = "DDS compression is not supported: ";
inline constexpr const char* unknown_rgb = "DDS pixel layout is not supported: ";
inline constexpr const char* unknown_dxgi = "DDS DXGI format is not supported: ";
inline constexpr const char* not_2d = "DDS file holds no single 2D texture: ";
inline constexpr const char* no_levels = "DDS picture has no levels";
inline constexpr const char* level_size = "DDS level size does not match the picture: level ";
} // namespace dds_msg

} // namespace quillmap
