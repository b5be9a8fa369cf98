#include "dictionary/ios_txd.h"

#include "dictionary/mobile_texture_build.h"
#include "dictionary/name_field.h"
#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "dictionary/txd_probe_fit.h"
#include "dictionary/txd_repair.h"
#include "raster/dxt.h"
#include "raster/ios_bitmap.h"
#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
// Platform words: 9 DXT, 10 PVR and 11 ATC (no pixels we can decode), 12 uncompressed.
constexpr uint32_t k_mobile_depth = 16;
} // namespace

std::unique_ptr<rw_chunk> ios_txd::read_chunk(uint32_t offset, rw_chunk* parent, uint32_t index) {
    const uint64_t length = file_length();
    if (walk_depth_ >= k_max_depth || !fits(offset, k_chunk_header_bytes, length)) return nullptr;
    uint8_t header[k_chunk_header_bytes];
    if (!read_at(offset, header, sizeof header)) return nullptr;
    byte_reader fields(header, offset);
    const uint32_t id = fields.u32("chunk id");
    auto node = std::make_unique<rw_chunk>();
    node->id = id;
    node->size = fields.u32("chunk size");
    node->version = fields.u32("chunk version");
    node->data_offset = offset + k_chunk_header_bytes;
    if ((id != rw_id_texture_dictionary && id != rw_id_texture_native) ||
        !is_container(node.get(), parent, index)) {
        // Leaves and other containers are read by their sizes, as any chunk file is.
        return rw_stream::read_chunk(offset, parent, index);
    }
    allocated_bytes += k_chunk_node_bytes;
    return read_counted(std::move(node));
}

std::unique_ptr<rw_chunk> ios_txd::read_counted(std::unique_ptr<rw_chunk> node) {
    const uint64_t length = file_length();
    // While the children are read, anything up to the end of the file counts as inside the node.
    node->size = static_cast<uint32_t>(std::min<uint64_t>(length - node->data_offset, UINT32_MAX));
    uint64_t position = node->data_offset;
    uint64_t total = 0;
    uint64_t wanted = 2; // a texture native: Struct and Extension
    ++walk_depth_;
    if (node->id == rw_id_texture_dictionary) {
        auto first = read_chunk(static_cast<uint32_t>(position), node.get(), 0);
        if (!first) {
            --walk_depth_;
            return nullptr;
        }
        const uint64_t step = uint64_t(first->size) + k_chunk_header_bytes;
        const auto* data = first->data ? &*first->data : nullptr;
        // The texture count as a whole word, plus the closing Extension.
        wanted = (data ? uint64_t(u32_at(*data, 0).value_or(0)) : 0) + 1;
        append_child(node.get(), std::move(first));
        position += step;
        total += step;
    }
    // Every child takes at least 12 bytes, so the end of the file bounds the walk whatever the
    // count claims.
    for (uint64_t i = 0; i < wanted && position < length; ++i) {
        auto child = read_chunk(static_cast<uint32_t>(position), node.get(), node->child_count());
        if (!child) break;
        const uint64_t step = uint64_t(child->size) + k_chunk_header_bytes;
        append_child(node.get(), std::move(child));
        position += step;
        total += step;
    }
    // A dictionary whose children end exactly at the end of the file without the Extension.
    if (node->id == rw_id_texture_dictionary && position == length &&
        node->child_count() == wanted) {
        const rw_chunk* last = node->child(node->child_count() - 1);
        if (last && last->id != rw_id_extension) {
            allocated_bytes += k_chunk_node_bytes;
            append_child(node.get(), make_missing_extension(node->version));
            total += k_chunk_header_bytes;
        }
    }
    --walk_depth_;
    node->size = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
    return node;
}

bool ios_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                   uint32_t flags) {
    if (!open(path, offset, expected_root_id, flags | flag_skip_length_check)) return false;
    // The counted walk and the skipped length check take almost any chunk file, so only the
    // texture Structs tell a mobile dictionary from, say, a PC one.
    if (!every_texture_fits(*this, platform_msg::not_mobile,
                            [this](uint32_t t) { return misfit(t); }))
        return false;
    if (!is_mobile_texture(0)) {
        last_error = platform_msg::not_mobile;
        return false;
    }
    return true;
}

std::string ios_txd::misfit(uint32_t t) {
    const auto data = texture_struct(t);
    const uint32_t platform = u32_at(data, k_offset_platform).value_or(0);
    if (platform < stored_platform::mobile_dxt || platform > stored_platform::mobile_plain)
        return fit_msg::wrong_platform("iOS / Android", texture_struct(t));
    if (data.size() < k_offset_pixels) return fit_msg::struct_short(data.size(), k_offset_pixels);
    const uint32_t w = u16_at(data, k_offset_width).value_or(0),
                   h = u16_at(data, k_offset_height).value_or(0);
    if (w == 0 || h == 0 || w > raster_limits::k_max_picture_dimension ||
        h > raster_limits::k_max_picture_dimension)
        return fit_msg::bad_size(w, h, raster_limits::k_max_picture_dimension);
    uint64_t needed = 0;
    if (platform == stored_platform::mobile_plain)
        needed = k_offset_pixels + raster_bytes(w, h, k_mobile_depth);
    if (platform == stored_platform::mobile_dxt) {
        const bool alpha = u8_at(data, k_offset_alpha).value_or(0) != 0;
        const bool early =
            !alpha && u32_at(data, k_offset_block_word).value_or(0) == k_block_word_early;
        needed = (alpha || early ? k_offset_dxt3_blocks : k_offset_dxt1_blocks) +
                 dxt_input_bytes(w, h, 1, alpha ? 16 : 8);
    }
    if (data.size() < needed) return fit_msg::struct_short(data.size(), needed);
    return {};
}

uint32_t ios_txd::platform_word(uint32_t t) {
    return u32_at(texture_struct(t), k_offset_platform).value_or(0);
}

bool ios_txd::has_alpha(uint32_t t) {
    return u8_at(texture_struct(t), k_offset_alpha).value_or(0) != 0;
}

bool ios_txd::is_mobile_texture(uint32_t t) {
    if (!root || texture_count() == 0) return true;
    if (t >= texture_count()) {
        last_error = txd_msg::unknown_texture_id;
        return false;
    }
    const uint32_t platform = platform_word(t);
    return platform >= stored_platform::mobile_dxt && platform <= stored_platform::mobile_plain;
}

bool ios_txd::is_mobile_uncompressed(uint32_t t) {
    return texture_count() != 0 && is_mobile_texture(t) &&
           platform_word(t) == stored_platform::mobile_plain;
}

uint32_t ios_txd::mobile_pixel_format(uint32_t t) {
    return platform_word(t) == stored_platform::mobile_dxt && has_alpha(t) ? pixel_code::rgba4444
                                                                           : pixel_code::rgb565;
}

uint32_t ios_txd::render_code(uint32_t t) {
    return has_alpha(t) ? pixel_code::rgba4444 : pixel_code::rgb565;
}

std::string ios_txd::texture_name(uint32_t t, name_kind which) {
    if (!root || t >= texture_count()) return {};
    return name_field_text(texture_struct(t),
                           which == name_kind::texture ? k_offset_name : k_offset_mask_name,
                           k_name_field_bytes);
}

uint32_t ios_txd::depth(uint32_t t) {
    return texture_exists(t) ? k_mobile_depth : 0;
}
uint32_t ios_txd::width(uint32_t t) {
    return texture_exists(t) ? u16_at(texture_struct(t), k_offset_width).value_or(0) : 0;
}
uint32_t ios_txd::height(uint32_t t) {
    return texture_exists(t) ? u16_at(texture_struct(t), k_offset_height).value_or(0) : 0;
}
uint32_t ios_txd::raster_format(uint32_t t) {
    // Mobile textures carry no raster format word.
    texture_exists(t);
    return 0;
}

uint32_t ios_txd::compression(uint32_t t) {
    return texture_exists(t) && platform_word(t) == stored_platform::mobile_dxt ? 1 : 0;
}

uint32_t ios_txd::mip_count(uint32_t t) {
    if (!is_mobile_uncompressed(t)) return 1;
    const uint64_t s = uint64_t(width(t)) * height(t) * k_mobile_depth;
    const uint64_t struct_size = texture_chunk(t)->child(0)->size;
    uint64_t total = k_offset_pixels + s / 8;
    uint32_t count = 1;
    // Levels of zero bytes (1×1 and below) would never reach the end; k_max_levels bounds it.
    while (total < struct_size && count < k_max_levels) {
        const uint64_t bytes = s >> (3 + 2 * count);
        if (bytes == 0) break;
        total += bytes;
        ++count;
    }
    return count;
}

std::optional<native_level> ios_txd::level_pixels(uint32_t t, uint32_t level, level_detail detail) {
    if (!texture_exists(t)) return std::nullopt;
    const auto data = texture_struct(t);
    const uint32_t platform = platform_word(t);
    if (platform != stored_platform::mobile_dxt && platform != stored_platform::mobile_plain) {
        last_error = platform_msg::no_pixels;
        return std::nullopt;
    }
    const uint32_t w = u16_at(data, k_offset_width).value_or(0),
                   h = u16_at(data, k_offset_height).value_or(0);
    if (w == 0 || h == 0 || w > raster_limits::k_max_picture_dimension ||
        h > raster_limits::k_max_picture_dimension) {
        last_error = platform_msg::unsupported_size;
        return std::nullopt;
    }
    if (level >= mip_count(t)) {
        last_error = platform_msg::level_missing;
        return std::nullopt;
    }
    native_level out;
    out.width = std::max<uint32_t>(1, w >> level);
    out.height = std::max<uint32_t>(1, h >> level);

    if (platform == stored_platform::mobile_plain) {
        uint64_t position = k_offset_pixels;
        for (uint32_t i = 0; i < level; ++i)
            position += raster_bytes(std::max<uint32_t>(1, w >> i), std::max<uint32_t>(1, h >> i),
                                     k_mobile_depth);
        const uint64_t bytes = raster_bytes(out.width, out.height, k_mobile_depth);
        if (!fits(position, bytes, data.size())) {
            last_error = platform_msg::struct_short;
            return std::nullopt;
        }
        out.depth = k_mobile_depth;
        out.code = render_code(t);
        out.pixels = data.subspan(static_cast<size_t>(position), static_cast<size_t>(bytes));
        return out;
    }

    // Platform 9: one level of DXT3 blocks (alpha) or DXT1 blocks.
    const bool alpha = has_alpha(t);
    uint32_t start = alpha ? k_offset_dxt3_blocks : k_offset_dxt1_blocks;
    if (!alpha && u32_at(data, k_offset_block_word).value_or(0) == k_block_word_early)
        start = k_offset_dxt3_blocks;
    const uint64_t needed = dxt_input_bytes(out.width, out.height, 1, alpha ? 16 : 8);
    if (!fits(start, needed, data.size())) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    out.code = detail == level_detail::full_colour ? pixel_code::bgra8888 : mobile_pixel_format(t);
    out.depth = dxt_pixel_size(out.code) * 8;
    auto buffer =
        decoded.hold(static_cast<size_t>(dxt_output_bytes(out.width, out.height, 1, out.code)));
    const auto blocks = data.subspan(start, static_cast<size_t>(needed));
    const bool ok = alpha ? decode_dxt3(out.width, out.height, blocks, buffer, 1, out.code)
                          : decode_dxt1(out.width, out.height, blocks, buffer, 1, out.code);
    if (!ok) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    out.pixels = buffer;
    return out;
}

std::span<uint8_t> ios_txd::pixels(uint32_t t, uint32_t level) {
    const auto found = level_pixels(t, level);
    if (!found) return {};
    return {const_cast<uint8_t*>(found->pixels.data()), found->pixels.size()};
}

device_bitmap ios_txd::render(uint32_t t, view_mode mode, swizzle_mode, bool* state_out,
                              uint32_t level) {
    const auto found = level_pixels(t, level, level_detail::full_colour);
    if (!found) return nullptr;
    if (state_out) *state_out = false;
    ios_bitmap bitmap;
    if (!bitmap.load_raster(found->width, found->height, found->depth, found->pixels, {}, false,
                            mode, found->code, 0)) {
        last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
        return nullptr;
    }
    return bitmap.to_display_bitmap(mode == view_mode::mixed ? 32 : 24, found->code);
}

bool ios_txd::export_texture(uint32_t t, view_mode mode, export_type type,
                             const std::filesystem::path* path, swizzle_mode) {
    if (!texture_exists(t)) return false;
    if (type != export_type::bmp) {
        last_error = txd_msg::unknown_export_type;
        return false;
    }
    // PVR and ATC textures have no pixels: no file is written for them.
    const auto found = level_pixels(t, 0, level_detail::full_colour);
    if (!found) return false;
    const std::filesystem::path target =
        path ? *path
             : std::filesystem::path(texture_name(t, mode == view_mode::texture ? name_kind::texture
                                                                                : name_kind::mask) +
                                     ".bmp");
    pc_bitmap bitmap;
    if (!bitmap.load_raster(found->width, found->height, found->depth, found->pixels, {}, false,
                            mode, found->code, pixel_code::rgb565) ||
        !bitmap.write_bmp(target)) {
        last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
        return false;
    }
    return true;
}

bool ios_txd::rename_texture(uint32_t t, const std::string& name, name_kind which) {
    if (!texture_exists(t)) return false;
    const std::string text = name.substr(0, name.find('\0'));
    if (text.size() >= k_name_field_bytes) {
        last_error = platform_msg::name_too_long;
        return false;
    }
    const auto data = texture_struct(t);
    if (data.size() < k_offset_pixels) {
        last_error = platform_msg::struct_short;
        return false;
    }
    uint8_t* field =
        data.data() + (which == name_kind::texture ? k_offset_name : k_offset_mask_name);
    std::memset(field, 0, k_name_field_bytes);
    std::memcpy(field, text.data(), text.size());
    // The edited Struct can no longer be read again from the file.
    texture_chunk(t)->child(0)->data_offset = 0;
    return true;
}

std::span<const uint8_t> ios_txd::stored_level(uint32_t t, uint32_t level) {
    if (!texture_exists(t)) return {};
    const auto data = texture_struct(t);
    std::string why;
    const auto fields = mobile_fields_of(data, why);
    if (!fields) {
        last_error = why;
        return {};
    }
    if (level >= fields->levels) {
        last_error = platform_msg::level_missing;
        return {};
    }
    uint64_t at =
        mobile_pixels_start(fields->format, u32_at(data, k_offset_block_word).value_or(0));
    for (uint32_t i = 0; i < level; ++i)
        at += mobile_level_bytes(*fields, i);
    return data.subspan(static_cast<size_t>(at),
                        static_cast<size_t>(mobile_level_bytes(*fields, level)));
}

} // namespace quillmap
