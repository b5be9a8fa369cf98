#include "cli/cli_commands.h"
#include "stream/file_name_text.h"

#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"
#include "cli/cli_archive.h"

#include <cstdio>
#include <iostream>

namespace quillmap {

namespace {
int archive_list(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("archive list takes ARCHIVE");
    game_archive archive;
    std::string error;
    if (!open_game_archive(args.positional[1], archive, error)) return failure(error);
    const bool json = args.has("--json");
    const char* kind = archive.kind == archive_kind::ver2 ? "VER2" : "DIR/IMG";
    if (json)
        std::cout << "{\"archive\":\"" << json_escape(archive.data_path.string())
                  << "\",\"kind\":\"" << kind << "\",\"entries\":[";
    else
        std::cout << archive.data_path.string() << " (" << kind << ", " << archive.entries.size()
                  << " entries)\n";
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const auto& entry = archive.entries[i];
        const entry_description what = describe_archive_entry(archive, entry);
        if (json) {
            std::cout << (i ? "," : "") << "{\"name\":\"" << json_escape(entry.name)
                      << "\",\"offset\":" << entry.offset << ",\"size\":" << entry.size
                      << ",\"kind\":\"" << what.kind << "\",\"textures\":" << what.textures << "}";
        } else {
            char line[160];
            std::snprintf(
                line, sizeof line, "%-24s %12llu %10llu  %-8s %u",
                printable_text(entry.name).c_str(), static_cast<unsigned long long>(entry.offset),
                static_cast<unsigned long long>(entry.size), what.kind.c_str(), what.textures);
            std::cout << line << "\n";
        }
    }
    if (json) std::cout << "]}\n";
    return k_exit_ok;
}

struct archive_command {
    const char* name;
    int (*run)(const cli_args&);
};

const archive_command k_archive_commands[] = {
    {"list", archive_list},       {"extract", archive_extract}, {"add", archive_add},
    {"replace", archive_replace}, {"delete", archive_delete},   {"rename", archive_rename},
    {"compact", archive_compact},
};
} // namespace

int cmd_archive(const cli_args& args) {
    if (!args.positional.empty())
        for (const auto& command : k_archive_commands)
            if (args.positional[0] == command.name) return command.run(args);
    return usage_error("archive takes list, extract, add, replace, delete, rename or compact");
}

} // namespace quillmap
