#pragma once

#include "stream/safe_edit.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace quillmap {

// What archive edits need beside stream/safe_file.h, through which every byte they write goes
// (`edit_file` for positioned writes into the .img, `partial_file` for a new .img or extracted
// entry, `write_file` for a .dir): reads of files that are not written, the copy of an entry's
// bytes in bounded pieces, and the options every edit writes with.

// A file read at chosen offsets (an archive extracted from, a file an entry is replaced from).
class archive_source {
  public:
    archive_source() = default;
    archive_source(const archive_source&) = delete;
    archive_source& operator=(const archive_source&) = delete;
    ~archive_source();

    bool open(const std::filesystem::path& path, std::string& error);
    uint64_t length() const { return length_; }
    // Exactly out.size() bytes from `offset`; false when the file holds fewer.
    bool read_at(uint64_t offset, std::span<uint8_t> out, std::string& error) const;

  private:
    int fd_ = -1;
    uint64_t length_ = 0;
    std::filesystem::path path_;
};

using range_reader = std::function<bool(uint64_t offset, std::span<uint8_t>, std::string&)>;
using range_writer = std::function<bool(uint64_t offset, std::span<const uint8_t>, std::string&)>;
range_reader reader_of(const archive_source& file);
range_reader reader_of(const safe_file::edit_file& file);
range_writer writer_of(safe_file::edit_file& file);
range_writer writer_of(safe_file::partial_file& file);

// Copies `size` bytes from `read` at `offset` to `write` at `to_offset` in pieces of at most
// 1 MiB, so an entry of any size costs only a bounded buffer.
bool copy_range(const range_reader& read, uint64_t offset, uint64_t size, const range_writer& write,
                uint64_t to_offset, std::string& error);

// The options of every archive edit: the thread's lock wait, and always flushed, since the
// order that keeps an archive whole under a crash rests on each flush.
safe_file::write_options archive_edit_options();

} // namespace quillmap
