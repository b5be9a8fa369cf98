// Structural edits of the dictionary tree: rename, delete, reorder, append. Each keeps the size
// fields of every changed chunk and of its ancestors exact, because saving writes them as they
// stand.
#include "dictionary/ps2_txd.h"

#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "stream/rw_ids.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillmap {

namespace {
constexpr uint64_t k_max_chunk_size = std::numeric_limits<uint32_t>::max();

// Writes the texture count into the low 16 bits of the dictionary Struct's first word; the high
// 16 bits are the device id (6 in PS2 files) and stay as they are. A Struct shorter than that
// (only hostile files have one) keeps its length and gets the bytes that fit.
void write_count_word(rw_chunk* header, uint32_t count) {
    if (!header || !header->data) return;
    uint8_t half[2];
    store_u16(half, static_cast<uint16_t>(count));
    const size_t n = std::min<size_t>({2, header->data->size(), header->size});
    std::memcpy(header->data.edit()->data(), half, n);
}
} // namespace

bool ps2_txd::rename_texture(uint32_t t, const std::string& name, name_kind which) {
    if (!texture_exists(t)) return false;
    rw_chunk* texture = texture_chunk(t);
    rw_chunk* string = texture->child(which == name_kind::texture ? 1 : 2);
    // Other platforms keep their names in the texture's Struct; never overwrite a chunk that is
    // not the name String.
    if (!string || string->id != rw_id_string || !string->children.empty()) {
        last_error = txd_msg::name_not_string;
        return false;
    }
    const std::string text = name.substr(0, name.find('\0'));
    // As the game's files store names (and as new textures get them): the text, its NUL and
    // zeros up to a multiple of 4, so every later chunk stays on a 4-byte boundary.
    const uint64_t length = (uint64_t(text.size()) + 4) & ~uint64_t(3);
    const int64_t delta = int64_t(length) - int64_t(string->size);
    if (int64_t(texture->size) + delta > int64_t(k_max_chunk_size) ||
        int64_t(root->size) + delta > int64_t(k_max_chunk_size)) {
        last_error = txd_msg::dictionary_too_large;
        return false;
    }
    std::vector<uint8_t> buffer(length, 0);
    std::memcpy(buffer.data(), text.data(), text.size());
    string->data = std::move(buffer);
    string->data_offset = 0;
    string->size = static_cast<uint32_t>(length);
    texture->size = static_cast<uint32_t>(int64_t(texture->size) + delta);
    root->size = static_cast<uint32_t>(int64_t(root->size) + delta);
    allocated_bytes = static_cast<uint32_t>(std::max<int64_t>(0, int64_t(allocated_bytes) + delta));
    return true;
}

bool ps2_txd::delete_texture(uint32_t t) {
    if (!texture_exists(t)) return false;
    const uint32_t count = texture_count();
    rw_chunk* texture = root->child(t + 1);
    // A count byte larger than the file's textures must not make us delete the Extension.
    if (!texture || texture->id != rw_id_texture_native) {
        last_error = txd_msg::texture_not_found;
        return false;
    }
    root->size -= static_cast<uint32_t>(
        std::min<uint64_t>(root->size, uint64_t(texture->size) + k_chunk_header_bytes));
    auto removed = std::move(root->children[t + 1]);
    root->children.erase(root->children.begin() + (t + 1));
    free_chunk(std::move(removed));
    write_count_word(root->child(0), count - 1);
    return true;
}

namespace {
bool swap_textures(rw_chunk* root, uint32_t a, uint32_t b) {
    rw_chunk* first = root->child(a);
    rw_chunk* second = root->child(b);
    if (!first || !second || first->id != rw_id_texture_native ||
        second->id != rw_id_texture_native)
        return false;
    std::swap(root->children[a], root->children[b]);
    return true;
}
} // namespace

bool ps2_txd::move_texture_up(uint32_t t) {
    if (!texture_exists(t)) return false;
    if (t == 0) {
        last_error = txd_msg::first_cannot_move_up;
        return false;
    }
    if (!swap_textures(root.get(), t, t + 1)) {
        last_error = txd_msg::texture_not_exists;
        return false;
    }
    return true;
}

bool ps2_txd::move_texture_down(uint32_t t) {
    if (!texture_exists(t)) return false;
    if (t + 1 == texture_count()) {
        last_error = txd_msg::last_cannot_move_down;
        return false;
    }
    if (!swap_textures(root.get(), t + 1, t + 2)) {
        last_error = txd_msg::texture_not_exists;
        return false;
    }
    return true;
}

bool ps2_txd::append_texture(std::unique_ptr<rw_chunk> chunk, uint32_t limit) {
    if (!chunk) return false;
    rw_chunk* header = root ? root->child(0) : nullptr;
    if (!root || !header || !header->data || header->data->empty()) {
        last_error = rw_msg::not_opened;
        return false;
    }
    const uint32_t count = texture_count();
    // Readers that take the count's low byte alone would see a 256th texture's dictionary as
    // empty; only a conversion of a dictionary that already holds more goes beyond.
    if (count >= std::min(limit, k_max_count_field)) {
        last_error = txd_msg::too_many_textures;
        return false;
    }
    const uint64_t grown = uint64_t(root->size) + chunk->size + k_chunk_header_bytes;
    if (grown > k_max_chunk_size) {
        last_error = txd_msg::dictionary_too_large;
        return false;
    }
    append_child(root.get(), std::move(chunk));
    // New textures go before the dictionary's Extension, which stays last.
    const uint32_t last = root->child_count() - 1;
    if (last >= 1 && root->child(last - 1)->id == rw_id_extension)
        std::swap(root->children[last - 1], root->children[last]);
    root->size = static_cast<uint32_t>(grown);
    write_count_word(header, count + 1);
    return true;
}

bool ps2_txd::replace_texture_chunk(uint32_t t, std::unique_ptr<rw_chunk> chunk) {
    if (!chunk || !texture_exists(t)) return false;
    rw_chunk* texture = root->child(t + 1);
    if (!texture || texture->id != rw_id_texture_native) {
        last_error = txd_msg::texture_not_found;
        return false;
    }
    const uint64_t resized = uint64_t(root->size) - std::min<uint64_t>(root->size, texture->size) +
                             uint64_t(chunk->size);
    if (resized > k_max_chunk_size) {
        last_error = txd_msg::dictionary_too_large;
        return false;
    }
    root->size = static_cast<uint32_t>(resized);
    auto removed = std::move(root->children[t + 1]);
    root->children[t + 1] = std::move(chunk);
    free_chunk(std::move(removed));
    return true;
}

bool ps2_txd::replace_struct(uint32_t t, std::vector<uint8_t> data) {
    if (!texture_exists(t)) return false;
    rw_chunk* texture = texture_chunk(t);
    rw_chunk* chunk = texture->child(0);
    if (!chunk || chunk->id != rw_id_struct || !chunk->children.empty()) {
        last_error = platform_msg::struct_short;
        return false;
    }
    const int64_t delta = int64_t(data.size()) - int64_t(chunk->size);
    if (int64_t(root->size) + delta > int64_t(std::numeric_limits<uint32_t>::max()) ||
        int64_t(texture->size) + delta > int64_t(std::numeric_limits<uint32_t>::max())) {
        last_error = txd_msg::dictionary_too_large;
        return false;
    }
    if (chunk->data) allocated_bytes -= std::min<uint32_t>(allocated_bytes, chunk->size);
    allocated_bytes += static_cast<uint32_t>(data.size());
    chunk->size = static_cast<uint32_t>(data.size());
    chunk->data = std::move(data);
    // The edited Struct can no longer be read again from the file.
    chunk->data_offset = 0;
    texture->size = static_cast<uint32_t>(int64_t(texture->size) + delta);
    root->size = static_cast<uint32_t>(int64_t(root->size) + delta);
    return true;
}

} // namespace quillmap
