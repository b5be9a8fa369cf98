#include "dictionary/pc_txd.h"

#include "dictionary/name_field.h"
#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "dictionary/txd_probe_fit.h"
#include "raster/dxt.h"
#include "raster/pc_bitmap.h"
#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillmap {

namespace {
// Raster format flags for palettes: 0x2000 a 256-entry palette, 0x4000 a 32-entry one that
// real files use for 4-bit palettes on 8-bit rasters.
constexpr uint32_t k_format_pal8 = 0x2000;
constexpr uint32_t k_format_pal4 = 0x4000;
constexpr uint32_t k_pal4_stored_entries = 32;

bool is_16bit_code(uint32_t code) {
    return code == pixel_code::rgb565 || code == pixel_code::rgba4444 ||
           code == pixel_code::argb1555 || code == pixel_code::rgb555;
}

bool format_word_is(std::span<const uint8_t> data, const char* fourcc) {
    return data.size() >= pc_txd::k_offset_format_word + 4 &&
           std::memcmp(data.data() + pc_txd::k_offset_format_word, fourcc, 4) == 0;
}
} // namespace

bool pc_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                  uint32_t flags) {
    if (!open_dictionary_file(path, offset, expected_root_id, flags)) return false;
    if (!every_texture_fits(*this, platform_msg::not_pc, [this](uint32_t t) {
            const uint32_t platform = u32_at(texture_struct(t), k_offset_platform).value_or(0);
            if (platform != stored_platform::d3d8 && platform != stored_platform::d3d9)
                return fit_msg::wrong_platform("PC", texture_struct(t));
            return layout_misfit(t);
        }))
        return false;
    if (!is_pc_texture(0)) {
        last_error = platform_msg::not_pc;
        return false;
    }
    return true;
}

std::string pc_txd::layout_misfit(uint32_t t) {
    const auto data = texture_struct(t);
    if (data.size() < k_offset_palette) return fit_msg::struct_short(data.size(), k_offset_palette);
    const uint32_t w = u16_at(data, k_offset_width).value_or(0),
                   h = u16_at(data, k_offset_height).value_or(0);
    if (w == 0 || h == 0 || w > raster_limits::k_max_picture_dimension ||
        h > raster_limits::k_max_picture_dimension)
        return fit_msg::bad_size(w, h, raster_limits::k_max_picture_dimension);
    const uint32_t d = u8_at(data, k_offset_depth).value_or(0);
    const uint32_t dxt = dxt_kind(compression(t));
    if (dxt == 0 && d != 4 && d != 8 && d != 16 && d != 24 && d != 32) return fit_msg::bad_depth(d);
    const auto found = layout(t);
    const uint64_t palette_bytes =
        dxt == 0 ? stored_palette_bytes(d, u32_at(data, k_offset_raster_format).value_or(0)) : 0;
    if (!found) return fit_msg::struct_short(data.size(), k_offset_palette + palette_bytes);
    // Compressions without a decoder are listed and described, their data is never read.
    if (dxt == k_no_pixels) return {};
    const uint64_t needed = level_bytes(*found, 0);
    if (found->levels.empty() || found->levels[0].bytes < needed)
        return fit_msg::struct_short(data.size(), k_offset_palette + palette_bytes + 4 + needed);
    return {};
}

bool pc_txd::is_pc_texture(uint32_t t) {
    if (!root || texture_count() == 0) return true;
    if (t >= texture_count()) {
        last_error = txd_msg::unknown_texture_id;
        return false;
    }
    const uint32_t platform = u32_at(texture_struct(t), k_offset_platform).value_or(0);
    return platform == stored_platform::d3d8 || platform == stored_platform::d3d9;
}

std::string pc_txd::texture_name(uint32_t t, name_kind which) {
    if (!root || t >= texture_count()) return {};
    return name_field_text(texture_struct(t),
                           which == name_kind::texture ? k_offset_name : k_offset_mask_name,
                           k_name_field_bytes);
}

uint32_t pc_txd::width(uint32_t t) {
    return texture_exists(t) ? u16_at(texture_struct(t), k_offset_width).value_or(0) : 0;
}
uint32_t pc_txd::height(uint32_t t) {
    return texture_exists(t) ? u16_at(texture_struct(t), k_offset_height).value_or(0) : 0;
}
uint32_t pc_txd::depth(uint32_t t) {
    return texture_exists(t) ? u8_at(texture_struct(t), k_offset_depth).value_or(0) : 0;
}
uint32_t pc_txd::raster_format(uint32_t t) {
    return texture_exists(t) ? u32_at(texture_struct(t), k_offset_raster_format).value_or(0) : 0;
}

uint32_t pc_txd::compression(uint32_t t) {
    if (!texture_exists(t)) return 0;
    const auto data = texture_struct(t);
    const uint32_t b = u8_at(data, k_offset_compression).value_or(0);
    if (u32_at(data, k_offset_platform).value_or(0) != stored_platform::d3d9) return b;
    // Direct3D 9 files keep flags in byte 87 (bit 3 compressed, bit 0 alpha); the format word
    // names the block kind. tdem_tde.txd holds DXT5 textures with byte 87 = 8 and 9.
    if (format_word_is(data, "DXT1")) return 1;
    if (format_word_is(data, "DXT2")) return 2;
    if (format_word_is(data, "DXT3")) return 3;
    if (format_word_is(data, "DXT4")) return 4;
    if (format_word_is(data, "DXT5")) return 5;
    if (b == 0 || b == 1) return 0;
    if (b == 8) return 1;
    if (b == 9) return 3;
    return b;
}

bool pc_txd::says_no_alpha(std::span<const uint8_t> data) const {
    // Direct3D 9 keeps its alpha flag in bit 0 of byte 87 (the word at 76 names the format);
    // Direct3D 8 and XBOX Structs keep a has-alpha word at 76.
    if (u32_at(data, k_offset_platform).value_or(0) == stored_platform::d3d9)
        return (u8_at(data, k_offset_compression).value_or(1) & 1) == 0;
    return u32_at(data, k_offset_format_word).value_or(1) == 0;
}

uint32_t pc_txd::dxt_kind(uint32_t value) const {
    // DXT2 and DXT4 are the premultiplied forms of DXT3 and DXT5 and decode with them.
    switch (value) {
    case 1:
        return 1;
    case 2:
    case 3:
        return 3;
    case 4:
    case 5:
        return 5;
    default:
        return 0;
    }
}

uint32_t pc_txd::mip_count(uint32_t t) {
    if (!texture_exists(t)) return 0;
    const uint32_t declared = u8_at(texture_struct(t), k_offset_mip_count).value_or(0);
    if (declared != 0) return declared;
    // A count of 0 with one level stored still shows that level.
    const auto found = layout(t);
    return found && !found->levels.empty() ? 1 : 0;
}

uint32_t pc_txd::stored_palette_bytes(uint32_t depth, uint32_t raster_format) {
    if (depth > 8) return 0;
    if (raster_format & k_format_pal4) return 4 * k_pal4_stored_entries;
    if (raster_format & k_format_pal8) return 4 * 256;
    return 4u << depth;
}

uint64_t pc_txd::level_bytes(const texture_layout& layout, uint32_t level) {
    const uint32_t w = std::max<uint32_t>(1, level < 32 ? layout.width >> level : 0);
    const uint32_t h = std::max<uint32_t>(1, level < 32 ? layout.height >> level : 0);
    if (layout.dxt != 0 && layout.dxt != k_no_pixels)
        return dxt_input_bytes(w, h, 1, layout.dxt == 1 ? 8 : 16);
    return level_pitch(layout, level) * h;
}

uint64_t pc_txd::level_pitch(const texture_layout& layout, uint32_t level) {
    // Rows of uncompressed levels are padded to 4 bytes (a 2x2 8-bit level takes 8 bytes).
    const uint32_t w = std::max<uint32_t>(1, level < 32 ? layout.width >> level : 0);
    return (raster_bytes(w, 1, layout.depth) + 3) / 4 * 4;
}

void pc_txd::locate_levels(std::span<const uint8_t> data, texture_layout& layout) {
    // A size word before each level; the walk stops at the first level that is not all there.
    byte_reader in(data);
    in.seek(k_offset_palette + uint64_t(layout.palette_bytes), "palette");
    const uint32_t wanted = std::min(std::max<uint32_t>(layout.levels_declared, 1), k_max_levels);
    for (uint32_t level = 0; level < wanted; ++level) {
        const uint64_t size = in.u32("level size");
        const uint64_t at = in.position();
        if (!in.skip(size, "level")) break;
        layout.levels.push_back({at, size});
    }
}

std::optional<pc_txd::texture_layout> pc_txd::layout(uint32_t t) {
    if (!texture_exists(t)) return std::nullopt;
    const auto data = texture_struct(t);
    if (data.size() < k_offset_palette) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    // The fixed fields, in file order; the size check above keeps every read inside the Struct.
    texture_layout found;
    byte_reader fields(data);
    fields.seek(k_offset_raster_format, "raster format");
    found.raster_format = fields.u32("raster format");
    fields.skip(k_offset_width - k_offset_format_word, "format word");
    found.width = fields.u16("width");
    found.height = fields.u16("height");
    found.depth = fields.u8("depth");
    found.levels_declared = fields.u8("mip count");
    found.dxt = dxt_kind(compression(t));
    if (found.width == 0 || found.height == 0 ||
        found.width > raster_limits::k_max_picture_dimension ||
        found.height > raster_limits::k_max_picture_dimension ||
        (found.dxt == 0 && (found.depth < 4 || found.depth > 32))) {
        last_error = platform_msg::unsupported_size;
        return std::nullopt;
    }
    if (found.dxt == 0)
        found.palette_bytes = stored_palette_bytes(found.depth, found.raster_format);
    if (!fits(k_offset_palette, found.palette_bytes, data.size())) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    locate_levels(data, found);
    return found;
}

uint32_t pc_txd::dxt_render_code(uint32_t t, const texture_layout& found) {
    if (found.depth == 16) {
        const uint32_t code = pixel_format(t);
        if (is_16bit_code(code)) return code;
        return found.dxt == 1 ? pixel_code::argb1555 : pixel_code::rgba4444;
    }
    // 32-bit textures (the 0x888 ones included) and odd depths decode to full colour.
    return pixel_code::bgra8888;
}

std::optional<native_level> pc_txd::level_pixels(uint32_t t, uint32_t level, level_detail detail) {
    const auto found = layout(t);
    if (!found) return std::nullopt;
    if (found->dxt == k_no_pixels) {
        last_error = platform_msg::no_pixels;
        return std::nullopt;
    }
    // XBOX levels that cannot be located show level 0 whole rather than the top of its data.
    if (level > 0 && level >= found->levels.size() && !found->levels.empty() &&
        missing_levels_show_level0())
        level = 0;
    if (level >= found->levels.size()) {
        last_error =
            found->levels.empty() ? platform_msg::struct_short : platform_msg::level_missing;
        return std::nullopt;
    }
    const auto data = texture_struct(t);
    const level_span where = found->levels[level];
    const uint64_t needed = level_bytes(*found, level);
    if (where.bytes < needed) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    const auto stored =
        data.subspan(static_cast<size_t>(where.offset), static_cast<size_t>(needed));

    native_level out;
    out.width = std::max<uint32_t>(1, found->width >> level);
    out.height = std::max<uint32_t>(1, found->height >> level);
    if (found->dxt != 0) {
        out.code =
            detail == level_detail::full_colour ? pixel_code::bgra8888 : dxt_render_code(t, *found);
        out.depth = dxt_pixel_size(out.code) * 8;
        auto buffer =
            decoded.hold(static_cast<size_t>(dxt_output_bytes(out.width, out.height, 1, out.code)));
        bool ok = false;
        if (found->dxt == 1) ok = decode_dxt1(out.width, out.height, stored, buffer, 1, out.code);
        if (found->dxt == 3) ok = decode_dxt3(out.width, out.height, stored, buffer, 1, out.code);
        if (found->dxt == 5) ok = decode_dxt5(out.width, out.height, stored, buffer, 1, out.code);
        if (!ok) {
            last_error = platform_msg::struct_short;
            return std::nullopt;
        }
        out.pixels = buffer;
        return out;
    }
    out.depth = found->depth;
    out.pixels = stored;
    const uint64_t row = raster_bytes(out.width, 1, out.depth);
    const uint64_t pitch = level_pitch(*found, level);
    if (pitch != row) {
        // Narrow levels: the rows without their padding, as the bitmap code reads them.
        auto rows = decoded.hold(static_cast<size_t>(row * out.height));
        for (uint32_t y = 0; y < out.height; ++y)
            std::memcpy(rows.data() + y * row, stored.data() + y * pitch, static_cast<size_t>(row));
        out.pixels = rows;
    }
    out.code = pixel_format(t);
    if (out.depth == 16 && !is_16bit_code(out.code)) out.code = pixel_code::argb1555;
    out.opaque = (found->raster_format & 0xF00) == 0x600;
    if (out.depth <= 8) {
        // Fewer stored entries than the depth addresses (the 32-entry palette) leave the rest 0.
        out.palette.assign(size_t(4) << out.depth, 0);
        const size_t copied = std::min<size_t>(out.palette.size(), found->palette_bytes);
        std::memcpy(out.palette.data(), data.data() + k_offset_palette, copied);
        // A palette of a texture that says it has no alpha carries arbitrary alpha bytes (often
        // all 0): here, the one place every picture, export and conversion reads them from, they
        // become opaque.
        if (out.opaque || says_no_alpha(data)) {
            out.opaque = true;
            for (size_t i = 3; i < out.palette.size(); i += 4)
                out.palette[i] = 0xFF;
        }
    }
    return out;
}

std::optional<pc_txd::stored_blocks> pc_txd::dxt_blocks(uint32_t t, uint32_t level) {
    const auto found = layout(t);
    if (!found || found->dxt == 0 || found->dxt == k_no_pixels || level >= found->levels.size() ||
        found->levels[level].bytes < level_bytes(*found, level))
        return std::nullopt;
    const auto data = texture_struct(t);
    return stored_blocks{found->dxt, data.subspan(size_t(found->levels[level].offset),
                                                  size_t(level_bytes(*found, level)))};
}

std::span<uint8_t> pc_txd::pixels(uint32_t t, uint32_t level) {
    const auto found = level_pixels(t, level);
    if (!found) return {};
    // The bytes live in the Struct data or the decoded_raster store, both ours and writable.
    return {const_cast<uint8_t*>(found->pixels.data()), found->pixels.size()};
}

std::span<uint8_t> pc_txd::palette(uint32_t t) {
    const auto found = layout(t);
    if (!found || found->palette_bytes == 0) return {};
    return texture_struct(t).subspan(k_offset_palette, found->palette_bytes);
}

bool pc_txd::release_pixels(uint32_t t) {
    return release_struct(t);
}

device_bitmap pc_txd::render(uint32_t t, view_mode mode, swizzle_mode, bool* state_out,
                             uint32_t level) {
    if (state_out) *state_out = false;
    const auto found = level_pixels(t, level, level_detail::full_colour);
    if (!found) return nullptr;
    pc_bitmap bitmap;
    if (!bitmap.load_raster(found->width, found->height, found->depth, found->pixels,
                            found->palette, false, mode, found->code, 0)) {
        last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
        return nullptr;
    }
    return bitmap.to_display_bitmap(mode == view_mode::mixed ? 32 : 24, found->code);
}

bool pc_txd::rename_texture(uint32_t t, const std::string& name, name_kind which) {
    if (!texture_exists(t)) return false;
    const std::string text = name.substr(0, name.find('\0'));
    if (text.size() > k_max_name_length) {
        last_error = platform_msg::name_too_long;
        return false;
    }
    rw_chunk* chunk = texture_chunk(t)->child(0);
    const auto data = texture_struct(t);
    if (data.size() < k_offset_raster_format) {
        last_error = platform_msg::struct_short;
        return false;
    }
    uint8_t* field =
        data.data() + (which == name_kind::texture ? k_offset_name : k_offset_mask_name);
    std::memset(field, 0, k_name_field_bytes);
    std::memcpy(field, text.data(), text.size());
    // The edited Struct can no longer be read again from the file.
    chunk->data_offset = 0;
    return true;
}

std::span<const uint8_t> pc_txd::stored_level(uint32_t t, uint32_t level) {
    const auto found = layout(t);
    if (!found) return {};
    if (level >= found->levels.size()) {
        last_error = platform_msg::level_missing;
        return {};
    }
    const level_span where = found->levels[level];
    const uint64_t needed = level_bytes(*found, level);
    if (where.bytes < needed) {
        last_error = platform_msg::struct_short;
        return {};
    }
    return texture_struct(t).subspan(static_cast<size_t>(where.offset),
                                     static_cast<size_t>(where.bytes));
}

} // namespace quillmap
