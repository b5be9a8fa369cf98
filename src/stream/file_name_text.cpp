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

namespace {
// The length of the well-formed UTF-8 sequence at `at` (2 to 4 bytes), or 0 when the bytes there
// are none (a stray continuation byte, a cut or overlong sequence, a surrogate, past U+10FFFF).
size_t utf8_sequence(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}
} // namespace

std::string printable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            // Well-formed UTF-8 passes; any other byte (a damaged or single-byte name) is escaped
            // so that the terminal never sees text that is not UTF-8.
            if (const size_t length = utf8_sequence(text, at)) {
                out.append(text.substr(at, length));
                at += length - 1;
            } else {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02X", c);
                out += code;
            }
        } else if (c == '\n') {
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
