#pragma once

namespace quillmap {

// Messages of the game archive reader and editor, shown after the archive's file name.
namespace archive_msg {
inline constexpr const char* cant_open = "cannot be opened";
inline constexpr const char* not_archive = "is not a game archive (no VER2 header, no .dir beside)";
inline constexpr const char* index_short = "the entry table runs past the end of the file";
inline constexpr const char* too_many_entries = "the entry table claims more entries than allowed";
inline constexpr const char* dir_length = "the .dir file's length is not a multiple of 32 bytes";
inline constexpr const char* no_img = "no .img file lies beside the .dir file";

// Editing.
inline constexpr const char* cant_read = "cannot be read";
// Added to the cause of a write that failed before the table switched.
inline constexpr const char* unchanged = "the archive is as it was";
// Added when a delete failed part-way and its moved rows could not be put back.
inline constexpr const char* rows_repeated =
    "the entry table now lists some rows twice; every entry's bytes are kept";
inline constexpr const char* entry_short = "the entry's bytes run past the end of the file";
inline constexpr const char* table_changed =
    "the entry table changed since the archive was read; open it again";
inline constexpr const char* no_such_entry = "has no entry named";
inline constexpr const char* no_such_position = "has no entry at position";
inline constexpr const char* name_empty = "an entry name cannot be empty";
inline constexpr const char* name_too_long = "an entry name holds at most 23 characters";
inline constexpr const char* name_bad_character =
    "an entry name cannot hold control characters, '/' or '\\'";
inline constexpr const char* name_taken = "already holds an entry named";
inline constexpr const char* entry_too_large = "an entry of a VER2 archive holds at most 65,535 "
                                               "sectors (128 MiB)";
inline constexpr const char* archive_too_large =
    "the archive would pass the largest offset its table can hold";
inline constexpr const char* entry_outside = "the entry lies past the end of the archive";
inline constexpr const char* overlapping =
    "entries share bytes with other entries; compacting would copy them apart";
inline constexpr const char* hard_linked =
    "the archive has other hard links: a compacted copy renamed over it would leave them on the "
    "old file; compact it into another file with -o";
inline constexpr const char* shared_skipped =
    "entries share their bytes with another entry and were skipped";
inline constexpr const char* cancelled = "cancelled; the archive is as it was";
inline constexpr const char* too_much_work =
    "the entry table describes far more bytes than the archive holds";
inline constexpr const char* cant_create_folder = "cannot be created as a folder";
inline constexpr const char* extract_cancelled =
    "extraction cancelled; the files listed were written";
} // namespace archive_msg

} // namespace quillmap
