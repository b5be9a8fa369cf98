#include "dictionary/ps2_txd.h"

#include "dictionary/platform_messages.h"
#include "dictionary/ps2_raster_layout.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "dictionary/txd_probe_fit.h"
#include "stream/rw_ids.h"
#include "stream/rw_messages.h"

#include <cstring>

namespace quillmap {

namespace {
constexpr uint32_t k_swizzle_kind_mask = ps2_layout::swizzle_kind_mask;
constexpr uint32_t k_transfer_qwc_word = 16;
constexpr uint8_t k_ps2_device_id = 6;

uint64_t level_bytes(uint64_t width, uint64_t height, uint64_t depth, uint32_t level) {
    const uint32_t shift = 2 * level + 3;
    return shift >= 64 ? 0 : (width * height * depth) >> shift;
}

bool is_headered(std::span<const uint8_t> data) {
    return u32_at(data, 0).value_or(0) == 3 || u32_at(data, 4).value_or(0) == 0x10000000;
}

bool has_ps2_tag(std::span<const uint8_t> data) {
    return data.size() >= 3 && data[0] == 'P' && data[1] == 'S' && data[2] == '2';
}

// The fields of a raster header; all 0 without one.
ps2_raster_header header_fields(const uint8_t* header) {
    if (!header) return {};
    return read_ps2_raster_header({header, k_ps2_raster_header_bytes})
        .value_or(ps2_raster_header{});
}
} // namespace

std::unique_ptr<rw_chunk> ps2_txd::read_chunk(uint32_t offset, rw_chunk* parent, uint32_t index) {
    if (repair_ == root_size_quirk::counts_own_header && !parent)
        return read_root_counting_header(offset);
    if (repair_ == root_size_quirk::lacks_closing_extension && parent &&
        parent->id == rw_id_texture_dictionary && offset == file_length()) {
        allocated_bytes += k_chunk_node_bytes;
        return make_missing_extension(parent->version);
    }
    return rw_stream::read_chunk(offset, parent, index);
}

std::unique_ptr<rw_chunk> ps2_txd::read_root_counting_header(uint32_t offset) {
    uint8_t header[k_chunk_header_bytes];
    if (!read_at(offset, header, sizeof header)) return nullptr;
    auto node = std::make_unique<rw_chunk>();
    allocated_bytes += k_chunk_node_bytes;
    node->id = load_u32(header);
    node->version = load_u32(header + 8);
    node->data_offset = offset + k_chunk_header_bytes;
    // The quirk test found the children ending exactly at the end of the file.
    const uint64_t end = file_length();
    if (end < node->data_offset) return nullptr;
    node->size = static_cast<uint32_t>(end - node->data_offset);
    uint64_t position = node->data_offset;
    ++walk_depth_;
    // Each child lies inside the node and takes at least 12 bytes, so the walk ends.
    while (position < end) {
        auto child = read_chunk(static_cast<uint32_t>(position), node.get(), node->child_count());
        if (!child) {
            --walk_depth_;
            return nullptr;
        }
        position += uint64_t(child->size) + k_chunk_header_bytes;
        append_child(node.get(), std::move(child));
    }
    --walk_depth_;
    return node;
}

bool ps2_txd::open_dictionary_file(const std::filesystem::path& path, uint32_t offset,
                                   uint32_t expected_root_id, uint32_t flags) {
    repair_ = find_root_size_quirk(path, offset);
    if (repair_ != root_size_quirk::none) flags |= flag_skip_length_check;
    const bool ok = open(path, offset, expected_root_id, flags);
    repair_ = root_size_quirk::none;
    return ok;
}

bool ps2_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                   uint32_t flags) {
    if (!open_dictionary_file(path, offset, expected_root_id, flags)) {
        last_error = txd_msg::not_ps2;
        return false;
    }
    if (!every_texture_fits(*this, txd_msg::not_ps2, [this](uint32_t t) { return misfit(t); }))
        return false;
    if (!is_ps2(0)) {
        last_error = txd_msg::not_ps2;
        return false;
    }
    return true;
}

std::string ps2_txd::misfit(uint32_t t) {
    const auto data = texture_struct(t);
    if (!has_ps2_tag(data)) return fit_msg::wrong_platform("PS2", data);
    const uint8_t* header = raster_header(t);
    if (!header) return fit_msg::no_raster_header();
    const ps2_raster_header fields = header_fields(header);
    const uint32_t w = fields.width_px, h = fields.height_px, d = fields.depth;
    if (w == 0 || h == 0 || w > k_max_dimension || h > k_max_dimension)
        return fit_msg::bad_size(w, h, k_max_dimension);
    if (d != 4 && d != 8 && d != 16 && d != 24 && d != 32) return fit_msg::bad_depth(d);
    return {};
}

uint32_t ps2_txd::stored_texture_count() const {
    if (!root) return 0;
    const rw_chunk* header = root->child(0);
    if (!header || !header->data || header->data->empty()) return 0;
    // A 16-bit field: the other half of the word is the device id. A Struct cut short after
    // one byte still says its count.
    const std::span<const uint8_t> word(header->data->data(),
                                        std::min<size_t>(header->data->size(), header->size));
    return u16_at(word, 0).value_or(word.empty() ? 0 : word[0]);
}

uint32_t ps2_txd::texture_chunks() const {
    if (!root || root->child_count() < 1) return 0;
    // Every child between the dictionary Struct and the closing Extension holds a texture.
    const uint32_t after_struct = root->child_count() - 1;
    const rw_chunk* last = root->child(root->child_count() - 1);
    return last && last->id == rw_id_extension && after_struct > 0 ? after_struct - 1
                                                                   : after_struct;
}

uint32_t ps2_txd::texture_count() const {
    // Textures stored beyond what the count says are kept, never dropped unseen.
    return std::max(stored_texture_count(), texture_chunks());
}

std::string ps2_txd::count_disagreement() const {
    const uint32_t stored = stored_texture_count(), chunks = texture_chunks();
    if (!root || stored == chunks) return {};
    return txd_msg::count_disagrees(stored, chunks);
}

rw_chunk* ps2_txd::texture_chunk(uint32_t t) const {
    return root && t < texture_count() ? root->child(t + 1) : nullptr;
}

bool ps2_txd::texture_exists(uint32_t t) {
    if (!root || texture_count() == 0 || t >= texture_count() || !texture_chunk(t)) {
        last_error = txd_msg::texture_not_exists;
        return false;
    }
    return true;
}

std::span<uint8_t> ps2_txd::texture_struct(uint32_t t) {
    rw_chunk* texture = texture_chunk(t);
    rw_chunk* chunk = texture ? texture->child(0) : nullptr;
    if (!chunk || !chunk->children.empty()) return {};
    auto* data = load_data(chunk);
    if (!data) return {};
    return {data->data(), std::min<size_t>(data->size(), chunk->size)};
}

bool ps2_txd::is_ps2(uint32_t t) {
    if (!root || texture_count() == 0) return true;
    if (t >= texture_count()) {
        last_error = txd_msg::unknown_texture_id;
        return false;
    }
    return has_ps2_tag(texture_struct(t));
}

std::string ps2_txd::texture_name(uint32_t t, name_kind which) {
    if (!root || texture_count() == 0 || t >= texture_count()) return {};
    rw_chunk* texture = texture_chunk(t);
    if (!texture) return {};
    const auto* data = load_data(texture->child(which == name_kind::texture ? 1 : 2));
    if (!data) return {};
    const size_t length =
        std::min<size_t>(data->size(), texture->child(which == name_kind::texture ? 1 : 2)->size);
    const auto* begin = reinterpret_cast<const char*>(data->data());
    return std::string(begin, strnlen(begin, length));
}

const uint8_t* ps2_txd::raster_header(uint32_t t) {
    if (!texture_exists(t)) return nullptr;
    rw_chunk* raster = texture_chunk(t)->child(3);
    const auto* data = raster ? load_data(raster->child(0)) : nullptr;
    if (!data || data->size() < k_ps2_raster_header_bytes) {
        last_error = txd_msg::texture_not_exists;
        return nullptr;
    }
    return data->data();
}

uint32_t ps2_txd::width(uint32_t t) {
    return header_fields(raster_header(t)).width_px;
}
uint32_t ps2_txd::height(uint32_t t) {
    return header_fields(raster_header(t)).height_px;
}
uint32_t ps2_txd::depth(uint32_t t) {
    return header_fields(raster_header(t)).depth;
}
uint32_t ps2_txd::raster_format(uint32_t t) {
    return header_fields(raster_header(t)).raster_format;
}

uint32_t ps2_txd::pixel_format(uint32_t t) {
    switch (raster_format(t) & 0xF00) {
    case 0x100:
        return 0x1555;
    case 0x200:
        return 0x565;
    case 0x300:
        return 0x4444;
    case 0x400:
        return 0x8;
    case 0x500:
        return 0x8888;
    case 0x600:
        return 0x888;
    case 0xA00:
        return 0x555;
    default:
        return 0;
    }
}

uint32_t ps2_txd::texture_flags(uint32_t t) {
    if (!texture_exists(t)) return 0;
    return u32_at(texture_struct(t), 4).value_or(0);
}

uint32_t ps2_txd::platform_id(uint32_t t) {
    if (!texture_exists(t)) return 0;
    const auto data = texture_struct(t);
    return has_ps2_tag(data) ? stored_platform::ps2 : u32_at(data, 0).value_or(0);
}

uint32_t ps2_txd::root_version() {
    if (!root) {
        last_error = rw_msg::not_opened;
        return 0;
    }
    return root->version;
}

rw_chunk* ps2_txd::raster_data_chunk(uint32_t t) {
    if (!texture_exists(t)) return nullptr;
    rw_chunk* raster = texture_chunk(t)->child(3);
    return raster ? raster->child(1) : nullptr;
}

std::vector<uint8_t>* ps2_txd::raster_data(uint32_t t) {
    rw_chunk* chunk = raster_data_chunk(t);
    return chunk ? load_data(chunk) : nullptr;
}

bool ps2_txd::is_swizzled(uint32_t t) {
    if (!is_ps2(0)) return false;
    const uint8_t* header = raster_header(t);
    if (!header) return false;
    const ps2_raster_header fields = header_fields(header);
    const uint32_t kind = fields.raster_format & k_swizzle_kind_mask;
    const uint32_t bits = fields.depth;
    if (kind == 0) return false;
    const uint32_t palette_size = fields.palette_data_bytes;
    if (kind == ps2_layout::swizzle_kind_1) return true;
    if (kind == ps2_layout::swizzle_kind_2 && bits == 4)
        return palette_size == ps2_layout::palette_size_4bit_swizzled;
    if (kind == ps2_layout::swizzle_kind_2 && bits == 8)
        return palette_size == ps2_layout::palette_size_8bit_swizzled;
    if (!(kind & ps2_layout::swizzle_kind_2)) return false;

    // Compare the first transfer rectangle with half the raster size. Only the header is needed,
    // so the raster data is not loaded for it.
    rw_chunk* chunk = raster_data_chunk(t);
    bool ok_w = false, ok_h = false;
    const uint64_t transfer_w = raster_word(chunk, 32, ok_w);
    const uint64_t transfer_h = raster_word(chunk, 36, ok_h);
    if (!ok_w || !ok_h) return false;
    return 2 * transfer_w == fields.width_px && 2 * transfer_h == fields.height_px;
}

bool ps2_txd::headered_level(uint32_t t, uint32_t level, size_t& offset, size_t& bytes) {
    const auto* data = raster_data(t);
    if (!data) return false;
    const size_t size = std::min<size_t>(data->size(), raster_data_chunk(t)->size);
    // Every step takes a whole transfer header, so the walk ends with the data.
    byte_reader in({data->data(), size});
    for (uint32_t k = 0;; ++k) {
        const auto header = in.bytes(k_ps2_transfer_bytes, "transfer header");
        if (!in.ok()) return false;
        const uint64_t block = uint64_t(load_u32(header.data() + k_transfer_qwc_word * 4)) * 16;
        if (k == level) {
            offset = static_cast<size_t>(in.position());
            bytes = static_cast<size_t>(block);
            return true;
        }
        if (!in.skip(block, "transfer block")) return false;
    }
}

std::span<uint8_t> ps2_txd::pixels(uint32_t t, uint32_t level) {
    const uint64_t w = width(t), h = height(t), d = depth(t);
    auto* data = raster_data(t);
    if (!data) return {};
    const size_t size = std::min<size_t>(data->size(), raster_data_chunk(t)->size);
    const uint64_t wanted = level_bytes(w, h, d, level);
    size_t offset = 0;
    if (is_headered({data->data(), size})) {
        // The block after the last level is the palette, not a smaller level.
        if (level >= mip_count(t)) return {};
        // Real files pad small levels beyond w·h·d/8, so each level is found by its transfer
        // header's quadword count rather than by the level sizes.
        size_t block = 0;
        if (!headered_level(t, level, offset, block)) return {};
    }
    if (!fits(offset, wanted, size) || wanted == 0) return {};
    return {data->data() + offset, static_cast<size_t>(wanted)};
}

std::optional<native_level> ps2_txd::level_pixels(uint32_t t, uint32_t, level_detail) {
    if (texture_exists(t)) last_error = platform_msg::no_pixels;
    return std::nullopt;
}

std::span<uint8_t> ps2_txd::palette(uint32_t t) {
    const uint32_t d = depth(t);
    if (d == 0 || d > 8) return {};
    auto* data = raster_data(t);
    if (!data) return {};
    const size_t size = std::min<size_t>(data->size(), raster_data_chunk(t)->size);
    uint64_t back = uint64_t(4) << d;
    const uint64_t bytes = back;
    if (d == 4 && is_swizzled(t)) back += 32;
    if (back > size) return {};
    return {data->data() + (size - back), static_cast<size_t>(bytes)};
}

bool ps2_txd::release_struct(uint32_t t) {
    rw_chunk* texture = texture_chunk(t);
    rw_chunk* chunk = texture ? texture->child(0) : nullptr;
    if (!chunk || !chunk->data || chunk->data_offset == 0) return false;
    allocated_bytes -= std::min<uint32_t>(allocated_bytes, chunk->size);
    chunk->data.reset();
    return true;
}

bool ps2_txd::release_pixels(uint32_t t) {
    rw_chunk* chunk = raster_data_chunk(t);
    if (!chunk || !chunk->data || chunk->data_offset == 0) return false;
    allocated_bytes -= std::min<uint32_t>(allocated_bytes, chunk->size);
    chunk->data.reset();
    return true;
}

const uint8_t* ps2_txd::transfer_header(uint32_t t) {
    if (!(raster_format(t) & ps2_layout::swizzle_kind_2)) return nullptr;
    auto* data = raster_data(t);
    if (!data || std::min<size_t>(data->size(), raster_data_chunk(t)->size) < k_ps2_transfer_bytes)
        return nullptr;
    return data->data();
}

const uint8_t* ps2_txd::palette_transfer_header(uint32_t t) {
    if (!(raster_format(t) & ps2_layout::swizzle_kind_2)) return nullptr;
    auto palette_bytes = palette(t);
    auto* data = raster_data(t);
    if (palette_bytes.empty() || !data ||
        size_t(palette_bytes.data() - data->data()) < k_ps2_transfer_bytes)
        return nullptr;
    return palette_bytes.data() - k_ps2_transfer_bytes;
}

uint32_t ps2_txd::compression(uint32_t) {
    return 0;
}

uint32_t ps2_txd::raster_word(rw_chunk* chunk, uint64_t offset, bool& ok) {
    // Reads one word of raster data without loading the whole (possibly large) chunk.
    ok = false;
    if (!chunk) return 0;
    if (chunk->data) {
        const size_t valid = std::min<size_t>(chunk->data->size(), chunk->size);
        if (!fits(offset, 4, valid)) return 0;
        ok = true;
        return load_u32(chunk->data->data() + offset);
    }
    uint8_t word[4];
    if (!fits(offset, 4, chunk->size) || !read_at(uint64_t(chunk->data_offset) + offset, word, 4))
        return 0;
    ok = true;
    return load_u32(word);
}

uint32_t ps2_txd::mip_count(uint32_t t) {
    return ps2_level_count(t, k_max_ps2_levels);
}

uint32_t ps2_txd::ps2_level_count(uint32_t t, uint32_t limit) {
    if (!is_ps2(t) || !texture_exists(t)) return 0;
    const uint64_t w = width(t), h = height(t), d = depth(t);
    rw_chunk* chunk = raster_data_chunk(t);
    if (!chunk) return 0;
    const uint64_t size = chunk->size;

    bool ok0 = false, ok1 = false;
    const uint32_t word0 = raster_word(chunk, 0, ok0);
    const uint32_t word1 = raster_word(chunk, 4, ok1);
    if ((ok0 && word0 == 3) || (ok1 && word1 == 0x10000000)) {
        // Headered data: count the transfer blocks; for palettised rasters the last is the palette.
        uint32_t blocks = 0;
        uint64_t position = 0;
        const uint32_t palette_blocks = (d == 4 || d == 8) ? 1 : 0;
        // The palette is the block after the last level, so one block past the limit is read.
        while (blocks < limit + palette_blocks && fits(position, k_ps2_transfer_bytes, size)) {
            bool ok = false;
            const uint64_t block =
                uint64_t(raster_word(chunk, position + k_transfer_qwc_word * 4, ok)) * 16;
            if (!ok || !fits(position + k_ps2_transfer_bytes, block, size)) break;
            position += k_ps2_transfer_bytes + block;
            ++blocks;
        }
        return blocks > palette_blocks ? std::min(blocks - palette_blocks, limit) : 1;
    }

    uint64_t s = (d <= 15 ? (uint64_t(4) << d) + k_ps2_transfer_bytes : 0) + w * h * d / 8 +
                 k_ps2_transfer_bytes;
    if (d == 4 && is_swizzled(t)) s += 32;
    uint32_t n = 1;
    while (s < size && n < limit) {
        ++n;
        const uint32_t shift = 2 * n + 1;
        s += (shift >= 64 ? 0 : (w * h * d) >> shift) + k_ps2_transfer_bytes;
    }
    return n;
}

bool ps2_txd::create_empty(uint32_t version) {
    close();
    allocated_bytes = 0;
    auto dictionary = std::make_unique<rw_chunk>();
    dictionary->id = rw_id_texture_dictionary;
    dictionary->size = 28;
    auto count = std::make_unique<rw_chunk>();
    count->id = rw_id_struct;
    count->size = 4;
    // Count 0 and the PS2 device id in the high 16 bits, as the console tools write them.
    count->data = std::vector<uint8_t>{0, 0, k_ps2_device_id, 0};
    auto extension = std::make_unique<rw_chunk>();
    extension->id = rw_id_extension;
    allocated_bytes += 3 * k_chunk_node_bytes + 4;
    append_child(dictionary.get(), std::move(count));
    append_child(dictionary.get(), std::move(extension));
    const uint32_t kept = allocated_bytes;
    adopt_root(std::move(dictionary));
    allocated_bytes = kept;
    set_version(version);
    return true;
}

texture_info ps2_txd::info(uint32_t t) {
    texture_info out;
    if (t >= texture_count()) return out;
    out.name = texture_name(t, name_kind::texture);
    out.mask = texture_name(t, name_kind::mask);
    out.width_px = width(t);
    out.height_px = height(t);
    out.depth = depth(t);
    out.raster_format = raster_format(t);
    out.levels = mip_count(t);
    out.swizzled = is_swizzled(t);
    out.family = family();
    out.ps2_raster = raster_header(t) != nullptr;
    // From the depth, so that describing a texture never loads its pixels.
    out.palette_bytes = out.depth == 4 || out.depth == 8 ? 4u << out.depth : 0;
    out.flags = texture_flags(t);
    return out;
}

} // namespace quillmap
