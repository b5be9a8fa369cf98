#include "stream/hex_text.h"

namespace quillmap {

namespace {
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<uint32_t> parse_hex(std::string_view text, hex_form form) {
    size_t pos = 0;
    if (form == hex_form::leading_number)
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
    if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X'))
        pos += 2;
    uint64_t number = 0;
    size_t digits = 0;
    for (; pos < text.size(); ++pos, ++digits) {
        const int digit = hex_digit(text[pos]);
        if (digit < 0) break;
        number = number * 16 + uint64_t(digit);
        if (number > UINT32_MAX) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    // Leading zeros may make a whole-text number longer than 8 digits only in an edit box.
    if (form == hex_form::whole_text && (pos != text.size() || digits > 8)) return std::nullopt;
    return uint32_t(number);
}

} // namespace quillmap
