// Import and replace as the choices dialog asks for them, and the preview of their result.
#include "session/import_choices.h"

#include "dictionary/ios_txd.h"
#include "dictionary/mobile_texture_build.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/pc_levels.h"
#include "imageio/picture_file.h"
#include "imageio/texture_conversion.h"
#include "imageio/texture_mobile.h"
#include "imageio/texture_pc.h"
#include "imageio/texture_rgba.h"
#include "session/editor_session.h"
#include "session/session_messages.h"

#include <cmath>
#include <limits>

namespace quillmap {

namespace {
constexpr pc_format k_pc_formats[] = {pc_format::dxt1,     pc_format::dxt3,   pc_format::dxt5,
                                      pc_format::argb8888, pc_format::rgb888, pc_format::pal8,
                                      pc_format::pal4};
constexpr mobile_format k_mobile_formats[] = {mobile_format::dxt1, mobile_format::dxt3,
                                              mobile_format::rgb565, mobile_format::rgba4444};

// The PS2 depth a format names; 0 for none.
uint32_t ps2_depth_of(const std::string& format) {
    for (uint32_t depth : {4u, 8u, 16u, 24u, 32u})
        if (format == std::to_string(depth)) return depth;
    return 0;
}

std::optional<texture_conversion> depth_conversion(uint32_t depth) {
    switch (depth) {
    case 4:
        return texture_conversion::depth4;
    case 8:
        return texture_conversion::depth8;
    case 32:
        return texture_conversion::depth32;
    default:
        return std::nullopt;
    }
}

mips_request mips_request_of(const std::optional<uint32_t>& mips) {
    if (!mips) return {mips_mode::keep, 0};
    if (*mips == 0) return {mips_mode::full_chain, 0};
    return {mips_mode::count, *mips};
}
} // namespace

std::vector<std::string> import_formats(ps2_txd& txd) {
    std::vector<std::string> names;
    switch (txd.family()) {
    case txd_family::ps2:
        return {"4", "8", "32"};
    case txd_family::pc_xbox: {
        auto* pc = dynamic_cast<pc_txd*>(&txd);
        if (!pc) return names;
        // The layout's own rules decide: palettes only where the layout holds them.
        const pc_layout layout = layout_for_new_textures(*pc);
        for (pc_format format : k_pc_formats) {
            pc_free_fields fields;
            fields.layout = layout;
            std::string ignored;
            if (set_pc_format(fields, format, picture_alpha::graded, ignored))
                names.emplace_back(pc_format_name(format));
        }
        return names;
    }
    case txd_family::mobile:
        for (mobile_format format : k_mobile_formats)
            names.emplace_back(mobile_format_name(format));
        return names;
    case txd_family::gamecube:
        for (gc_format format : k_gc_formats)
            names.emplace_back(gc_format_name(format));
        return names;
    }
    return names;
}

std::string texture_format(ps2_txd& txd, uint32_t t) {
    if (t >= txd.texture_count()) return {};
    std::string ignored;
    switch (txd.family()) {
    case txd_family::ps2:
        return std::to_string(txd.depth(t));
    case txd_family::pc_xbox: {
        const auto fields = pc_free_fields_of(txd.texture_struct(t), ignored);
        const auto format = fields ? pc_format_of(*fields) : std::nullopt;
        return format ? pc_format_name(*format) : std::string();
    }
    case txd_family::mobile: {
        const auto fields = mobile_fields_of(txd.texture_struct(t), ignored);
        return fields ? mobile_format_name(fields->format) : std::string();
    }
    case txd_family::gamecube: {
        auto* gc = dynamic_cast<gc_txd*>(&txd);
        const auto f = gc ? gc->fields(t) : std::nullopt;
        const auto kind = f ? gc_header::kind_of(f->gx, f->palette_format) : std::nullopt;
        return kind ? gc_format_name(gc_format_of(*kind)) : std::string();
    }
    }
    return {};
}

bool format_dithers(const std::string& format) {
    return format == "4" || format == "8" || format == "pal8" || format == "pal4" ||
           format == "c4" || format == "c8";
}

picture_psnr_values picture_psnr(const rgba_image& source, const rgba_image& result) {
    picture_psnr_values values;
    if (source.width != result.width || source.height != result.height || source.rgba.empty() ||
        source.rgba.size() != result.rgba.size())
        return values;
    uint64_t colour = 0, alpha = 0;
    for (size_t i = 0; i < source.rgba.size(); ++i) {
        const int64_t d = int64_t(source.rgba[i]) - int64_t(result.rgba[i]);
        (i % 4 == 3 ? alpha : colour) += uint64_t(d * d);
    }
    const size_t pixels = source.rgba.size() / 4;
    const auto psnr = [](uint64_t squared, size_t samples) {
        if (squared == 0) return std::numeric_limits<double>::infinity();
        const double mse = double(squared) / double(samples);
        return 10.0 * std::log10(255.0 * 255.0 / mse);
    };
    values.colour = psnr(colour, pixels * 3);
    values.alpha = psnr(alpha, pixels);
    return values;
}

bool editor_session::import_chosen(const std::string& path, swizzle_mode swizzle,
                                   const import_choices& choices) {
    if (!dictionary_) {
        error_ = session_msg::no_dictionary;
        return false;
    }
    png_add_options png;
    png.mips = choices.mips.value_or(1);
    png.swizzle = choices.swizzle;
    png.width = choices.width;
    png.height = choices.height;
    png.dither = choices.dither;
    if (!choices.format.empty()) {
        switch (dictionary_->family()) {
        case txd_family::ps2:
            png.depth = ps2_depth_of(choices.format);
            break;
        case txd_family::pc_xbox:
            png.format = pc_format_named(choices.format);
            break;
        case txd_family::mobile:
            png.mobile = mobile_format_named(choices.format);
            break;
        case txd_family::gamecube:
            png.gamecube = gc_format_named(choices.format);
            break;
        }
        if (png.depth == 0 || (dictionary_->family() == txd_family::pc_xbox && !png.format) ||
            (dictionary_->family() == txd_family::mobile && !png.mobile) ||
            (dictionary_->family() == txd_family::gamecube && !png.gamecube)) {
            error_ = choices.format + " is no format of " + platform_name() + " textures";
            error_detail_.clear();
            return false;
        }
    }
    return import_file(path, swizzle, png);
}

bool editor_session::replace_chosen(uint32_t t, const std::string& image, bool keep_alpha,
                                    const import_choices& choices) {
    const edit_record record{edit_kind::replace, t, image, keep_alpha ? 1u : 0u};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        const std::optional<export_type> type = export_type_for(import_extension(image));
        const bool picture = type && *type != export_type::rwsect;
        // The texture's own format keeps the fields it has (a DXT1 texture's 1-bit alpha, say),
        // as a replace that names none does.
        const bool own_format = choices.format.empty() || choices.format == texture_format(txd, t);
        if (picture && txd.family() == txd_family::pc_xbox) {
            pc_edit_options options;
            if (!own_format) options.format = pc_format_named(choices.format);
            options.mips = mips_request_of(choices.mips);
            options.dither = choices.dither;
            return replace_pc_picture(txd, t, image, options, keep_alpha);
        }
        if (picture && txd.family() == txd_family::gamecube) {
            gc_edit_options options;
            if (!own_format) options.format = gc_format_named(choices.format);
            options.mips = mips_request_of(choices.mips);
            options.dither = choices.dither;
            return replace_gc_picture(txd, t, image, options, keep_alpha);
        }
        if (picture && txd.family() == txd_family::mobile) {
            mobile_edit_options options;
            if (!own_format) options.format = mobile_format_named(choices.format);
            options.mips = mips_request_of(choices.mips);
            return replace_mobile_picture(txd, t, image, options, keep_alpha);
        }
        // A PS2 texture asked for another depth is rebuilt at it first; the picture then
        // replaces its level 0 at that depth.
        const uint32_t depth = ps2_depth_of(choices.format);
        if (picture && t < txd.texture_count() && depth != 0 && depth != txd.depth(t)) {
            const auto conversion = depth_conversion(depth);
            if (!conversion) {
                txd.last_error = choices.format + " bits: PS2 textures become 4, 8 or 32 bits";
                return false;
            }
            if (!convert_texture(txd, t, *conversion, choices.dither, txd.last_error)) return false;
        }
        const other_levels levels =
            choices.mips ? other_levels::regenerate : other_levels::follow_palette;
        return replace_picture(txd, t, image, keep_alpha, choices.dither, levels);
    });
}

choices_preview_source::choices_preview_source() = default;
choices_preview_source::~choices_preview_source() = default;

std::unique_ptr<choices_preview_source>
choices_preview_source::make(editor_session& session, const std::string& picture,
                             std::optional<uint32_t> replaced, bool keep_alpha,
                             std::string& error) {
    std::optional<editor_session> copy = session.working_copy();
    if (!copy) {
        error = session.error_text();
        return nullptr;
    }
    // Only the texture the result depends on stays: previews copy it again for every choice.
    ps2_txd& txd = *copy->dictionary();
    const uint32_t count = txd.texture_count();
    const uint32_t kept = replaced.value_or(0);
    if (replaced && kept >= count) {
        error = txd_msg::texture_not_exists;
        return nullptr;
    }
    for (uint32_t t = count; t > 0; --t)
        if (t - 1 != kept && !txd.delete_texture(t - 1)) {
            error = txd.last_error;
            return nullptr;
        }
    std::unique_ptr<choices_preview_source> source(new choices_preview_source);
    source->base_ = std::make_unique<editor_session>(std::move(*copy));
    source->picture_ = picture;
    source->replace_ = replaced.has_value();
    source->keep_alpha_ = keep_alpha;
    return source;
}

choices_preview choices_preview_source::render(const import_choices& choices) {
    choices_preview out;
    std::optional<editor_session> copy = base_->working_copy();
    if (!copy) {
        out.error = base_->error_text();
        return out;
    }
    const bool made = replace_ ? copy->replace_chosen(0, picture_, keep_alpha_, choices)
                               : copy->import_chosen(picture_, swizzle_mode::as_stored, choices);
    if (!made) {
        out.error = copy->error_text();
        return out;
    }
    out.note = copy->last_note();
    ps2_txd& txd = *copy->dictionary();
    const uint32_t t = replace_ ? 0 : txd.texture_count() - 1;
    out.picture = texture_rgba(txd, t, 0, out.error);
    if (out.picture.rgba.empty()) {
        if (out.error.empty()) out.error = "the result has no picture to show";
        return out;
    }
    // The source as it goes in: scaled with the import's own filter when the size changed.
    png_picture source;
    if (!read_picture_file(picture_, source, out.error, keep_alpha_)) return out;
    if (source.image.width != out.picture.width || source.image.height != out.picture.height)
        source.image = resized(source.image, out.picture.width, out.picture.height);
    out.psnr = picture_psnr(source.image, out.picture);
    out.ok = true;
    return out;
}

} // namespace quillmap
