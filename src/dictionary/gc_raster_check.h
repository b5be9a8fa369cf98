#pragma once

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"

#include <string>
#include <vector>

namespace quillmap {

// Lint and repair of GameCube textures: the header words a texture stores are compared with, or
// replaced by, the words its kind (GX and palette format), size, level count and texels determine
// (gc_raster_rules). Deviations real files show are reported as accepted: an alpha flag that
// disagrees with the texels (the CMPR texture of real files carries 1 with every texel opaque).

// Every problem of the GameCube textures of `txd` (none for other dictionary classes).
std::vector<ps2_problem> lint_gc_textures(ps2_txd& txd);

// Rewrites the determined header words in memory. Textures whose kind is none of the seven, or
// whose levels are not all stored, are left as they are and named in `skipped`. Returns the
// number of fields changed.
uint32_t repair_gc_textures(ps2_txd& txd, std::vector<std::string>* skipped = nullptr);

} // namespace quillmap
