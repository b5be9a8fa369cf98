#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quillmap {

// Messages of the editor session, shown as they stand by the window and the command line.
namespace session_msg {
inline constexpr const char* unsupported_file = "Unsupported TXD file type.";
inline constexpr const char* saving_disabled = "File saving is disabled for this file format.";
inline constexpr const char* export_disabled = "Texture exporting is disabled for this format.";
inline constexpr const char* replace_disabled = "Texture replacing is disabled for this format.";
inline constexpr const char* import_disabled = "Texture importing is disabled for this format.";
inline constexpr const char* finished_interrupted_save =
    "An interrupted save into this file was finished from the complete copy it left.";
inline constexpr const char* name_empty = "You can't leave texture name empty!";
inline constexpr const char* bmp_import = "BMP is not suppoorted yet.";
inline constexpr const char* unknown_import = "Unknown import format";
inline constexpr const char* unknown_extension = " is unknown extension!"; // after the extension
inline constexpr const char* no_dictionary = "TXD file is NOT loaded!";
// A game archive opened at an offset where none of its entries starts.
inline constexpr const char* no_entry_here = "No archive entry starts at this offset.";
inline std::string no_entry_at(uint64_t offset) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(offset));
    return std::string("the file is a game archive and none of its entries starts at offset ") +
           hex +
           "; nothing is read or written there (an entry moves when it is saved larger): "
           "open the entry from the archive's list";
}
// Replace All from Folder.
inline constexpr const char* folder_unreadable = "Cannot read the folder %s: %s";
inline constexpr const char* no_picture_named = "no picture of this name";
inline constexpr const char* no_texture_named = "no texture of this name";
inline constexpr const char* other_picture_used = "another picture of this name was used: %s";
inline constexpr const char* picture_format_unknown = "not a picture the replace reads";
inline constexpr const char* picture_unchanged = "unchanged: the picture is what the texture shows";
inline constexpr const char* conversion_not_applicable =
    "None of the selected textures can take this conversion.";
inline constexpr const char* levels_dropped = " mip level(s) dropped: unswizzled data holds one";
inline constexpr const char* pc_edits_only =
    "This edit works on PC, XBOX and mobile dictionaries; PS2 textures take their own commands.";
inline constexpr const char* mobile_edits_only = "This edit works on mobile dictionaries.";
inline constexpr const char* gamecube_edits_only = "This edit works on GameCube dictionaries.";
// A texture name that another texture of the dictionary already has (case ignored); textures
// are numbered from 1, as the texture list numbers them.
inline std::string name_taken_by(uint32_t other, const std::string& other_name) {
    return "Texture " + std::to_string(uint64_t(other) + 1) + " is already named \"" + other_name +
           "\"; names must differ in more than case.";
}
} // namespace session_msg

} // namespace quillmap
