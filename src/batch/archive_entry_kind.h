#pragma once

#include "archive/game_archive.h"

#include <cstdint>
#include <string>

// What an archive entry holds, for entry lists: the dictionary's platform and texture count, or
// why it is none. A dictionary is opened where it lies; only its chunk headers are read.
struct entry_description {
    std::string kind;        // a platform name, "damaged", "outside" or "other"
    int platform_index = -1; // row of platform_table() when the entry is a dictionary
    uint32_t textures = 0;

    bool is_dictionary() const { return platform_index >= 0; }
};

// An entry is looked at when its name has a dictionary extension or its first bytes begin one;
// such an entry that does not open is "damaged". Entries past the archive's end are "outside".
entry_description describe_archive_entry(const game_archive& archive, const archive_entry& entry);
