#pragma once

// Small text helpers of the window's files.

#include <algorithm>
#include <cstdio>
#include <string>

namespace quillmap {

// The file name part of a path (after the last separator).
inline std::string file_name_of(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// printf-style text of at most 1023 characters.
template <class... Values> std::string format(const char* pattern, Values... values) {
    char buffer[1024];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

} // namespace quillmap
