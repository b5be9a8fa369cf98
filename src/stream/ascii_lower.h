#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace quillmap {

// The text with ASCII letters in lower case, for names the game and the file systems compare
// without case (texture names, file extensions, archive entries).
inline std::string ascii_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace quillmap
