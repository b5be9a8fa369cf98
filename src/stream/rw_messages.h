#pragma once

// Messages of the chunk stream, shown to the user as they stand.
namespace rw_msg {
inline constexpr const char* cant_open = "Cant open RW stream file";
inline constexpr const char* wrong_root = "Wrong root section ID.";
inline constexpr const char* not_valid = "It's not a valid RW file";
inline constexpr const char* cannot_open_output = "Cannot open output file.";
inline constexpr const char* wrong_section = "Wrong section ID.";
inline constexpr const char* not_opened = "RW Stream is not opened.";
} // namespace rw_msg
