#pragma once

#include "archive/game_archive.h"

#include <cstdint>
#include <span>

namespace quillmap {

// Free space in an .img: the sectors no table row points to. New bytes always go there, so an
// edit never overwrites bytes the table still uses.

// The first sector of `sectors` free sectors at or after `reserved` (the sectors a VER2 header
// and table keep for themselves): the lowest hole between entries that is large enough, else
// the end of the data. The sectors of every row count as used, also those of a row past the end
// of a cut-short file, whose bytes may come back. Costs n log n in the entry count.
uint64_t place_sectors(std::span<const archive_entry> entries, uint64_t data_length,
                       uint64_t reserved, uint64_t sectors);

// Sector where the data ends: the file's length or the end of the last row (inside the file or
// not), whichever is later.
uint64_t data_end_sectors(std::span<const archive_entry> entries, uint64_t data_length);

// Sets `overlaps` on every entry whose sectors begin inside an entry that starts earlier (or at
// the same sector, later in the table). Entries past the end of the file are left out.
void mark_overlapping_entries(std::span<archive_entry> entries);

} // namespace quillmap
