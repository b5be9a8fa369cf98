#pragma once

#include "dictionary/ps2_txd.h"

#include <string>
#include <vector>

// One problem a check found: the texture's name (empty for the whole dictionary) and why.
struct lint_finding {
    std::string texture;
    std::string message;
};

// The checks `batch lint` runs on one opened dictionary. Every caller goes through here, so the
// dictionary checks of the PS2 builder can take over this one body.
std::vector<lint_finding> lint_for_batch(ps2_txd& dictionary);
