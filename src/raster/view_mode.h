#pragma once

#include <optional>

namespace quillmap {

// What a picture shows: colour only, alpha as grey, colour with alpha, and the reverse
// conversion from BMP data back to PS2 raster data (never a view the user picks).
enum class view_mode { texture = 0, alpha = 1, mixed = 2, reverse = 3 };

// The views a user can pick, in menu order.
inline constexpr view_mode k_user_views[] = {view_mode::texture, view_mode::alpha,
                                             view_mode::mixed};

// The number a view mode is stored or drawn as (fuzz inputs, test tables); an unknown number
// gives none, so no caller ever holds a view mode outside the four.
constexpr std::optional<view_mode> view_mode_from_number(int number) {
    switch (number) {
    case 0:
        return view_mode::texture;
    case 1:
        return view_mode::alpha;
    case 2:
        return view_mode::mixed;
    case 3:
        return view_mode::reverse;
    default:
        return std::nullopt;
    }
}

constexpr int view_mode_number(view_mode mode) {
    return static_cast<int>(mode);
}

// The views a user steps through (Texture, Alpha, Texture+Alpha, and round again).
constexpr view_mode next_user_view(view_mode mode) {
    switch (mode) {
    case view_mode::texture:
        return view_mode::alpha;
    case view_mode::alpha:
        return view_mode::mixed;
    default:
        return view_mode::texture;
    }
}

} // namespace quillmap
