#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// Buffer sizes of the settings reads: 511 characters in general, 59 for "platform_priority",
// 63 for the version and platform names.
inline constexpr size_t k_setting_buffer = 512;
inline constexpr size_t k_priority_buffer = 60;
inline constexpr size_t k_name_buffer = 64;
inline constexpr size_t k_version_keys_block = 1024;
inline constexpr const char* k_settings_file_name = "Quillmap.ini";

// The one settings file; nothing is cached, so hand edits take effect at the next read.
class settings_file {
  public:
    settings_file() = default;
    explicit settings_file(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& path() const { return path_; }
    std::string read_string(std::string_view section, std::string_view key,
                            std::string_view fallback = {},
                            size_t buffer_chars = k_setting_buffer) const;
    int32_t read_int(std::string_view section, std::string_view key, int32_t fallback) const;
    bool write_int(int32_t value, std::string_view section, std::string_view key) const;
    bool write_string(std::string_view section, std::string_view key, std::string_view value) const;

  private:
    std::filesystem::path path_;
};

// Where the settings live: "Quillmap.ini" in the executable's folder; when that folder cannot be
// written (an installed program), Quillmap/Quillmap.ini under $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path settings_path_for(const std::filesystem::path& executable);
// The running executable's own path (not the current directory); `argv0` when unknown.
std::filesystem::path executable_path(const std::string& argv0);

// Key names of section "rw_version" in file order, read as one block of 1024 characters.
std::vector<std::string> version_keys(const std::filesystem::path& settings_path);

} // namespace quillmap
