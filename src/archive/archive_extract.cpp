#include "archive/archive_extract.h"

#include "archive/archive_io.h"
#include "archive/archive_messages.h"
#include "stream/ascii_lower.h"

#include <unordered_set>

namespace quillmap {

namespace {
bool fail(const std::filesystem::path& path, const std::string& cause, std::string& error) {
    error = path.string() + ": " + cause;
    return false;
}

bool unsafe_character(unsigned char c) {
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return c < 0x20 || c == 0x7F;
    }
}

// `name` or, when a name differing only in case was taken, "stem_2.ext", "stem_3.ext" ...
std::string unique_name(const std::string& name, std::unordered_set<std::string>& taken) {
    if (taken.insert(ascii_lower(name)).second) return name;
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    for (size_t n = 2;; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + extension;
        if (taken.insert(ascii_lower(candidate)).second) return candidate;
    }
}

bool extract_one(const archive_source& source, const archive_entry& entry,
                 const std::filesystem::path& target, std::string& error) {
    // Extracted copies are new outputs, as a batch run's are: not flushed one by one (the archive
    // they come from stays intact), and never written through a link planted in the folder.
    const safe_file::write_options options =
        safe_file::output_folder_options(/*replace=*/true, /*durable=*/false);
    safe_file::partial_file out;
    return out.create(target, options, error) &&
           copy_range(reader_of(source), entry.offset, entry.size, writer_of(out), 0, error) &&
           out.commit(error);
}
} // namespace

std::string entry_file_name(const std::string& name, size_t index) {
    std::string safe = name;
    for (char& c : safe)
        if (unsafe_character(static_cast<unsigned char>(c))) c = '_';
    if (safe.find_first_not_of('.') == std::string::npos) safe = "entry_" + std::to_string(index);
    return safe;
}

bool extract_entries(const game_archive& archive, std::vector<size_t> indices,
                     const std::filesystem::path& folder, const archive_progress& progress,
                     std::vector<extracted_entry>& done, std::string& error,
                     size_t* shared_skipped) {
    done.clear();
    if (shared_skipped) *shared_skipped = 0;
    if (indices.empty())
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            if (archive.entries[i].overlaps) {
                if (shared_skipped) ++*shared_skipped;
                continue;
            }
            indices.push_back(i);
        }
    uint64_t total = 0;
    for (const size_t i : indices) {
        if (i >= archive.entries.size())
            return fail(archive.index_path,
                        std::string(archive_msg::no_such_position) + " " + std::to_string(i),
                        error);
        const archive_entry& entry = archive.entries[i];
        if (!entry.inside)
            return fail(archive.data_path,
                        std::string(archive_msg::entry_outside) + ": \"" + entry.name + "\"",
                        error);
        total += entry.size;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::error_code made = ec; // why it could not be made (a full disk, no permission)
    if (!std::filesystem::is_directory(folder, ec))
        return fail(folder,
                    std::string(archive_msg::cant_create_folder) +
                        (made ? " (" + made.message() + ")" : std::string()),
                    error);
    archive_source source;
    if (!source.open(archive.data_path, error)) return false;

    std::unordered_set<std::string> taken;
    taken.reserve(indices.size());
    uint64_t copied = 0;
    for (const size_t i : indices) {
        if (progress && !progress(copied, total))
            return fail(folder, archive_msg::extract_cancelled, error);
        const archive_entry& entry = archive.entries[i];
        extracted_entry item{i, unique_name(entry_file_name(entry.name, i), taken), false};
        item.renamed = item.file != entry.name;
        item.made_safe = entry_file_name(entry.name, i) != entry.name;
        if (!extract_one(source, entry, folder / item.file, error)) return false;
        done.push_back(std::move(item));
        copied += entry.size;
    }
    if (progress) progress(total, total);
    return true;
}

bool read_entry_bytes(const game_archive& archive, size_t index, std::vector<uint8_t>& bytes,
                      std::string& error) {
    if (index >= archive.entries.size())
        return fail(archive.index_path,
                    std::string(archive_msg::no_such_position) + " " + std::to_string(index),
                    error);
    const archive_entry& entry = archive.entries[index];
    if (!entry.inside)
        return fail(archive.data_path,
                    std::string(archive_msg::entry_outside) + ": \"" + entry.name + "\"", error);
    archive_source source;
    if (!source.open(archive.data_path, error)) return false;
    bytes.resize(size_t(entry.size));
    return source.read_at(entry.offset, bytes, error);
}

} // namespace quillmap
