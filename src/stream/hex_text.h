#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmap {

// How much of a text a hexadecimal number must fill.
enum class hex_form {
    // The whole text is the number: an optional 0x, then 1 to 8 digits and nothing else (command
    // line arguments, where a typo must not pass as another number).
    whole_text,
    // The number that starts the text: blanks, an optional 0x, then digits up to the first other
    // character (edit boxes and settings, which people type and tools append to).
    leading_number,
};

// The 32-bit value a hexadecimal text names; none when it names none or a larger one.
std::optional<uint32_t> parse_hex(std::string_view text, hex_form form = hex_form::whole_text);

} // namespace quillmap
