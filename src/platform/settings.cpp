#include "platform/settings.h"

#include "platform/profile.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace quillmap {

std::string settings_file::read_string(std::string_view section, std::string_view key,
                                       std::string_view fallback, size_t buffer_chars) const {
    return profile_read_string(path_, section, key, fallback, buffer_chars);
}

int32_t settings_file::read_int(std::string_view section, std::string_view key,
                                int32_t fallback) const {
    return profile_read_int(path_, section, key, fallback);
}

bool settings_file::write_int(int32_t value, std::string_view section, std::string_view key) const {
    return profile_write_string(path_, section, key, std::to_string(value));
}

bool settings_file::write_string(std::string_view section, std::string_view key,
                                 std::string_view value) const {
    return profile_write_string(path_, section, key, value);
}

namespace {

bool folder_writable(const std::filesystem::path& folder, const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::exists(file, error)) {
        std::ofstream probe(file, std::ios::binary | std::ios::app);
        return static_cast<bool>(probe);
    }
    const std::filesystem::path probe_path = folder / ".Quillmap.ini.probe";
    bool writable = false;
    {
        std::ofstream probe(probe_path, std::ios::binary | std::ios::trunc);
        writable = static_cast<bool>(probe);
    }
    if (writable) std::filesystem::remove(probe_path, error);
    return writable;
}

} // namespace

std::filesystem::path settings_path_for(const std::filesystem::path& executable) {
    const std::filesystem::path folder = executable.parent_path();
    const std::filesystem::path beside = folder / k_settings_file_name;
    if (folder_writable(folder.empty() ? std::filesystem::path(".") : folder, beside))
        return beside;
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = std::filesystem::path(home) / ".config";
    else
        return beside;
    const std::filesystem::path folder_in_config = config / "Quillmap";
    std::error_code error;
    std::filesystem::create_directories(folder_in_config, error);
    return folder_in_config / k_settings_file_name;
}

std::filesystem::path executable_path(const std::string& argv0) {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty()) return self;
    if (argv0.empty()) return {};
    auto absolute = std::filesystem::absolute(argv0, error);
    return error ? std::filesystem::path(argv0) : absolute;
}

std::vector<std::string> version_keys(const std::filesystem::path& settings_path) {
    const std::string block =
        profile_read_section(settings_path, "rw_version", k_version_keys_block);
    std::vector<std::string> keys;
    size_t start = 0;
    while (start < block.size()) {
        const size_t end = block.find('\0', start);
        if (end == std::string::npos || end == start) break;
        const std::string_view line(block.data() + start, end - start);
        keys.emplace_back(line.substr(0, line.find('=')));
        start = end + 1;
    }
    return keys;
}

} // namespace quillmap
