#include "imageio/convert_pc.h"

#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_texture_build.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_platform.h"
#include "imageio/built_texture.h"
#include "imageio/mip_chain.h"
#include "imageio/picture_fit.h"
#include "imageio/ps2_picture.h"
#include "imageio/texture_gc.h"
#include "imageio/texture_rgba.h"
#include "stream/byte_reader.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
constexpr uint32_t k_offset_filter = 4;
constexpr uint32_t k_max_name_chars = 31;

// XBOX textures are written only in the forms real XBOX files show: one level of DXT1 or of
// DXT5-shaped blocks. Mip levels, DXT3, palettes and uncompressed XBOX rasters are known from no
// real file, so no conversion guesses at their layout.
bool xbox_shows(pc_format format) {
    return format == pc_format::dxt1 || format == pc_format::dxt5;
}

// Whether `layout` holds the stored format of `fields` as it is.
bool layout_keeps(pc_layout layout, const pc_free_fields& fields) {
    pc_free_fields moved = fields;
    moved.layout = layout;
    const auto format = pc_format_of(fields);
    if (layout == pc_layout::xbox && (fields.levels != 1 || !format || !xbox_shows(*format)))
        return false;
    return pc_fields_misfit(moved).empty() && format.has_value();
}

// The filter of a texture left with one level of the `before` it had: a mip filter goes back to
// the filter it varies; a texture that had one level keeps its own, whatever it is.
uint8_t filter_for(uint8_t filter, uint32_t levels, uint32_t before) {
    if (filter == 0) return pc_filter::linear;
    if (levels > 1 || before <= 1) return filter;
    constexpr uint8_t k_mip_nearest = 3, k_mip_linear = 4, k_linear_mip_nearest = 5;
    if (filter == k_mip_nearest || filter == k_mip_linear) return pc_filter::nearest;
    if (filter == k_linear_mip_nearest || filter == pc_filter::mip_linear) return pc_filter::linear;
    return filter;
}

// Stored levels of a PC or XBOX texture that go across as they are.
bool take_stored(pc_txd& source, uint32_t t, const pc_convert_options& options,
                 pc_texture_source& out) {
    std::string error;
    const auto fields = pc_free_fields_of(source.texture_struct(t), error);
    if (!fields || !layout_keeps(options.layout, *fields)) return false;
    if (options.format && options.format != pc_format_of(*fields)) return false;
    const uint32_t levels = options.mips ? requested_levels(*options.mips, fields->width,
                                                            fields->height, fields->levels)
                                         : fields->levels;
    if (levels != fields->levels) return false;
    out.fields = *fields;
    out.fields.layout = options.layout;
    // XBOX's DXT pixel format follows the source picture; the PC ties it to the block kind.
    if (fields->dxt && (options.layout == pc_layout::xbox) != (fields->layout == pc_layout::xbox)) {
        const bool alpha = fields->source_alpha || fields->pixel_format == pc_pixel::argb1555 ||
                           fields->pixel_format == pc_pixel::argb8888;
        std::string ignored;
        set_pc_format(out.fields, *pc_format_of(*fields),
                      alpha ? picture_alpha::one_bit : picture_alpha::opaque, ignored);
        if (fields->dxt != 1)
            out.fields.pixel_format =
                options.layout == pc_layout::xbox ? pc_pixel::argb8888 : pc_pixel::argb4444;
        out.fields.source_alpha = fields->source_alpha;
    }
    const auto palette = source.palette(t);
    out.palette.assign(palette.begin(), palette.end());
    for (uint32_t level = 0; level < levels; ++level) {
        const auto stored = source.stored_level(t, level);
        if (stored.size() != pc_level_bytes(out.fields, level)) return false;
        out.levels.emplace_back(stored.begin(), stored.end());
    }
    return true;
}

// A PS2 or GameCube palettised texture as D3D8 PAL8 / PAL4: the same indices and colours, one
// byte a texel.
bool take_ps2_palette(ps2_txd& source, uint32_t t, const pc_convert_options& options,
                      pc_texture_source& out) {
    const uint32_t d = source.depth(t);
    auto* gc = dynamic_cast<gc_txd*>(&source);
    if (options.layout != pc_layout::d3d8 || (d != 4 && d != 8) ||
        (!gc && !source.raster_header(t)))
        return false;
    const pc_format wanted = d == 8 ? pc_format::pal8 : pc_format::pal4;
    if (options.format && *options.format != pc_format::pal8 && *options.format != wanted)
        return false;
    const uint32_t w = source.width(t), h = source.height(t);
    if (!std::has_single_bit(w) || !std::has_single_bit(h)) return false;
    const auto palette = source.palette(t);
    const uint32_t stored_levels = std::max<uint32_t>(1, source.mip_count(t));
    const uint32_t levels =
        options.mips ? requested_levels(*options.mips, w, h, stored_levels) : stored_levels;
    if (levels > stored_levels) return false;
    std::vector<indexed_image> pictures;
    // GameCube C4 and C8 textures: their indices as the tiles hold them.
    if (gc && !gc_palette_pictures(*gc, t, levels, pictures)) return false;
    for (uint32_t level = 0; !gc && level < levels; ++level) {
        const std::vector<uint8_t> plain = source.plain_level(t, level, source.is_swizzled(t));
        pictures.push_back(indexed_from_ps2(plain, std::max<uint32_t>(1, w >> level),
                                            std::max<uint32_t>(1, h >> level), d, palette));
        if (pictures.back().indices.empty()) return false;
    }
    const auto alpha = std::any_of(pictures[0].indices.begin(), pictures[0].indices.end(),
                                   [&](uint8_t i) { return pictures[0].palette[4 * i + 3] < 255; })
                           ? picture_alpha::graded
                           : picture_alpha::opaque;
    out.fields.layout = options.layout;
    out.fields.width = w;
    out.fields.height = h;
    out.fields.levels = levels;
    std::string ignored;
    set_pc_format(out.fields, options.format ? *options.format : wanted, alpha, ignored);
    out.palette = pictures[0].palette;
    for (uint32_t level = 0; level < levels; ++level) {
        const indexed_image& picture = pictures[level];
        const uint64_t pitch = pc_level_pitch(out.fields, level);
        std::vector<uint8_t> rows(static_cast<size_t>(pc_level_bytes(out.fields, level)), 0);
        for (uint32_t y = 0; y < picture.height; ++y)
            std::copy_n(picture.indices.begin() + size_t(y) * picture.width, picture.width,
                        rows.begin() + static_cast<ptrdiff_t>(y * pitch));
        out.levels.push_back(std::move(rows));
    }
    // An 888 palette's alpha bytes are read by nobody: those of entries the texels use say 255,
    // the others keep the source's, so that a conversion back finds them again.
    if (out.fields.pixel_format == pc_pixel::rgb888) {
        std::vector<bool> used(out.palette.size() / 4, false);
        for (const indexed_image& picture : pictures)
            for (const uint8_t index : picture.indices)
                if (index < used.size()) used[index] = true;
        for (size_t i = 0; i < used.size(); ++i)
            if (used[i]) out.palette[4 * i + 3] = 0xFF;
    }
    return true;
}

// Any texture decoded and encoded again; sizes that are no power of two are scaled.
bool encode_any(ps2_txd& source, uint32_t t, const pc_convert_options& options,
                pc_texture_source& out, std::string& note, std::string& error) {
    const rgba_image level0 = texture_rgba(source, t, 0, error);
    if (level0.rgba.empty()) return false;
    const uint32_t stored_levels = std::max<uint32_t>(1, source.mip_count(t));
    const uint32_t w = level0.width, h = level0.height;
    std::vector<rgba_image> chain{level0};
    const bool scaled = !std::has_single_bit(w) || !std::has_single_bit(h);
    if (scaled) {
        chain[0] = resized(level0, nearest_power_of_two(w), nearest_power_of_two(h));
        note =
            "scaled from " + size_text(w, h) + " to " + size_text(chain[0].width, chain[0].height);
    }
    out.fields.layout = options.layout;
    out.fields.width = chain[0].width;
    out.fields.height = chain[0].height;
    out.fields.levels =
        options.mips
            ? requested_levels(*options.mips, out.fields.width, out.fields.height, stored_levels)
            : std::min(stored_levels, pc_full_chain(out.fields.width, out.fields.height));
    // The source's own smaller levels where it has them, else boxes of the one above.
    for (uint32_t level = 1; level < out.fields.levels; ++level) {
        rgba_image picture;
        std::string ignored;
        const bool own = !scaled && level < stored_levels &&
                         (!options.mips || options.mips->mode != mips_mode::regenerate) &&
                         !(picture = texture_rgba(source, t, level, ignored)).rgba.empty() &&
                         picture.width == std::max<uint32_t>(1, out.fields.width >> level) &&
                         picture.height == std::max<uint32_t>(1, out.fields.height >> level);
        chain.push_back(own ? std::move(picture) : half_size(chain.back()));
    }
    const picture_alpha alpha = alpha_of(chain[0]);
    pc_format format = options.format ? *options.format : default_pc_format(alpha);
    if (!options.format && source.family() == txd_family::pc_xbox) {
        std::string ignored;
        const auto fields = pc_free_fields_of(source.texture_struct(t), ignored);
        const auto own = fields ? pc_format_of(*fields) : std::nullopt;
        pc_free_fields probe = out.fields;
        if (own && set_pc_format(probe, *own, alpha, ignored) &&
            (options.layout != pc_layout::xbox || xbox_shows(*own)))
            format = *own;
    }
    if (options.layout == pc_layout::xbox && !xbox_shows(format)) {
        note += std::string(note.empty() ? "" : "; ") + pc_format_name(format) + " written as " +
                pc_format_name(default_pc_format(alpha)) + " (no real XBOX texture holds " +
                pc_format_name(format) + ")";
        format = default_pc_format(alpha);
    }
    if (!set_pc_format(out.fields, format, alpha, error)) return false;
    bool quantized = false;
    if (!encode_pc_levels(chain, nullptr, options.dither, out, quantized, error)) return false;
    if (quantized) note += std::string(note.empty() ? "" : "; ") + "colours reduced";
    return true;
}

void set_device_id(ps2_txd& target, uint16_t device) {
    rw_chunk* header = target.root->child(0);
    auto* words = header ? target.load_data(header) : nullptr;
    if (words && words->size() >= 4) store_u16(words->data() + 2, device);
}
} // namespace

bool convert_to_pc(ps2_txd& source, ps2_txd& target, const pc_convert_options& options,
                   std::vector<std::string>& skipped, std::vector<std::string>& notes,
                   std::string& error) {
    if (!source.root) {
        error = rw_msg::not_opened;
        return false;
    }
    if (options.layout == pc_layout::xbox && options.format && !xbox_shows(*options.format)) {
        error = std::string(pc_format_name(*options.format)) +
                ": XBOX textures are written as dxt1 or dxt5, the forms real XBOX files show";
        return false;
    }
    if (options.layout == pc_layout::xbox && options.mips &&
        requested_levels(*options.mips, 2, 2, 1) > 1) {
        error = "XBOX textures are written with one level, the form real XBOX files show";
        return false;
    }
    const uint32_t version = source.root_version();
    target.create_empty(version);
    set_device_id(target, pc_device_id(options.layout, version));
    // One level on XBOX, whatever the source holds.
    pc_convert_options own_options = options;
    if (options.layout == pc_layout::xbox) own_options.mips = mips_request{mips_mode::count, 1};
    auto* pc_source = dynamic_cast<pc_txd*>(&source);
    for (uint32_t t = 0; t < source.texture_count(); ++t) {
        const std::string name = source.texture_name(t, name_kind::texture);
        pc_texture_source built;
        std::string note, why;
        const bool taken = (pc_source && take_stored(*pc_source, t, own_options, built)) ||
                           take_ps2_palette(source, t, own_options, built);
        if (!taken && !encode_any(source, t, own_options, built, note, why)) {
            source.release_pixels(t);
            // A format the layout refuses stops the run; a texture without pixels is left out.
            if (why.find("only D3D8") != std::string::npos) {
                error = why;
                return false;
            }
            skipped.push_back(name);
            continue;
        }
        // D3D9's alpha bit records the pixels, whatever the source's own flags said.
        if (taken && options.layout == pc_layout::d3d9) {
            bool read = false;
            const bool transparent = pc_level0_has_transparency(source, t, read);
            if (read) built.fields.source_alpha = transparent;
        }
        const uint32_t flags = u32_at(source.texture_struct(t), k_offset_filter).value_or(0);
        const uint8_t filter = static_cast<uint8_t>(flags & 0xFF);
        const uint8_t addressing = static_cast<uint8_t>((flags >> 8) & 0xFF);
        const uint32_t levels_before = std::max<uint32_t>(1, source.mip_count(t));
        built.fields.filter = filter_for(filter, built.fields.levels, levels_before);
        if (options.layout == pc_layout::xbox && levels_before > 1)
            note += std::string(note.empty() ? "" : "; ") + std::to_string(levels_before - 1) +
                    " mip level(s) left out (no real XBOX texture has mip levels)";
        built.fields.addressing = addressing ? addressing : pc_filter::wrap_wrap;
        built.name = name.substr(0, k_max_name_chars);
        built.mask = pc_name_field_of(source.texture_name(t, name_kind::mask).substr(0, 31));
        source.release_pixels(t);
        if (!append_converted(target, name, build_pc_texture(built, version, error), note, notes,
                              error))
            return false;
    }
    return true;
}

bool convert_to_pc(ps2_txd& source, const std::filesystem::path& out,
                   const pc_convert_options& options, std::vector<std::string>& skipped,
                   std::vector<std::string>& notes, std::string& error) {
    pc_txd target;
    if (!convert_to_pc(source, target, options, skipped, notes, error)) return false;
    return save_built(target, out, error);
}

} // namespace quillmap
