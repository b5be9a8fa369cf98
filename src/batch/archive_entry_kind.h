#pragma once

#include "archive/game_archive.h"
#include "dictionary/txd_platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillmap {

// What an archive entry holds, for entry lists: the dictionary's platform and texture count, or
// why it is none. A dictionary is opened where it lies; only its chunk headers are read.
struct entry_description {
    std::string kind; // a platform name, "damaged", "outside", "empty", "shared" or "other"
    std::optional<txd_platform> platform; // when the entry is a dictionary
    uint32_t textures = 0;

    bool is_dictionary() const { return platform.has_value(); }
};

// An entry is looked at when its name has a dictionary extension or its first bytes begin one;
// such an entry that does not open is "damaged". Entries past the archive's end are "outside",
// entries of no sectors "empty", entries over bytes an earlier entry holds "shared".
entry_description describe_archive_entry(const game_archive& archive, const archive_entry& entry);

} // namespace quillmap
