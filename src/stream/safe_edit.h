#pragma once

// Files written in pieces, beside the whole-file writes of safe_file.h and under the same rules:
// one lock (`flock`, waiting `lock_wait_ms`), one temporary naming (".NAME.quillmap-XXXXXX"
// beside the target), one flush policy (`durable`) and one test hook, which counts every write,
// flush and rename made here too.

#include "stream/safe_file.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace quillmap {

namespace safe_file {

// A file written piece by piece at chosen offsets that appears under its name only when complete
// (an archive compacted into a new file, an extracted entry): the steps of `write_file` for a file
// of one link, its lock held from `create` to `commit`. Uncommitted, it removes its temporary
// file when it dies.
class partial_file {
  public:
    partial_file() = default;
    partial_file(const partial_file&) = delete;
    partial_file& operator=(const partial_file&) = delete;
    ~partial_file() { discard(); }
    // Checks the target as `write_file` does, locks an existing one (unless `hold_lock` is
    // false: the caller holds it already, as an archive compacted over its own .img does) and
    // creates the temporary file beside it with the target's mode.
    bool create(const std::filesystem::path& target, const write_options& options,
                std::string& error, bool hold_lock = true);
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    // Flushes it (when durable), renames (or links) it into place and flushes the folder.
    bool commit(std::string& error);
    // Removes the temporary file and drops the lock (not a step of the test hook).
    void discard();

  private:
    friend bool write_file(const std::filesystem::path&, std::span<const uint8_t>,
                           const write_options&, std::string&);
    friend bool write_within(const std::filesystem::path&, uint64_t, std::span<const uint8_t>,
                             const write_options&, std::string&);
    // The checks and the lock of `create`; `links_`, `mode_`, `owner_` and `group_` describe
    // an existing target.
    bool prepare(const std::filesystem::path& target, const write_options& options,
                 std::string& error, bool hold_lock);
    bool make_temporary(std::string& error);

    int fd_ = -1;
    std::filesystem::path asked_, target_, temp_;
    write_options options_;
    file_lock lock_;
    bool exists_ = false;
    uint64_t links_ = 0;
    unsigned mode_ = 0, owner_ = 0, group_ = 0;
};

// An existing file edited in place at chosen offsets (a game archive's .img), links followed. It
// is locked for as long as it is open: a second writer waits `lock_wait_ms`, then fails with a
// message. Writes and flushes are steps of the test hook; `flush` flushes when `durable`.
class edit_file {
  public:
    edit_file() = default;
    edit_file(const edit_file&) = delete;
    edit_file& operator=(const edit_file&) = delete;
    ~edit_file() { close(); }
    bool open(const std::filesystem::path& path, const write_options& options, std::string& error);
    uint64_t length() const { return length_; }
    // Exactly out.size() bytes from `offset`; false when the file holds fewer.
    bool read_at(uint64_t offset, std::span<uint8_t> out, std::string& error) const;
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    bool flush(std::string& error);
    // Cuts the file to `length` (taking back an append nothing points to); not a hook step.
    bool truncate(uint64_t length, std::string& error);
    void close(); // drops the lock

  private:
    int fd_ = -1;
    std::filesystem::path asked_;
    write_options options_;
    uint64_t length_ = 0;
};

} // namespace safe_file

} // namespace quillmap
