#pragma once

#include <optional>

namespace quillmap {

// The user's swizzle setting for previews and exports: follow what the texture stores, or treat
// its pixels as swizzled (on) or plain (off) whatever it says.
enum class swizzle_mode { as_stored = -1, off = 0, on = 1 };

// Whether pixels are read as swizzled under `mode` for a texture that stores them so or not.
constexpr bool reads_swizzled(swizzle_mode mode, bool stored_swizzled) {
    return mode == swizzle_mode::as_stored ? stored_swizzled : mode == swizzle_mode::on;
}

// The number a swizzle mode is stored as (-1 as stored, 0 off, 1 on: fuzz inputs, test tables);
// an unknown number gives none.
constexpr std::optional<swizzle_mode> swizzle_mode_from_number(int number) {
    switch (number) {
    case -1:
        return swizzle_mode::as_stored;
    case 0:
        return swizzle_mode::off;
    case 1:
        return swizzle_mode::on;
    default:
        return std::nullopt;
    }
}

constexpr int swizzle_mode_number(swizzle_mode mode) {
    return static_cast<int>(mode);
}

// The order the window's "next swizzle mode" key steps through: as stored, off, on, and round.
constexpr swizzle_mode next_swizzle_mode(swizzle_mode mode) {
    switch (mode) {
    case swizzle_mode::as_stored:
        return swizzle_mode::off;
    case swizzle_mode::off:
        return swizzle_mode::on;
    default:
        return swizzle_mode::as_stored;
    }
}

} // namespace quillmap
