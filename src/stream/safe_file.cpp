#include "stream/safe_file.h"

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
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace safe_file {

namespace {

io_hook g_hook = nullptr;
std::atomic<uint64_t> g_steps{0};

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
        done += size_t(n);
    }
    return true;
}

bool flush(int fd) {
    if (hook_fails(io_step::flush)) return false;
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void flush_folder(const fs::path& folder) {
    // A folder that cannot be opened or flushed (some file systems refuse) does not undo a
    // rename that already happened; the data itself was flushed.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)flush(fd);
    ::close(fd);
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

// A fresh temporary file beside `target`; -1 with errno set on failure.
int make_temporary(const fs::path& target, fs::path& temp) {
    const fs::path folder = target.parent_path();
    std::string name = "." + name_of(target) + ".quillmap-XXXXXX";
    std::string pattern = (folder.empty() ? fs::path(name) : folder / name).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) temp = pattern;
    return fd;
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

bool is_temporary_name(std::string_view name) {
    constexpr std::string_view legacy = ".quillmap-save";
    if (name.size() > legacy.size() && name.substr(name.size() - legacy.size()) == legacy)
        return true;
    constexpr std::string_view marker = ".quillmap-";
    if (name.size() < 1 + marker.size() + 6 || name[0] != '.') return false;
    return name.substr(name.size() - 6 - marker.size(), marker.size()) == marker;
}

bool file_lock::acquire(const fs::path& path, int wait_ms, std::string& error) {
    release();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = failure(rw_msg::cannot_open_output, path, errno);
            return false;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                // A file system without locks: go on without one rather than refuse every save.
                fd_ = fd;
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline || stop_request::requested()) {
                ::close(fd);
                error = std::string("Cannot open output file. (") + name_of(path) +
                        ": another program is saving into it; try again when it has finished)";
                return false;
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
        fd_ = fd;
        return true;
    }
}

void file_lock::release() {
    if (fd_ >= 0) ::close(fd_); // closing drops the flock
    fd_ = -1;
}

namespace {

// Updates a hard-linked file through its own inode, in the order described in the header.
bool update_in_place(const fs::path& target, std::span<const uint8_t> bytes,
                     const write_options& options, std::string& error) {
    fs::path temp;
    const int copy = make_temporary(target, temp);
    if (copy < 0) {
        error = failure(rw_msg::cannot_open_output, temp.empty() ? target : temp, errno);
        return false;
    }
    bool ok = write_all(copy, bytes, 0, false) && (!options.durable || flush(copy));
    int saved_errno = errno;
    ::close(copy);
    if (!ok) {
        ::unlink(temp.c_str());
        error = failure(k_cannot_write, target, saved_errno);
        return false;
    }
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    size_t written = 0;
    ok = fd >= 0 && write_all(fd, bytes, 0, true, &written) &&
         ::ftruncate(fd, off_t(bytes.size())) == 0 && (!options.durable || flush(fd));
    saved_errno = errno;
    if (fd >= 0) ::close(fd);
    if (!ok && written == 0) {
        // The target was not touched: it still holds the old bytes, and no copy is needed.
        ::unlink(temp.c_str());
        error = failure(k_cannot_write, target, saved_errno);
        return false;
    }
    if (!ok) {
        // The complete new bytes stay in the temporary file; say where.
        error = failure(k_cannot_write, target,
                        std::string(std::strerror(saved_errno)) + "; the new content is kept in " +
                            name_of(temp));
        return false;
    }
    ::unlink(temp.c_str());
    return true;
}

} // namespace

bool write_file(const fs::path& asked, std::span<const uint8_t> bytes, const write_options& options,
                std::string& error) {
    struct stat link_info {};
    const bool named_exists = ::lstat(asked.c_str(), &link_info) == 0;
    if (named_exists && S_ISLNK(link_info.st_mode) && !options.follow_links) {
        error = failure(rw_msg::cannot_open_output, asked,
                        "a symbolic link is in the way; Quillmap does not write through links "
                        "in an output folder");
        return false;
    }
    const fs::path target = options.follow_links ? resolve_links(asked) : asked;
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        error = failure(rw_msg::cannot_open_output, asked, EISDIR);
        return false;
    }
    if (exists && !options.replace) {
        error = failure(rw_msg::cannot_open_output, asked, EEXIST);
        return false;
    }
    file_lock lock;
    if (exists && S_ISREG(info.st_mode)) {
        if (!lock.acquire(target, options.lock_wait_ms, error)) return false;
        if (changed_since(target, options, asked, error)) return false;
        if (::stat(target.c_str(), &info) != 0) info = {};
        if (info.st_nlink > 1) return update_in_place(target, bytes, options, error);
    }

    fs::path temp;
    const int fd = make_temporary(target, temp);
    if (fd < 0) {
        error = failure(rw_msg::cannot_open_output, asked, errno);
        return false;
    }
    // Keep the original's mode and owner; a new file gets what the umask allows.
    bool ok = ::fchmod(fd, exists ? (info.st_mode & 07777) : creation_mode()) == 0;
    if (ok && exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
        (void)!::fchown(fd, info.st_uid, info.st_gid); // refused unless privileged: keep ours
    ok = ok && write_all(fd, bytes, 0, false) && (!options.durable || flush(fd));
    int saved_errno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved_errno = errno;
    }
    if (ok) {
        if (hook_fails(io_step::rename)) {
            ok = false;
        } else if (options.replace) {
            ok = ::rename(temp.c_str(), target.c_str()) == 0;
        } else {
            // link() refuses an existing name, so a file that appeared meanwhile is kept.
            ok = ::link(temp.c_str(), target.c_str()) == 0;
        }
        if (!ok) saved_errno = errno;
        if (ok && !options.replace) ::unlink(temp.c_str());
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = failure(saved_errno == EEXIST ? rw_msg::cannot_open_output : k_cannot_write, asked,
                        saved_errno);
        return false;
    }
    if (options.durable) flush_folder(target.parent_path());
    return true;
}

bool write_at(const fs::path& asked, uint64_t offset, std::span<const uint8_t> bytes,
              const write_options& options, std::string& error) {
    const fs::path target = resolve_links(asked);
    file_lock lock;
    if (!lock.acquire(target, options.lock_wait_ms, error)) return false;
    if (changed_since(target, options, asked, error)) return false;
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = failure(rw_msg::cannot_open_output, asked, errno);
        return false;
    }
    const bool ok = write_all(fd, bytes, offset, true) && (!options.durable || flush(fd));
    const int saved_errno = errno;
    ::close(fd);
    if (!ok) {
        error = failure(k_cannot_write, asked, saved_errno);
        return false;
    }
    return true;
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
