#include "session/recent_files.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* k_section = "recent_files";

std::string recent_key(int n) {
    char key[16];
    std::snprintf(key, sizeof key, "recent_%02d", n);
    return key;
}
} // namespace

void recent_files::add(const std::string& path) const {
    if (path.empty() || newest() == path) return;
    const int limit =
        std::min(settings_.read_int("main", "recent_limit", k_default_limit), k_max_entries);
    for (int k = limit - 1; k >= 0; --k) {
        const std::string value = at(k);
        if (!value.empty()) settings_.write_string(k_section, recent_key(k + 1), value);
    }
    settings_.write_string(k_section, recent_key(0), path);
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
