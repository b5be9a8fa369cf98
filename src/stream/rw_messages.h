#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quillmap {

// Messages of the chunk stream, shown to the user as they stand.
namespace rw_msg {
inline constexpr const char* cant_open = "Cant open RW stream file";
inline constexpr const char* wrong_root = "Wrong root section ID.";
inline constexpr const char* not_valid = "It's not a valid RW file";
inline constexpr const char* cannot_open_output = "Cannot open output file.";
inline constexpr const char* wrong_section = "Wrong section ID.";
inline constexpr const char* not_opened = "RW Stream is not opened.";

// Details added after those texts: what is wrong with the file, and where.
inline std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}
inline std::string too_short(uint64_t bytes) {
    return "not a RenderWare file: it holds only " + std::to_string(bytes) + " bytes";
}
inline std::string starts_with(const uint8_t* first4) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", first4[0], first4[1], first4[2],
                  first4[3]);
    return std::string("not a RenderWare file: it starts with ") + text;
}
inline std::string past_end_of_file(uint32_t id, uint64_t offset) {
    return "chunk " + hex(id) + " at offset " + std::to_string(offset) +
           " runs past the end of the file";
}
inline std::string past_end_of_parent(uint32_t id, uint64_t offset, uint32_t parent_id) {
    return "chunk " + hex(id) + " at offset " + std::to_string(offset) +
           " runs past the end of its parent chunk " + hex(parent_id);
}
inline std::string header_cut(uint64_t offset, bool inside_parent) {
    return "the chunk header at offset " + std::to_string(offset) + " runs past the end of " +
           (inside_parent ? "its parent chunk" : "the file");
}
inline std::string nested_too_deep(uint64_t offset) {
    return "chunks nest more than 32 deep at offset " + std::to_string(offset);
}
// Saving at an offset inside a larger file.
inline std::string does_not_fit(uint64_t needed, uint64_t room, uint64_t offset) {
    return "The dictionary now needs " + std::to_string(needed) + " bytes but only " +
           std::to_string(room) + " bytes at offset " + std::to_string(offset) +
           " are its own; writing it there would overwrite what follows. Nothing was written.";
}
inline std::string would_replace_container(const std::string& file, uint64_t offset) {
    return "The dictionary was read from offset " + std::to_string(offset) + " of " + file +
           "; writing it to that file at offset 0 would replace everything else the file "
           "holds. Nothing was written; save it in place (--in-place on the command line) or "
           "to another file.";
}
inline std::string no_tree_at(uint64_t offset) {
    return "There is no dictionary at offset " + std::to_string(offset) +
           " of the output file to write over. Nothing was written.";
}

// A bounded read or write that would pass the end of its buffer.
inline std::string read_past_end(const char* what, uint64_t offset, uint64_t wanted,
                                 uint64_t left) {
    if (wanted == 0)
        return std::string(what) + ": offset " + std::to_string(offset) +
               " lies past the end of the data";
    return std::string(what) + " at offset " + std::to_string(offset) + " needs " +
           std::to_string(wanted) + " bytes, only " + std::to_string(left) + " remain";
}
inline std::string write_past_end(uint64_t offset, uint64_t wanted, uint64_t size) {
    return "writing " + std::to_string(wanted) + " bytes at offset " + std::to_string(offset) +
           " would pass the end of a " + std::to_string(size) + "-byte buffer";
}
} // namespace rw_msg

} // namespace quillmap
