#include "cli/cli_commands.h"

#include "archive/game_archive.h"
#include "batch/batch_runner.h"

#include <cstdio>
#include <iostream>

namespace {
struct entry_kind {
    std::string kind; // a platform name, "damaged", "outside" or "other"
    uint32_t textures = 0;
};

// What an entry holds: a dictionary is opened where it lies to name its platform and count its
// textures; an entry that should be one but does not open is "damaged".
entry_kind describe(const game_archive& archive, const archive_entry& entry) {
    if (!entry.inside) return {"outside"};
    dictionary_source source;
    source.file = archive.data_path;
    source.offset = entry.offset;
    source.size = entry.size;
    const bool named = has_dictionary_extension(entry.name);
    if (!named) {
        uint8_t bytes[12] = {};
        std::FILE* file = std::fopen(archive.data_path.c_str(), "rb");
        size_t got = 0;
        if (file) {
            if (entry.offset <= uint64_t(LONG_MAX) &&
                std::fseek(file, long(entry.offset), SEEK_SET) == 0)
                got = std::fread(bytes, 1, sizeof bytes, file);
            std::fclose(file);
        }
        if (entry.size == 0 || !looks_like_dictionary(bytes, got)) return {"other"};
    }
    std::string error;
    auto probe = open_dictionary_source(source, k_all_platforms, error);
    if (!probe.dictionary) return {"damaged"};
    return {platform_table()[size_t(probe.platform_index)].name, probe.dictionary->texture_count()};
}
} // namespace

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
        const entry_kind what = describe(archive, entry);
        if (json) {
            std::cout << (i ? "," : "") << "{\"name\":\"" << json_escape(entry.name)
                      << "\",\"offset\":" << entry.offset << ",\"size\":" << entry.size
                      << ",\"kind\":\"" << what.kind << "\",\"textures\":" << what.textures << "}";
        } else {
            char line[160];
            std::snprintf(line, sizeof line, "%-24s %12llu %10llu  %-8s %u", entry.name.c_str(),
                          static_cast<unsigned long long>(entry.offset),
                          static_cast<unsigned long long>(entry.size), what.kind.c_str(),
                          what.textures);
            std::cout << line << "\n";
        }
    }
    if (json) std::cout << "]}\n";
    return k_exit_ok;
}
