#pragma once

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"

#include <string>
#include <vector>

namespace quillmap {

// Lint and repair of mobile dictionaries, for the few fields their layout determines: the
// dictionary's count word (the mobile reader takes the whole word as the count, so its upper
// half, a device id elsewhere, must be 0), each texture's alpha byte (1 with alpha), and the
// 16-bit pixel data of uncompressed textures, which must end with a whole level (the reader
// counts a cut one as a level it cannot show).

// Every problem of a mobile dictionary (none for other dictionary classes).
std::vector<ps2_problem> lint_mobile_textures(ps2_txd& txd);

// Sets the count word and the alpha bytes and cuts partial levels off, in memory. Returns the
// number of fields changed.
uint32_t repair_mobile_textures(ps2_txd& txd);

} // namespace quillmap
