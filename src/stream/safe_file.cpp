#include "stream/safe_file.h"
#include "stream/safe_edit.h"

#include "stream/rw_messages.h"
#include "stream/stop_request.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillmap {

namespace fs = std::filesystem;

namespace safe_file {

namespace {

io_hook g_hook = nullptr;
std::atomic<uint64_t> g_steps{0};

io_journal g_journal = nullptr;

uint64_t inode_of(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? uint64_t(info.st_ino) : 0;
}

// Tells the test journal about a change that happened.
void note(io_record::kind what, int fd, const fs::path& path = {}, const fs::path& to = {},
          uint64_t offset = 0, std::span<const uint8_t> bytes = {}) {
    if (!g_journal) return;
    io_record record;
    record.what = what;
    record.file = fd >= 0 ? inode_of(fd) : 0;
    record.path = path;
    record.to = to;
    record.offset = offset;
    record.bytes = bytes;
    g_journal(record);
}

// Removes a file name, telling the test journal.
void remove_name(const fs::path& path) {
    if (::unlink(path.c_str()) == 0) note(io_record::kind::unlink, -1, path);
}

// Asks the test hook about the next step; true when the step is to fail.
bool hook_fails(io_step step) {
    if (!g_hook) return false;
    const uint64_t number = ++g_steps;
    if (g_hook(step, number) == hook_action::fail) {
        errno = EIO;
        return true;
    }
    return false;
}

std::string name_of(const fs::path& path) {
    return path.filename().string();
}

// "Cannot open output file. (a.txd: Permission denied)"
std::string failure(const char* head, const fs::path& path, int error_number) {
    return std::string(head) + " (" + name_of(path) + ": " + std::strerror(error_number) + ")";
}
std::string failure(const char* head, const fs::path& path, const std::string& cause) {
    return std::string(head) + " (" + name_of(path) + ": " + cause + ")";
}

constexpr const char* k_cannot_write = "Cannot write output file.";
constexpr const char* k_cannot_read = "Cannot read input file.";

bool write_all(int fd, std::span<const uint8_t> bytes, uint64_t offset, bool positioned,
               size_t* written = nullptr) {
    size_t local = 0;
    size_t& done = written ? *written : local;
    done = 0;
    while (done < bytes.size()) {
        if (hook_fails(io_step::write)) return false;
        // Large writes go in pieces so that the hook and a full disk are met part-way.
        const size_t piece = std::min<size_t>(bytes.size() - done, size_t(1) << 20);
        const ssize_t n = positioned
                              ? ::pwrite(fd, bytes.data() + done, piece, off_t(offset + done))
                              : ::write(fd, bytes.data() + done, piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        note(io_record::kind::write, fd, {}, {}, offset + done,
             std::span<const uint8_t>(bytes.data() + done, size_t(n)));
        done += size_t(n);
    }
    return true;
}

bool flush(int fd) {
    if (hook_fails(io_step::flush)) return false;
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    note(io_record::kind::flush, fd);
    return true;
}

// A folder that cannot be opened or flushed because its file system refuses (EINVAL and the
// like) does not undo a rename that already happened; the data itself was flushed. False only
// when the flush failed for another cause (EIO), which a caller may still act on.
bool flush_folder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return true;
    const bool flushed = flush(fd);
    if (flushed) note(io_record::kind::flush_folder, -1, folder);
    const bool ok = flushed || errno == EINVAL || errno == ENOTSUP || errno == EROFS;
    ::close(fd);
    return ok;
}

mode_t creation_mode() {
    // The umask is read once: changing it to read it would race with other threads' creations.
    static mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Umask:", 0) == 0)
                return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return 0666 & ~mask;
}

// A fresh temporary file beside `target`, locked for as long as its descriptor (or a duplicate)
// stays open; -1 with errno set on failure.
int make_temporary(const fs::path& target, fs::path& temp) {
    const fs::path folder = target.parent_path();
    const std::string name = "." + name_of(target) + ".quillmap-XXXXXX";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string pattern = (folder.empty() ? fs::path(name) : folder / name).string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) return -1;
        // A clean-up that locked the new name first is about to remove it; one that removed it
        // before we locked it leaves it without a name. Either way, take another name.
        struct stat info {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            continue;
        }
        if (::fstat(fd, &info) == 0 && info.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        temp = pattern;
        note(io_record::kind::create, fd, temp);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

// ".NAME.quillmap-copy" beside `target`.
fs::path update_copy_path(const fs::path& target) {
    return target.parent_path() / ("." + name_of(target) + ".quillmap-copy");
}

} // namespace

namespace {
thread_local write_options t_policy;
}

const write_options& current_policy() {
    return t_policy;
}

output_policy::output_policy(const write_options& options) : saved_(t_policy) {
    t_policy = options;
}

output_policy::~output_policy() {
    t_policy = saved_;
}

bool write_file(const fs::path& target, std::span<const uint8_t> bytes, std::string& error) {
    return write_file(target, bytes, t_policy, error);
}

write_options output_folder_options(bool replace, bool durable) {
    write_options options;
    options.durable = durable;
    options.replace = replace;
    options.follow_links = false;
    options.update_linked = false;
    return options;
}

void set_io_journal(io_journal journal) {
    g_journal = journal;
}

void set_io_hook(io_hook hook) {
    g_hook = hook;
    g_steps = 0;
}

namespace {
char g_env_action = 0;
uint64_t g_env_step = 0;

hook_action environment_hook(io_step, uint64_t number) {
    if (number != g_env_step) return hook_action::proceed;
    if (g_env_action == 'f') return hook_action::fail;
    if (g_env_action == 'i') std::raise(SIGINT);
    if (g_env_action == 'c') ::_exit(137);
    return hook_action::proceed;
}
} // namespace

void set_io_hook_from_environment() {
    const char* text = std::getenv("QUILLMAP_IO_HOOK");
    if (!text) return;
    const std::string_view value(text);
    const size_t colon = value.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view action = value.substr(0, colon);
    char* end = nullptr;
    const unsigned long long step = std::strtoull(text + colon + 1, &end, 10);
    if (step == 0 || !end || *end != '\0') return;
    if (action == "fail" || action == "interrupt" || action == "crash") {
        g_env_action = action[0];
        g_env_step = step;
        set_io_hook(environment_hook);
    }
}

fs::path resolve_links(const fs::path& path) {
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec))) return current;
        const fs::path next = fs::read_symlink(current, ec);
        if (ec) return current;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current;
}

namespace {
file_stamp stamp_from(const struct stat& info) {
    return {uint64_t(info.st_dev), uint64_t(info.st_ino), uint64_t(info.st_size),
            int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool changed_since(const fs::path& target, const write_options& options, const fs::path& asked,
                   std::string& error) {
    if (!options.unchanged_since) return false;
    const auto now = stamp_of(target);
    if (now && *now == *options.unchanged_since) return false;
    error = failure(rw_msg::cannot_open_output, asked,
                    "another program changed the file since it was read; nothing was written, "
                    "open it again to see its changes");
    return true;
}
} // namespace

std::optional<file_stamp> stamp_of(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return stamp_from(info);
}

bool same_file(const fs::path& a, const fs::path& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool is_update_copy_name(std::string_view name) {
    constexpr std::string_view suffix = ".quillmap-copy";
    return name.size() > 1 + suffix.size() && name[0] == '.' &&
           name.substr(name.size() - suffix.size()) == suffix;
}

bool is_temporary_name(std::string_view name) {
    constexpr std::string_view legacy = ".quillmap-save";
    if (name.size() > legacy.size() && name.substr(name.size() - legacy.size()) == legacy)
        return true;
    if (is_update_copy_name(name)) return true;
    constexpr std::string_view marker = ".quillmap-";
    if (name.size() < 1 + marker.size() + 6 || name[0] != '.') return false;
    return name.substr(name.size() - 6 - marker.size(), marker.size()) == marker;
}

namespace {
// The descriptor of `path` opened with `flags` and locked (see file_lock); -1 with `error`.
int open_locked(const fs::path& path, int flags, int wait_ms, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd < 0) {
            error = failure(rw_msg::cannot_open_output, path, errno);
            return -1;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // A file system without locks: go on without one rather than refuse every save.
            if (errno != EWOULDBLOCK && errno != EINTR) return fd;
            if (std::chrono::steady_clock::now() >= deadline || stop_request::requested()) {
                ::close(fd);
                error = std::string("Cannot open output file. (") + name_of(path) +
                        ": another program is saving into it; try again when it has finished)";
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // The writer we waited for may have renamed a new file into place: lock that one.
        struct stat held {
        }, now{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &now) == 0 &&
            (held.st_dev != now.st_dev || held.st_ino != now.st_ino)) {
            ::close(fd);
            continue;
        }
        return fd;
    }
}
} // namespace

bool file_lock::acquire(const fs::path& path, int wait_ms, std::string& error) {
    release();
    fd_ = open_locked(path, O_RDONLY, wait_ms, error);
    return fd_ >= 0;
}

void file_lock::release() {
    if (fd_ >= 0) ::close(fd_); // closing drops the flock
    fd_ = -1;
}

namespace {

// Copies `length` bytes from `from` to `to`, each at the same offset, in pieces; `written` counts
// the bytes that reached `to`. False with errno set.
bool copy_between(int from, int to, uint64_t begin, uint64_t length, size_t* written = nullptr) {
    std::vector<uint8_t> piece(size_t(std::min<uint64_t>(length, uint64_t(1) << 20)));
    for (uint64_t done = 0; done < length;) {
        const size_t want = size_t(std::min<uint64_t>(piece.size(), length - done));
        const ssize_t got = ::pread(from, piece.data(), want, off_t(begin + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            return false;
        }
        size_t put = 0;
        const bool ok =
            write_all(to, std::span(piece.data(), size_t(got)), begin + done, true, &put);
        if (written) *written += put;
        if (!ok) return false;
        done += uint64_t(got);
    }
    return true;
}

// Writes the complete copy (`length` bytes in `copy`) over the file `fd` from its first byte,
// cuts it to that length and flushes it, whatever the durability policy: until then it is torn.
bool overwrite_flushed(int copy, int fd, uint64_t length, size_t& written) {
    if (!copy_between(copy, fd, 0, length, &written) || ::ftruncate(fd, off_t(length)) != 0)
        return false;
    note(io_record::kind::truncate, fd, {}, {}, length);
    return flush(fd);
}

// Fills a new file with the complete new content (writing at offsets from 0); false with errno.
using content_writer = std::function<bool(int fd)>;

// Updates a hard-linked file through its own inode, in the order described in the header.
bool update_in_place(const fs::path& target, uint64_t length, const content_writer& fill,
                     std::string& error) {
    fs::path temp;
    const int copy = make_temporary(target, temp);
    if (copy < 0) {
        error = failure(rw_msg::cannot_open_output, temp.empty() ? target : temp, errno);
        return false;
    }
    const fs::path kept = update_copy_path(target);
    // The copy is complete and flushed before it takes the name the next open looks for.
    bool ok = fill(copy) && flush(copy) && !hook_fails(io_step::rename) &&
              ::rename(temp.c_str(), kept.c_str()) == 0;
    if (ok) note(io_record::kind::rename, -1, temp, kept);
    int saved_errno = errno;
    if (!ok) {
        remove_name(temp);
        ::close(copy);
        error = failure(k_cannot_write, target, saved_errno);
        return false;
    }
    // The copy's name must outlast a power cut before the target is touched.
    if (!flush_folder(target.parent_path())) {
        saved_errno = errno;
        remove_name(kept);
        ::close(copy);
        error = failure(k_cannot_write, target, saved_errno);
        return false;
    }
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    size_t written = 0;
    ok = fd >= 0 && overwrite_flushed(copy, fd, length, written);
    saved_errno = errno;
    if (fd >= 0) ::close(fd);
    if (!ok && written == 0) {
        // The target was not touched: it still holds the old bytes, and no copy is needed.
        remove_name(kept);
        ::close(copy);
        error = failure(k_cannot_write, target, saved_errno);
        return false;
    }
    if (!ok) {
        // The complete new bytes stay in the copy, which the next open finishes from; say where.
        ::close(copy);
        error = failure(k_cannot_write, target,
                        std::string(std::strerror(saved_errno)) + "; the new content is kept in " +
                            name_of(kept));
        return false;
    }
    remove_name(kept);
    ::close(copy);
    (void)flush_folder(target.parent_path());
    return true;
}

} // namespace

bool partial_file::prepare(const fs::path& asked, const write_options& options, std::string& error,
                           bool hold_lock) {
    discard();
    asked_ = asked;
    options_ = options;
    struct stat link_info {};
    const bool named_exists = ::lstat(asked.c_str(), &link_info) == 0;
    if (named_exists && S_ISLNK(link_info.st_mode) && !options.follow_links) {
        error = failure(rw_msg::cannot_open_output, asked,
                        "a symbolic link is in the way; Quillmap does not write through links "
                        "in an output folder");
        return false;
    }
    target_ = options.follow_links ? resolve_links(asked) : asked;
    struct stat info {};
    exists_ = ::stat(target_.c_str(), &info) == 0;
    if (exists_ && S_ISDIR(info.st_mode)) {
        error = failure(rw_msg::cannot_open_output, asked, EISDIR);
        return false;
    }
    if (exists_ && !S_ISREG(info.st_mode)) {
        error = failure(rw_msg::cannot_open_output, asked,
                        "it is not a regular file (a device, pipe or socket); Quillmap writes "
                        "only regular files");
        return false;
    }
    if (exists_ && !options.replace) {
        error = failure(rw_msg::cannot_open_output, asked, EEXIST);
        return false;
    }
    if (exists_ && S_ISREG(info.st_mode)) {
        if (hold_lock && !lock_.acquire(target_, options.lock_wait_ms, error)) return false;
        if (changed_since(target_, options, asked, error)) return false;
        if (::stat(target_.c_str(), &info) != 0) info = {};
    }
    links_ = exists_ ? uint64_t(info.st_nlink) : 0;
    mode_ = unsigned(info.st_mode & 07777);
    owner_ = unsigned(info.st_uid);
    group_ = unsigned(info.st_gid);
    return true;
}

bool partial_file::make_temporary(std::string& error) {
    fd_ = safe_file::make_temporary(target_, temp_);
    if (fd_ < 0) {
        error = failure(rw_msg::cannot_open_output, asked_, errno);
        temp_.clear();
        return false;
    }
    // Keep the original's mode and owner; a new file gets what the umask allows.
    if (::fchmod(fd_, exists_ ? mode_t(mode_) : creation_mode()) != 0) {
        error = failure(rw_msg::cannot_open_output, asked_, errno);
        discard();
        return false;
    }
    if (exists_ && (owner_ != ::geteuid() || group_ != ::getegid()))
        (void)!::fchown(fd_, owner_, group_); // refused unless privileged: keep ours
    return true;
}

bool partial_file::create(const fs::path& target, const write_options& options, std::string& error,
                          bool hold_lock) {
    return prepare(target, options, error, hold_lock) && make_temporary(error);
}

bool partial_file::write_at(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
    if (fd_ < 0 || !write_all(fd_, bytes, offset, true)) {
        error = failure(k_cannot_write, asked_, fd_ < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

bool partial_file::commit(std::string& error) {
    bool ok = fd_ >= 0 && (!options_.durable || flush(fd_));
    int saved_errno = fd_ < 0 ? EBADF : errno;
    // A duplicate keeps the temporary file's lock until it has its final name.
    const int held = fd_ >= 0 ? ::dup(fd_) : -1;
    if (fd_ >= 0 && ::close(fd_) != 0 && ok) {
        ok = false;
        saved_errno = errno;
    }
    fd_ = -1;
    struct closer {
        int fd;
        ~closer() {
            if (fd >= 0) ::close(fd);
        }
    } release_held{held};
    if (ok) {
        if (hook_fails(io_step::rename)) {
            ok = false;
        } else if (options_.replace) {
            ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
            if (ok) note(io_record::kind::rename, -1, temp_, target_);
        } else {
            // link() refuses an existing name, so a file that appeared meanwhile is kept.
            ok = ::link(temp_.c_str(), target_.c_str()) == 0;
            if (ok) note(io_record::kind::link, -1, temp_, target_);
        }
        if (!ok) saved_errno = errno;
        if (ok && !options_.replace) remove_name(temp_);
    }
    if (!ok) {
        discard();
        error = failure(saved_errno == EEXIST ? rw_msg::cannot_open_output : k_cannot_write, asked_,
                        saved_errno);
        return false;
    }
    temp_.clear();
    lock_.release();
    if (options_.durable) (void)flush_folder(target_.parent_path());
    return true;
}

void partial_file::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) remove_name(temp_);
    temp_.clear();
    lock_.release();
}

bool write_file(const fs::path& asked, std::span<const uint8_t> bytes, const write_options& options,
                std::string& error) {
    partial_file file;
    if (!file.prepare(asked, options, error, /*hold_lock=*/true)) return false;
    if (file.links_ > 1 && options.update_linked)
        return update_in_place(
            file.target_, bytes.size(), [&](int fd) { return write_all(fd, bytes, 0, true); },
            error);
    return file.make_temporary(error) && file.write_at(0, bytes, error) && file.commit(error);
}

bool write_within(const fs::path& asked, uint64_t offset, std::span<const uint8_t> bytes,
                  const write_options& options, std::string& error) {
    partial_file file;
    if (!file.prepare(asked, options, error, /*hold_lock=*/true)) return false;
    if (!file.exists_) {
        error = failure(rw_msg::cannot_open_output, asked, ENOENT);
        return false;
    }
    // The file is read under its lock, so no other save slips in between.
    const int source = ::open(file.target_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (source < 0 || ::fstat(source, &info) != 0) {
        error = failure(k_cannot_read, asked, errno);
        if (source >= 0) ::close(source);
        return false;
    }
    const uint64_t length = uint64_t(info.st_size);
    if (offset > length || bytes.size() > length - offset) {
        ::close(source);
        error = failure(k_cannot_write, asked,
                        "the bytes to write pass the end of the file at offset " +
                            std::to_string(offset));
        return false;
    }
    // The file's bytes before and after `bytes`, read in pieces.
    const uint64_t after = offset + bytes.size();
    const auto fill = [&](int fd) {
        return copy_between(source, fd, 0, offset) && write_all(fd, bytes, offset, true) &&
               copy_between(source, fd, after, length - after);
    };
    bool ok = false;
    if (file.links_ > 1 && options.update_linked) {
        ok = update_in_place(file.target_, length, fill, error);
    } else if (file.make_temporary(error)) {
        ok = fill(file.fd_);
        if (!ok) error = failure(k_cannot_write, asked, errno);
        ok = ok && file.commit(error);
    }
    ::close(source);
    return ok;
}

std::optional<fs::path> unfinished_update(const fs::path& target) {
    const fs::path copy = update_copy_path(resolve_links(target));
    struct stat info {};
    if (::lstat(copy.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return copy;
}

bool finish_unfinished_update(const fs::path& target, std::string& error) {
    if (!unfinished_update(target)) return true;
    const fs::path real = resolve_links(target);
    const fs::path copy = update_copy_path(real);
    const auto kept = [&](const std::string& cause) {
        return failure(rw_msg::cannot_open_output, target,
                       "an earlier save into it was interrupted, and its complete new content is "
                       "kept in " +
                           copy.string() + " (" + cause + ")");
    };
    // The writer of the copy holds the file's lock for as long as it writes: wait for it.
    file_lock lock;
    if (!lock.acquire(real, current_policy().lock_wait_ms, error)) {
        error = kept(error);
        return false;
    }
    const int in = ::open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        if (errno == ENOENT) return true; // finished while we waited
        error = kept(std::strerror(errno));
        return false;
    }
    struct stat copy_info {
    }, target_info{};
    // Only a file that is still updated in place (other hard links) is finished; one replaced
    // since (a single name) may hold newer work, so the copy stays where it is, and we say so.
    if (::stat(real.c_str(), &target_info) != 0 || target_info.st_nlink < 2) {
        ::close(in);
        error = kept("the file was replaced since; compare them and keep the one you want");
        return false;
    }
    const int fd = ::open(real.c_str(), O_WRONLY | O_CLOEXEC);
    size_t written = 0;
    const bool ok = fd >= 0 && ::fstat(in, &copy_info) == 0 &&
                    overwrite_flushed(in, fd, uint64_t(copy_info.st_size), written);
    const int saved_errno = errno;
    if (fd >= 0) ::close(fd);
    ::close(in);
    if (!ok) {
        error = kept(std::strerror(saved_errno));
        return false;
    }
    remove_name(copy);
    (void)flush_folder(real.parent_path());
    return true;
}

bool remove_unheld_temporary(const fs::path& path) {
    if (!is_temporary_name(name_of(path)) || is_update_copy_name(name_of(path))) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat held {
    }, now{};
    // A live writer holds its temporary file's lock; a file system without locks keeps them.
    bool removable = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
                     S_ISREG(held.st_mode) && ::lstat(path.c_str(), &now) == 0 &&
                     held.st_dev == now.st_dev && held.st_ino == now.st_ino;
    removable = removable && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removable;
}

bool edit_file::open(const fs::path& path, const write_options& options, std::string& error) {
    asked_ = path;
    options_ = options;
    close();
    fd_ = open_locked(resolve_links(path), O_RDWR, options.lock_wait_ms, error);
    if (fd_ < 0) return false;
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = failure(rw_msg::cannot_open_output, path, errno ? errno : EINVAL);
        close();
        return false;
    }
    length_ = uint64_t(info.st_size);
    return true;
}

bool edit_file::read_at(uint64_t offset, std::span<uint8_t> out, std::string& error) const {
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = failure(k_cannot_read, asked_,
                            got < 0 ? std::string(std::strerror(errno))
                                    : "it ends before offset " + std::to_string(offset + done));
            return false;
        }
        done += size_t(got);
    }
    return true;
}

bool edit_file::write_at(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
    if (!write_all(fd_, bytes, offset, true)) {
        error = failure(k_cannot_write, asked_, errno);
        return false;
    }
    length_ = std::max(length_, offset + bytes.size());
    return true;
}

bool edit_file::flush(std::string& error) {
    if (!options_.durable || safe_file::flush(fd_)) return true;
    error = failure(k_cannot_write, asked_, errno);
    return false;
}

bool edit_file::truncate(uint64_t length, std::string& error) {
    if (::ftruncate(fd_, off_t(length)) != 0) {
        error = failure(k_cannot_write, asked_, errno);
        return false;
    }
    note(io_record::kind::truncate, fd_, {}, {}, length);
    length_ = length;
    return true;
}

void edit_file::close() {
    if (fd_ >= 0) ::close(fd_); // closing drops the flock
    fd_ = -1;
}

bool write_at(const fs::path& asked, uint64_t offset, std::span<const uint8_t> bytes,
              const write_options& options, std::string& error) {
    edit_file file;
    if (!file.open(asked, options, error)) return false;
    if (changed_since(resolve_links(asked), options, asked, error)) return false;
    return file.write_at(offset, bytes, error) && file.flush(error);
}

bool make_folders(const fs::path& root, const fs::path& folder, std::string& error) {
    std::error_code ec;
    if (!root.empty()) fs::create_directories(root, ec);
    int fd = ::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        error = "cannot create folder " + root.string() + ": " +
                (why == ENOTDIR || ec == std::errc::not_a_directory || ec == std::errc::file_exists
                     ? std::string("a file of that name is in the way")
                 : ec ? ec.message()
                      : std::string(std::strerror(why)));
        return false;
    }
    fs::path walked = root;
    for (const fs::path& part : folder) {
        if (part.empty() || part == ".") continue;
        walked /= part;
        if (part == "..") {
            ::close(fd);
            error = "cannot create folder " + walked.string() + ": it leaves the output folder";
            return false;
        }
        if (::mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
            const int why = errno;
            ::close(fd);
            error = "cannot create folder " + walked.string() + ": " + std::strerror(why);
            return false;
        }
        const int next =
            ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int why = errno;
        ::close(fd);
        if (next < 0) {
            struct stat info {};
            const bool link = ::lstat(walked.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
            error = "cannot create folder " + walked.string() + ": " +
                    (link             ? std::string("a symbolic link is in the way")
                     : why == ENOTDIR ? std::string("a file of that name is in the way")
                                      : std::string(std::strerror(why)));
            return false;
        }
        fd = next;
    }
    ::close(fd);
    return true;
}

} // namespace safe_file

} // namespace quillmap
