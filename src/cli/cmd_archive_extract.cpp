// archive extract: the chosen entries (all when none is named) as files in the -o folder, each
// holding the entry's bytes. Names that would not be safe file names are changed, and the
// output says so.
#include "cli/cli_archive.h"

#include "archive/archive_extract.h"
#include "archive/archive_messages.h"
#include "archive/archive_table.h"

#include "stream/file_name_text.h"
#include "stream/stop_request.h"

#include <cstdio>
#include <iostream>

namespace quillmap {

int archive_extract(const cli_args& args) {
    if (args.positional.size() < 2 || !args.options.count("-o"))
        return usage_error("archive extract takes ARCHIVE [ENTRY...] -o DIR");
    game_archive archive;
    std::string error;
    if (!open_game_archive(args.positional[1], archive, error)) return failure(error);
    std::vector<size_t> indices;
    for (size_t i = 2; i < args.positional.size(); ++i) {
        const auto index = find_entry(archive, args.positional[i], error);
        if (!index) return failure(error);
        indices.push_back(*index);
    }
    std::vector<extracted_entry> done;
    size_t shared = 0;
    // Ctrl-C or SIGTERM stops between entries: every file listed is complete, none other made.
    const auto go_on = [](uint64_t, uint64_t) { return !stop_request::requested(); };
    const bool ok = extract_entries(archive, indices, args.get("-o"), go_on, done, error, &shared);
    const size_t wanted = indices.empty() ? archive.entries.size() - shared : indices.size();
    if (shared)
        std::cerr << archive.data_path.string() << ": " << shared << " "
                  << archive_msg::shared_skipped << "\n";
    const bool json = args.has("--json");
    if (json) std::cout << "{\"folder\":\"" << json_escape(args.get("-o")) << "\",\"entries\":[";
    for (size_t i = 0; i < done.size(); ++i) {
        const std::string& name = archive.entries[done[i].entry].name;
        const char* why = done[i].made_safe ? "name made safe" : "name already taken";
        if (json) {
            std::cout << (i ? "," : "") << "{\"index\":" << done[i].entry << ",\"entry\":\""
                      << json_escape(name) << "\",\"file\":\"" << json_escape(done[i].file)
                      << "\",\"renamed\":" << (done[i].renamed ? "true" : "false");
            if (done[i].renamed) std::cout << ",\"why\":\"" << why << "\"";
            std::cout << "}";
        } else if (done[i].renamed) {
            // Which entry (its position: hostile names may be empty or repeated), old -> new.
            std::cout << "#" << done[i].entry << " \"" << printable_text(name) << "\" -> \""
                      << printable_text(done[i].file) << "\" (" << why << ")\n";
        } else {
            std::cout << printable_text(name) << "\n";
        }
    }
    if (json) std::cout << "],\"complete\":" << (ok ? "true" : "false") << "}\n";
    if (!ok) {
        std::cerr << done.size() << " of " << wanted << " entries were written"
                  << (stop_request::requested() ? "; stopped, the archive is unchanged" : "")
                  << ".\n";
        return failure(error);
    }
    return k_exit_ok;
}

} // namespace quillmap
