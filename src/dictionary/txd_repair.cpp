#include "dictionary/txd_repair.h"

#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <fstream>

namespace quillmap {

root_size_quirk find_root_size_quirk(const std::filesystem::path& path, uint32_t offset) {
    constexpr auto none = root_size_quirk::none;
    std::ifstream file(path, std::ios::binary);
    if (!file) return none;
    file.seekg(0, std::ios::end);
    const auto end = file.tellg();
    if (end < 0) return none;
    const uint64_t length = static_cast<uint64_t>(end);

    auto header_at = [&](uint64_t position, uint32_t& id, uint32_t& size) {
        uint8_t bytes[k_chunk_header_bytes];
        if (!fits(position, sizeof bytes, length)) return false;
        file.clear();
        file.seekg(static_cast<std::streamoff>(position));
        if (!file.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return false;
        byte_reader header(bytes, position);
        id = header.u32("chunk id");
        size = header.u32("chunk size");
        return true;
    };
    uint32_t id = 0, size = 0;
    if (!header_at(offset, id, size) || id != rw_id_texture_dictionary) return none;
    if (uint64_t(offset) + k_chunk_header_bytes + size != length + k_chunk_header_bytes)
        return none;
    // Each step moves at least 12 bytes forward, so the walk ends.
    uint64_t position = uint64_t(offset) + k_chunk_header_bytes;
    uint32_t last_id = 0;
    while (position < length) {
        uint32_t child_id = 0, child_size = 0;
        if (!header_at(position, child_id, child_size)) return none;
        position += k_chunk_header_bytes + uint64_t(child_size);
        last_id = child_id;
    }
    if (position != length) return none;
    return last_id == rw_id_extension ? root_size_quirk::counts_own_header
                                      : root_size_quirk::lacks_closing_extension;
}

std::unique_ptr<rw_chunk> make_missing_extension(uint32_t version) {
    auto extension = std::make_unique<rw_chunk>();
    extension->id = rw_id_extension;
    extension->version = version;
    return extension;
}

} // namespace quillmap
