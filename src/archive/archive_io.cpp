#include "archive/archive_io.h"

#include "archive/archive_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmap {

archive_source::~archive_source() {
    if (fd_ >= 0) ::close(fd_);
}

bool archive_source::open(const std::filesystem::path& path, std::string& error) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path.string() + ": " + archive_msg::cant_open + " (" +
                std::strerror(fd_ < 0 || errno ? errno : EINVAL) + ")";
        return false;
    }
    length_ = uint64_t(info.st_size);
    return true;
}

bool archive_source::read_at(uint64_t offset, std::span<uint8_t> out, std::string& error) const {
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error =
                path_.string() + ": " + archive_msg::cant_read + " (" + std::strerror(errno) + ")";
            return false;
        }
        if (got == 0) {
            error = path_.string() + ": " + archive_msg::entry_short;
            return false;
        }
        done += size_t(got);
    }
    return true;
}

range_reader reader_of(const archive_source& file) {
    return [&file](uint64_t offset, std::span<uint8_t> out, std::string& error) {
        return file.read_at(offset, out, error);
    };
}

range_reader reader_of(const safe_file::edit_file& file) {
    return [&file](uint64_t offset, std::span<uint8_t> out, std::string& error) {
        return file.read_at(offset, out, error);
    };
}

range_writer writer_of(safe_file::edit_file& file) {
    return [&file](uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
        return file.write_at(offset, bytes, error);
    };
}

range_writer writer_of(safe_file::partial_file& file) {
    return [&file](uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
        return file.write_at(offset, bytes, error);
    };
}

bool copy_range(const range_reader& read, uint64_t offset, uint64_t size, const range_writer& write,
                uint64_t to_offset, std::string& error) {
    constexpr uint64_t k_piece = 1u << 20;
    std::vector<uint8_t> buffer(size_t(std::min(size, k_piece)));
    for (uint64_t done = 0; done < size;) {
        const size_t piece = size_t(std::min(size - done, k_piece));
        const std::span<uint8_t> part(buffer.data(), piece);
        if (!read(offset + done, part, error)) return false;
        if (!write(to_offset + done, part, error)) return false;
        done += piece;
    }
    return true;
}

safe_file::write_options archive_edit_options() {
    safe_file::write_options options;
    options.lock_wait_ms = safe_file::current_policy().lock_wait_ms;
    options.durable = true;
    return options;
}

} // namespace quillmap
