#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// File access for archive edits: positioned reads and writes on the .img, flushes, and whole-file
// replacement for a .dir. Every write, flush and rename an edit makes is one counted step, so a
// test can make an edit stop (as a crash would) or fail (as a full disk would) at any step.

enum class io_fault {
    none,
    stop, // from the chosen step on nothing more is written: the process "died" there
    fail, // the chosen step alone fails with an error; the edit's clean-up still runs
};

// Test hook: the fault strikes at step `at` (1 = the first write or flush after this call).
void set_archive_io_fault(io_fault fault, uint64_t at);
// Steps counted since the last set_archive_io_fault.
uint64_t archive_io_steps();

// One open file of an archive. Errors name the file and the system's cause.
class archive_io_file {
  public:
    archive_io_file() = default;
    archive_io_file(const archive_io_file&) = delete;
    archive_io_file& operator=(const archive_io_file&) = delete;
    archive_io_file(archive_io_file&& other) noexcept;
    archive_io_file& operator=(archive_io_file&& other) noexcept;
    ~archive_io_file();

    // Opens for reading, or for reading and writing with an exclusive advisory lock that makes a
    // second editor of the same archive fail at once instead of interleaving with this one.
    bool open(const std::filesystem::path& path, bool for_edit, std::string& error);
    bool is_open() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }
    uint64_t length() const { return length_; }

    // Exactly out.size() bytes from `offset`; false when the file holds fewer.
    bool read_at(uint64_t offset, std::span<uint8_t> out, std::string& error);
    // Counted steps.
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    bool sync(std::string& error);
    // Not a counted step: undoes an append nothing points to (after a failure).
    bool truncate(uint64_t length, std::string& error);

  private:
    int fd_ = -1;
    uint64_t length_ = 0;
    std::filesystem::path path_;
};

// Copies `size` bytes from `from` at `offset` to `to` at `to_offset` in pieces of at most 1 MiB,
// so an entry of any size costs only a bounded buffer. Each piece written is a step.
bool copy_range(archive_io_file& from, uint64_t offset, uint64_t size, archive_io_file& to,
                uint64_t to_offset, std::string& error);

// Writes `bytes` to a new temporary file beside `target`, flushes it, renames it over `target`
// and flushes the folder. The temporary is created exclusively and never through a link; a
// `target` that is a symbolic link is written through (the file it names is replaced, the link
// stays) and the replaced file keeps its mode.
// `renamed`, when given, tells a failure after the rename (the folder flush) from one before.
bool replace_file_safely(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::string& error, bool* renamed = nullptr);

// A new temporary file beside `target`, open for writing; `temp` receives its path. Used when
// the content is written piece by piece (compaction, extraction).
bool create_temp_beside(const std::filesystem::path& target, archive_io_file& file,
                        std::filesystem::path& temp, std::string& error);
// Flushes `file` (when `durable`), closes it, renames `temp` over `target` and flushes the
// folder (counted steps); on failure the temporary is removed.
bool commit_temp(archive_io_file& file, const std::filesystem::path& temp,
                 const std::filesystem::path& target, std::string& error, bool durable = true,
                 bool* renamed = nullptr);
// Removes a temporary left by a failed write (not counted; skipped after a "stop").
void discard_temp(const std::filesystem::path& temp);
