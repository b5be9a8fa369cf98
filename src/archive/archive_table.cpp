#include "archive/archive_table.h"

#include "archive/archive_messages.h"
#include "stream/ascii_lower.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace quillmap {

archive_row encode_entry_row(const archive_entry& entry, archive_kind kind) {
    archive_row row{};
    store_u32(row.data(), uint32_t(entry.offset / k_archive_sector_bytes));
    const uint64_t sectors = sectors_for(entry.size);
    if (kind == archive_kind::ver2)
        store_u16(row.data() + 4, uint16_t(sectors));
    else
        store_u32(row.data() + 4, uint32_t(sectors));
    std::memcpy(row.data() + k_archive_name_offset, entry.name.data(),
                std::min(entry.name.size(), k_archive_name_bytes));
    return row;
}

std::vector<uint8_t> encode_dir_table(std::span<const archive_entry> entries) {
    std::vector<uint8_t> out;
    out.reserve(entries.size() * k_archive_entry_bytes);
    for (const auto& entry : entries) {
        const archive_row row = encode_entry_row(entry, archive_kind::dir_img);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> encode_ver2_count_and_rows(std::span<const archive_entry> entries) {
    std::vector<uint8_t> out(4);
    store_u32(out.data(), uint32_t(entries.size()));
    out.reserve(4 + entries.size() * k_archive_entry_bytes);
    for (const auto& entry : entries) {
        const archive_row row = encode_entry_row(entry, archive_kind::ver2);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

uint64_t ver2_table_sectors(size_t count) {
    return sectors_for(ver2_row_offset(count));
}

std::optional<std::string> entry_name_problem(std::span<const archive_entry> entries,
                                              std::string_view name, std::optional<size_t> except) {
    if (name.empty()) return std::string(archive_msg::name_empty);
    // The name field always keeps a closing zero byte.
    if (name.size() >= k_archive_name_bytes) return std::string(archive_msg::name_too_long);
    // A name becomes a file name when extracted: path separators and control bytes have no
    // place in it.
    for (const char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return std::string(archive_msg::name_bad_character);
    const std::string wanted = ascii_lower(std::string(name));
    for (size_t i = 0; i < entries.size(); ++i)
        if (i != except && ascii_lower(entries[i].name) == wanted)
            return std::string(archive_msg::name_taken) + " \"" + entries[i].name + "\"";
    return std::nullopt;
}

std::optional<size_t> find_entry(const game_archive& archive, std::string_view which,
                                 std::string& error) {
    if (which.size() > 1 && which[0] == '#') {
        size_t position = 0;
        const auto* end = which.data() + which.size();
        const auto parsed = std::from_chars(which.data() + 1, end, position);
        if (parsed.ec == std::errc() && parsed.ptr == end && position < archive.entries.size())
            return position;
        error = archive.index_path.string() + " " + archive_msg::no_such_position + " " +
                std::string(which.substr(1));
        return std::nullopt;
    }
    const std::string wanted = ascii_lower(std::string(which));
    for (size_t i = 0; i < archive.entries.size(); ++i)
        if (ascii_lower(archive.entries[i].name) == wanted) return i;
    error = archive.index_path.string() + " " + archive_msg::no_such_entry + " \"" +
            std::string(which) + "\"";
    return std::nullopt;
}

} // namespace quillmap
