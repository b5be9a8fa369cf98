#include "platform/profile.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <system_error>

namespace quillmap {

namespace {

struct profile_text {
    std::vector<std::string> lines; // without their line ends
    std::string eol = "\n";
    bool readable = false;
};

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

profile_text load(const std::filesystem::path& file) {
    profile_text text;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > k_profile_max_bytes) return text;
    std::ifstream in(file, std::ios::binary);
    if (!in) return text;
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    text.readable = true;
    if (bytes.find("\r\n") != std::string::npos) text.eol = "\r\n";
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end;
        // Every carriage return before the line end goes: one left behind would turn into a
        // CRLF when the file is written back and change what the line means on the next read.
        while (stop > start && bytes[stop - 1] == '\r')
            --stop;
        text.lines.emplace_back(bytes, start, stop - start);
        start = end + 1;
    }
    return text;
}

// The section name of a header line, or false when the line is not a header.
bool section_header(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return false;
    line.remove_prefix(1);
    const size_t close = line.find(']');
    name = trim(close == std::string_view::npos ? line : line.substr(0, close));
    return true;
}

bool is_entry(std::string_view line) {
    line = trim(line);
    return !line.empty() && line.front() != ';';
}

std::string_view entry_key(std::string_view line) {
    line = trim(line);
    const size_t eq = line.find('=');
    return trim(eq == std::string_view::npos ? line : line.substr(0, eq));
}

std::string_view entry_value(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// Index range [first, last) of the first section's body, or false when it is missing.
bool find_section(const profile_text& text, std::string_view section, size_t& first, size_t& last) {
    for (size_t i = 0; i < text.lines.size(); ++i) {
        std::string_view name;
        if (!section_header(text.lines[i], name) || !same_name(name, section)) continue;
        first = i + 1;
        last = first;
        while (last < text.lines.size() && !section_header(text.lines[last], name))
            ++last;
        return true;
    }
    return false;
}

bool find_key(const profile_text& text, size_t first, size_t last, std::string_view key,
              size_t& index) {
    for (size_t i = first; i < last; ++i) {
        if (is_entry(text.lines[i]) && same_name(entry_key(text.lines[i]), key)) {
            index = i;
            return true;
        }
    }
    return false;
}

// The raw value, or false when the file, section or key is missing.
bool lookup(const std::filesystem::path& file, std::string_view section, std::string_view key,
            std::string& value) {
    const profile_text text = load(file);
    size_t first = 0, last = 0, index = 0;
    if (!text.readable || !find_section(text, section, first, last) ||
        !find_key(text, first, last, key, index))
        return false;
    value = std::string(entry_value(text.lines[index]));
    return true;
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

std::string profile_read_string(const std::filesystem::path& file, std::string_view section,
                                std::string_view key, std::string_view fallback,
                                size_t buffer_chars) {
    std::string value;
    if (!lookup(file, section, key, value) || value.empty()) value = std::string(fallback);
    const size_t limit = buffer_chars == 0 ? 0 : buffer_chars - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

int32_t profile_read_int(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, int32_t fallback) {
    std::string value;
    if (!lookup(file, section, key, value) || value.empty()) return fallback;
    size_t pos = 0;
    bool negative = false;
    if (value[pos] == '-' || value[pos] == '+') negative = value[pos++] == '-';
    int64_t number = 0;
    // Saturates instead of wrapping, so a long digit run cannot overflow.
    constexpr int64_t cap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; pos < value.size() && value[pos] >= '0' && value[pos] <= '9'; ++pos)
        number = std::min(cap, number * 10 + (value[pos] - '0'));
    if (negative) number = -number;
    number = std::clamp<int64_t>(number, std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(number);
}

std::string profile_read_section(const std::filesystem::path& file, std::string_view section,
                                 size_t buffer_chars) {
    std::string block;
    const profile_text text = load(file);
    size_t first = 0, last = 0;
    if (text.readable && find_section(text, section, first, last)) {
        for (size_t i = first; i < last; ++i) {
            if (!is_entry(text.lines[i])) continue;
            std::string entry(trim(text.lines[i]));
            // The entry, its NUL and the closing NUL must all fit in the block.
            if (block.size() + entry.size() + 2 > buffer_chars) break;
            block += entry;
            block += '\0';
        }
    }
    block += '\0';
    return block;
}

bool profile_write_string(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value) {
    if (section.empty() || key.empty() || has_line_break(section) || has_line_break(key) ||
        key.find('=') != std::string_view::npos || section.find(']') != std::string_view::npos)
        return false;
    std::string clean(value);
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    std::replace(clean.begin(), clean.end(), '\n', ' ');

    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    profile_text text = load(file);
    if (exists && !text.readable) return false; // never replace a file we could not read
    const std::string line = std::string(key) + "=" + clean;
    size_t first = 0, last = 0, index = 0;
    if (find_section(text, section, first, last)) {
        if (find_key(text, first, last, key, index)) {
            text.lines[index] = line;
        } else {
            size_t at = last;
            while (at > first && !is_entry(text.lines[at - 1]))
                --at;
            text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
        }
    } else {
        text.lines.push_back("[" + std::string(section) + "]");
        text.lines.push_back(line);
    }

    std::filesystem::path temp = file;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const auto& l : text.lines)
            out << l << text.eol;
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temp, error);
            return false;
        }
    }
    std::filesystem::rename(temp, file, error);
    if (error) {
        std::filesystem::remove(temp, error);
        return false;
    }
    return true;
}

} // namespace quillmap
