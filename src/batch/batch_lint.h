#pragma once

#include "dictionary/ps2_txd.h"

#include <string>
#include <vector>

namespace quillmap {

// One problem a check found: the texture's name (empty for the whole dictionary) and why.
struct lint_finding {
    std::string texture;
    std::string message;
};

// The checks `batch lint` runs on one opened dictionary: names, sizes, pictures that cannot be
// shown, and the PS2 raster words that `lint` checks.
std::vector<lint_finding> lint_for_batch(ps2_txd& dictionary);

} // namespace quillmap
