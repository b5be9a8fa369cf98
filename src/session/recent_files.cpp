#include "session/recent_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace quillmap {

namespace {
constexpr const char* k_section = "recent_files";

std::string recent_key(int n) {
    char key[16];
    std::snprintf(key, sizeof key, "recent_%02d", n);
    return key;
}
} // namespace

void recent_files::add(const std::string& given) const {
    if (given.empty()) return;
    // Stored absolute, so that an entry opens whatever the current folder is, and only once.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(given, ec);
    const std::string path = ec ? given : absolute.lexically_normal().string();
    if (newest() == path) return;
    const int limit =
        std::min(settings_.read_int("main", "recent_limit", k_default_limit), k_max_entries);
    const std::vector<std::string> before = entries();
    std::vector<std::string> older;
    for (const std::string& entry : before)
        if (entry != path && int(older.size()) < limit) older.push_back(entry);
    settings_.write_string(k_section, recent_key(0), path);
    for (size_t k = 0; k < older.size(); ++k)
        settings_.write_string(k_section, recent_key(int(k) + 1), older[k]);
    // After a lowered limit the old list was longer: an empty key ends the new one, so no entry
    // left behind (the new path among them) shows twice.
    if (before.size() > older.size() + 1)
        settings_.write_string(k_section, recent_key(int(older.size()) + 1), "");
}

std::string recent_files::at(int n) const {
    if (n < 0 || n >= k_max_entries) return {};
    return settings_.read_string(k_section, recent_key(n));
}

std::vector<std::string> recent_files::entries() const {
    std::vector<std::string> paths;
    for (int n = 0; n < k_max_entries; ++n) {
        std::string path = at(n);
        if (path.empty()) break;
        paths.push_back(std::move(path));
    }
    return paths;
}

bool recent_files::autoload() const {
    return settings_.read_int("main", "recent_autoload", 0) != 0;
}

void recent_files::set_autoload(bool on) const {
    settings_.write_int(on ? 1 : 0, "main", "recent_autoload");
}

} // namespace quillmap
