#include "archive/archive_io.h"

#include "archive/archive_messages.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
std::atomic<io_fault> g_fault{io_fault::none};
std::atomic<uint64_t> g_fault_at{0};
std::atomic<uint64_t> g_steps{0};
std::atomic<bool> g_stopped{false};

// Counts one step; false (with the injected cause) when the fault strikes it.
bool take_step(const std::filesystem::path& path, std::string& error) {
    if (g_stopped.load()) {
        error = path.string() + ": " + archive_msg::stopped;
        return false;
    }
    const uint64_t step = ++g_steps;
    const io_fault fault = g_fault.load();
    if (fault == io_fault::none || step != g_fault_at.load()) return true;
    if (fault == io_fault::stop) {
        g_stopped = true;
        error = path.string() + ": " + archive_msg::stopped;
    } else {
        error =
            path.string() + ": " + archive_msg::write_failed + " (" + std::strerror(ENOSPC) + ")";
    }
    return false;
}

bool system_error(const std::filesystem::path& path, const char* what, std::string& error) {
    error = path.string() + ": " + what + " (" + std::strerror(errno) + ")";
    return false;
}

// The process's umask (read by setting it and back: there is no plain getter).
mode_t process_umask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

bool sync_folder(const std::filesystem::path& file, std::string& error) {
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    if (!take_step(folder, error)) return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return system_error(folder, archive_msg::sync_failed, error);
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok || system_error(folder, archive_msg::sync_failed, error);
}
} // namespace

void set_archive_io_fault(io_fault fault, uint64_t at) {
    g_fault = fault;
    g_fault_at = at;
    g_steps = 0;
    g_stopped = false;
}

uint64_t archive_io_steps() {
    return g_steps.load();
}

archive_io_file::archive_io_file(archive_io_file&& other) noexcept
    : fd_(other.fd_), length_(other.length_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

archive_io_file& archive_io_file::operator=(archive_io_file&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        length_ = other.length_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

archive_io_file::~archive_io_file() {
    if (fd_ >= 0) ::close(fd_);
}

bool archive_io_file::open(const std::filesystem::path& path, bool for_edit, std::string& error) {
    path_ = path;
    fd_ = ::open(path.c_str(), (for_edit ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ < 0)
        return system_error(path, for_edit ? archive_msg::cant_edit : archive_msg::cant_open,
                            error);
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        errno = errno ? errno : EINVAL;
        return system_error(path, archive_msg::cant_open, error);
    }
    length_ = uint64_t(info.st_size);
    if (for_edit && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error = path.string() + ": " + archive_msg::locked;
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool archive_io_file::read_at(uint64_t offset, std::span<uint8_t> out, std::string& error) {
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return system_error(path_, archive_msg::cant_read, error);
        if (got == 0) {
            error = path_.string() + ": " + archive_msg::entry_short;
            return false;
        }
        done += size_t(got);
    }
    return true;
}

bool archive_io_file::write_at(uint64_t offset, std::span<const uint8_t> bytes,
                               std::string& error) {
    if (!take_step(path_, error)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return system_error(path_, archive_msg::write_failed, error);
        done += size_t(put);
    }
    length_ = std::max(length_, offset + bytes.size());
    return true;
}

bool archive_io_file::sync(std::string& error) {
    if (!take_step(path_, error)) return false;
    return ::fsync(fd_) == 0 || system_error(path_, archive_msg::sync_failed, error);
}

bool archive_io_file::truncate(uint64_t length, std::string& error) {
    if (g_stopped.load()) return false;
    if (::ftruncate(fd_, off_t(length)) != 0)
        return system_error(path_, archive_msg::write_failed, error);
    length_ = length;
    return true;
}

bool copy_range(archive_io_file& from, uint64_t offset, uint64_t size, archive_io_file& to,
                uint64_t to_offset, std::string& error) {
    constexpr uint64_t k_piece = 1u << 20;
    std::vector<uint8_t> buffer(size_t(std::min(size, k_piece)));
    for (uint64_t done = 0; done < size;) {
        const size_t piece = size_t(std::min(size - done, k_piece));
        const std::span<uint8_t> part(buffer.data(), piece);
        if (!from.read_at(offset + done, part, error)) return false;
        if (!to.write_at(to_offset + done, part, error)) return false;
        done += piece;
    }
    return true;
}

// A link to the archive is written through: the file it points to is replaced, beside itself,
// and the link stays a link.
std::filesystem::path through_links(const std::filesystem::path& target) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(target, ec)) return target;
    const auto real = std::filesystem::canonical(target, ec);
    return ec ? target : real;
}

bool create_temp_beside(const std::filesystem::path& link, archive_io_file& file,
                        std::filesystem::path& temp, std::string& error) {
    const auto target = through_links(link);
    std::string pattern = target.string() + ".quillmap-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemp opens with O_EXCL: never an existing file, never through a planted link.
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return system_error(target, archive_msg::cant_create, error);
    ::close(fd);
    temp = name.data();
    if (!file.open(temp, /*for_edit=*/true, error)) {
        discard_temp(temp);
        return false;
    }
    // A replaced file keeps the mode of the original (mkstemp makes 0600).
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0)
        ::chmod(temp.c_str(), info.st_mode & 07777);
    else
        ::chmod(temp.c_str(), 0666 & ~process_umask());
    return true;
}

bool commit_temp(archive_io_file& file, const std::filesystem::path& temp,
                 const std::filesystem::path& link, std::string& error, bool durable,
                 bool* renamed) {
    const auto target = through_links(link);
    if (renamed) *renamed = false;
    if (durable && !file.sync(error)) {
        discard_temp(temp);
        return false;
    }
    file = archive_io_file();
    if (!take_step(target, error)) {
        discard_temp(temp);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        system_error(target, archive_msg::cant_create, error);
        discard_temp(temp);
        return false;
    }
    if (renamed) *renamed = true;
    return !durable || sync_folder(target, error);
}

void discard_temp(const std::filesystem::path& temp) {
    if (g_stopped.load()) return; // a process that died leaves its temporary behind
    ::unlink(temp.c_str());
}

bool replace_file_safely(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::string& error, bool* renamed) {
    if (renamed) *renamed = false;
    archive_io_file file;
    std::filesystem::path temp;
    if (!create_temp_beside(target, file, temp, error)) return false;
    if (!file.write_at(0, bytes, error)) {
        discard_temp(temp);
        return false;
    }
    return commit_temp(file, temp, target, error, /*durable=*/true, renamed);
}
