#include "session/export_names.h"

#include <cctype>
#include <cstdint>
#include <filesystem>

namespace {
std::string folded(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

std::string export_name_set::claim(const std::string& name) {
    const std::filesystem::path as_path(name);
    const std::string stem = as_path.stem().string(), extension = as_path.extension().string();
    std::string candidate = name;
    // Each taken name blocks one number, so the loop ends within size() + 2 tries.
    for (uint64_t n = 2; !taken_.insert(folded(candidate)).second; ++n)
        candidate = stem + "_" + std::to_string(n) + extension;
    return candidate;
}
