#include "imageio/texture_pc.h"

#include "dictionary/txd_messages.h"
#include "dictionary/xbox_txd.h"
#include "imageio/built_texture.h"
#include "imageio/mip_chain.h"
#include "imageio/picture_fit.h"
#include "imageio/quantize.h"
#include "imageio/texture_rgba.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
constexpr size_t k_max_name_chars = 31;
constexpr uint32_t k_offset_mask = 40;
constexpr uint16_t k_d3d9_device_id = 2;

// The free fields, name and mask of stored texture t.
bool source_of(pc_txd& txd, uint32_t t, pc_texture_source& source, std::string& error) {
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    const auto data = txd.texture_struct(t);
    const auto fields = pc_free_fields_of(data, error);
    if (!fields) return false;
    source.fields = *fields;
    source.name = txd.texture_name(t, name_kind::texture);
    std::copy_n(data.begin() + k_offset_mask, source.mask.size(), source.mask.begin());
    return true;
}

// A texture that keeps its format keeps its own pixel format too where the layout allows it
// and the picture's alpha fits it (DXT1 stored as 1555 stays 1555 with opaque blocks; an XBOX
// DXT1 stays 565): only a picture with alpha moves an opaque format to one with alpha.
void keep_pixel_format(pc_free_fields& fields, uint32_t own, picture_alpha alpha) {
    const bool own_has_alpha =
        own == pc_pixel::argb1555 || own == pc_pixel::argb4444 || own == pc_pixel::argb8888;
    if (own == fields.pixel_format || (alpha != picture_alpha::opaque && !own_has_alpha)) return;
    pc_free_fields kept = fields;
    kept.pixel_format = own;
    if (pc_fields_misfit(kept).empty()) fields.pixel_format = own;
}

// The filter byte for a new level count: a texture whose mip levels go filters linearly. One that
// keeps its level count keeps its filter, whatever it is: the filter is a free field.
void settle_filter(pc_free_fields& f, uint32_t levels_before) {
    if (f.levels == 1 && levels_before > 1 && f.filter == pc_filter::mip_linear)
        f.filter = pc_filter::linear;
}

bool store(pc_txd& txd, uint32_t t, const pc_texture_source& source, std::string& error) {
    auto data = pc_struct_data(source, error);
    if (!data) return false;
    if (!txd.replace_struct(t, std::move(*data))) {
        error = txd.last_error;
        return false;
    }
    return true;
}

// Index bytes of a stored palettised level without the row padding.
indexed_image stored_indices(std::span<const uint8_t> stored, const pc_free_fields& f,
                             uint32_t level, std::span<const uint8_t> palette) {
    indexed_image out;
    out.width = std::max<uint32_t>(1, f.width >> level);
    out.height = std::max<uint32_t>(1, f.height >> level);
    const uint64_t pitch = pc_level_pitch(f, level);
    out.indices.resize(size_t(out.width) * out.height);
    for (uint32_t y = 0; y < out.height; ++y)
        std::copy_n(stored.begin() + static_cast<ptrdiff_t>(y * pitch), out.width,
                    out.indices.begin() + size_t(y) * out.width);
    out.palette.assign(palette.begin(), palette.end());
    return out;
}
} // namespace

uint32_t requested_levels(mips_request mips, uint32_t width, uint32_t height, uint32_t current) {
    const uint32_t most = pc_full_chain(width, height);
    switch (mips.mode) {
    case mips_mode::keep:
    case mips_mode::regenerate:
        return std::min(current, most);
    case mips_mode::count:
        return std::clamp<uint32_t>(mips.count, 1, most);
    case mips_mode::full_chain:
        return most;
    }
    return 1;
}

pc_layout layout_for_new_textures(pc_txd& txd) {
    if (txd.texture_count() > 0)
        if (const auto layout = pc_layout_of(txd.platform_id(0))) return *layout;
    if (dynamic_cast<xbox_txd*>(&txd)) return pc_layout::xbox;
    rw_chunk* header = txd.root ? txd.root->child(0) : nullptr;
    const auto* words = header ? txd.load_data(header) : nullptr;
    const uint16_t device = words && words->size() >= 4 ? load_u16(words->data() + 2) : 0;
    return device == k_d3d9_device_id ? pc_layout::d3d9 : pc_layout::d3d8;
}

bool replace_pc_texture(pc_txd& txd, uint32_t t, const rgba_image& image,
                        const indexed_image* given, const pc_edit_options& options,
                        std::string& error, std::string& note) {
    pc_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    pc_free_fields& f = source.fields;
    const pc_free_fields before = f;
    rgba_image picture = image;
    if (!fit_to_texture(picture, f.width, f.height, options.resize, error, note)) return false;
    // A scaled picture no longer matches the palette it came with.
    if (picture.width != image.width || picture.height != image.height) given = nullptr;
    const auto own = pc_format_of(f);
    const auto format = options.format ? options.format : own;
    if (!format) {
        error = "the texture's 16-bit uncompressed format is not written; --format names one";
        return false;
    }
    const picture_alpha alpha = alpha_of(picture);
    if (!set_pc_format(f, *format, alpha, error)) return false;
    if (format == own) keep_pixel_format(f, before.pixel_format, alpha);
    f.levels = requested_levels(options.mips, f.width, f.height, before.levels);
    settle_filter(f, before.levels);
    // A picture whose every colour is an entry of the texture's own palette (its own export as
    // RGBA or DDS) keeps that palette and its indices: nothing is quantized.
    indexed_image own_indices;
    if (!given && f.palette && f.palette == before.palette) {
        const auto shown = txd.level_pixels(t, 0);
        const size_t entries = f.palette == pc_format_bit::pal8 ? 256 : pc_pal4_bytes / 4;
        if (shown && shown->palette.size() >= 4 * entries &&
            exact_indices(picture, std::span(shown->palette).first(4 * entries), own_indices))
            given = &own_indices;
    }

    // Stored levels below level 0 stay only when they can: same format and level count, and
    // no palette that the new level 0 replaces.
    const bool keep_levels = options.mips.mode == mips_mode::keep && f.levels == before.levels &&
                             f.dxt == before.dxt && f.palette == 0 && before.palette == 0 &&
                             f.pixel_format == before.pixel_format;
    const std::vector<rgba_image> chain = mip_chain(picture, keep_levels ? 1 : f.levels);
    pc_texture_source encoded = source;
    encoded.fields.levels = static_cast<uint32_t>(chain.size());
    bool quantized = false;
    if (!encode_pc_levels(chain, given, options.dither, encoded, quantized, error)) return false;
    source.palette = encoded.palette;
    source.levels = std::move(encoded.levels);
    // A palette texture whose palette comes back as it was keeps its own bytes: the alpha bytes
    // an 888 palette carries (readers ignore them) and, asked to keep them, its further levels,
    // which still show through the same entries.
    const auto stored_palette = txd.texture_struct(t).subspan(
        std::min<size_t>(txd.texture_struct(t).size(), pc_header_bytes));
    const bool same_palette_kind = f.palette != 0 && f.palette == before.palette &&
                                   f.pixel_format == before.pixel_format &&
                                   stored_palette.size() >= source.palette.size();
    if (same_palette_kind && f.pixel_format == pc_pixel::rgb888)
        for (size_t i = 3; i < source.palette.size(); i += 4)
            source.palette[i] = stored_palette[i];
    const bool palette_kept =
        same_palette_kind &&
        std::equal(source.palette.begin(), source.palette.end(), stored_palette.begin());
    const bool keep_palette_levels = palette_kept && options.mips.mode == mips_mode::keep &&
                                     f.levels == before.levels && f.levels > 1;
    if (keep_palette_levels) source.levels.resize(1);
    for (uint32_t level = 1; (keep_levels || keep_palette_levels) && level < f.levels; ++level) {
        const auto stored = txd.stored_level(t, level);
        if (stored.empty()) {
            error = txd.last_error;
            return false;
        }
        source.levels.emplace_back(stored.begin(), stored.end());
    }
    if (quantized)
        add_note(note, "colours reduced to " + std::to_string(source.palette.size() / 4));
    return store(txd, t, source, error);
}

bool add_pc_texture(pc_txd& txd, const rgba_image& image, const indexed_image* given,
                    const std::string& name, const pc_edit_options& options, std::string& error,
                    std::string& note) {
    if (txd.texture_count() >= ps2_txd::k_max_textures) {
        error = txd_msg::too_many_textures;
        return false;
    }
    rgba_image picture = image;
    if (!fit_to_power_of_two(picture, name, options.resize, error, note)) return false;
    // A scaled picture no longer matches the palette it came with.
    if (picture.width != image.width || picture.height != image.height) given = nullptr;
    pc_texture_source source;
    source.fields.layout = layout_for_new_textures(txd);
    source.fields.width = picture.width;
    source.fields.height = picture.height;
    const picture_alpha alpha = alpha_of(picture);
    const pc_format format = options.format ? *options.format : default_pc_format(alpha);
    if (!set_pc_format(source.fields, format, alpha, error)) return false;
    source.fields.levels = requested_levels(options.mips, picture.width, picture.height, 1);
    if (options.mips.mode == mips_mode::count && options.mips.count > source.fields.levels)
        add_note(note, std::to_string(source.fields.levels) + " mip level(s), the most for " +
                           size_text(picture.width, picture.height));
    source.name = name.substr(0, k_max_name_chars);
    bool quantized = false;
    if (!encode_pc_levels(mip_chain(picture, source.fields.levels), given, options.dither, source,
                          quantized, error))
        return false;
    if (quantized)
        add_note(note, "colours reduced to " + std::to_string(source.palette.size() / 4));
    return append_built(txd, build_pc_texture(source, txd.root_version(), error), error);
}

bool set_pc_mips(pc_txd& txd, uint32_t t, mips_request mips, bool dither, std::string& error,
                 std::string& note) {
    pc_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    pc_free_fields& f = source.fields;
    const uint32_t before = f.levels;
    f.levels = requested_levels(mips, f.width, f.height, before);
    if (mips.mode == mips_mode::count && mips.count > f.levels)
        add_note(note, std::to_string(f.levels) + " mip level(s), the most for " +
                           size_text(f.width, f.height));
    settle_filter(f, before);
    if (mips.mode == mips_mode::keep && f.levels == before) return true;
    const auto level0 = txd.stored_level(t, 0);
    const auto palette = txd.palette(t);
    if (level0.empty()) {
        error = txd.last_error;
        return false;
    }
    source.palette.assign(palette.begin(), palette.end());
    const std::vector<uint8_t> kept(level0.begin(), level0.end());
    rgba_image picture = texture_rgba(txd, t, 0, error);
    if (picture.rgba.empty()) return false;
    const std::vector<rgba_image> chain = mip_chain(std::move(picture), f.levels);
    if (f.palette) {
        // Further levels take level 0's own palette, every stored entry of it.
        source.levels = {kept};
        const indexed_image first = stored_indices(kept, f, 0, source.palette);
        for (uint32_t n = 1; n < chain.size(); ++n) {
            indexed_image level;
            if (!remap(chain[n], first.palette, dither, level, error)) return false;
            std::vector<uint8_t> rows(static_cast<size_t>(pc_level_bytes(f, n)), 0);
            const uint64_t pitch = pc_level_pitch(f, n);
            for (uint32_t y = 0; y < level.height; ++y)
                std::copy_n(level.indices.begin() + size_t(y) * level.width, level.width,
                            rows.begin() + static_cast<ptrdiff_t>(y * pitch));
            source.levels.push_back(std::move(rows));
        }
    } else {
        bool quantized = false;
        if (!encode_pc_levels(chain, nullptr, dither, source, quantized, error)) return false;
        source.levels[0] = kept;
    }
    return store(txd, t, source, error);
}

std::optional<pc_format> pc_format_of_dds(dds_format format) {
    switch (format) {
    case dds_format::dxt1:
        return pc_format::dxt1;
    case dds_format::dxt3:
        return pc_format::dxt3;
    case dds_format::dxt5:
        return pc_format::dxt5;
    case dds_format::argb8888:
        return pc_format::argb8888;
    case dds_format::xrgb8888:
        return pc_format::rgb888;
    default:
        return std::nullopt;
    }
}

namespace {
rgba_image dds_picture(const dds_image& dds) {
    rgba_image picture;
    picture.width = dds.width;
    picture.height = dds.height;
    picture.rgba = dds_level_rgba(dds, 0);
    return picture;
}

// How many of the DDS's levels go in as they are for `mips`; 0 when the request needs levels
// the file does not hold (they are built from its picture then).
uint32_t dds_levels_taken(const dds_image& dds, mips_request mips) {
    const uint32_t held =
        std::min<uint32_t>(uint32_t(dds.levels.size()), pc_full_chain(dds.width, dds.height));
    switch (mips.mode) {
    case mips_mode::keep:
        return held;
    case mips_mode::regenerate:
        return 0;
    case mips_mode::count:
        return mips.count <= held ? std::max<uint32_t>(1, mips.count) : 0;
    case mips_mode::full_chain:
        return held == pc_full_chain(dds.width, dds.height) ? held : 0;
    }
    return 0;
}

// Fields for levels taken as they stand: the format's pixel format by the picture's alpha,
// except that a DXT1 texture stored as 1555 stays so (1555 holds opaque blocks too).
bool take_dds_levels(pc_texture_source& source, const dds_image& dds, pc_format format,
                     uint32_t levels, std::string& error) {
    const auto own = source.fields.width ? pc_format_of(source.fields) : std::nullopt;
    const uint32_t own_pixel_format = source.fields.pixel_format;
    const picture_alpha alpha = alpha_of(dds_picture(dds));
    if (!set_pc_format(source.fields, format, alpha, error)) return false;
    if (own == format) keep_pixel_format(source.fields, own_pixel_format, alpha);
    const uint32_t levels_before = source.fields.levels;
    source.fields.width = dds.width;
    source.fields.height = dds.height;
    source.fields.levels = levels;
    settle_filter(source.fields, levels_before);
    source.palette.clear();
    source.levels.assign(dds.levels.begin(), dds.levels.begin() + levels);
    return true;
}
} // namespace

bool replace_pc_texture_dds(pc_txd& txd, uint32_t t, const dds_image& dds,
                            const pc_edit_options& options, std::string& error, std::string& note) {
    pc_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    const auto own = pc_format_of(source.fields);
    const auto given = pc_format_of_dds(dds.format);
    const auto wanted = options.format ? options.format : own;
    const uint32_t levels = dds_levels_taken(dds, options.mips);
    const bool as_stored = given && given == wanted && levels != 0 &&
                           dds.width == source.fields.width && dds.height == source.fields.height;
    if (!as_stored)
        return replace_pc_texture(txd, t, dds_picture(dds), nullptr, options, error, note);
    // The texture's own levels coming back change nothing, not even a flag the file deviates in.
    bool unchanged = wanted == own && levels == source.fields.levels;
    for (uint32_t level = 0; unchanged && level < levels; ++level) {
        const auto stored = txd.stored_level(t, level);
        unchanged = std::equal(stored.begin(), stored.end(), dds.levels[level].begin(),
                               dds.levels[level].end());
    }
    if (unchanged) return true;
    if (!take_dds_levels(source, dds, *given, levels, error)) return false;
    return store(txd, t, source, error);
}

bool add_pc_texture_dds(pc_txd& txd, const dds_image& dds, const std::string& name,
                        const pc_edit_options& options, std::string& error, std::string& note) {
    const auto given = pc_format_of_dds(dds.format);
    const uint32_t levels = dds_levels_taken(dds, options.mips);
    const bool square_sides = std::has_single_bit(dds.width) && std::has_single_bit(dds.height);
    if (!given || (options.format && options.format != given) || levels == 0 || !square_sides) {
        // The file's own levels cannot go in as they are: say why, when it has any.
        if (dds.levels.size() > 1 && options.mips.mode == mips_mode::keep)
            add_note(note, "the file's " + std::to_string(dds.levels.size()) +
                               " mip levels not kept: " +
                               (!square_sides ? "its sides are no powers of two"
                                : !given      ? "its format is none a PC texture stores"
                                              : "another format was asked for"));
        return add_pc_texture(txd, dds_picture(dds), nullptr, name, options, error, note);
    }
    if (txd.texture_count() >= ps2_txd::k_max_textures) {
        error = txd_msg::too_many_textures;
        return false;
    }
    pc_texture_source source;
    source.fields.layout = layout_for_new_textures(txd);
    source.name = name.substr(0, k_max_name_chars);
    if (!take_dds_levels(source, dds, *given, levels, error)) return false;
    return append_built(txd, build_pc_texture(source, txd.root_version(), error), error);
}

} // namespace quillmap
