#pragma once

#include <optional>

namespace quillmap {

// The two names every texture carries: its own and the name of its alpha mask.
enum class name_kind { texture = 0, mask = 1 };

// The stored number (0 texture, 1 mask: edit records, tests) back to a kind; others give none.
constexpr std::optional<name_kind> name_kind_from_number(int number) {
    if (number == 0) return name_kind::texture;
    if (number == 1) return name_kind::mask;
    return std::nullopt;
}

constexpr int name_kind_number(name_kind kind) {
    return static_cast<int>(kind);
}

} // namespace quillmap
