#pragma once

namespace quillmap {

// Messages of the PC, XBOX, iOS / Android and TEX classes, shown to the user as they stand.
namespace platform_msg {
inline constexpr const char* not_pc = "This is not a valid PC texture.";
inline constexpr const char* not_xbox = "This is not a XBOX texture.";
inline constexpr const char* not_mobile = "This is not an iOS / Android texture.";
inline constexpr const char* tex_cant_open = "Cant open file";
inline constexpr const char* not_tex = "This is not a valid PS2 / PSP texture.";
inline constexpr const char* tex_unsupported_bpp = "Unsupported BPP detected.";
// Our own texts for damage the original never checked.
inline constexpr const char* struct_short =
    "The texture's data is too short for its size and format.";
inline constexpr const char* level_missing = "This mip level is not stored in the texture.";
inline constexpr const char* no_pixels = "This texture has no pixels that can be shown.";
inline constexpr const char* unsupported_size = "The texture's size or depth is not supported.";
inline constexpr const char* name_too_long = "Texture name must not be longer than 31 characters.";
} // namespace platform_msg

} // namespace quillmap
