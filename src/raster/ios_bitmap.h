#pragma once

#include "raster/pc_bitmap.h"

namespace quillmap {

// iOS/Android rasters convert exactly as PC ones; the class exists to name them.
class ios_bitmap : public pc_bitmap {};

} // namespace quillmap
