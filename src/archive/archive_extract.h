#pragma once

#include "archive/archive_edit.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmap {

// Entries written out as files of their own. Entry names come from a file anyone may have made:
// each becomes one safe file name inside the output folder, never a path out of it.

// The file name for entry `index` named `name`: characters a file name cannot hold or that
// would lead elsewhere (control characters, '/', '\\', ':', '*', '?', '"', '<', '>', '|') become
// '_'; a name that is empty or only dots becomes "entry_N".
std::string entry_file_name(const std::string& name, size_t index);

struct extracted_entry {
    size_t entry = 0;
    std::string file;       // the name written inside the output folder
    bool renamed = false;   // differs from the entry's name (made safe, or made unique)
    bool made_safe = false; // the entry's name could not be a file name as it stands
};

// Writes the bytes of the entries at `indices` (all entries when empty) into `folder` (created
// when missing), one file per entry holding exactly the entry's sectors. Two entries whose file
// names differ only in case get a numbered suffix. Each file is written beside its final name
// and renamed into place when complete. Entries past the end of the file are refused before
// anything is written. `done` lists what was written, also after a failure or a cancel. When all
// entries are asked for, rows over bytes an earlier row holds ("shared") are skipped and counted
// in `shared_skipped` (a table of a million rows over the same sectors writes one file); a
// shared entry named in `indices` is written.
bool extract_entries(const game_archive& archive, std::vector<size_t> indices,
                     const std::filesystem::path& folder, const archive_progress& progress,
                     std::vector<extracted_entry>& done, std::string& error,
                     size_t* shared_skipped = nullptr);

// An entry's bytes in memory (its whole sectors); false for an entry past the end of the file.
bool read_entry_bytes(const game_archive& archive, size_t index, std::vector<uint8_t>& bytes,
                      std::string& error);

} // namespace quillmap
