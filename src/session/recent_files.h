#pragma once

#include "platform/settings.h"

#include <string>
#include <vector>

namespace quillmap {

// The recent-files list of the settings file (section "recent_files", keys recent_00 ...,
// newest first) and the autoload switch. Nothing is cached: every answer reads the file.
class recent_files {
  public:
    static constexpr int k_max_entries = 100;
    static constexpr int k_default_limit = 10;

    recent_files() = default;
    explicit recent_files(settings_file settings) : settings_(std::move(settings)) {}

    // Puts `path`, made absolute, first and moves the others down, keeping at most
    // "recent_limit" (10, at most 100) of the older ones; an older entry of the same path goes.
    // Nothing changes when `path` is empty or already first.
    void add(const std::string& path) const;
    // Entry n (0 = newest); empty when there is none.
    std::string at(int n) const;
    std::string newest() const { return at(0); }
    // The entries from the newest on, up to the first gap.
    std::vector<std::string> entries() const;
    // "Load Recent File On Startup".
    bool autoload() const;
    void set_autoload(bool on) const;

  private:
    settings_file settings_;
};

} // namespace quillmap
