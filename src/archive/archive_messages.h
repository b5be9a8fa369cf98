#pragma once

// Messages of the game archive reader, shown after the archive's file name.
namespace archive_msg {
inline constexpr const char* cant_open = "cannot be opened";
inline constexpr const char* not_archive = "is not a game archive (no VER2 header, no .dir beside)";
inline constexpr const char* index_short = "the entry table runs past the end of the file";
inline constexpr const char* too_many_entries = "the entry table claims more entries than allowed";
inline constexpr const char* dir_length = "the .dir file's length is not a multiple of 32 bytes";
inline constexpr const char* no_img = "no .img file lies beside the .dir file";
} // namespace archive_msg
