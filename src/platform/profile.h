#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// Private-profile (INI) functions with the Windows rules: section and key names compare without
// regard to ASCII case, the first matching section and key win, blank and ';' lines are kept but
// never match, names and values lose surrounding blanks, and one pair of matching quotes around a
// value is removed. Bytes are bytes: no encoding is assumed.

// The value of key, or `fallback` when the file, section or key is missing. At most
// buffer_chars - 1 characters arrive (a longer value is cut).
std::string profile_read_string(const std::filesystem::path& file, std::string_view section,
                                std::string_view key, std::string_view fallback,
                                size_t buffer_chars);
// The decimal number at the start of the value; `fallback` when the key is missing or empty,
// 0 when the value does not start with a number.
int32_t profile_read_int(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, int32_t fallback);
// The section's lines as one block: each "key=value" line followed by a NUL, the whole ended by a
// second NUL, at most buffer_chars characters; a line that does not fit is left out.
std::string profile_read_section(const std::filesystem::path& file, std::string_view section,
                                 size_t buffer_chars);
// Writes key=value in place: every other line keeps its text and place; the file, the section
// and the key are created when missing. False when the file cannot be written.
bool profile_write_string(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value);

// Largest settings file read; a bigger one counts as unreadable.
inline constexpr uint64_t k_profile_max_bytes = 16u << 20;

} // namespace quillmap
