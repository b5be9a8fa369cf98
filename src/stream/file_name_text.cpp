#include "stream/file_name_text.h"

#include "stream/ascii_lower.h"

#include <array>
#include <cstdio>

namespace quillmap {

namespace {
bool reserved_device(std::string_view stem) {
    static constexpr std::array<std::string_view, 4> plain = {"con", "prn", "aux", "nul"};
    const std::string lower = ascii_lower(std::string(stem));
    for (std::string_view name : plain)
        if (lower == name) return true;
    return lower.size() == 4 && (lower.starts_with("com") || lower.starts_with("lpt")) &&
           lower[3] >= '1' && lower[3] <= '9';
}
} // namespace

std::string clean_file_name(std::string_view name, std::string_view fallback) {
    std::string out;
    out.reserve(name.size() + 1);
    for (unsigned char c : name) {
        const bool bad = c < 0x20 || c == 0x7F ||
                         std::string_view("/\\:*?\"<>|").find(char(c)) != std::string_view::npos;
        out += bad ? '_' : char(c);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (out.empty()) return std::string(fallback);
    // Windows opens the device for "nul" and "nul.png" alike: the stem ends at the first dot.
    const size_t dot = out.find('.');
    if (reserved_device(std::string_view(out).substr(0, dot)))
        out.insert(dot == std::string::npos ? out.size() : dot, "_");
    return out;
}

std::string printable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        } else {
            out += char(c);
        }
    }
    return out;
}

} // namespace quillmap
