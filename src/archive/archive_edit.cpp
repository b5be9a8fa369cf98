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

// The unit a disk writes whole or not at all (see ARCHITECTURE.md, "Writing files").
constexpr uint64_t k_disk_sector = 512;

bool fail(const std::filesystem::path& path, const std::string& cause, std::string& error) {
    error = path.string() + ": " + cause;
    return false;
}

// One edit of an open archive: the locked .img, and the table as it was when the edit began.
class archive_editor {
  public:
    archive_editor(game_archive& archive, std::string& error) : archive_(archive), error_(error) {}

    // Locks the .img and reads the table again under the lock. Another program may have changed
    // other rows meanwhile: the edit then goes on from the table on disk, as long as the rows it
    // changes (`touched`, positions in the table the caller holds) are still the same rows at
    // the same positions. Sectors past the end of every row and of the table (left by a killed
    // compaction or a failed append) are taken back first.
    bool begin(std::span<const size_t> touched) {
        if (!data_.open(archive_.data_path, archive_edit_options(), error_)) return false;
        game_archive fresh;
        if (!open_game_archive(archive_.index_path, fresh, error_)) return false;
        if (fresh.kind != archive_.kind)
            return fail(archive_.index_path, archive_msg::table_changed, error_);
        for (const size_t i : touched)
            if (i >= archive_.entries.size() || i >= fresh.entries.size() ||
                !same_entries({archive_.entries[i]}, {fresh.entries[i]}))
                return fail(archive_.index_path, archive_msg::table_changed, error_);
        archive_.entries = std::move(fresh.entries);
        if (!reclaim_tail()) return false;
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
    // just that row, see write_in_disk_sectors).
    bool commit_row(std::vector<archive_entry> entries, size_t changed) {
        if (archive_.kind == archive_kind::ver2) {
            const archive_row row = encode_entry_row(entries[changed], archive_kind::ver2);
            archive_row before{};
            if (!data_.read_at(ver2_row_offset(changed), before, error_)) return roll_back();
            // Only the first disk sector's write (where the row's offset and size lie) switches
            // the entry's bytes; an error after it leaves the new bytes in use.
            uint64_t written_to = 0;
            const bool ok =
                write_in_disk_sectors(ver2_row_offset(changed), before, row, written_to);
            if (!ok && written_to == 0) return roll_back();
            return switched(ok, std::move(entries));
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

    // Switches to a table of the rows at `kept` (ascending positions of the current table). A
    // VER2 table moves the kept rows up while the old count still stands, disk sector by disk
    // sector in ascending order (see write_in_disk_sectors), so every row that stays is whole at
    // its old or its new position at every moment; then the count word switches in one sector.
    // Until it does, the table lists the rows removed so far, and the row that moved last twice
    // (or, where a row lies across two disk sectors, once with its old name's last bytes); rows
    // past the new count are never read again and stay as they are. A .dir is replaced whole.
    bool commit_removed(std::vector<archive_entry> entries, std::span<const size_t> kept) {
        if (archive_.kind != archive_kind::ver2) return commit_dir(std::move(entries));
        const size_t count = archive_.entries.size();
        std::vector<uint8_t> before(count * k_archive_entry_bytes);
        if (!data_.read_at(ver2_row_offset(0), before, error_)) return roll_back();
        std::vector<uint8_t> after = before; // rows are moved as they lie, unknown bytes and all
        for (size_t i = 0; i < kept.size(); ++i)
            std::memcpy(after.data() + i * k_archive_entry_bytes,
                        before.data() + kept[i] * k_archive_entry_bytes, k_archive_entry_bytes);
        uint8_t word[4];
        store_u32(word, uint32_t(entries.size()));
        // Rows that change only inside the first disk sector go with the count word in one
        // write, which no crash or power cut can split.
        size_t last_changed = 0;
        for (size_t i = 0; i < after.size(); ++i)
            if (after[i] != before[i]) last_changed = i + 1;
        if (ver2_row_offset(0) + last_changed <= k_disk_sector) {
            std::vector<uint8_t> together(word, word + 4);
            together.insert(together.end(), after.begin(), after.begin() + ptrdiff_t(last_changed));
            if (!data_.write_at(k_ver2_count_offset, together, error_)) return roll_back();
            return switched(data_.flush(error_), std::move(entries));
        }
        uint64_t written_to = 0;
        if (!write_in_disk_sectors(ver2_row_offset(0), before, after, written_to))
            return put_back(ver2_row_offset(0), before, after, written_to);
        if (!data_.write_at(k_ver2_count_offset, word, error_))
            return put_back(ver2_row_offset(0), before, after, written_to);
        return switched(data_.flush(error_), std::move(entries));
    }

    const std::vector<archive_entry>& entries() const { return archive_.entries; }

  private:
    // Writes `after` over `before` (the bytes at `offset` now) one aligned 512-byte disk sector at
    // a time, in ascending order, flushing after each and leaving out sectors that do not change:
    // a disk writes a sector whole or not at all, but may write the sectors of one write in any
    // order, so only this order bounds what a power cut can leave. `written_to` receives the end
    // of the last piece sent (0: none).
    bool write_in_disk_sectors(uint64_t offset, std::span<const uint8_t> before,
                               std::span<const uint8_t> after, uint64_t& written_to) {
        const uint64_t end = offset + after.size();
        for (uint64_t from = offset; from < end;) {
            const uint64_t to = std::min(end, (from / k_disk_sector + 1) * k_disk_sector);
            const auto part = after.subspan(size_t(from - offset), size_t(to - from));
            if (!std::equal(part.begin(), part.end(), before.begin() + ptrdiff_t(from - offset))) {
                if (!data_.write_at(from, part, error_)) return false;
                written_to = to;
                if (!data_.flush(error_)) return false;
            }
            from = to;
        }
        return true;
    }

    // After a failed move of rows: writes `before` back where `after` was sent (up to
    // `written_to`), disk sector by disk sector in descending order (the rows move back down, so
    // each stays whole at one of its places), flushing after each.
    bool put_back(uint64_t offset, std::span<const uint8_t> before, std::span<const uint8_t> after,
                  uint64_t written_to) {
        const uint64_t end = std::max(offset, written_to);
        std::string failed;
        for (uint64_t to = end; to > offset;) {
            const uint64_t from = std::max(offset, (to - 1) / k_disk_sector * k_disk_sector);
            const auto part = before.subspan(size_t(from - offset), size_t(to - from));
            if (!std::equal(part.begin(), part.end(), after.begin() + ptrdiff_t(from - offset)) &&
                (!data_.write_at(from, part, failed) || !data_.flush(failed))) {
                error_ += std::string("; ") + archive_msg::rows_repeated;
                return false;
            }
            to = from;
        }
        return roll_back();
    }

    // Cuts the .img after the last sector a row or the VER2 table uses, when it is longer.
    bool reclaim_tail() {
        uint64_t end = data_end_sectors(archive_.entries, 0);
        if (archive_.kind == archive_kind::ver2)
            end = std::max(end, ver2_table_sectors(archive_.entries.size()));
        const uint64_t keep = end * k_archive_sector_bytes;
        // Not flushed: the sectors come back after a crash only as space nothing points to.
        return data_.length() <= keep || data_.truncate(keep, error_);
    }

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
    if (!editor.begin({&index, 1})) return false;
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
    if (!editor.begin({})) return false;
    // Rows another program added meanwhile are in the table now.
    if (const auto problem = entry_name_problem(archive.entries, name))
        return fail(archive.index_path, *problem, error);
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
    return replace_from(archive, index, byte_source{bytes, {}, 0, 0}, editor);
}

bool replace_entry_from_file(game_archive& archive, size_t index,
                             const std::filesystem::path& source, std::string& error) {
    if (!check_index(archive, index, error)) return false;
    return with_file_source(source, error, [&](const byte_source& bytes) {
        archive_editor editor(archive, error);
        return replace_from(archive, index, bytes, editor);
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
    if (!editor.begin(indices)) return false;
    std::vector<archive_entry> kept;
    std::vector<size_t> kept_rows;
    kept.reserve(archive.entries.size() - indices.size());
    kept_rows.reserve(archive.entries.size() - indices.size());
    for (size_t i = 0, next = 0; i < archive.entries.size(); ++i) {
        if (next < indices.size() && indices[next] == i) {
            ++next;
            continue;
        }
        kept.push_back(archive.entries[i]);
        kept_rows.push_back(i);
    }
    return editor.commit_removed(std::move(kept), kept_rows);
}

bool rename_entry(game_archive& archive, size_t index, const std::string& name,
                  std::string& error) {
    if (!check_index(archive, index, error)) return false;
    if (const auto problem = entry_name_problem(archive.entries, name, index))
        return fail(archive.index_path, *problem, error);
    archive_editor editor(archive, error);
    if (!editor.begin({&index, 1})) return false;
    if (const auto problem = entry_name_problem(archive.entries, name, index))
        return fail(archive.index_path, *problem, error);
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
