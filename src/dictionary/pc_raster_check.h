#pragma once

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"

#include <string>
#include <vector>

namespace quillmap {

// Lint and repair of Direct3D 8, Direct3D 9 and XBOX textures: the header words a texture stores
// are compared with, or replaced by, the words its free fields determine (pc_raster_rules), and
// the dictionary around them with its device id, version stamps and Extensions. Deviations that
// real game files show and games accept are reported as what they are, marked `accepted`, and
// left alone by repair.

// Every problem of the PC and XBOX textures of `txd` (none for other dictionary classes).
std::vector<ps2_problem> lint_pc_textures(ps2_txd& txd);

// Rewrites the determined header words and the dictionary's device id in memory. Textures whose
// level data does not follow their fields are left as they are and named in `skipped`. Returns
// the number of fields changed.
uint32_t repair_pc_textures(ps2_txd& txd, std::vector<std::string>* skipped = nullptr);

// Writes the device id the first texture's layout and the root's stamp determine into the
// dictionary Struct (a new version stamp moves D3D8 between 0 and 1). True when it changed.
bool settle_pc_device_id(ps2_txd& txd);

// Whether some texel of level 0 has alpha below 255 (what D3D9's alpha bit records); false
// with `ok` false when the level cannot be read.
bool pc_level0_has_transparency(ps2_txd& txd, uint32_t t, bool& ok);

} // namespace quillmap
