#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace quillmap {

// The text of a fixed-size name field at `at`: up to its first NUL, never past `room` bytes or
// the end of `data` (a short Struct gives a cut or empty name, not a read beyond it).
inline std::string name_field_text(std::span<const uint8_t> data, size_t at, size_t room) {
    if (at >= data.size()) return {};
    const auto* begin = reinterpret_cast<const char*>(data.data() + at);
    return std::string(begin, strnlen(begin, std::min(room, data.size() - at)));
}

} // namespace quillmap
