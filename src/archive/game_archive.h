#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// The game archives that hold a game's files in 2048-byte sectors: the one-file kind that starts
// with "VER2" and its entry table, and the older pair of a .dir (entry table) beside an .img
// (sectors). Only the entry table is read; entries stay where they lie in the .img.
enum class archive_kind { ver2, dir_img };

struct archive_entry {
    std::string name;
    uint64_t offset = 0; // bytes from the start of the .img
    uint64_t size = 0;   // bytes, whole sectors
    // False when the entry runs past the end of the .img: it is listed but cannot be read.
    bool inside = true;
    // True when its sectors overlap those of an entry before it in offset order: listed, but
    // never opened or copied, so a table of a million rows over the same bytes costs nothing.
    bool overlaps = false;
};

// Whether two tables list the same names at the same places, in the same order.
bool same_entries(const std::vector<archive_entry>& a, const std::vector<archive_entry>& b);

struct game_archive {
    archive_kind kind = archive_kind::ver2;
    std::filesystem::path index_path; // the .dir, or the .img itself for VER2
    std::filesystem::path data_path;  // the .img the entries' bytes lie in
    uint64_t data_length = 0;
    std::vector<archive_entry> entries;
};

inline constexpr uint64_t k_archive_sector_bytes = 2048;
inline constexpr size_t k_archive_entry_bytes = 32;
inline constexpr size_t k_archive_name_bytes = 24;
inline constexpr size_t k_archive_name_offset = 8;
inline constexpr size_t k_ver2_header_bytes = 8; // "VER2", entry count
// Far above the ~16,000 entries of the largest known archive; a larger count is damage.
inline constexpr uint32_t k_archive_max_entries = 1u << 20;

// Entry tables from their bytes: for VER2 the whole header and table (the file's start), for a
// .dir the whole file. `data_length` is the .img's length, which decides each entry's `inside`.
// False with `error` (the cause, without a file name) on a damaged table.
bool parse_ver2_table(std::span<const uint8_t> bytes, uint64_t data_length,
                      std::vector<archive_entry>& entries, std::string& error);
bool parse_dir_table(std::span<const uint8_t> bytes, uint64_t data_length,
                     std::vector<archive_entry>& entries, std::string& error);

// The other file of a .dir/.img pair (same stem, extension in any case); none when absent.
std::optional<std::filesystem::path> paired_archive_file(const std::filesystem::path& path);

// Whether `path` is an archive: a VER2 file, or one half of a .dir/.img pair. Reads 4 bytes.
bool is_game_archive(const std::filesystem::path& path);

// Reads the entry table of the archive at `path` (a VER2 .img, a .dir or the .img of a pair).
// False with `error` naming the file and the cause.
bool open_game_archive(const std::filesystem::path& path, game_archive& archive,
                       std::string& error);

} // namespace quillmap
