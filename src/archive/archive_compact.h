#pragma once

#include "archive/archive_edit.h"

#include <filesystem>
#include <string>

namespace quillmap {

// Rebuilds the archive without holes (entries in table order, each whole sectors). A VER2 file,
// and any archive written to `out` (the new .img; a pair's .dir goes beside it with the same
// stem), is written beside the target and renamed over it. A pair compacted in place is packed
// inside its own .img in two safe moves (see archive_compact.cpp); Cancel is then honoured during
// the first. Entries past the end of the file or sharing bytes with another entry are refused
// rather than dropped or copied apart. A cancel or failure leaves the archive as it was.
bool compact_archive(game_archive& archive, const std::filesystem::path& out,
                     const archive_progress& progress, std::string& error);

} // namespace quillmap
