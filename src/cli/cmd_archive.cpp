#include "cli/cli_commands.h"
#include "stream/file_name_text.h"

#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"

#include <cstdio>
#include <iostream>

int cmd_archive(const cli_args& args) {
    if (args.positional.size() != 2 || args.positional[0] != "list")
        return usage_error("archive takes list ARCHIVE");
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
