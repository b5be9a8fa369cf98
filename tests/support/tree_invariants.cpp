#include "tree_invariants.h"

#include <functional>

namespace quillmap {

namespace {
constexpr uint32_t k_header = 12;

std::string check_chunk(const rw_chunk& chunk, const std::string& where) {
    if (!chunk.children.empty()) {
        uint64_t total = 0;
        for (size_t i = 0; i < chunk.children.size(); ++i) {
            const rw_chunk* child = chunk.children[i].get();
            if (!child) return where + ": empty child slot " + std::to_string(i);
            total += uint64_t(child->size) + k_header;
            std::string error = check_chunk(*child, where + "/" + std::to_string(i));
            if (!error.empty()) return error;
        }
        if (total != chunk.size)
            return where + ": size " + std::to_string(chunk.size) + " but children need " +
                   std::to_string(total);
        return {};
    }
    if (chunk.data) {
        if (chunk.data->size() < chunk.size)
            return where + ": data holds " + std::to_string(chunk.data->size()) + " of " +
                   std::to_string(chunk.size) + " bytes";
    } else if (chunk.data_offset == 0 && chunk.size != 0 && chunk.id != 0x03 && chunk.id != 0x15 &&
               chunk.id != 0x16) {
        return where + ": leaf without data and without a file offset";
    }
    return {};
}
} // namespace

std::string dictionary_invariant_error(const rw_stream& dictionary) {
    const rw_chunk* root = dictionary.root.get();
    if (!root) return "no tree";
    if (root->id != 0x16) return "root is not a Texture Dictionary";
    std::string error = check_chunk(*root, "root");
    if (!error.empty()) return error;
    const rw_chunk* header = root->child(0);
    if (!header || header->id != 0x01 || !header->data || header->data->empty())
        return "the dictionary Struct is missing or not loaded";
    uint32_t natives = 0;
    for (const auto& child : root->children)
        natives += child->id == 0x15 ? 1 : 0;
    if ((*header->data)[0] != natives)
        return "count byte " + std::to_string((*header->data)[0]) + " but " +
               std::to_string(natives) + " Texture Natives";
    if (root->children.back()->id != 0x03) return "the Extension is not last";
    for (uint32_t i = 1; i + 1 < root->child_count(); ++i)
        if (root->child(i)->id != 0x15)
            return "child " + std::to_string(i) + " is no Texture Native";
    return {};
}

std::vector<file_chunk_header> file_chunk_headers(const std::vector<uint8_t>& bytes) {
    std::vector<file_chunk_header> out;
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    bool ok = true;
    std::function<void(size_t, size_t, uint32_t, int)> walk = [&](size_t at, size_t end,
                                                                  uint32_t parent_id, int depth) {
        uint32_t index = 0;
        while (ok && at < end) {
            if (end - at < k_header || depth > 16) {
                ok = false;
                return;
            }
            file_chunk_header h{u32(at), u32(at + 4), u32(at + 8)};
            out.push_back(h);
            const size_t body = at + k_header;
            if (h.size > end - body) {
                ok = false;
                return;
            }
            const bool container = (index == 3 && parent_id == 0x15) ||
                                   (h.id != 0x01 && h.id != 0x02 && h.id != 0x110);
            if (container) walk(body, body + h.size, h.id, depth + 1);
            at = body + h.size;
            ++index;
        }
    };
    if (bytes.size() >= k_header)
        walk(0, k_header + u32(4) <= bytes.size() ? k_header + u32(4) : 0, 0, 0);
    if (!ok || out.empty()) out.clear();
    return out;
}

} // namespace quillmap
