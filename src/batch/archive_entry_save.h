#pragma once

#include "dictionary/ps2_txd.h"

#include <cstdint>

namespace quillmap {

// The bytes the dictionary takes when written: its root chunk with header. A dictionary from an
// archive entry is measured by this rather than by the archive.
uint64_t written_size(const ps2_txd& dictionary);

} // namespace quillmap
