// Temporary definitions until rendering and export land in their own files; each is removed
// from here when its real definition arrives.
#include "dictionary/ps2_txd.h"

#ifndef QUILLMAP_HAVE_PS2_RENDER
device_bitmap ps2_txd::render(uint32_t, int, int, bool*, uint32_t) { return nullptr; }
#endif
