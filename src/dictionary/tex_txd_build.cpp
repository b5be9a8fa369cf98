// A TEX record as a PS2 Texture Native holding the record's bytes as they stand: one headered
// level in the record's own (swizzled) order, so the dictionary's reading code finds pixels and
// palette where the record had them. The container is a view, not a texture built for a game.
#include "dictionary/tex_txd.h"

#include "dictionary/ps2_raster_layout.h"
#include "dictionary/txd_messages.h"
#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <cstring>
#include <limits>

namespace quillmap {

namespace {
// Bytes after the palette of a swizzled 4-bit raster: its palette moves as an 8x3 block.
constexpr uint32_t k_swizzled_palette4_extra = 32;

constexpr uint32_t k_format_texture = 0x4;
constexpr uint32_t k_format_1555 = 0x100;
constexpr uint32_t k_format_8888 = 0x500;
constexpr uint32_t k_format_888 = 0x600;
constexpr uint32_t k_format_pal8 = 0x2000;
constexpr uint32_t k_format_pal4 = 0x4000;
constexpr uint32_t k_format_swizzle_kind2 = 0x20000;

constexpr uint32_t k_offset_width = 0;
constexpr uint32_t k_offset_height = 4;
constexpr uint32_t k_offset_depth = 8;
constexpr uint32_t k_offset_format = 12;
constexpr uint32_t k_offset_palette_size = 52;

// A transfer to the top left corner of GS memory.
void put_transfer_header(std::span<uint8_t> at, uint32_t width, uint32_t height,
                         uint32_t quadwords) {
    put_ps2_transfer_header(at, {.rrw = width, .rrh = height, .nloop = quadwords});
}

std::vector<uint8_t> name_data(const std::string& name) {
    const std::string text = name.substr(0, name.find('\0'));
    std::vector<uint8_t> data(text.size() + 4, 0);
    std::memcpy(data.data(), text.data(), text.size());
    return data;
}

uint32_t raster_format_for(uint32_t depth, bool swizzled) {
    uint32_t format = k_format_texture;
    switch (depth) {
    case 4:
        format |= k_format_8888 | k_format_pal4;
        break;
    case 8:
        format |= k_format_8888 | k_format_pal8;
        break;
    case 16:
        format |= k_format_1555;
        break;
    case 24:
        format |= k_format_888;
        break;
    default:
        format |= k_format_8888;
        break;
    }
    if (swizzled) format |= k_format_swizzle_kind2;
    return format;
}
} // namespace

std::unique_ptr<rw_chunk>
tex_txd::build_stored_texture(const std::string& mask_name, const uint8_t* pixels,
                              const std::string& texture_name, uint32_t width, uint32_t height,
                              uint32_t depth, const uint8_t* palette, bool swizzled) {
    const uint32_t version = root_version();
    const bool palettised = depth == 4 || depth == 8;
    const uint64_t pixel_bytes = uint64_t(width) * height * depth / 8;
    // Transfers move whole quadwords; tiny levels are padded as real files pad them.
    const uint64_t pixel_block = (pixel_bytes + 15) / 16 * 16;
    const uint64_t palette_bytes = palettised ? uint64_t(4) << depth : 0;
    const uint64_t palette_extra =
        (palettised && depth == 4 && swizzled) ? k_swizzled_palette4_extra : 0;
    const uint64_t palette_block = palettised ? palette_bytes + palette_extra : 0;
    const uint64_t data_size = k_ps2_transfer_bytes + pixel_block +
                               (palettised ? k_ps2_transfer_bytes + palette_block : 0);
    const uint64_t raster_size = 2 * k_chunk_header_bytes + k_ps2_raster_header_bytes + data_size;
    const std::vector<uint8_t> name = name_data(texture_name);
    const std::vector<uint8_t> mask = name_data(mask_name);
    const uint64_t texture_size =
        (8 + k_chunk_header_bytes) + (name.size() + k_chunk_header_bytes) +
        (mask.size() + k_chunk_header_bytes) + (raster_size + k_chunk_header_bytes) +
        (16 + k_chunk_header_bytes);
    // Leave room for the dictionary's own header and children.
    if (texture_size > std::numeric_limits<uint32_t>::max() / 2 || depth == 0 || depth > 32) {
        last_error = txd_msg::dictionary_too_large;
        return nullptr;
    }

    auto texture = new_chunk(rw_id_texture_native, texture_size, version);
    append_child(texture.get(),
                 new_leaf(rw_id_struct, {'P', 'S', '2', 0, 0x02, 0x11, 0, 0}, version));
    append_child(texture.get(), new_leaf(rw_id_string, name, version));
    append_child(texture.get(), new_leaf(rw_id_string, mask, version));

    std::vector<uint8_t> header(k_ps2_raster_header_bytes, 0);
    byte_writer words(header);
    words.seek(k_offset_width);
    words.u32(width);
    words.seek(k_offset_height);
    words.u32(height);
    words.seek(k_offset_depth);
    words.u32(depth);
    words.seek(k_offset_format);
    words.u32(raster_format_for(depth, swizzled));
    if (palettised) {
        words.seek(k_offset_palette_size);
        words.u32(static_cast<uint32_t>(k_ps2_transfer_bytes + palette_block));
    }

    std::vector<uint8_t> data(static_cast<size_t>(data_size), 0);
    const uint32_t transfer_w = swizzled ? width / 2 : width;
    const uint32_t transfer_h = swizzled ? height / 2 : height;
    put_transfer_header(data, transfer_w, transfer_h, static_cast<uint32_t>(pixel_block / 16));
    if (pixels && pixel_bytes)
        std::memcpy(data.data() + k_ps2_transfer_bytes, pixels, static_cast<size_t>(pixel_bytes));
    if (palettised) {
        uint8_t* palette_at = data.data() + k_ps2_transfer_bytes + pixel_block;
        // The palette moves as 32-bit pixels: 8x2 (8x3 with the swizzled extra) or 16x16.
        const uint32_t palette_w = depth == 4 ? 8 : 16;
        const uint32_t palette_h = depth == 4 ? (swizzled ? 3 : 2) : 16;
        put_transfer_header({palette_at, k_ps2_transfer_bytes}, palette_w, palette_h,
                            static_cast<uint32_t>(palette_block / 16));
        if (palette)
            std::memcpy(palette_at + k_ps2_transfer_bytes, palette,
                        static_cast<size_t>(palette_bytes));
    }

    append_raster_and_extension(texture.get(), std::move(header), std::move(data), raster_size,
                                version);
    return texture;
}

} // namespace quillmap
