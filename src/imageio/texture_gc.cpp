#include "imageio/texture_gc.h"

#include "dictionary/gc_raster_rules.h"
#include "dictionary/txd_messages.h"
#include "imageio/built_texture.h"
#include "imageio/dxt_compress.h"
#include "imageio/mip_chain.h"
#include "imageio/pc_levels.h"
#include "imageio/picture_fit.h"
#include "imageio/quantize.h"
#include "imageio/texture_rgba.h"

#include <algorithm>
#include <unordered_map>

namespace quillmap {

namespace {
uint32_t key_of(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t key_of(rgba8 c) {
    return uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16 | uint32_t(c.a) << 24;
}

std::vector<rgba8> widened(const std::vector<uint16_t>& entries, uint8_t palette_format) {
    std::vector<rgba8> out;
    out.reserve(entries.size());
    for (uint16_t v : entries)
        out.push_back(gx_palette_colour(palette_format, v));
    return out;
}

std::vector<uint8_t> palette_bytes(const std::vector<rgba8>& colours) {
    std::vector<uint8_t> out;
    out.reserve(colours.size() * 4);
    for (const rgba8& c : colours)
        out.insert(out.end(), {c.r, c.g, c.b, c.a});
    return out;
}

std::vector<rgba8> texels_of(const rgba_image& picture) {
    std::vector<rgba8> out(size_t(picture.width) * picture.height);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = {picture.rgba[i * 4], picture.rgba[i * 4 + 1], picture.rgba[i * 4 + 2],
                  picture.rgba[i * 4 + 3]};
    return out;
}

bool any_below_255(const std::vector<rgba8>& texels) {
    return std::any_of(texels.begin(), texels.end(), [](rgba8 c) { return c.a != 0xFF; });
}

// Level 0's palette indices on the kept palette: a texel whose stored index already shows the
// picture keeps it, others take the first entry of their colour. False when some colour is
// not in the palette.
bool indices_on_kept_palette(const rgba_image& picture, uint8_t gx,
                             const std::vector<rgba8>& colours, const std::vector<uint8_t>& level0,
                             std::vector<uint8_t>& indices) {
    std::unordered_map<uint32_t, uint8_t> first;
    for (size_t i = 0; i < colours.size() && i < 256; ++i)
        first.emplace(key_of(colours[i]), uint8_t(i));
    const std::vector<uint16_t> old =
        level0.empty() ? std::vector<uint16_t>{}
                       : gx_decode_indices(gx, picture.width, picture.height, level0);
    indices.assign(size_t(picture.width) * picture.height, 0);
    for (size_t i = 0; i < indices.size(); ++i) {
        const uint32_t key = key_of(&picture.rgba[i * 4]);
        if (!old.empty() && old[i] < colours.size() && key_of(colours[old[i]]) == key) {
            indices[i] = uint8_t(old[i]);
            continue;
        }
        const auto found = first.find(key);
        if (found == first.end()) return false;
        indices[i] = found->second;
    }
    return true;
}

bool encode_palette_levels(const std::vector<rgba_image>& chain, const gc_header::kind_fields& kf,
                           bool dither, const gc_kept* kept, gc_texture_source& source,
                           std::string& error, std::string& note) {
    const uint32_t entries = kf.gx == gx_format::c4 ? 16 : 256;
    const rgba_image& top = chain[0];
    std::vector<uint16_t> palette;
    std::vector<rgba8> colours;
    std::vector<uint8_t> level0;
    if (kept && kept->same_kind && kept->palette.size() == entries) {
        colours = widened(kept->palette, kf.palette);
        if (indices_on_kept_palette(top, kf.gx, colours, kept->level0, level0))
            palette = kept->palette;
    }
    if (palette.empty()) {
        indexed_image reduced;
        if (!quantize(top, entries, dither, reduced, error)) return false;
        for (uint32_t i = 0; i < reduced.entries(); ++i) {
            const rgba8 c{reduced.palette[i * 4], reduced.palette[i * 4 + 1],
                          reduced.palette[i * 4 + 2], reduced.palette[i * 4 + 3]};
            palette.push_back(kf.palette == gx_palette::rgb565 ? gx_pack_rgb565(c)
                                                               : gx_pack_rgb5a3(c));
        }
        palette.resize(entries, 0);
        colours = widened(palette, kf.palette);
        // The picture goes onto the colours the 16-bit entries show.
        colours.resize(reduced.entries());
        indexed_image mapped;
        if (!remap(top, palette_bytes(colours), dither, mapped, error)) return false;
        level0 = std::move(mapped.indices);
        if (count_colours(top, entries) > entries)
            add_note(note, "colours reduced to a palette of " + std::to_string(entries));
        colours = widened(palette, kf.palette);
    }
    const auto used_translucent = [&](const std::vector<uint8_t>& indices) {
        return std::any_of(indices.begin(), indices.end(),
                           [&](uint8_t i) { return i < colours.size() && colours[i].a != 0xFF; });
    };
    source.palette = palette;
    source.levels = {gx_encode_indices(kf.gx, top.width, top.height, level0)};
    source.any_translucent = used_translucent(level0);
    const std::vector<uint8_t> bytes = palette_bytes(colours);
    for (size_t level = 1; level < chain.size(); ++level) {
        indexed_image mapped;
        if (!remap(chain[level], bytes, dither, mapped, error)) return false;
        source.any_translucent = source.any_translucent || used_translucent(mapped.indices);
        source.levels.push_back(
            gx_encode_indices(kf.gx, chain[level].width, chain[level].height, mapped.indices));
    }
    return true;
}

// Where RGB5A3 texel (x, y) and CMPR block (bx, by) lie in a level.
size_t rgb5a3_offset(uint32_t width, uint32_t x, uint32_t y) {
    const size_t across = (size_t(width) + 3) / 4;
    return ((y / 4) * across + x / 4) * 32 + ((y % 4) * 4 + x % 4) * 2;
}
size_t cmpr_offset(uint32_t width, uint32_t bx, uint32_t by) {
    const size_t across = (size_t(width) + 7) / 8;
    return ((by / 2) * across + bx / 2) * 32 + ((by % 2) * 2 + bx % 2) * 8;
}

// Stored RGB5A3 texels and CMPR blocks of `old` that show `picture` exactly are copied into
// `level`, so that a texture given its own picture keeps its bytes.
void keep_matching(uint8_t gx, const rgba_image& picture, const std::vector<uint8_t>& old,
                   std::vector<uint8_t>& level) {
    if (old.size() != level.size()) return;
    const uint32_t w = picture.width, h = picture.height;
    const std::vector<rgba8> shown = gx_decode_level(gx, w, h, old, {});
    if (shown.size() != size_t(w) * h) return;
    const auto same = [&](uint32_t x, uint32_t y) {
        return key_of(shown[size_t(y) * w + x]) == key_of(picture.pixel(x, y));
    };
    if (gx == gx_format::rgb5a3) {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                if (same(x, y)) {
                    const size_t at = rgb5a3_offset(w, x, y);
                    level[at] = old[at];
                    level[at + 1] = old[at + 1];
                }
        return;
    }
    if (gx != gx_format::cmpr) return;
    for (uint32_t by = 0; by < (h + 3) / 4; ++by)
        for (uint32_t bx = 0; bx < (w + 3) / 4; ++bx) {
            bool all = true;
            for (uint32_t y = by * 4; y < std::min(h, by * 4 + 4) && all; ++y)
                for (uint32_t x = bx * 4; x < std::min(w, bx * 4 + 4) && all; ++x)
                    all = same(x, y);
            if (!all) continue;
            const size_t at = cmpr_offset(w, bx, by);
            std::copy_n(old.begin() + ptrdiff_t(at), 8, level.begin() + ptrdiff_t(at));
        }
}

std::vector<uint8_t> encode_direct(const rgba_image& picture, uint8_t gx) {
    if (gx != gx_format::cmpr)
        return gx_encode_texels(gx, picture.width, picture.height, texels_of(picture));
    // Pixels with alpha below 128 take the transparent colour of a three-colour block.
    const bool holes = alpha_of(picture) != picture_alpha::opaque;
    const auto blocks =
        compress_dxt(picture.rgba, picture.width, picture.height, dxt_kind::dxt1, holes);
    return gx_dxt1_to_cmpr(picture.width, picture.height, blocks);
}

// The levels a request gives within the full chain of the size.
uint32_t levels_for(mips_request mips, uint32_t w, uint32_t h, uint32_t current,
                    std::string& note) {
    const uint32_t most = gc_header::full_chain(w, h);
    const uint32_t asked = requested_levels(mips, w, h, current);
    if (asked > most)
        add_note(note, std::to_string(most) + " mip level(s), the most a texture of " +
                           size_text(w, h) + " holds");
    return std::clamp<uint32_t>(asked, 1, most);
}

bool store(gc_txd& txd, uint32_t t, const gc_texture_source& source, std::string& error) {
    auto data = gc_struct_data(source, error);
    if (!data) return false;
    if (!txd.replace_struct(t, std::move(*data))) {
        error = txd.last_error;
        return false;
    }
    return true;
}

// The stored state of texture t that a rebuild of the same kind keeps.
gc_kept kept_of(gc_txd& txd, uint32_t t, gc_header::kind now, gc_header::kind before) {
    gc_kept kept;
    kept.same_kind = now == before;
    if (!kept.same_kind) return kept;
    const auto palette = txd.stored_palette(t);
    for (size_t i = 0; i + 1 < palette.size(); i += 2)
        kept.palette.push_back(uint16_t(palette[i] << 8 | palette[i + 1]));
    const auto level0 = txd.stored_level(t, 0);
    kept.level0.assign(level0.begin(), level0.end());
    return kept;
}
} // namespace

const char* gc_format_name(gc_format format) {
    switch (format) {
    case gc_format::c4:
        return "c4";
    case gc_format::c8:
        return "c8";
    case gc_format::rgb5a3:
        return "rgb5a3";
    case gc_format::rgba8:
        return "rgba8";
    case gc_format::cmpr:
        return "cmpr";
    }
    return "";
}

std::optional<gc_format> gc_format_named(const std::string& name) {
    for (gc_format format : k_gc_formats)
        if (name == gc_format_name(format)) return format;
    return std::nullopt;
}

gc_format gc_format_of(gc_header::kind kind) {
    switch (gc_header::fields_of(kind).gx) {
    case gx_format::c4:
        return gc_format::c4;
    case gx_format::c8:
        return gc_format::c8;
    case gx_format::rgb5a3:
        return gc_format::rgb5a3;
    case gx_format::cmpr:
        return gc_format::cmpr;
    default:
        return gc_format::rgba8;
    }
}

gc_header::kind gc_kind_for(gc_format format, bool translucent) {
    using gc_header::kind;
    switch (format) {
    case gc_format::c4:
        return translucent ? kind::pal4_1555 : kind::pal4_565;
    case gc_format::c8:
        return translucent ? kind::pal8_1555 : kind::pal8_565;
    case gc_format::rgb5a3:
        return kind::rgb4444;
    case gc_format::cmpr:
        return kind::compressed;
    case gc_format::rgba8:
        break;
    }
    return kind::rgba8888;
}

gc_format default_gc_format(bool translucent) {
    return translucent ? gc_format::rgba8 : gc_format::cmpr;
}

bool encode_gc_levels(const std::vector<rgba_image>& chain, gc_header::kind kind, bool dither,
                      const gc_kept* kept, gc_texture_source& source, std::string& error,
                      std::string& note) {
    if (chain.empty()) {
        error = "no picture to encode";
        return false;
    }
    const gc_header::kind_fields& kf = gc_header::fields_of(kind);
    source.kind = kind;
    source.width = chain[0].width;
    source.height = chain[0].height;
    if (kf.palette != gx_palette::none)
        return encode_palette_levels(chain, kf, dither, kept, source, error, note);
    source.palette.clear();
    source.levels.clear();
    source.any_translucent = false;
    for (size_t level = 0; level < chain.size(); ++level) {
        std::vector<uint8_t> bytes = encode_direct(chain[level], kf.gx);
        if (bytes.empty()) {
            error = "the picture could not be encoded";
            return false;
        }
        if (level == 0 && kept && kept->same_kind)
            keep_matching(kf.gx, chain[0], kept->level0, bytes);
        source.any_translucent = source.any_translucent ||
                                 any_below_255(gx_decode_level(kf.gx, chain[level].width,
                                                               chain[level].height, bytes, {}));
        source.levels.push_back(std::move(bytes));
    }
    return true;
}

bool extend_gc_chain(gc_texture_source& source, uint32_t levels, bool dither, std::string& error) {
    const gc_header::kind_fields& kf = gc_header::fields_of(source.kind);
    if (source.levels.empty()) {
        error = "no level to make smaller ones from";
        return false;
    }
    const std::vector<rgba8> colours = widened(source.palette, kf.palette);
    const std::vector<uint8_t> bytes = palette_bytes(colours);
    while (source.levels.size() < levels) {
        const uint32_t level = uint32_t(source.levels.size()) - 1;
        rgba_image above;
        above.width = gc_header::level_side(source.width, level);
        above.height = gc_header::level_side(source.height, level);
        for (const rgba8& c :
             gx_decode_level(kf.gx, above.width, above.height, source.levels.back(), colours))
            above.rgba.insert(above.rgba.end(), {c.r, c.g, c.b, c.a});
        if (above.rgba.empty()) {
            error = "mip level " + std::to_string(level) + " cannot be read";
            return false;
        }
        const rgba_image below = half_size(above);
        std::vector<uint8_t> encoded;
        if (kf.palette != gx_palette::none) {
            indexed_image mapped;
            if (!remap(below, bytes, dither, mapped, error)) return false;
            encoded = gx_encode_indices(kf.gx, below.width, below.height, mapped.indices);
        } else {
            encoded = encode_direct(below, kf.gx);
        }
        if (encoded.empty()) {
            error = "the picture could not be encoded";
            return false;
        }
        source.any_translucent =
            source.any_translucent ||
            any_below_255(gx_decode_level(kf.gx, below.width, below.height, encoded, colours));
        source.levels.push_back(std::move(encoded));
    }
    return true;
}

bool gc_palette_pictures(gc_txd& txd, uint32_t t, uint32_t levels,
                         std::vector<indexed_image>& out) {
    const auto f = txd.fields(t);
    if (!f || (f->gx != gx_format::c4 && f->gx != gx_format::c8) || f->palette_entries == 0)
        return false;
    const std::vector<uint8_t> palette = palette_bytes(txd.palette_colours(t));
    for (uint32_t level = 0; level < levels; ++level) {
        indexed_image picture;
        picture.width = gc_header::level_side(f->width, level);
        picture.height = gc_header::level_side(f->height, level);
        const auto indices =
            gx_decode_indices(f->gx, picture.width, picture.height, txd.stored_level(t, level));
        if (indices.empty()) return false;
        picture.indices.assign(indices.begin(), indices.end());
        picture.palette = palette;
        out.push_back(std::move(picture));
    }
    return true;
}

bool gc_source_of(gc_txd& txd, uint32_t t, gc_texture_source& source, std::string& error) {
    const auto f = txd.fields(t);
    if (!f) {
        error = txd.last_error.empty() ? txd_msg::texture_not_exists : txd.last_error;
        return false;
    }
    const auto kind = gc_header::kind_of(f->gx, f->palette_format);
    if (!kind) {
        error = std::string("a ") + gx_format_name(f->gx) +
                " texture is none of the kinds GameCube dictionaries hold; give --format";
        return false;
    }
    const auto data = txd.texture_struct(t);
    std::copy_n(data.begin() + gc_header::offset_name, gc_header::name_bytes, source.name.begin());
    std::copy_n(data.begin() + gc_header::offset_mask, gc_header::name_bytes, source.mask.begin());
    source.filter = f->filter;
    source.words = f->words;
    source.kind = *kind;
    source.width = f->width;
    source.height = f->height;
    return true;
}

bool replace_gc_texture(gc_txd& txd, uint32_t t, const rgba_image& image,
                        const gc_edit_options& options, std::string& error, std::string& note) {
    gc_texture_source source;
    if (!gc_source_of(txd, t, source, error)) return false;
    const gc_header::kind before = source.kind;
    const uint32_t levels_before = txd.mip_count(t);
    rgba_image picture = image;
    if (!fit_to_texture(picture, source.width, source.height, options.resize, error, note))
        return false;
    const bool translucent = alpha_of(picture) != picture_alpha::opaque;
    gc_header::kind kind = before;
    if (options.format) {
        kind = gc_kind_for(*options.format, translucent);
    } else if (translucent && gc_header::fields_of(before).palette == gx_palette::rgb565) {
        kind = gc_kind_for(gc_format_of(before), true);
        add_note(note, std::string("stored as ") + gc_header::fields_of(kind).name +
                           " for the picture's alpha");
    }
    const uint32_t levels =
        levels_for(options.mips, source.width, source.height, levels_before, note);
    const gc_kept kept = kept_of(txd, t, kind, before);
    const bool keep_lower = options.mips.mode == mips_mode::keep && levels == levels_before &&
                            kind == before && levels > 1;
    if (!encode_gc_levels(mip_chain(picture, keep_lower ? 1 : levels), kind, options.dither, &kept,
                          source, error, note))
        return false;
    if (keep_lower) {
        // The stored levels below stay when they still read on the palette.
        if (source.palette != kept.palette) {
            if (!encode_gc_levels(mip_chain(picture, levels), kind, options.dither, &kept, source,
                                  error, note))
                return false;
        } else {
            const std::vector<rgba8> colours =
                widened(source.palette, gc_header::fields_of(kind).palette);
            for (uint32_t level = 1; level < levels; ++level) {
                const auto stored = txd.stored_level(t, level);
                if (stored.empty()) {
                    error = txd.last_error;
                    return false;
                }
                source.levels.emplace_back(stored.begin(), stored.end());
                source.any_translucent =
                    source.any_translucent ||
                    any_below_255(gx_decode_level(
                        gc_header::fields_of(kind).gx, gc_header::level_side(source.width, level),
                        gc_header::level_side(source.height, level), stored, colours));
            }
        }
    }
    return store(txd, t, source, error);
}

bool replace_gc_texture_dds(gc_txd& txd, uint32_t t, const dds_image& dds,
                            const gc_edit_options& options, std::string& error, std::string& note) {
    gc_texture_source source;
    if (!gc_source_of(txd, t, source, error)) return false;
    const gc_format wanted = options.format.value_or(gc_format_of(source.kind));
    const bool as_blocks = dds.format == dds_format::dxt1 && wanted == gc_format::cmpr &&
                           !dds.levels.empty() && dds.width == source.width &&
                           dds.height == source.height &&
                           options.mips.mode != mips_mode::regenerate;
    if (!as_blocks) {
        rgba_image picture;
        picture.width = dds.width;
        picture.height = dds.height;
        picture.rgba = dds_level_rgba(dds, 0);
        return replace_gc_texture(txd, t, picture, options, error, note);
    }
    source.kind = gc_header::kind::compressed;
    source.palette.clear();
    source.levels.clear();
    const uint32_t most = gc_header::full_chain(source.width, source.height);
    for (uint32_t level = 0; level < dds.levels.size() && level < most; ++level) {
        auto cmpr = gx_dxt1_to_cmpr(gc_header::level_side(source.width, level),
                                    gc_header::level_side(source.height, level), dds.levels[level]);
        if (cmpr.empty()) break;
        source.levels.push_back(std::move(cmpr));
    }
    if (source.levels.size() < dds.levels.size())
        add_note(note, std::to_string(source.levels.size()) + " of the DDS's " +
                           std::to_string(dds.levels.size()) + " levels taken");
    return store(txd, t, source, error);
}

bool add_gc_texture(gc_txd& txd, const rgba_image& image, const std::string& name,
                    const gc_edit_options& options, std::string& error, std::string& note) {
    if (txd.texture_count() >= ps2_txd::k_max_textures) {
        error = txd_msg::too_many_textures;
        return false;
    }
    rgba_image picture = image;
    if (!fit_to_power_of_two(picture, name, options.resize, error, note)) return false;
    const bool translucent = alpha_of(picture) != picture_alpha::opaque;
    gc_texture_source source;
    set_gc_name(source.name, name.substr(0, gc_txd::k_max_name_length));
    const gc_format format = options.format.value_or(default_gc_format(translucent));
    const uint32_t levels = levels_for(options.mips, picture.width, picture.height, 1, note);
    if (!encode_gc_levels(mip_chain(picture, levels), gc_kind_for(format, translucent),
                          options.dither, nullptr, source, error, note))
        return false;
    return append_built(txd, build_gc_texture(source, txd.root_version(), error), error);
}

bool set_gc_mips(gc_txd& txd, uint32_t t, mips_request mips, std::string& error,
                 std::string& note) {
    gc_texture_source source;
    if (!gc_source_of(txd, t, source, error)) return false;
    const uint32_t before = txd.mip_count(t);
    const uint32_t levels = levels_for(mips, source.width, source.height, before, note);
    if (mips.mode == mips_mode::keep && levels == before) return true;
    const auto level0 = txd.stored_level(t, 0);
    if (level0.empty()) {
        error = txd.last_error;
        return false;
    }
    const std::vector<uint8_t> kept0(level0.begin(), level0.end());
    rgba_image picture = texture_rgba(txd, t, 0, error);
    if (picture.rgba.empty()) return false;
    const gc_kept kept = kept_of(txd, t, source.kind, source.kind);
    if (!encode_gc_levels(mip_chain(std::move(picture), levels), source.kind, false, &kept, source,
                          error, note))
        return false;
    // Level 0's colours all come from its own palette, which is kept with its bytes.
    if (source.palette == kept.palette) source.levels[0] = kept0;
    return store(txd, t, source, error);
}

} // namespace quillmap
