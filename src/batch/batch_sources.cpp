#include "batch/batch_sources.h"

#include "archive/archive_messages.h"
#include "archive/game_archive.h"
#include "dictionary/tex_txd.h"
#include "stream/ascii_lower.h"
#include "stream/byte_reader.h"
#include "stream/file_name_text.h"
#include "stream/safe_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
constexpr uint32_t k_dictionary_id = 0x16;
constexpr size_t k_sniff_bytes = 12;

std::array<uint8_t, k_sniff_bytes> sniff(const fs::path& path, uint64_t offset, size_t& got) {
    std::array<uint8_t, k_sniff_bytes> bytes{};
    got = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) return bytes;
    file.seekg(std::streamoff(offset));
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    got = size_t(std::max<std::streamsize>(file.gcount(), 0));
    return bytes;
}

bool file_looks_like_dictionary(const fs::path& path, uint64_t offset) {
    size_t got = 0;
    const auto bytes = sniff(path, offset, got);
    return looks_like_dictionary(bytes.data(), got);
}

// "a/b.txd" -> "a/b"; ".txd" and "name" stay whole.
std::string name_without_extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t separator = name.find_last_of("/\\");
    if (dot == std::string::npos || dot == 0 ||
        (separator != std::string::npos && dot <= separator + 1))
        return name;
    return name.substr(0, dot);
}

// A source before its output folder is chosen: where it lies and the folder it would like.
struct planned {
    dictionary_source source;
    fs::path parent;
    std::string wanted;
};

class collector {
  public:
    explicit collector(collect_progress progress) : progress_(std::move(progress)) {}

    source_list run(const std::vector<fs::path>& inputs) {
        for (const auto& input : inputs)
            add_input(input);
        assign_folders();
        for (auto& item : planned_)
            list_.sources.push_back(std::move(item.source));
        return std::move(list_);
    }

  private:
    collect_progress progress_;
    source_list list_;
    std::vector<planned> planned_;

    void fail(const fs::path& file, const std::string& entry, const std::string& reason) {
        list_.failures.push_back({file.string(), entry, {}, reason});
    }

    void add_input(const fs::path& input) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            // The folder's own name heads its outputs; "." and "dir/" name the folder itself.
            const fs::path normal = fs::absolute(input, ec).lexically_normal();
            fs::path name =
                normal.has_filename() ? normal.filename() : normal.parent_path().filename();
            if (name.empty()) name = "root";
            add_folder(input, name);
        } else if (fs::is_regular_file(input, ec)) {
            add_file(input, {}, /*from_walk=*/false);
        } else {
            fail(input, {}, "cannot be opened");
        }
    }

    void add_folder(const fs::path& folder, const fs::path& out_base) {
        std::vector<fs::path> files;
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                            ec);
        if (ec) return fail(folder, {}, "cannot be read");
        for (fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
            if (ec) break;
            // Our own temporary files (of a run that was stopped) are no dictionaries.
            if (it->is_regular_file(ec) &&
                !safe_file::is_temporary_name(it->path().filename().string()))
                files.push_back(it->path());
        }
        if (ec) fail(folder, {}, "could not be walked completely: " + ec.message());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const fs::path relative = file.lexically_relative(folder);
            add_file(file, out_base / relative.parent_path(), /*from_walk=*/true);
        }
    }

    void add_file(const fs::path& file, const fs::path& parent, bool from_walk) {
        const std::string extension = ascii_lower(file.extension().string());
        const auto pair = paired_archive_file(file);
        // A .dir/.img pair is one archive: taken once, through its .dir.
        if (pair && extension == ".img") {
            if (from_walk) return;
            return add_archive(*pair, parent);
        }
        if (pair && extension == ".dir") return add_archive(file, parent);
        // A .dir named on its own is an archive's table without its data.
        if (extension == ".dir" && !from_walk) return fail(file, {}, archive_msg::no_img);
        size_t got = 0;
        const auto bytes = sniff(file, 0, got);
        if (got >= 4 && bytes[0] == 'V' && bytes[1] == 'E' && bytes[2] == 'R' && bytes[3] == '2')
            return add_archive(file, parent);
        if (from_walk && !looks_like_dictionary(bytes.data(), got) &&
            !has_dictionary_extension(file))
            return; // other game files in the folder
        planned item;
        item.source.file = file;
        item.source.shown = file.string();
        item.parent = parent;
        item.source.stem = file.stem().string();
        item.wanted = safe_file_name(item.source.stem, "dictionary");
        planned_.push_back(std::move(item));
    }

    void add_archive(const fs::path& path, const fs::path& parent) {
        game_archive archive;
        std::string error;
        if (!open_game_archive(path, archive, error)) {
            // The report names the file already; the archive reader's message starts with it.
            const std::string named = path.string() + ": ";
            if (error.starts_with(named)) error.erase(0, named.size());
            return fail(path, {}, error);
        }
        const fs::path base = parent / safe_file_name(path.stem().string(), "archive");
        size_t overlapping = 0;
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            const auto& entry = archive.entries[i];
            const bool named = has_dictionary_extension(entry.name);
            if (!entry.inside) {
                if (named)
                    fail(archive.data_path, entry.name,
                         "the entry lies past the end of the archive");
                continue;
            }
            if (entry.size == 0) {
                if (named) fail(archive.data_path, entry.name, "the entry is empty");
                continue;
            }
            if (entry.overlaps) {
                ++overlapping; // reported once per archive below
                continue;
            }
            if (entry.offset > UINT32_MAX) {
                if (named)
                    fail(archive.data_path, entry.name,
                         "the entry lies beyond 4 GiB, where dictionaries cannot be opened");
                continue;
            }
            if (!named &&
                !(entry.size && file_looks_like_dictionary(archive.data_path, entry.offset)))
                continue; // models, collisions, animations
            planned item;
            item.source.file = archive.data_path;
            item.source.offset = entry.offset;
            item.source.size = entry.size;
            item.source.entry = entry.name;
            item.source.shown = archive.data_path.string() + ":" + entry.name;
            item.parent = base;
            // The whole name without its extension: separators in it are made safe, never
            // taken as folders whose last part alone would name the output.
            item.source.stem = name_without_extension(entry.name);
            item.wanted = safe_file_name(item.source.stem, "entry" + std::to_string(i));
            planned_.push_back(std::move(item));
        }
        if (overlapping)
            fail(archive.data_path, {},
                 std::to_string(overlapping) +
                     " entries share their bytes with another entry and were skipped");
    }

    // Output folders: every folder that holds a source's folder is reserved first, so that a
    // dictionary named like a sibling folder or archive does not pour its textures into it.
    // Names compare without case, since the output may land on a case-blind file system.
    // Taken names live in a hash set, and each wanted name remembers the last suffix it got, so
    // 40,000 entries of one name cost linear time instead of trying every suffix again.
    void assign_folders() {
        std::unordered_set<std::string> taken;
        taken.reserve(planned_.size() * 2);
        for (const auto& item : planned_)
            for (fs::path p = item.parent; !p.empty(); p = p.parent_path()) {
                if (!taken.insert(ascii_lower(p.generic_string())).second) break;
                if (p == p.parent_path()) break;
            }
        std::unordered_map<std::string, unsigned> next_suffix;
        for (size_t i = 0; i < planned_.size(); ++i) {
            auto& item = planned_[i];
            if (progress_ && i % 4096 == 0) progress_(i, planned_.size());
            fs::path candidate = item.parent / item.wanted;
            const std::string wanted_key = ascii_lower(candidate.generic_string());
            unsigned& n = next_suffix.try_emplace(wanted_key, 2).first->second;
            while (taken.count(ascii_lower(candidate.generic_string())))
                candidate = item.parent / (item.wanted + "_" + std::to_string(n++));
            taken.insert(ascii_lower(candidate.generic_string()));
            item.source.out_dir = candidate;
        }
        if (progress_) progress_(planned_.size(), planned_.size());
    }
};
} // namespace

bool looks_like_dictionary(const uint8_t* bytes, size_t size) {
    const std::span<const uint8_t> span(bytes, size);
    const auto first = u32_at(span, 0);
    if (first == tex_txd::k_magic) return true;
    return size >= 12 && first == k_dictionary_id;
}

bool has_dictionary_extension(const fs::path& name) {
    static const std::set<std::string> extensions = {".txd", ".tex", ".xtx", ".chk"};
    return extensions.count(ascii_lower(name.extension().string())) != 0;
}

std::string safe_file_name(const std::string& name, const std::string& fallback) {
    return clean_file_name(name, fallback);
}

source_list collect_sources(const std::vector<fs::path>& inputs, const collect_progress& progress) {
    return collector(progress).run(inputs);
}

} // namespace quillmap
