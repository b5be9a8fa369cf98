#include "archive/archive_compact.h"

#include "archive/archive_io.h"
#include "archive/archive_messages.h"
#include "archive/archive_space.h"
#include "archive/archive_table.h"

#include <cstring>
#include <sys/stat.h>

namespace quillmap {

namespace {
bool fail(const std::filesystem::path& path, const std::string& cause, std::string& error) {
    error = path.string() + ": " + cause;
    return false;
}

// The entries as the compacted file holds them: one after the other from `first_sector`.
std::vector<archive_entry> packed_layout(const std::vector<archive_entry>& entries,
                                         uint64_t first_sector) {
    std::vector<archive_entry> packed = entries;
    uint64_t sector = first_sector;
    for (auto& entry : packed) {
        entry.offset = entry.size ? sector * k_archive_sector_bytes : 0;
        sector += entry.size / k_archive_sector_bytes;
    }
    return packed;
}

// Writes the header (VER2) and every entry's bytes into `out`; false when cancelled or failed.
bool write_packed(const game_archive& archive, const safe_file::edit_file& source,
                  safe_file::partial_file& out, const std::vector<archive_entry>& packed,
                  const archive_progress& progress, std::string& error) {
    uint64_t total = 0, done = 0;
    for (const auto& entry : archive.entries)
        total += entry.size;
    if (archive.kind == archive_kind::ver2) {
        std::vector<uint8_t> header(ver2_table_sectors(packed.size()) * k_archive_sector_bytes, 0);
        std::memcpy(header.data(), "VER2", 4);
        const auto table = encode_ver2_count_and_rows(packed);
        std::memcpy(header.data() + k_ver2_count_offset, table.data(), table.size());
        if (!out.write_at(0, header, error)) return false;
    }
    for (size_t i = 0; i < packed.size(); ++i) {
        if (progress && !progress(done, total))
            return fail(archive.data_path, archive_msg::cancelled, error);
        const uint64_t size = archive.entries[i].size;
        if (size && !copy_range(reader_of(source), archive.entries[i].offset, size, writer_of(out),
                                packed[i].offset, error))
            return false;
        done += size;
    }
    if (progress) progress(total, total);
    return true;
}

// Copies every entry of `from` to its place in `to` within the same .img (the ranges never
// overlap) and flushes. `progress` sees `base` + bytes copied; a cancel is honoured only when
// `may_cancel`.
bool move_entries(const game_archive& archive, safe_file::edit_file& data,
                  const std::vector<archive_entry>& from, const std::vector<archive_entry>& to,
                  const archive_progress& progress, uint64_t base, uint64_t total, bool may_cancel,
                  std::string& error) {
    uint64_t done = base;
    for (size_t i = 0; i < from.size(); ++i) {
        if (progress && !progress(done, total) && may_cancel)
            return fail(archive.data_path, archive_msg::cancelled, error);
        if (from[i].size && !copy_range(reader_of(data), from[i].offset, from[i].size,
                                        writer_of(data), to[i].offset, error))
            return false;
        done += from[i].size;
    }
    return data.flush(error);
}

// A pair cannot be renamed into place as one file: the .img is compacted inside itself in two
// moves, each made safe as any edit is. First every entry is copied, packed, past the end of the
// data (space nothing points to) and the .dir switched to the copies; then the packed block is
// copied to the start (space nothing points to any more), the .dir switched again, and the file
// cut after it. A crash leaves the old table, the table of the copies at the end, or the new one.
bool compact_pair_in_place(game_archive& archive, safe_file::edit_file& data,
                           const archive_progress& progress, std::string& error) {
    const uint64_t length_before = data.length();
    // Sectors past the last row (left by a compaction killed earlier) are reused, not added to.
    const uint64_t end = data_end_sectors(archive.entries, 0);
    const auto at_end = packed_layout(archive.entries, end);
    const auto packed = packed_layout(archive.entries, 0);
    uint64_t bytes = 0;
    for (const auto& entry : archive.entries)
        bytes += entry.size;
    if (end + sectors_for(bytes) > k_archive_max_offset_sectors)
        return fail(archive.data_path, archive_msg::archive_too_large, error);
    std::string ignored;
    if (!move_entries(archive, data, archive.entries, at_end, progress, 0, 2 * bytes, true,
                      error)) {
        data.truncate(length_before, ignored);
        return false;
    }
    const auto options = archive_edit_options();
    if (!safe_file::write_file(archive.index_path, encode_dir_table(at_end), options, error)) {
        data.truncate(length_before, ignored);
        return false;
    }
    // From here on the archive is whole whatever happens; the second move is not cancelled.
    if (!move_entries(archive, data, at_end, packed, progress, bytes, 2 * bytes, false, error) ||
        !safe_file::write_file(archive.index_path, encode_dir_table(packed), options, error))
        return false;
    if (!data.truncate(bytes, error)) return false;
    if (progress) progress(2 * bytes, 2 * bytes);
    return true;
}
} // namespace

bool compact_archive(game_archive& archive, const std::filesystem::path& out,
                     const archive_progress& progress, std::string& error) {
    for (const auto& entry : archive.entries) {
        if (!entry.inside)
            return fail(archive.data_path,
                        std::string(archive_msg::entry_outside) + ": \"" + entry.name + "\"",
                        error);
        if (entry.overlaps) return fail(archive.data_path, archive_msg::overlapping, error);
    }
    safe_file::edit_file source;
    if (!source.open(archive.data_path, archive_edit_options(), error)) return false;
    game_archive fresh;
    if (!open_game_archive(archive.index_path, fresh, error)) return false;
    if (!same_entries(fresh.entries, archive.entries))
        return fail(archive.index_path, archive_msg::table_changed, error);

    const std::filesystem::path img = out.empty() ? archive.data_path : out;
    std::filesystem::path dir;
    if (archive.kind == archive_kind::dir_img)
        dir =
            out.empty() ? archive.index_path : std::filesystem::path(out).replace_extension(".dir");
    const uint64_t first =
        archive.kind == archive_kind::ver2 ? ver2_table_sectors(archive.entries.size()) : 0;
    const auto packed = packed_layout(archive.entries, first);
    if (!packed.empty() && (packed.back().offset + packed.back().size) / k_archive_sector_bytes >
                               k_archive_max_offset_sectors)
        return fail(img, archive_msg::archive_too_large, error);

    if (archive.kind == archive_kind::dir_img && out.empty()) {
        if (!compact_pair_in_place(archive, source, progress, error)) return false;
        const std::filesystem::path index = archive.index_path; // open clears `archive` first
        return open_game_archive(index, archive, error);
    }

    // The new .img (and a new pair's .dir) appear under their names only when complete. An
    // .img compacted over itself is locked already, by `source`.
    const bool over_itself = out.empty() || safe_file::same_file(img, archive.data_path);
    struct stat info {};
    if (over_itself && archive.kind == archive_kind::ver2 &&
        ::stat(archive.data_path.c_str(), &info) == 0 && info.st_nlink > 1)
        return fail(archive.data_path, archive_msg::hard_linked, error);
    safe_file::partial_file target;
    if (!target.create(img, archive_edit_options(), error, /*hold_lock=*/!over_itself) ||
        !write_packed(archive, source, target, packed, progress, error))
        return false;
    if (archive.kind == archive_kind::dir_img) {
        // A new pair beside the old one: the .dir follows the .img, both complete on disk.
        safe_file::partial_file dir_file;
        if (!dir_file.create(dir, archive_edit_options(), error) ||
            !dir_file.write_at(0, encode_dir_table(packed), error) || !target.commit(error) ||
            !dir_file.commit(error))
            return false;
    } else if (!target.commit(error)) {
        return false;
    }
    if (!out.empty()) return true;
    game_archive compacted;
    if (!open_game_archive(archive.index_path, compacted, error)) return false;
    archive = std::move(compacted);
    return true;
}

} // namespace quillmap
