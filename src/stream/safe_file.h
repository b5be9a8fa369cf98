#pragma once

// Every file Quillmap writes for the user goes through here: dictionaries, pictures (PNG, BMP,
// TIM2, DDS), raw sections, extracted archive entries and batch outputs. The promise is that a
// failed, interrupted or concurrent write never leaves a damaged or half-written file under the
// name the user asked for, and never writes somewhere the user did not ask.
//
// Replacing a whole file (`write_file`):
//   1. A symlinked target is resolved (link by link) and the file it names is written; the
//      temporary file lies beside that real file, so the final rename stays on one file system.
//   2. An existing target is locked with `flock` (see `file_lock`); a second writer into the same
//      file waits up to `lock_wait_ms`, then fails with a message. It never overwrites the first.
//   3. The bytes go to a fresh temporary file from `mkstemp` beside the target, named
//      ".NAME.quillmap-XXXXXX" (`is_temporary_name` tells such names), with the original's mode
//      (and owner, where the system permits) or, for a new file, 0666 less the umask.
//   4. When `durable`, the temporary file is flushed (fsync) before the rename and the folder
//      after it, so after a crash the name holds either the old or the new bytes.
//   5. The temporary file is renamed over the target; a new output that must not replace anything
//      is linked into place instead (link fails when the name exists), then the temporary name is
//      removed.
//   Only a regular file (or a symlink to one) is ever replaced: a folder, FIFO, device or socket
//   at the target is refused, and nothing is written.
//   A target with more than one hard link is updated in place instead (`update_linked`), so that
//   every name keeps seeing the same file: the complete new bytes are first written to the
//   temporary file and flushed, which is then renamed to ".NAME.quillmap-copy" beside the target
//   (the folder flushed: from here on a crash leaves the complete copy under that name), then
//   written over the target from its first byte, the target is cut to the new length and
//   flushed, and only then is the copy removed. These flushes happen whatever `durable` says.
//   The next open of the file finishes an update a crash interrupted (`finish_unfinished_update`).
//
// Every temporary file is locked (`flock`) by the writer that made it for as long as it writes,
// so a clean-up (`remove_unheld_temporary`) never removes one that a live writer is filling.
//
// Writing inside a file (`write_at`) puts bytes at an offset of an existing file under the same
// lock, leaving every other byte; the caller checks that they fit the region they may overwrite.
// `write_within` does the same through a complete new copy of the file, renamed into place.
//
// New outputs in a folder tree (`make_folders`, `output_folder_options`) never follow a symlink:
// each folder below the output root is created or opened without following links and must be a
// real folder, a symlink (even a dangling one) where an output file goes is a failure with a
// message, and an existing output is replaced by rename, never written into (a hard link planted
// in the output folder keeps the file it shares).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillmap {

namespace safe_file {

// What a file was when it was read: a save over it checks, under the lock, that nobody replaced
// or changed it since, so that one writer never silently drops another's work.
struct file_stamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified_ns = 0;
    bool operator==(const file_stamp&) const = default;
};
// The stamp of the file a path names now (links followed); none when it cannot be read.
std::optional<file_stamp> stamp_of(const std::filesystem::path& path);

struct write_options {
    // Flush the file and its folder before reporting success. Saves that replace a user's file
    // keep this; batch outputs, which a re-run can make again, may turn it off.
    bool durable = true;
    // Whether an existing file at the target is replaced. When false, an existing target is a
    // failure and nothing is written.
    bool replace = true;
    // Whether a symlink at the target is written through to the file it names (saves over a
    // user's file), or refused (outputs created in an output folder).
    bool follow_links = true;
    // Whether a target with other hard links is updated in place, so that every name sees the
    // change (saves over a user's file), or replaced by rename like any other (outputs in an
    // output folder, where a planted link must not carry the write into a file outside it).
    bool update_linked = true;
    // How long a second writer waits for another writer's lock on the same file.
    int lock_wait_ms = 10000;
    // When set, the existing target must still be this file (checked once the lock is held);
    // otherwise nothing is written and the error says the file changed since it was read.
    std::optional<file_stamp> unchanged_since;
};

// The rule of every file made in an output folder (batch outputs, export of many textures,
// extracted archive entries): no symlink followed, an existing output replaced (by rename) only
// when `replace`, flushed only when `durable`.
write_options output_folder_options(bool replace, bool durable);

// Writes `bytes` as the whole content of `target`, following the steps above. False with `error`
// ("Cannot open output file. (NAME: cause)" and the like) when anything fails; the target then
// holds what it held before and no temporary file is left.
bool write_file(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                const write_options& options, std::string& error);

// The options of the writers whose callers name none (picture exports, dictionary saves): each
// thread has its own, the defaults above unless an `output_policy` is alive on the thread.
const write_options& current_policy();
// Sets the thread's options for a stretch of work, such as one batch job's outputs (no links
// followed, no flush, replace only with --overwrite); the previous options return at its end.
class output_policy {
  public:
    explicit output_policy(const write_options& options);
    ~output_policy();
    output_policy(const output_policy&) = delete;
    output_policy& operator=(const output_policy&) = delete;

  private:
    write_options saved_;
};
// `write_file` with the thread's current options.
bool write_file(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                std::string& error);

// Writes `bytes` at `offset` inside the existing file `target` (symlinks followed), under the
// file's lock, and flushes when `durable`. Bytes outside [offset, offset + size) are untouched.
bool write_at(const std::filesystem::path& target, uint64_t offset, std::span<const uint8_t> bytes,
              const write_options& options, std::string& error);

// Writes `bytes` at `offset` inside the existing file `target` as `write_file` writes a whole
// file: the file's bytes with `bytes` put at `offset` go to a temporary file that replaces it
// (or, for a hard-linked file, through the complete copy described above), so that a crash
// leaves the old or the new file. `offset + bytes.size()` must not pass the file's end.
bool write_within(const std::filesystem::path& target, uint64_t offset,
                  std::span<const uint8_t> bytes, const write_options& options, std::string& error);

// The complete copy an interrupted in-place update of `target` left beside it
// (".NAME.quillmap-copy" beside the file its symlinks name); none when there is none.
std::optional<std::filesystem::path> unfinished_update(const std::filesystem::path& target);
// Finishes such an update under the file's lock: the copy's bytes are written over the file
// (keeping its hard links), flushed, and the copy removed. True when there was none or it was
// finished; false with `error` naming the copy when it could not be finished.
bool finish_unfinished_update(const std::filesystem::path& target, std::string& error);

// Removes the temporary file `path` unless a live writer holds it (its lock is taken without
// waiting) or it is the complete copy of an unfinished update; true when it was removed.
bool remove_unheld_temporary(const std::filesystem::path& path);

// The file a path names once every symlink in its last component is followed (relative links
// resolve against the link's folder). A path that is no link comes back as it is.
std::filesystem::path resolve_links(const std::filesystem::path& path);

// Whether two paths name the same file (same device and inode); false when either is missing.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// Creates `folder` (relative to `root`, which must exist or is created) one component at a time
// without following symlinks; every component must be a real folder. False with `error` naming
// the component and why ("is a symbolic link", "is a file") otherwise.
bool make_folders(const std::filesystem::path& root, const std::filesystem::path& folder,
                  std::string& error);

// Whether a file name is one of our temporary names (".NAME.quillmap-XXXXXX", the complete copy
// ".NAME.quillmap-copy" of an in-place update, or the ".quillmap-save" suffix older versions
// used). Folder walks skip such files.
bool is_temporary_name(std::string_view file_name);
// Whether it is the complete copy of an in-place update (".NAME.quillmap-copy").
bool is_update_copy_name(std::string_view file_name);

// An advisory lock (flock) on an existing file, held until the object dies. `acquire` waits up to
// `wait_ms` for another holder, polling, and gives up early when a stop was requested. Locks are
// taken on the file a path names now: a writer that replaced the file while we waited is noticed
// and the new file is locked instead.
class file_lock {
  public:
    file_lock() = default;
    file_lock(const file_lock&) = delete;
    file_lock& operator=(const file_lock&) = delete;
    ~file_lock() { release(); }
    bool acquire(const std::filesystem::path& path, int wait_ms, std::string& error);
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// Test hook for crash and fault tests (used by the save, batch and archive tests). Every write,
// flush (fsync) and rename made through this header counts as one step, numbered from 1 since
// the hook was set. The hook sees each step before it happens; returning `fail` makes that step
// fail as if the disk had refused it (EIO), `proceed` lets it happen. To simulate a crash or an
// interruption after step k, the hook itself may `_exit`, `raise(SIGSTOP)` or `raise(SIGINT)` in
// a forked child. Not for production use; set it only in tests, before any thread writes.
enum class io_step { write, flush, rename };
enum class hook_action { proceed, fail };
using io_hook = hook_action (*)(io_step step, uint64_t number);
void set_io_hook(io_hook hook); // null removes the hook; the count restarts at 0
// The same hook for tests that run the command-line program: QUILLMAP_IO_HOOK=ACTION:K makes
// step K fail ("fail:K"), raise SIGINT just before it so that the work stops once the current
// item is done ("interrupt:K"), or end the process at once as a crash would ("crash:K", exit
// status 137). Unset or malformed: no hook.
void set_io_hook_from_environment();

// Test journal for the power-loss model of the tests: every change made through this header and
// stream/safe_edit.h is reported once it happened, with what it changed, so that a test can
// rebuild what a disk might hold had the power gone at any moment (writes not yet flushed lost in
// any part, names not yet flushed in their folder lost). Files are known by their inode. Not for
// production use; set it only in tests, before any thread writes.
struct io_record {
    enum class kind { create, write, truncate, flush, flush_folder, rename, link, unlink };
    kind what = kind::write;
    uint64_t file = 0;              // create, write, truncate, flush: the file's inode
    std::filesystem::path path;     // create, flush_folder, rename and link (from), unlink
    std::filesystem::path to;       // rename, link
    uint64_t offset = 0;            // write: where the bytes went; truncate: the new length
    std::span<const uint8_t> bytes; // write
};
using io_journal = void (*)(const io_record& record);
void set_io_journal(io_journal journal); // null removes it

} // namespace safe_file

} // namespace quillmap
