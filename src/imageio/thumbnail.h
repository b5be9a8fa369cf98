#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/picture.h"

#include <cstdint>
#include <string>

namespace quillmap {

// The picture a file manager shows for a dictionary: its first texture fitted into size x size
// (aspect kept), or, when it holds two or more textures, the first four in a 2 x 2 grid on a
// transparent size x size square. Each texture is drawn from its smallest mip level that still
// covers its place, so a thumbnail costs about its own pixels, not the dictionary's.
bool render_thumbnail(ps2_txd& txd, uint32_t size, rgba_image& out, std::string& error);

// Largest and smallest side a thumbnail may be asked for.
inline constexpr uint32_t k_thumbnail_min_side = 8;
inline constexpr uint32_t k_thumbnail_max_side = 1024;

} // namespace quillmap
