// archive add, replace, delete, rename and compact: each opens the archive, makes its one edit
// through the archive editor and says what it did, or exits 1 with the editor's message (the
// archive is then as it was).
#include "cli/cli_archive.h"

#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_table.h"

#include "stream/stop_request.h"

#include <iostream>
#include <optional>

namespace quillmap {

namespace {
bool open_archive(const cli_args& args, game_archive& archive, int& code) {
    std::string error;
    if (!open_game_archive(args.positional[1], archive, error)) {
        code = failure(error);
        return false;
    }
    return true;
}

// Opens ARCHIVE and finds the entry named by the command's second word.
std::optional<size_t> open_named_entry(const cli_args& args, game_archive& archive, int& code) {
    if (!open_archive(args, archive, code)) return std::nullopt;
    std::string error;
    const auto index = find_entry(archive, args.positional[2], error);
    if (!index) code = failure(error);
    return index;
}

std::string place_of(const archive_entry& entry) {
    return std::to_string(entry.size / k_archive_sector_bytes) + " sectors at sector " +
           std::to_string(entry.offset / k_archive_sector_bytes);
}
} // namespace

int archive_add(const cli_args& args) {
    if (args.positional.size() < 3) return usage_error("archive add takes ARCHIVE FILE...");
    const size_t files = args.positional.size() - 2;
    if (args.has("--name") && files != 1) return usage_error("--name names one added FILE");
    game_archive archive;
    int code = k_exit_ok;
    if (!open_archive(args, archive, code)) return code;
    for (size_t i = 2; i < args.positional.size(); ++i) {
        const std::filesystem::path file = args.positional[i];
        const std::string name = args.get("--name", file.filename().string());
        std::string error;
        if (!add_entry_from_file(archive, name, file, error)) {
            if (i > 2) std::cerr << (i - 2) << " of " << files << " files were added.\n";
            return failure(error);
        }
        std::cout << "added " << printable_text(name) << " (" << place_of(archive.entries.back())
                  << ")\n";
    }
    return k_exit_ok;
}

int archive_replace(const cli_args& args) {
    if (args.positional.size() != 4) return usage_error("archive replace takes ARCHIVE ENTRY FILE");
    game_archive archive;
    int code = k_exit_ok;
    const auto index = open_named_entry(args, archive, code);
    if (!index) return code;
    std::string error;
    if (!replace_entry_from_file(archive, *index, args.positional[3], error)) return failure(error);
    const archive_entry& entry = archive.entries[*index];
    std::cout << "replaced " << printable_text(entry.name) << " (" << place_of(entry) << ")\n";
    return k_exit_ok;
}

int archive_delete(const cli_args& args) {
    if (args.positional.size() < 3) return usage_error("archive delete takes ARCHIVE ENTRY...");
    game_archive archive;
    int code = k_exit_ok;
    if (!open_archive(args, archive, code)) return code;
    std::vector<size_t> indices;
    std::string error;
    for (size_t i = 2; i < args.positional.size(); ++i) {
        const auto index = find_entry(archive, args.positional[i], error);
        if (!index) return failure(error);
        indices.push_back(*index);
    }
    std::vector<std::string> names;
    for (const size_t index : indices)
        names.push_back(archive.entries[index].name);
    if (!delete_entries(archive, indices, error)) return failure(error);
    for (const auto& name : names)
        std::cout << "deleted " << printable_text(name) << "\n";
    return k_exit_ok;
}

int archive_rename(const cli_args& args) {
    if (args.positional.size() != 4)
        return usage_error("archive rename takes ARCHIVE ENTRY NEWNAME");
    game_archive archive;
    int code = k_exit_ok;
    const auto index = open_named_entry(args, archive, code);
    if (!index) return code;
    std::string error;
    const std::string old_name = archive.entries[*index].name;
    if (!rename_entry(archive, *index, args.positional[3], error)) return failure(error);
    std::cout << "renamed " << printable_text(old_name) << " to "
              << printable_text(args.positional[3]) << "\n";
    return k_exit_ok;
}

int archive_compact(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("archive compact takes ARCHIVE [-o OUT]");
    game_archive archive;
    int code = k_exit_ok;
    if (!open_archive(args, archive, code)) return code;
    std::error_code ec;
    const uint64_t before = std::filesystem::file_size(archive.data_path, ec);
    const std::filesystem::path out = args.get("-o");
    std::string error;
    // Ctrl-C or SIGTERM stops between entries while the old table still stands; once the
    // archive is switched to the new layout the compaction goes to its end.
    const auto go_on = [](uint64_t, uint64_t) { return !stop_request::requested(); };
    if (!compact_archive(archive, out, go_on, error)) {
        if (stop_request::requested())
            std::cerr << "stopped: nothing was compacted, the archive is as it was\n";
        return failure(error);
    }
    const auto written = out.empty() ? archive.data_path : out;
    std::cout << "compacted " << written.string() << ": " << before << " bytes before, "
              << std::filesystem::file_size(written, ec) << " after\n";
    return k_exit_ok;
}

} // namespace quillmap
