#pragma once

#include "archive/archive_edit.h"

#include <filesystem>
#include <string>

// Rebuilds the archive without holes (entries in table order, each padded to whole sectors) into
// a new file beside the target, then renames it over the target: `out` (the new .img; a pair's
// .dir goes beside it with the same stem), or the archive itself when `out` is empty. Entries
// past the end of the file or sharing bytes with another entry are refused rather than dropped
// or copied apart. Cancelling through `progress` leaves the archive as it was.
bool compact_archive(game_archive& archive, const std::filesystem::path& out,
                     const archive_progress& progress, std::string& error);
