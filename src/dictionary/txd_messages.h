#pragma once

#include <cstdint>
#include <string>

namespace quillmap {

// Messages of the dictionary classes, shown to the user as they stand.
namespace txd_msg {
inline constexpr const char* texture_not_exists = "Texture not exists.";
inline constexpr const char* unknown_texture_id = "Unknown texture ID";
inline constexpr const char* not_ps2 = "This is not a PS2 texture.";
inline constexpr const char* texture_not_found = "Texture not found.";
inline constexpr const char* first_cannot_move_up = "First texture cannot be moved up.";
inline constexpr const char* last_cannot_move_down = "Last texture cannot be moved down.";
inline constexpr const char* same_dimensions = "Image must have same dimensions!";
inline constexpr const char* same_bpp = "Images must have same BPP!";
inline constexpr const char* equivalent_dimensions = "Image must have equivalent dimensions!";
inline constexpr const char* equivalent_bpp =
    "Sorry, at the moment supported only equivalent bits per pixel.";
inline constexpr const char* unknown_import_format = "Unknown import format.";
inline constexpr const char* dimension_limit = "Texture dimension limit is 4096 x 4096";
inline constexpr const char* unknown_export_type = "Unknown export type/extension";
// Texts for size limits and for layouts that cannot hold what an edit needs.
inline constexpr const char* too_many_textures = "A texture dictionary holds at most 255 textures.";
inline constexpr const char* name_not_string =
    "The texture's name cannot be changed: it is not stored as a name section.";
inline constexpr const char* dictionary_too_large =
    "The texture dictionary would become too large.";
inline constexpr const char* image_data_short = "The image holds fewer bytes than its size needs.";
inline constexpr const char* raster_layout_short = "The texture's raster data is too short.";
inline constexpr const char* no_ps2_layout =
    "The texture's size, depth or level count cannot be stored as a PS2 raster.";
inline constexpr const char* name_too_long = "Texture names hold at most 31 characters.";
inline constexpr const char* levels_dropped =
    "Mip levels beyond RenderWare's own count for the size were left out.";
// The dictionary Struct's count against the texture sections found after it.
inline std::string count_disagrees(uint32_t stored, uint32_t chunks) {
    return "The dictionary says it holds " + std::to_string(stored) + " textures but " +
           std::to_string(chunks) + " are stored; " +
           (chunks > stored ? "all " + std::to_string(chunks) + " are kept."
                            : "the missing ones cannot be shown.");
}
} // namespace txd_msg

} // namespace quillmap
