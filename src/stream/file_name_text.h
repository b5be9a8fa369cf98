#pragma once

#include <string>
#include <string_view>

namespace quillmap {

// A name taken from a file (texture, archive entry, dictionary) made safe as one file name in an
// output folder, the same way for batch runs, Export All and the command line: separators and
// characters some file systems refuse (`/\:*?"<>|`) and control bytes become '_', trailing dots
// and spaces go, and a device name that Windows reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// with any extension and in any case) gets a '_' after its stem. An empty result is `fallback`.
std::string clean_file_name(std::string_view name, std::string_view fallback);

// Text shown in the terminal: control bytes (newlines, escapes) are written as \n, \t, \r or \xHH,
// so a hostile name cannot break a line of output or drive the terminal, and so is every byte
// that is not part of well-formed UTF-8 (a damaged name), so the output stays UTF-8.
std::string printable_text(std::string_view text);

} // namespace quillmap
