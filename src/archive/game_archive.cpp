#include "archive/game_archive.h"

#include "archive/archive_messages.h"
#include "archive/archive_space.h"
#include "stream/ascii_lower.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <system_error>

namespace quillmap {

namespace {
constexpr uint8_t k_ver2_magic[4] = {'V', 'E', 'R', '2'};

// One entry: offset in sectors at 0, name at 8; the size words between them differ between the
// kinds, so the caller reads them.
archive_entry read_entry(byte_reader& row, uint64_t size_sectors, uint64_t data_length) {
    archive_entry entry;
    row.seek(0, "archive entry");
    entry.offset = uint64_t(row.u32("archive entry offset")) * k_archive_sector_bytes;
    entry.size = size_sectors * k_archive_sector_bytes;
    row.seek(k_archive_name_offset, "archive entry name");
    const auto name = row.bytes(k_archive_name_bytes, "archive entry name");
    const auto* text = reinterpret_cast<const char*>(name.data());
    entry.name.assign(text, strnlen(text, name.size()));
    entry.inside = fits(entry.offset, entry.size, data_length);
    return entry;
}

std::optional<uint64_t> file_length(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    const auto length = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return length;
}

// At most `bytes` bytes from the start of the file; none when it cannot be read.
std::optional<std::vector<uint8_t>> read_start(const std::filesystem::path& path, uint64_t bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> out(bytes);
    file.read(reinterpret_cast<char*>(out.data()), std::streamsize(bytes));
    out.resize(size_t(file.gcount()));
    return out;
}

bool has_ver2_magic(const std::filesystem::path& path) {
    auto start = read_start(path, sizeof k_ver2_magic);
    return start && start->size() == sizeof k_ver2_magic &&
           std::memcmp(start->data(), k_ver2_magic, sizeof k_ver2_magic) == 0;
}

bool fail(const std::filesystem::path& path, const std::string& cause, std::string& error) {
    error = path.string() + ": " + cause;
    return false;
}
} // namespace

bool same_entries(const std::vector<archive_entry>& a, const std::vector<archive_entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const archive_entry& x, const archive_entry& y) {
                          return x.name == y.name && x.offset == y.offset && x.size == y.size;
                      });
}

bool parse_ver2_table(std::span<const uint8_t> bytes, uint64_t data_length,
                      std::vector<archive_entry>& entries, std::string& error) {
    entries.clear();
    if (bytes.size() < k_ver2_header_bytes ||
        std::memcmp(bytes.data(), k_ver2_magic, sizeof k_ver2_magic) != 0) {
        error = archive_msg::not_archive;
        return false;
    }
    byte_reader header(bytes);
    header.seek(sizeof k_ver2_magic, "archive header");
    const uint32_t count = header.u32("archive entry count");
    if (count > k_archive_max_entries) {
        error = archive_msg::too_many_entries;
        return false;
    }
    // The reader's own words say how far the table falls short.
    header.skip(uint64_t(count) * k_archive_entry_bytes, "archive entry table");
    if (!header.ok()) {
        error = std::string(archive_msg::index_short) + " (" + header.error() + ")";
        return false;
    }
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        byte_reader row(bytes.subspan(k_ver2_header_bytes + size_t(i) * k_archive_entry_bytes,
                                      k_archive_entry_bytes));
        // The streaming size; tools that leave it 0 put the size in the following word.
        row.seek(4, "archive entry size");
        const uint16_t streaming = row.u16("archive entry size");
        const uint16_t archived = row.u16("archive entry size");
        entries.push_back(read_entry(row, streaming != 0 ? streaming : archived, data_length));
    }
    mark_overlapping_entries(entries);
    return true;
}

bool parse_dir_table(std::span<const uint8_t> bytes, uint64_t data_length,
                     std::vector<archive_entry>& entries, std::string& error) {
    entries.clear();
    if (bytes.size() % k_archive_entry_bytes != 0) {
        error = archive_msg::dir_length;
        return false;
    }
    const size_t count = bytes.size() / k_archive_entry_bytes;
    if (count > k_archive_max_entries) {
        error = archive_msg::too_many_entries;
        return false;
    }
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        byte_reader row(bytes.subspan(i * k_archive_entry_bytes, k_archive_entry_bytes));
        row.seek(4, "archive entry size");
        const uint32_t sectors = row.u32("archive entry size");
        entries.push_back(read_entry(row, sectors, data_length));
    }
    mark_overlapping_entries(entries);
    return true;
}

std::optional<std::filesystem::path> paired_archive_file(const std::filesystem::path& path) {
    const std::string extension = ascii_lower(path.extension().string());
    const char* wanted = extension == ".dir" ? ".img" : extension == ".img" ? ".dir" : nullptr;
    if (!wanted) return std::nullopt;
    // Game folders mix cases (GTA3.IMG beside gta3.dir): match the stem exactly, the extension
    // in any case, and take the first in name order so the choice does not depend on the disk.
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::vector<std::filesystem::path> matches;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const auto& candidate = it->path();
        if (candidate.stem() == path.stem() &&
            ascii_lower(candidate.extension().string()) == wanted && it->is_regular_file(ec))
            matches.push_back(candidate);
    }
    if (matches.empty()) return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

bool is_game_archive(const std::filesystem::path& path) {
    if (!file_length(path)) return false;
    return has_ver2_magic(path) || paired_archive_file(path).has_value();
}

bool open_game_archive(const std::filesystem::path& path, game_archive& archive,
                       std::string& error) {
    archive = {};
    const auto length = file_length(path);
    if (!length) return fail(path, archive_msg::cant_open, error);

    if (has_ver2_magic(path)) {
        archive.kind = archive_kind::ver2;
        archive.index_path = archive.data_path = path;
        archive.data_length = *length;
        auto header = read_start(path, k_ver2_header_bytes);
        if (!header) return fail(path, archive_msg::cant_open, error);
        // Read no more of the table than the count asks for and the file holds.
        const uint64_t count = std::min<uint64_t>(u32_at(*header, sizeof k_ver2_magic).value_or(0),
                                                  k_archive_max_entries + 1);
        const uint64_t wanted =
            std::min<uint64_t>(k_ver2_header_bytes + count * k_archive_entry_bytes, *length);
        auto table = read_start(path, wanted);
        if (!table) return fail(path, archive_msg::cant_open, error);
        std::string cause;
        if (!parse_ver2_table(*table, archive.data_length, archive.entries, cause))
            return fail(path, cause, error);
        return true;
    }

    const auto pair = paired_archive_file(path);
    const bool is_dir = ascii_lower(path.extension().string()) == ".dir";
    if (!pair) return fail(path, is_dir ? archive_msg::no_img : archive_msg::not_archive, error);
    archive.kind = archive_kind::dir_img;
    archive.index_path = is_dir ? path : *pair;
    archive.data_path = is_dir ? *pair : path;
    const auto dir_length = file_length(archive.index_path);
    const auto data_length = file_length(archive.data_path);
    if (!dir_length) return fail(archive.index_path, archive_msg::cant_open, error);
    if (!data_length) return fail(archive.data_path, archive_msg::cant_open, error);
    archive.data_length = *data_length;
    // The cap keeps a huge .dir from being read whole; parse refuses it by count.
    const uint64_t wanted = std::min<uint64_t>(*dir_length, (uint64_t(k_archive_max_entries) + 1) *
                                                                k_archive_entry_bytes);
    auto table = read_start(archive.index_path, wanted);
    if (!table || table->size() != wanted)
        return fail(archive.index_path, archive_msg::cant_open, error);
    std::string cause;
    if (!parse_dir_table(*table, archive.data_length, archive.entries, cause))
        return fail(archive.index_path, cause, error);
    return true;
}

} // namespace quillmap
