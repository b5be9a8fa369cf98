#pragma once

#include "archive/game_archive.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// Entry tables written back: one 32-byte row, a whole .dir, the VER2 header with its rows, and
// the rules every new or changed entry name follows.

using archive_row = std::array<uint8_t, k_archive_entry_bytes>;

// The row of `entry` as `kind` stores it. A VER2 row holds the size in its first size word and 0
// in the second, as the games' own tools write it.
archive_row encode_entry_row(const archive_entry& entry, archive_kind kind);
// The whole .dir file for `entries`.
std::vector<uint8_t> encode_dir_table(std::span<const archive_entry> entries);
// The count word followed by every row (bytes 4 on of a VER2 file; the magic stays).
std::vector<uint8_t> encode_ver2_count_and_rows(std::span<const archive_entry> entries);

// Byte offsets of a VER2 file's table parts.
inline constexpr uint64_t k_ver2_count_offset = 4;
inline uint64_t ver2_row_offset(size_t index) {
    return k_ver2_header_bytes + uint64_t(index) * k_archive_entry_bytes;
}
// Sectors the VER2 header and table of `count` entries take (entries begin after them).
uint64_t ver2_table_sectors(size_t count);

inline constexpr uint64_t k_ver2_max_entry_sectors = 0xFFFF;
inline constexpr uint64_t k_archive_max_offset_sectors = 0xFFFFFFFF;

inline uint64_t sectors_for(uint64_t bytes) {
    return bytes / k_archive_sector_bytes + (bytes % k_archive_sector_bytes != 0);
}

// Why `name` cannot name an entry of `entries` (the entry at `except` may keep its own name);
// none when it can. Names compare without case, as the games look them up.
std::optional<std::string> entry_name_problem(std::span<const archive_entry> entries,
                                              std::string_view name,
                                              std::optional<size_t> except = std::nullopt);

// The entry `which` names: "#N" for position N (from 0), otherwise a name compared without case.
// None with `error` (naming the archive) when there is no such entry.
std::optional<size_t> find_entry(const game_archive& archive, std::string_view which,
                                 std::string& error);

} // namespace quillmap
