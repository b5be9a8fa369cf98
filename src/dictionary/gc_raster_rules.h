#pragma once

#include "dictionary/gc_raster_header.h"

#include <cstdint>
#include <optional>

namespace quillmap {

// How real GameCube dictionaries fill the header words that follow from a texture's kind, size,
// level count and texels. A writer computes them; lint compares what a texture stores with them.

// Filter/addressing word for `levels` levels: the filter mode is 3 or more exactly when there is
// more than one level (nearest 1 <-> mip-nearest 3, linear 2 <-> linear-mip-linear 6; which mip
// mode the console's converter picks is not recorded, these are the ones real files show).
// Addressing is kept; bits 16-31 are zero.
uint32_t gc_filter_for_levels(uint32_t filter, uint32_t levels);

// Bytes of `levels` levels of a w×h texture of GX format `gx`, each in whole tiles.
uint64_t gc_data_size(uint8_t gx, uint32_t width_px, uint32_t height_px, uint32_t levels);

// The alpha flag: 1 for CMPR, else 1 exactly when some texel of some level has alpha below 255.
uint32_t gc_alpha_flag(uint8_t gx, bool any_translucent);

// Every determined word of a texture of kind `which` with `levels` levels.
struct gc_determined {
    uint32_t raster_format = 0;
    uint8_t depth = 0;
    uint8_t gx = 0;
    uint8_t palette_format = 0;
    uint32_t palette_entries = 0;
    uint32_t data_size = 0;
};
gc_determined gc_determined_words(gc_header::kind which, uint32_t width_px, uint32_t height_px,
                                  uint32_t levels);

// Whether a level count is one real files store: 1 or the full chain down to 1×1.
bool gc_level_count_allowed(uint32_t levels, uint32_t width_px, uint32_t height_px);

} // namespace quillmap
