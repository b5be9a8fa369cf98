#include "session/export_names.h"

#include "stream/ascii_lower.h"

#include <cstdint>
#include <filesystem>

std::string export_name_set::claim(const std::string& name) {
    const std::filesystem::path as_path(name);
    const std::string stem = as_path.stem().string(), extension = as_path.extension().string();
    std::string candidate = name;
    // Each taken name blocks one number, so the loop ends within size() + 2 tries.
    for (uint64_t n = 2; !taken_.insert(ascii_lower(candidate)).second; ++n)
        candidate = stem + "_" + std::to_string(n) + extension;
    return candidate;
}
