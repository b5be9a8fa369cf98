#include "dictionary/gc_txd.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/name_field.h"
#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "dictionary/txd_probe_fit.h"
#include "raster/pc_bitmap.h"
#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "raster/tim2_file.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
constexpr const char* k_not_gamecube = "This is not a GameCube texture.";

std::string unknown_gx(uint32_t gx) {
    return "has an unknown GX texture format " + std::to_string(gx);
}

bool size_supported(uint32_t w, uint32_t h) {
    return w != 0 && h != 0 && w <= raster_limits::k_max_picture_dimension &&
           h <= raster_limits::k_max_picture_dimension;
}
} // namespace

bool gc_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                  uint32_t flags) {
    if (!open_dictionary_file(path, offset, expected_root_id, flags)) return false;
    if (!every_texture_fits(*this, k_not_gamecube, [this](uint32_t t) { return misfit(t); }))
        return false;
    if (!is_gc_texture(0)) {
        last_error = k_not_gamecube;
        return false;
    }
    return true;
}

std::string gc_txd::misfit(uint32_t t) {
    const auto data = texture_struct(t);
    if (gc_header::be32(data, gc_header::offset_platform) != gc_header::platform_word)
        return fit_msg::wrong_platform("GameCube", data);
    const auto f = read_gc_fields(data);
    if (!f) return fit_msg::struct_short(data.size(), gc_header::fixed_bytes);
    if (!size_supported(f->width, f->height))
        return fit_msg::bad_size(f->width, f->height, raster_limits::k_max_picture_dimension);
    if (!gx_tile_of(f->gx)) return unknown_gx(f->gx);
    const uint64_t needed = f->data_size_offset + 4 + gx_level_bytes(f->gx, f->width, f->height);
    if (data.size() < needed) return fit_msg::struct_short(data.size(), needed);
    return {};
}

bool gc_txd::is_gc_texture(uint32_t t) {
    if (!root || texture_count() == 0) return true;
    if (t >= texture_count()) {
        last_error = txd_msg::unknown_texture_id;
        return false;
    }
    return gc_header::be32(texture_struct(t), gc_header::offset_platform) ==
           gc_header::platform_word;
}

std::optional<gc_fields> gc_txd::fields(uint32_t t) {
    if (!texture_exists(t)) return std::nullopt;
    auto f = read_gc_fields(texture_struct(t));
    if (!f) last_error = platform_msg::struct_short;
    return f;
}

std::string gc_txd::texture_name(uint32_t t, name_kind which) {
    if (!root || t >= texture_count()) return {};
    return name_field_text(texture_struct(t),
                           which == name_kind::texture ? gc_header::offset_name
                                                       : gc_header::offset_mask,
                           gc_header::name_bytes);
}

uint32_t gc_txd::width(uint32_t t) {
    return texture_exists(t) ? gc_header::be16(texture_struct(t), gc_header::offset_width) : 0;
}
uint32_t gc_txd::height(uint32_t t) {
    return texture_exists(t) ? gc_header::be16(texture_struct(t), gc_header::offset_height) : 0;
}
uint32_t gc_txd::depth(uint32_t t) {
    return texture_exists(t) ? u8_at(texture_struct(t), gc_header::offset_depth).value_or(0) : 0;
}
uint32_t gc_txd::raster_format(uint32_t t) {
    return texture_exists(t) ? gc_header::be32(texture_struct(t), gc_header::offset_raster_format)
                             : 0;
}
uint32_t gc_txd::platform_id(uint32_t t) {
    return texture_exists(t) ? gc_header::be32(texture_struct(t), gc_header::offset_platform) : 0;
}
uint32_t gc_txd::texture_flags(uint32_t t) {
    return texture_exists(t) ? gc_header::be32(texture_struct(t), gc_header::offset_filter) : 0;
}

uint32_t gc_txd::compression(uint32_t t) {
    if (!texture_exists(t)) return 0;
    return u8_at(texture_struct(t), gc_header::offset_gx_format).value_or(0) == gx_format::cmpr ? 1
                                                                                                : 0;
}

uint32_t gc_txd::mip_count(uint32_t t) {
    const auto f = fields(t);
    if (!f) return 0;
    if (!size_supported(f->width, f->height)) return 1;
    return std::clamp<uint32_t>(f->levels, 1, gc_header::full_chain(f->width, f->height));
}

std::optional<std::pair<uint64_t, uint64_t>> gc_txd::level_span(uint32_t t, uint32_t level) {
    const auto f = fields(t);
    if (!f) return std::nullopt;
    if (!size_supported(f->width, f->height) || !gx_tile_of(f->gx)) {
        last_error = platform_msg::unsupported_size;
        return std::nullopt;
    }
    if (level >= mip_count(t)) {
        last_error = platform_msg::level_missing;
        return std::nullopt;
    }
    // Levels lie back to back after the data size word; the chain is at most 16 levels long,
    // so the walk is short whatever the count byte says.
    uint64_t at = f->data_size_offset + 4;
    for (uint32_t i = 0; i < level; ++i)
        at += gx_level_bytes(f->gx, gc_header::level_side(f->width, i),
                             gc_header::level_side(f->height, i));
    const uint64_t bytes = gx_level_bytes(f->gx, gc_header::level_side(f->width, level),
                                          gc_header::level_side(f->height, level));
    if (!fits(at, bytes, f->struct_bytes)) {
        last_error = platform_msg::struct_short;
        return std::nullopt;
    }
    return std::make_pair(at, bytes);
}

std::span<const uint8_t> gc_txd::stored_level(uint32_t t, uint32_t level) {
    const auto where = level_span(t, level);
    if (!where) return {};
    return texture_struct(t).subspan(size_t(where->first), size_t(where->second));
}

std::span<const uint8_t> gc_txd::stored_palette(uint32_t t) {
    const auto f = fields(t);
    if (!f || f->palette_entries == 0 ||
        !fits(gc_header::offset_palette, uint64_t(f->palette_entries) * 2, f->struct_bytes))
        return {};
    return texture_struct(t).subspan(gc_header::offset_palette, size_t(f->palette_entries) * 2);
}

std::vector<rgba8> gc_txd::palette_colours(uint32_t t) {
    std::vector<rgba8> colours;
    const auto f = fields(t);
    const auto stored = stored_palette(t);
    if (!f || stored.empty()) return colours;
    colours.reserve(stored.size() / 2);
    for (size_t i = 0; i + 1 < stored.size(); i += 2)
        colours.push_back(
            gx_palette_colour(f->palette_format, uint16_t(stored[i] << 8 | stored[i + 1])));
    return colours;
}

std::vector<rgba8> gc_txd::level_rgba(uint32_t t, uint32_t level) {
    const auto stored = stored_level(t, level);
    if (stored.empty()) return {};
    const auto f = fields(t);
    const std::vector<rgba8> colours = palette_colours(t);
    return gx_decode_level(f->gx, gc_header::level_side(f->width, level),
                           gc_header::level_side(f->height, level), stored, colours);
}

std::optional<native_level> gc_txd::level_pixels(uint32_t t, uint32_t level, level_detail) {
    const auto stored = stored_level(t, level);
    if (stored.empty()) return std::nullopt;
    const auto f = fields(t);
    native_level out;
    out.width = gc_header::level_side(f->width, level);
    out.height = gc_header::level_side(f->height, level);
    const size_t count = size_t(out.width) * out.height;
    if ((f->gx == gx_format::c4 || f->gx == gx_format::c8) && f->palette_entries != 0) {
        const std::vector<uint16_t> indices =
            gx_decode_indices(f->gx, out.width, out.height, stored);
        out.depth = f->gx == gx_format::c4 ? 4 : 8;
        auto buffer = decoded.hold(out.depth == 8 ? count : (count + 1) / 2);
        for (size_t i = 0; i < count; ++i) {
            if (out.depth == 8)
                buffer[i] = uint8_t(indices[i]);
            else
                buffer[i / 2] |= uint8_t((indices[i] & 0xF) << (i % 2 ? 4 : 0));
        }
        out.pixels = buffer;
        out.palette.assign(size_t(4) << out.depth, 0);
        const std::vector<rgba8> colours = palette_colours(t);
        for (size_t i = 0; i < colours.size() && i < (size_t(1) << out.depth); ++i) {
            out.palette[i * 4] = colours[i].r;
            out.palette[i * 4 + 1] = colours[i].g;
            out.palette[i * 4 + 2] = colours[i].b;
            out.palette[i * 4 + 3] = colours[i].a;
        }
        out.code = 0;
        return out;
    }
    const std::vector<rgba8> texels =
        gx_decode_level(f->gx, out.width, out.height, stored, palette_colours(t));
    if (texels.size() != count) {
        last_error = platform_msg::no_pixels;
        return std::nullopt;
    }
    auto buffer = decoded.hold(count * 4);
    for (size_t i = 0; i < count; ++i) {
        buffer[i * 4] = texels[i].b;
        buffer[i * 4 + 1] = texels[i].g;
        buffer[i * 4 + 2] = texels[i].r;
        buffer[i * 4 + 3] = texels[i].a;
    }
    out.depth = 32;
    out.code = pixel_code::bgra8888;
    out.pixels = buffer;
    return out;
}

std::span<uint8_t> gc_txd::pixels(uint32_t t, uint32_t level) {
    const auto found = level_pixels(t, level);
    if (!found) return {};
    return {const_cast<uint8_t*>(found->pixels.data()), found->pixels.size()};
}

std::span<uint8_t> gc_txd::palette(uint32_t t) {
    const std::vector<rgba8> colours = palette_colours(t);
    palette_rgba_.clear();
    if (colours.empty()) return {};
    for (const rgba8& c : colours)
        palette_rgba_.insert(palette_rgba_.end(), {c.r, c.g, c.b, c.a});
    return palette_rgba_;
}

bool gc_txd::release_pixels(uint32_t t) {
    return release_struct(t);
}

device_bitmap gc_txd::render(uint32_t t, view_mode mode, swizzle_mode, bool* state_out,
                             uint32_t level) {
    if (state_out) *state_out = false;
    const std::vector<rgba8> texels = level_rgba(t, level);
    if (texels.empty()) return nullptr;
    const auto f = fields(t);
    const uint32_t w = gc_header::level_side(f->width, level),
                   h = gc_header::level_side(f->height, level);
    std::vector<uint8_t> bgra(texels.size() * 4);
    for (size_t i = 0; i < texels.size(); ++i) {
        bgra[i * 4] = texels[i].b;
        bgra[i * 4 + 1] = texels[i].g;
        bgra[i * 4 + 2] = texels[i].r;
        bgra[i * 4 + 3] = texels[i].a;
    }
    pc_bitmap bitmap;
    if (!bitmap.load_raster(w, h, 32, bgra, {}, false, mode, pixel_code::bgra8888, 0)) {
        last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
        return nullptr;
    }
    return bitmap.to_display_bitmap(mode == view_mode::mixed ? 32 : 24, pixel_code::bgra8888);
}

bool gc_txd::rename_texture(uint32_t t, const std::string& name, name_kind which) {
    if (!texture_exists(t)) return false;
    const std::string text = name.substr(0, name.find('\0'));
    if (text.size() > k_max_name_length) {
        last_error = platform_msg::name_too_long;
        return false;
    }
    const auto data = texture_struct(t);
    if (data.size() < gc_header::fixed_bytes) {
        last_error = platform_msg::struct_short;
        return false;
    }
    uint8_t* field = data.data() + (which == name_kind::texture ? gc_header::offset_name
                                                                : gc_header::offset_mask);
    std::memset(field, 0, gc_header::name_bytes);
    std::memcpy(field, text.data(), text.size());
    // The edited Struct can no longer be read again from the file.
    texture_chunk(t)->child(0)->data_offset = 0;
    return true;
}

bool gc_txd::export_texture(uint32_t t, view_mode mode, export_type type,
                            const std::filesystem::path* path, swizzle_mode) {
    if (!texture_exists(t)) return false;
    if (type != export_type::bmp && type != export_type::tim2 && type != export_type::rwsect) {
        last_error = txd_msg::unknown_export_type;
        return false;
    }
    const char* extension = type == export_type::bmp    ? ".bmp"
                            : type == export_type::tim2 ? ".tm2"
                                                        : ".rwsect";
    const std::filesystem::path target =
        path ? *path
             : std::filesystem::path(texture_name(t, mode == view_mode::texture ? name_kind::texture
                                                                                : name_kind::mask) +
                                     extension);
    bool ok = false;
    if (type == export_type::bmp) {
        const std::vector<rgba8> texels = level_rgba(t, 0);
        if (texels.empty()) return false;
        const uint32_t w = width(t), h = height(t);
        std::vector<uint8_t> bgra(texels.size() * 4);
        for (size_t i = 0; i < texels.size(); ++i) {
            bgra[i * 4] = texels[i].b;
            bgra[i * 4 + 1] = texels[i].g;
            bgra[i * 4 + 2] = texels[i].r;
            bgra[i * 4 + 3] = texels[i].a;
        }
        pc_bitmap bitmap;
        ok = bitmap.load_raster(w, h, 32, bgra, {}, false, mode, pixel_code::bgra8888,
                                pixel_code::argb1555) &&
             bitmap.write_bmp(target);
        if (!ok)
            last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
    } else if (type == export_type::tim2) {
        ok = write_tim2_of(*this, t, target, last_error);
    } else {
        rw_chunk* texture = texture_chunk(t);
        if (!load_all(texture)) return false;
        rw_stream section;
        section.root.reset(texture);
        section.borrowed_tree = true;
        ok = section.save(target, 0);
        if (!ok) last_error = section.last_error;
        section.close();
    }
    if (!ok) return false;
    release_pixels(t);
    return true;
}

} // namespace quillmap
