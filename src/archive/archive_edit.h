#pragma once

#include "archive/game_archive.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// Edits of a game archive, ordered so that a crash, a kill or a full disk at any moment leaves
// the archive either as it was or as the edit makes it:
//   1. new bytes go into sectors no table row points to (a hole or the end of the .img),
//   2. they are flushed to disk,
//   3. the table switches to them: one row of a VER2 table (or its count word when an entry is
//      added), or the whole .dir written beside and renamed over the old one,
//   4. and that is flushed too.
// A VER2 delete moves rows one 512-byte disk sector at a time, each flushed, before the count
// word switches (see ARCHITECTURE.md, "Writing files", for what a power cut may then leave).
// Sectors an entry leaves behind become a hole that later edits reuse and compaction removes;
// sectors past every row are cut off by the next edit. Before writing, each edit reads the table
// again under the lock and goes on from it when only rows it does not change differ (another
// program edited them); otherwise it refuses. On success `archive` holds the new table. Errors
// name the file and the cause; every untouched entry keeps its bytes and its place in the table.

// Called with the bytes done and the total; returning false cancels before the commit step.
using archive_progress = std::function<bool(uint64_t done, uint64_t total)>;

// New bytes for an entry, of any size (0 makes it empty). It keeps its name and position.
bool replace_entry(game_archive& archive, size_t index, std::span<const uint8_t> bytes,
                   std::string& error);
// The entry's bytes from the file at `source` (read piece by piece).
bool replace_entry_from_file(game_archive& archive, size_t index,
                             const std::filesystem::path& source, std::string& error);
// A new last entry. A VER2 table that needs another sector first moves the entries in its way
// to free space, each move an edit of its own.
bool add_entry(game_archive& archive, const std::string& name, std::span<const uint8_t> bytes,
               std::string& error);
bool add_entry_from_file(game_archive& archive, const std::string& name,
                         const std::filesystem::path& source, std::string& error);
// Removes the rows of `indices`; the rest keep their order.
bool delete_entries(game_archive& archive, std::vector<size_t> indices, std::string& error);
bool rename_entry(game_archive& archive, size_t index, const std::string& name, std::string& error);
// Saving into an entry known by the name and offset it had when it was opened (the window and
// the session keep no table): the table is read again, and the save is refused when that entry
// is no longer there. `moved_to` receives the entry's new offset and size.
bool save_into_entry(const std::filesystem::path& archive_path, const std::string& entry_name,
                     uint64_t opened_offset, std::span<const uint8_t> bytes,
                     archive_entry& moved_to, std::string& error);

} // namespace quillmap
