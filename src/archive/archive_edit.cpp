#include "archive/archive_edit.h"

#include "archive/archive_io.h"
#include "archive/archive_messages.h"
#include "archive/archive_space.h"
#include "archive/archive_table.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
// Where an entry's new bytes come from: memory, or a range of an open file.
struct byte_source {
    std::span<const uint8_t> bytes;
    range_reader file; // set: the bytes are read from here
    uint64_t offset = 0;
    uint64_t size = 0;

    uint64_t length() const { return file ? size : bytes.size(); }
};

bool fail(const std::filesystem::path& path, const std::string& cause, std::string& error) {
    error = path.string() + ": " + cause;
    return false;
}

// One edit of an open archive: the locked .img, and the table as it was when the edit began.
class archive_editor {
  public:
    archive_editor(game_archive& archive, std::string& error) : archive_(archive), error_(error) {}

    // Locks the .img and checks that the table on disk is the one the caller holds.
    bool begin() {
        if (!data_.open(archive_.data_path, archive_edit_options(), error_)) return false;
        game_archive fresh;
        if (!open_game_archive(archive_.index_path, fresh, error_)) return false;
        if (fresh.kind != archive_.kind || !same_entries(fresh.entries, archive_.entries))
            return fail(archive_.index_path, archive_msg::table_changed, error_);
        archive_.data_length = data_.length();
        length_at_begin_ = data_.length();
        return true;
    }

    safe_file::edit_file& data() { return data_; }

    // Writes `source` padded to whole sectors into free sectors past `reserved`, and flushes.
    // `placed` receives the entry as it would be with those bytes.
    bool put(const byte_source& source, uint64_t reserved, archive_entry& placed) {
        const uint64_t sectors = sectors_for(source.length());
        if (archive_.kind == archive_kind::ver2 && sectors > k_ver2_max_entry_sectors)
            return fail(archive_.data_path, archive_msg::entry_too_large, error_);
        if (sectors == 0) {
            placed.size = 0; // an empty entry keeps its offset and owns no sectors
            return true;
        }
        const uint64_t at = place_sectors(archive_.entries, data_.length(), reserved, sectors);
        if (at + sectors > k_archive_max_offset_sectors)
            return fail(archive_.data_path, archive_msg::archive_too_large, error_);
        const uint64_t offset = at * k_archive_sector_bytes;
        const bool written = source.file ? copy_range(source.file, source.offset, source.size,
                                                      writer_of(data_), offset, error_)
                                         : data_.write_at(offset, source.bytes, error_);
        if (!written || !pad_to_sector(offset + source.length()) || !data_.flush(error_))
            return roll_back();
        placed.offset = offset;
        placed.size = sectors * k_archive_sector_bytes;
        return true;
    }

    // Switches the table to `entries`, where only row `changed` differs (a VER2 table writes
    // just that row).
    bool commit_row(std::vector<archive_entry> entries, size_t changed) {
        if (archive_.kind == archive_kind::ver2) {
            const archive_row row = encode_entry_row(entries[changed], archive_kind::ver2);
            if (!data_.write_at(ver2_row_offset(changed), row, error_)) return roll_back();
            return switched(data_.flush(error_), std::move(entries));
        }
        return commit_dir(std::move(entries));
    }

    // Switches to a table with one more row: the row first (past the count, so nothing reads
    // it yet), then the count word.
    bool commit_added(std::vector<archive_entry> entries) {
        if (archive_.kind == archive_kind::ver2) {
            const size_t index = entries.size() - 1;
            const archive_row row = encode_entry_row(entries[index], archive_kind::ver2);
            uint8_t count[4];
            store_u32(count, uint32_t(entries.size()));
            if (!data_.write_at(ver2_row_offset(index), row, error_) || !data_.flush(error_) ||
                !data_.write_at(k_ver2_count_offset, count, error_))
                return roll_back();
            return switched(data_.flush(error_), std::move(entries));
        }
        return commit_dir(std::move(entries));
    }

    // Switches to a table with rows removed (`first_removed` the lowest). A VER2 table writes
    // only what changes, in the one write that switches: the count word alone when only the last
    // rows go, otherwise the count word through the last row that moves up (the rows between
    // cannot be left out of a single write). Rows past the new count are never read again and
    // stay as they are. A .dir is replaced whole.
    bool commit_removed(std::vector<archive_entry> entries, size_t first_removed) {
        if (archive_.kind != archive_kind::ver2) return commit_dir(std::move(entries));
        std::vector<uint8_t> table = encode_ver2_count_and_rows(entries);
        if (first_removed >= entries.size()) table.resize(4); // the remaining rows stay put
        if (!data_.write_at(k_ver2_count_offset, table, error_)) return roll_back();
        return switched(data_.flush(error_), std::move(entries));
    }

    const std::vector<archive_entry>& entries() const { return archive_.entries; }

  private:
    // The .dir is written beside and renamed over: once write_file succeeds it is the new one.
    bool commit_dir(std::vector<archive_entry> entries) {
        if (!safe_file::write_file(archive_.index_path, encode_dir_table(entries),
                                   archive_edit_options(), error_))
            return roll_back();
        return switched(true, std::move(entries));
    }

    // The table on disk has switched: the new bytes are in use and stay, even when the flush
    // after the switch failed (the edit then reports that failure).
    bool switched(bool flushed, std::vector<archive_entry> entries) {
        finish(std::move(entries));
        return flushed;
    }

    bool pad_to_sector(uint64_t end) {
        const uint64_t padding = sectors_for(end) * k_archive_sector_bytes - end;
        if (padding == 0) return true;
        const std::vector<uint8_t> zeros(padding, 0);
        return data_.write_at(end, zeros, error_);
    }

    bool finish(std::vector<archive_entry> entries) {
        archive_.entries = std::move(entries);
        archive_.data_length = data_.length();
        length_at_begin_ = data_.length(); // committed: no longer ours to take back
        for (auto& entry : archive_.entries)
            entry.inside = fits(entry.offset, entry.size, archive_.data_length);
        mark_overlapping_entries(archive_.entries);
        return true;
    }

    // Takes back an append nothing points to, so a failed edit leaves the file as it was.
    bool roll_back() {
        std::string ignored;
        if (data_.length() > length_at_begin_) data_.truncate(length_at_begin_, ignored);
        error_ += std::string("; ") + archive_msg::unchanged;
        return false;
    }

    game_archive& archive_;
    std::string& error_;
    safe_file::edit_file data_;
    uint64_t length_at_begin_ = 0;
};

bool check_index(const game_archive& archive, size_t index, std::string& error) {
    if (index < archive.entries.size()) return true;
    return fail(archive.index_path,
                std::string(archive_msg::no_such_position) + " " + std::to_string(index), error);
}

bool replace_from(game_archive& archive, size_t index, const byte_source& source,
                  archive_editor& editor) {
    archive_entry placed = archive.entries[index];
    const uint64_t reserved =
        archive.kind == archive_kind::ver2 ? ver2_table_sectors(archive.entries.size()) : 0;
    if (!editor.put(source, reserved, placed)) return false;
    auto entries = archive.entries;
    entries[index] = placed;
    return editor.commit_row(std::move(entries), index);
}

bool add_from(game_archive& archive, const std::string& name, const byte_source& source,
              std::string& error) {
    if (const auto problem = entry_name_problem(archive.entries, name))
        return fail(archive.index_path, *problem, error);
    if (archive.entries.size() >= k_archive_max_entries)
        return fail(archive.index_path, archive_msg::too_many_entries, error);
    archive_editor editor(archive, error);
    if (!editor.begin()) return false;
    uint64_t reserved = 0;
    if (archive.kind == archive_kind::ver2) {
        // The table grows by one row: entries in the way move out first, each a full edit.
        reserved = ver2_table_sectors(archive.entries.size() + 1);
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            const archive_entry& entry = archive.entries[i];
            if (!entry.inside || entry.size == 0 ||
                entry.offset / k_archive_sector_bytes >= reserved)
                continue;
            archive_entry moved = entry;
            const byte_source own{{}, reader_of(editor.data()), entry.offset, entry.size};
            if (!editor.put(own, reserved, moved)) return false;
            auto entries = archive.entries;
            entries[i] = moved;
            if (!editor.commit_row(std::move(entries), i)) return false;
        }
    }
    archive_entry added; // an empty one stays at offset 0, owning no sectors
    added.name = name;
    if (!editor.put(source, reserved, added)) return false;
    auto entries = archive.entries;
    entries.push_back(added);
    return editor.commit_added(std::move(entries));
}

// Runs `with_source` over the bytes of the file at `path`, read in pieces as they are copied.
template <class F>
bool with_file_source(const std::filesystem::path& path, std::string& error, F&& with_source) {
    archive_source file;
    if (!file.open(path, error)) return false;
    return with_source(byte_source{{}, reader_of(file), 0, file.length()});
}
} // namespace

bool replace_entry(game_archive& archive, size_t index, std::span<const uint8_t> bytes,
                   std::string& error) {
    if (!check_index(archive, index, error)) return false;
    archive_editor editor(archive, error);
    return editor.begin() && replace_from(archive, index, byte_source{bytes, {}, 0, 0}, editor);
}

bool replace_entry_from_file(game_archive& archive, size_t index,
                             const std::filesystem::path& source, std::string& error) {
    if (!check_index(archive, index, error)) return false;
    return with_file_source(source, error, [&](const byte_source& bytes) {
        archive_editor editor(archive, error);
        return editor.begin() && replace_from(archive, index, bytes, editor);
    });
}

bool add_entry(game_archive& archive, const std::string& name, std::span<const uint8_t> bytes,
               std::string& error) {
    return add_from(archive, name, byte_source{bytes, {}, 0, 0}, error);
}

bool add_entry_from_file(game_archive& archive, const std::string& name,
                         const std::filesystem::path& source, std::string& error) {
    return with_file_source(source, error, [&](const byte_source& bytes) {
        return add_from(archive, name, bytes, error);
    });
}

bool delete_entries(game_archive& archive, std::vector<size_t> indices, std::string& error) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (const size_t index : indices)
        if (!check_index(archive, index, error)) return false;
    if (indices.empty()) return true;
    archive_editor editor(archive, error);
    if (!editor.begin()) return false;
    std::vector<archive_entry> kept;
    kept.reserve(archive.entries.size() - indices.size());
    for (size_t i = 0, next = 0; i < archive.entries.size(); ++i) {
        if (next < indices.size() && indices[next] == i) {
            ++next;
            continue;
        }
        kept.push_back(archive.entries[i]);
    }
    return editor.commit_removed(std::move(kept), indices.front());
}

bool rename_entry(game_archive& archive, size_t index, const std::string& name,
                  std::string& error) {
    if (!check_index(archive, index, error)) return false;
    if (const auto problem = entry_name_problem(archive.entries, name, index))
        return fail(archive.index_path, *problem, error);
    archive_editor editor(archive, error);
    if (!editor.begin()) return false;
    auto entries = archive.entries;
    entries[index].name = name;
    return editor.commit_row(std::move(entries), index);
}

bool save_into_entry(const std::filesystem::path& archive_path, const std::string& entry_name,
                     uint64_t opened_offset, std::span<const uint8_t> bytes,
                     archive_entry& moved_to, std::string& error) {
    game_archive archive;
    if (!open_game_archive(archive_path, archive, error)) return false;
    size_t index = archive.entries.size();
    for (size_t i = 0; i < archive.entries.size() && index == archive.entries.size(); ++i)
        if (archive.entries[i].name == entry_name && archive.entries[i].offset == opened_offset)
            index = i;
    if (index == archive.entries.size())
        return fail(archive.index_path, archive_msg::table_changed, error);
    if (!replace_entry(archive, index, bytes, error)) return false;
    moved_to = archive.entries[index];
    return true;
}

} // namespace quillmap
