// Builds a new PS2 Texture Native section the way the game's own converter writes it: the raster
// header words, the transfer headers and the padding come from ps2_raster_layout, so a game
// loads what is built here.
#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_raster_layout.h"
#include "dictionary/ps2_txd.h"

#include "dictionary/txd_messages.h"
#include "raster/ps2_swizzling.h"
#include "stream/rw_ids.h"

#include <bit>
#include <cstring>
#include <limits>

namespace quillmap {

namespace {
constexpr uint32_t k_max_name_chars = 31;
constexpr uint32_t k_flags_one_level = 0x1102; // linear filter, wrap
constexpr uint32_t k_flags_mipmapped = 0x1106; // linear-mip-linear filter, wrap
constexpr uint32_t k_old_style_nloop = 0x7FFF; // beyond it a level cannot be one transfer

// Name chunks hold the text and at least one zero, padded to a multiple of 4 bytes.
std::vector<uint8_t> name_data(const std::string& name) {
    const std::string text = name.substr(0, name.find('\0'));
    std::vector<uint8_t> data((text.size() + 4) & ~size_t(3), 0);
    std::memcpy(data.data(), text.data(), text.size());
    return data;
}

uint32_t pixel_format_for(uint32_t depth) {
    switch (depth) {
    case 16:
        return 0x100; // 1555
    case 24:
        return 0x600; // 888
    default:
        return 0x500; // 8888: pixels of 32 bits and every palette
    }
}

uint64_t plain_bytes(uint32_t w, uint32_t h, uint32_t depth) {
    return (uint64_t(w) * h * depth + 7) / 8;
}

// A plain level placed into its padded transfer rectangle, swizzled when the raster is.
void store_level(std::span<const uint8_t> plain, const ps2_level_layout& level, uint32_t depth,
                 bool swizzled, uint8_t* out, uint64_t out_bytes) {
    if (plain.empty()) return;
    std::vector<uint8_t> padded(static_cast<size_t>(out_bytes), 0);
    ps2_copy_rect(plain.data(), level.width_px, padded.data(), level.padded_width_px,
                  level.width_px, level.height_px, depth);
    if (swizzled)
        ps2_swizzling::swizzle_raster(padded, level.padded_width_px, level.padded_height_px, depth);
    std::memcpy(out, padded.data(), padded.size());
}
} // namespace

std::unique_ptr<rw_chunk> ps2_txd::new_chunk(uint32_t id, uint64_t size, uint32_t version) {
    auto chunk = std::make_unique<rw_chunk>();
    chunk->id = id;
    chunk->size = static_cast<uint32_t>(size);
    chunk->version = version;
    allocated_bytes += k_chunk_node_bytes;
    return chunk;
}

std::unique_ptr<rw_chunk> ps2_txd::new_leaf(uint32_t id, std::vector<uint8_t> data,
                                            uint32_t version) {
    auto chunk = new_chunk(id, data.size(), version);
    allocated_bytes += static_cast<uint32_t>(data.size());
    chunk->data = std::move(data);
    return chunk;
}

std::unique_ptr<rw_chunk> ps2_txd::build_texture(const ps2_texture_source& source,
                                                 uint32_t* dropped_levels) {
    const uint32_t version = root_version();
    const uint32_t w = source.width, h = source.height, d = source.depth;
    if (source.name.size() > k_max_name_chars || source.mask.size() > k_max_name_chars) {
        last_error = txd_msg::name_too_long;
        return nullptr;
    }
    const uint32_t given = std::max<uint32_t>(1, static_cast<uint32_t>(source.levels.size()));
    uint32_t levels = std::min(given, ps2_rw_level_count(w, h));

    ps2_layout_input input;
    input.width_px = w;
    input.height_px = h;
    input.depth = d;
    input.levels = levels;
    input.pixel_format = pixel_format_for(d);
    input.rw_version = source.rw_version ? source.rw_version : version;
    // Game sizes follow the rule. Other sizes whose swizzled rectangle a reader could not
    // unswizzle, and levels too large for one transfer, are stored the old way: no transfer
    // headers, 8-bit data swizzled only where it reads back.
    const bool readable_swizzled =
        (std::has_single_bit(w) && std::has_single_bit(h)) || ps2_swizzle_fits(w, h, d);
    if (!readable_swizzled || source.plain_order) input.kind = k_ps2_kind_plain;
    if (plain_bytes(w, h, d) / 16 > k_old_style_nloop && !source.plain_order)
        input.kind = d == 8 && readable_swizzled ? k_ps2_kind_swizzled8 : k_ps2_kind_plain;
    // Readers find only level 0 in data without transfer headers.
    if (input.kind != k_ps2_kind_headered) levels = input.levels = 1;
    if (dropped_levels) *dropped_levels = given - levels;
    ps2_raster_layout layout;
    if (!compute_ps2_layout(input, layout, last_error)) return nullptr;
    for (uint32_t n = 0; n < levels && n < source.levels.size(); ++n)
        if (!source.levels[n].empty() &&
            source.levels[n].size() <
                plain_bytes(layout.levels[n].width_px, layout.levels[n].height_px, d)) {
            last_error = txd_msg::image_data_short;
            return nullptr;
        }
    if (!source.palette.empty() && source.palette.size() < layout.palette_bytes) {
        last_error = txd_msg::image_data_short;
        return nullptr;
    }

    const uint64_t data_size = layout.raster_data_bytes();
    const uint64_t raster_size = 2 * k_chunk_header_bytes + k_ps2_raster_header_bytes + data_size;
    const std::vector<uint8_t> name = name_data(source.name);
    const std::vector<uint8_t> mask = name_data(source.mask);
    const uint64_t texture_size =
        (8 + k_chunk_header_bytes) + (name.size() + k_chunk_header_bytes) +
        (mask.size() + k_chunk_header_bytes) + (raster_size + k_chunk_header_bytes) +
        (16 + k_chunk_header_bytes);
    // Leave room for the dictionary's own header and children.
    if (texture_size > std::numeric_limits<uint32_t>::max() / 2) {
        last_error = txd_msg::dictionary_too_large;
        return nullptr;
    }

    std::vector<uint8_t> texture_struct = {'P', 'S', '2', 0, 0, 0, 0, 0};
    byte_writer flags(texture_struct);
    flags.seek(4);
    flags.u32(source.flags ? source.flags : levels > 1 ? k_flags_mipmapped : k_flags_one_level);
    auto texture = new_chunk(rw_id_texture_native, texture_size, version);
    append_child(texture.get(), new_leaf(rw_id_struct, std::move(texture_struct), version));
    append_child(texture.get(), new_leaf(rw_id_string, name, version));
    append_child(texture.get(), new_leaf(rw_id_string, mask, version));

    std::vector<uint8_t> header(k_ps2_raster_header_bytes, 0);
    byte_writer words(std::span<uint8_t>{header});
    for (const uint32_t word : layout.words)
        words.u32(word);

    std::vector<uint8_t> data(static_cast<size_t>(data_size), 0);
    uint8_t* at = data.data();
    const uint32_t transfer_bytes = layout.headered ? k_ps2_transfer_bytes : 0;
    for (uint32_t n = 0; n < levels; ++n) {
        const ps2_level_layout& level = layout.levels[n];
        if (layout.headered) put_ps2_transfer_header({at, transfer_bytes}, level.transfer);
        at += transfer_bytes;
        if (n < source.levels.size())
            store_level(source.levels[n], level, d, layout.swizzled, at, level.data_bytes());
        at += level.data_bytes();
    }
    if (layout.has_palette) {
        if (layout.headered) put_ps2_transfer_header({at, transfer_bytes}, layout.palette_transfer);
        at += transfer_bytes;
        // The 4-bit palette's 8x3 transfer carries 32 bytes beyond the colours: zeros.
        if (!source.palette.empty()) std::memcpy(at, source.palette.data(), layout.palette_bytes);
    }

    append_raster_and_extension(texture.get(), std::move(header), std::move(data), raster_size,
                                version);
    return texture;
}

void ps2_txd::append_raster_and_extension(rw_chunk* texture, std::vector<uint8_t> header,
                                          std::vector<uint8_t> data, uint64_t raster_size,
                                          uint32_t version) {
    auto raster = new_chunk(rw_id_struct, raster_size, version);
    append_child(raster.get(), new_leaf(rw_id_struct, std::move(header), version));
    append_child(raster.get(), new_leaf(rw_id_struct, std::move(data), version));
    append_child(texture, std::move(raster));

    auto extension = new_chunk(rw_id_extension, 4 + k_chunk_header_bytes, version);
    std::vector<uint8_t> sky;
    byte_writer(sky).u32(k_ps2_sky_mipmap_value);
    append_child(extension.get(), new_leaf(rw_id_sky_mipmap_val, std::move(sky), version));
    append_child(texture, std::move(extension));
}

std::unique_ptr<rw_chunk>
ps2_txd::build_texture_native(const std::string& mask_name, const uint8_t* pixels,
                              const std::string& texture_name, uint32_t width, uint32_t height,
                              uint32_t depth, const uint8_t* palette, bool swizzled) {
    const uint64_t pixel_bytes = plain_bytes(width, height, depth);
    const uint64_t palette_bytes = depth == 4 || depth == 8 ? uint64_t(4) << depth : 0;
    std::vector<uint8_t> plain;
    if (pixels && pixel_bytes <= std::numeric_limits<uint32_t>::max()) {
        const std::span<const uint8_t> given(pixels, static_cast<size_t>(pixel_bytes));
        // Sizes the swizzle cannot map are taken as they stand.
        ps2_swizzling::plain_copy(given, width, height, depth, swizzled && depth <= 8, plain);
    }
    ps2_texture_source source;
    source.name = texture_name;
    source.mask = mask_name;
    source.width = width;
    source.height = height;
    source.depth = depth;
    source.levels = {plain};
    if (palette) source.palette = {palette, static_cast<size_t>(palette_bytes)};
    return build_texture(source);
}

} // namespace quillmap
