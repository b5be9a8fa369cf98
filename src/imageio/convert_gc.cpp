#include "imageio/convert_gc.h"

#include "dictionary/gc_raster_rules.h"
#include "dictionary/pc_texture_build.h"
#include "dictionary/pc_txd.h"
#include "imageio/built_texture.h"
#include "imageio/mip_chain.h"
#include "imageio/pc_levels.h"
#include "imageio/picture_fit.h"
#include "imageio/ps2_picture.h"
#include "imageio/texture_rgba.h"
#include "raster/pixel_format.h"
#include "stream/byte_reader.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
// Filter and addressing as the source keeps them (PS2, PC and XBOX Structs hold them in their
// second word); mobile textures and empty words take nearest, wrap/wrap.
uint32_t filter_of(ps2_txd& source, uint32_t t) {
    if (source.family() == txd_family::mobile) return gc_header::filter_default;
    const uint32_t flags = source.texture_flags(t) & 0xFFFF;
    const uint32_t mode = flags & 0xFF, addressing = flags & 0xFF00;
    return (addressing ? addressing : 0x1100) | (mode ? mode : 1);
}

// Levels the conversion writes: as asked, else one level or, for a texture with levels, the
// full chain real files store.
uint32_t levels_wanted(const gc_convert_options& options, uint32_t w, uint32_t h, uint32_t stored) {
    const uint32_t most = gc_header::full_chain(w, h);
    const uint32_t asked =
        options.mips ? requested_levels(*options.mips, w, h, stored) : (stored > 1 ? most : 1);
    return std::clamp<uint32_t>(asked, 1, most);
}

// Completes a chain the source stored in part, and says so.
bool complete_chain(gc_texture_source& out, uint32_t levels, bool dither, std::string& note) {
    if (out.levels.size() >= levels) return true;
    const size_t stored = out.levels.size();
    std::string error;
    if (!extend_gc_chain(out, levels, dither, error)) return false;
    add_note(note, "mip levels " + std::to_string(stored) + " to " + std::to_string(levels - 1) +
                       " made from level " + std::to_string(stored - 1));
    return true;
}

// A palette texture of any platform as C4 / C8 with the same indices: the levels' indices
// and the palette (RGBA, logical order). False when the texture holds no palette.
bool palette_pictures(ps2_txd& source, uint32_t t, uint32_t levels,
                      std::vector<indexed_image>& out) {
    const uint32_t d = source.depth(t);
    if (d != 4 && d != 8) return false;
    const uint32_t w = source.width(t), h = source.height(t);
    for (uint32_t level = 0; level < levels; ++level) {
        const uint32_t lw = gc_header::level_side(w, level), lh = gc_header::level_side(h, level);
        indexed_image picture;
        if (source.family() == txd_family::ps2) {
            if (!source.raster_header(t)) return false;
            const auto plain = source.plain_level(t, level, source.is_swizzled(t));
            picture = indexed_from_ps2(plain, lw, lh, d, source.palette(t));
        } else {
            const auto found = source.level_pixels(t, level, level_detail::full_colour);
            if (!found || found->depth != d || found->palette.empty() || found->width != lw ||
                found->height != lh)
                break;
            picture.width = lw;
            picture.height = lh;
            picture.palette = found->palette;
            picture.indices.resize(size_t(lw) * lh);
            const size_t row = d == 8 ? lw : (size_t(lw) + 1) / 2;
            for (uint32_t y = 0; y < lh; ++y)
                for (uint32_t x = 0; x < lw; ++x) {
                    const uint8_t byte = found->pixels[y * row + (d == 8 ? x : x / 2)];
                    picture.indices[size_t(y) * lw + x] =
                        d == 8 ? byte : uint8_t(x % 2 ? byte >> 4 : byte & 0xF);
                }
        }
        if (picture.indices.empty()) break;
        out.push_back(std::move(picture));
    }
    return !out.empty();
}

// The palette route: the same indices on 16-bit entries, and what the entries lost.
bool take_palette(ps2_txd& source, uint32_t t, const gc_convert_options& options,
                  gc_texture_source& out, std::string& note) {
    if (options.format && *options.format != gc_format::c4 && *options.format != gc_format::c8)
        return false;
    const uint32_t w = source.width(t), h = source.height(t);
    if (!std::has_single_bit(w) || !std::has_single_bit(h)) return false;
    const uint32_t stored = std::max<uint32_t>(1, source.mip_count(t));
    const uint32_t levels = levels_wanted(options, w, h, stored);
    const uint32_t taken = std::min(levels, stored);
    std::vector<indexed_image> pictures;
    if (!palette_pictures(source, t, taken, pictures) || pictures.size() != taken) return false;
    uint32_t highest = 0;
    for (const auto& p : pictures)
        for (uint8_t i : p.indices)
            highest = std::max<uint32_t>(highest, i);
    const bool four_bit = options.format ? *options.format == gc_format::c4 : source.depth(t) == 4;
    if (four_bit && highest > 15) return false;
    const std::vector<uint8_t>& rgba = pictures[0].palette;
    bool translucent = false;
    for (size_t i = 3; i < rgba.size(); i += 4)
        translucent = translucent || rgba[i] != 0xFF;
    out.kind = gc_kind_for(four_bit ? gc_format::c4 : gc_format::c8, translucent);
    const uint8_t palette_format = gc_header::fields_of(out.kind).palette;
    const uint32_t entries = four_bit ? 16 : 256;
    out.palette.clear();
    uint32_t colour_changed = 0, alpha_changed = 0;
    for (uint32_t i = 0; i < entries && (size_t(i) + 1) * 4 <= rgba.size(); ++i) {
        const rgba8 c{rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2], rgba[i * 4 + 3]};
        const uint16_t v =
            palette_format == gx_palette::rgb565 ? gx_pack_rgb565(c) : gx_pack_rgb5a3(c);
        out.palette.push_back(v);
        const rgba8 back = gx_palette_colour(palette_format, v);
        if (back.a != c.a) ++alpha_changed;
        if (back.r != c.r || back.g != c.g || back.b != c.b) ++colour_changed;
    }
    if (colour_changed)
        add_note(note, std::to_string(colour_changed) + " palette colour(s) rounded to " +
                           gx_palette_name(palette_format));
    if (alpha_changed)
        add_note(note, std::to_string(alpha_changed) + " palette alpha value(s) rounded to " +
                           (palette_format == gx_palette::rgb5a3 ? "3 bits" : "opaque"));
    const std::vector<rgba8> colours = [&] {
        std::vector<rgba8> c;
        for (uint16_t v : out.palette)
            c.push_back(gx_palette_colour(palette_format, v));
        return c;
    }();
    out.width = w;
    out.height = h;
    out.levels.clear();
    out.any_translucent = false;
    for (const indexed_image& p : pictures) {
        out.levels.push_back(
            gx_encode_indices(gc_header::fields_of(out.kind).gx, p.width, p.height, p.indices));
        for (uint8_t i : p.indices)
            out.any_translucent =
                out.any_translucent || (i < colours.size() && colours[i].a != 255);
    }
    return complete_chain(out, levels, options.dither, note);
}

// DXT1 levels of a PC, XBOX or mobile texture carried as CMPR blocks.
bool take_dxt1(ps2_txd& source, uint32_t t, const gc_convert_options& options,
               gc_texture_source& out, std::string& note) {
    if (options.format && *options.format != gc_format::cmpr) return false;
    auto* pc = dynamic_cast<pc_txd*>(&source);
    if (!pc) return false;
    const auto first = pc->dxt_blocks(t, 0);
    if (!first || first->dxt != 1) return false;
    const uint32_t w = source.width(t), h = source.height(t);
    if (!std::has_single_bit(w) || !std::has_single_bit(h)) return false;
    const uint32_t stored = std::max<uint32_t>(1, source.mip_count(t));
    const uint32_t levels = levels_wanted(options, w, h, stored);
    out.kind = gc_header::kind::compressed;
    out.width = w;
    out.height = h;
    out.palette.clear();
    out.levels.clear();
    for (uint32_t level = 0; level < std::min(levels, stored); ++level) {
        const auto blocks = pc->dxt_blocks(t, level);
        if (!blocks || blocks->dxt != 1) return false;
        auto cmpr = gx_dxt1_to_cmpr(gc_header::level_side(w, level),
                                    gc_header::level_side(h, level), blocks->bytes);
        if (cmpr.empty()) return false;
        out.levels.push_back(std::move(cmpr));
    }
    out.any_translucent = true; // CMPR carries alpha flag 1 whatever its texels
    return complete_chain(out, levels, options.dither, note);
}

// The nearest kind for a texture that is decoded: by its stored format.
gc_format nearest_format(ps2_txd& source, uint32_t t, bool translucent) {
    const uint32_t compression = source.compression(t);
    if (compression == 1 && source.family() != txd_family::ps2)
        return translucent ? gc_format::rgba8 : gc_format::cmpr;
    if (compression != 0 && source.family() != txd_family::ps2) return gc_format::rgba8;
    const uint32_t d = source.depth(t);
    if (d == 16) return gc_format::rgb5a3;
    if (d == 4) return gc_format::c4;
    if (d == 8) return gc_format::c8;
    return gc_format::rgba8;
}

bool encode_decoded(ps2_txd& source, uint32_t t, const gc_convert_options& options,
                    gc_texture_source& out, std::string& note, std::string& error) {
    const rgba_image level0 = texture_rgba(source, t, 0, error);
    if (level0.rgba.empty()) return false;
    const uint32_t stored = std::max<uint32_t>(1, source.mip_count(t));
    std::vector<rgba_image> chain{level0};
    const bool scaled = !std::has_single_bit(level0.width) || !std::has_single_bit(level0.height);
    if (scaled) {
        chain[0] = resized(level0, nearest_power_of_two(level0.width),
                           nearest_power_of_two(level0.height));
        add_note(note, "scaled from " + size_text(level0.width, level0.height) + " to " +
                           size_text(chain[0].width, chain[0].height));
    }
    const uint32_t w = chain[0].width, h = chain[0].height;
    const uint32_t levels = levels_wanted(options, w, h, stored);
    for (uint32_t level = 1; level < levels; ++level) {
        rgba_image picture;
        std::string ignored;
        const bool own = !scaled && level < stored &&
                         (!options.mips || options.mips->mode != mips_mode::regenerate) &&
                         !(picture = texture_rgba(source, t, level, ignored)).rgba.empty() &&
                         picture.width == gc_header::level_side(w, level) &&
                         picture.height == gc_header::level_side(h, level);
        chain.push_back(own ? std::move(picture) : half_size(chain.back()));
    }
    const bool translucent = alpha_of(chain[0]) != picture_alpha::opaque;
    const gc_format format = options.format.value_or(nearest_format(source, t, translucent));
    const gc_header::kind kind = gc_kind_for(format, translucent);
    if (!encode_gc_levels(chain, kind, options.dither, nullptr, out, error, note)) return false;
    // What the chosen layout cannot hold exactly.
    const auto decoded = gx_decode_level(gc_header::fields_of(kind).gx, w, h, out.levels[0], [&] {
        std::vector<rgba8> c;
        for (uint16_t v : out.palette)
            c.push_back(gx_palette_colour(gc_header::fields_of(kind).palette, v));
        return c;
    }());
    uint64_t changed = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const uint8_t* p = chain[0].pixel(uint32_t(i % w), uint32_t(i / w));
        if (decoded[i].r != p[0] || decoded[i].g != p[1] || decoded[i].b != p[2] ||
            decoded[i].a != p[3])
            ++changed;
    }
    if (changed)
        add_note(note, std::string("stored as ") + gc_format_name(format) + ", " +
                           std::to_string(changed) + " of " + std::to_string(decoded.size()) +
                           " texels of level 0 not exact");
    return true;
}
} // namespace

bool convert_to_gc(ps2_txd& source, ps2_txd& target, const gc_convert_options& options,
                   std::vector<std::string>& skipped, std::vector<std::string>& notes,
                   std::string& error) {
    if (!source.root) {
        error = rw_msg::not_opened;
        return false;
    }
    target.create_empty(k_gc_version_stamp);
    // Device id 0, as almost every real GameCube dictionary has it.
    rw_chunk* header = target.root->child(0);
    if (auto* words = header ? target.load_data(header) : nullptr; words && words->size() >= 4)
        store_u16(words->data() + 2, 0);
    auto* gc_source = dynamic_cast<gc_txd*>(&source);
    for (uint32_t t = 0; t < source.texture_count(); ++t) {
        const std::string name = source.texture_name(t, name_kind::texture);
        // GameCube textures asked for nothing new stay byte for byte.
        if (gc_source && !options.format && !options.mips) {
            const auto data = source.texture_struct(t);
            if (data.empty()) {
                skipped.push_back(name);
                continue;
            }
            if (!append_converted(
                    target, name,
                    texture_native_chunk({data.begin(), data.end()}, k_gc_version_stamp), {}, notes,
                    error, std::max(source.texture_count(), ps2_txd::k_max_textures)))
                return false;
            continue;
        }
        gc_texture_source built;
        std::string note, why;
        const bool taken = take_dxt1(source, t, options, built, note) ||
                           take_palette(source, t, options, built, note);
        if (!taken && !encode_decoded(source, t, options, built, note, why)) {
            source.release_pixels(t);
            skipped.push_back(name);
            continue;
        }
        built.filter = filter_of(source, t);
        set_gc_name(built.name, name.substr(0, gc_txd::k_max_name_length));
        set_gc_name(built.mask,
                    source.texture_name(t, name_kind::mask).substr(0, gc_txd::k_max_name_length));
        source.release_pixels(t);
        if (!append_converted(target, name, build_gc_texture(built, k_gc_version_stamp, error),
                              note, notes, error,
                              std::max(source.texture_count(), ps2_txd::k_max_textures)))
            return false;
    }
    return true;
}

bool convert_to_gc(ps2_txd& source, const std::filesystem::path& out,
                   const gc_convert_options& options, std::vector<std::string>& skipped,
                   std::vector<std::string>& notes, std::string& error) {
    gc_txd target;
    if (!convert_to_gc(source, target, options, skipped, notes, error)) return false;
    return save_built(target, out, error);
}

} // namespace quillmap
