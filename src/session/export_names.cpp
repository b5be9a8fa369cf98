#include "session/export_names.h"

#include "stream/ascii_lower.h"
#include "stream/file_name_text.h"

#include <cstdint>
#include <filesystem>

namespace quillmap {

std::string export_name_set::claim(const std::string& raw) {
    // The same cleaning as batch runs: a texture name never leaves the folder or names a device.
    const std::string name = clean_file_name(raw, "texture");
    const std::filesystem::path as_path(name);
    const std::string stem = as_path.stem().string(), extension = as_path.extension().string();
    std::string candidate = name;
    // Each taken name blocks one number, so the loop ends within size() + 2 tries.
    for (uint64_t n = 2; !taken_.insert(ascii_lower(candidate)).second; ++n)
        candidate = stem + "_" + std::to_string(n) + extension;
    return candidate;
}

} // namespace quillmap
