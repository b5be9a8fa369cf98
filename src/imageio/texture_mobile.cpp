#include "imageio/texture_mobile.h"

#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "imageio/built_texture.h"
#include "imageio/dxt_compress.h"
#include "imageio/mip_chain.h"
#include "imageio/picture_fit.h"
#include "imageio/texture_rgba.h"
#include "raster/pixel_format.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
constexpr size_t k_max_name_chars = 31;

// The `bits`-bit value whose bits, repeated to fill a byte, come nearest to `x`. Both x's own
// top bits and one more are tried, so a value shown with its low bits zero or repeated maps
// back to itself.
uint32_t nearest_field(uint8_t x, uint32_t bits) {
    const uint32_t shift = 8 - bits, top = (1u << bits) - 1;
    const auto widened = [&](uint32_t q) {
        return bits == 4 ? widen_4bit(q) : bits == 5 ? widen_5bit(q) : widen_6bit(q);
    };
    const uint32_t low = uint32_t(x) >> shift;
    if (low == top) return low;
    const int below = int(x) - int(widened(low)), above = int(widened(low + 1)) - int(x);
    return std::abs(below) <= std::abs(above) ? low : low + 1;
}

std::vector<uint8_t> pixels16(const rgba_image& picture, bool alpha) {
    std::vector<uint8_t> out(size_t(picture.width) * picture.height * 2);
    for (size_t i = 0, o = 0; o < out.size(); i += 4, o += 2) {
        const uint8_t* p = &picture.rgba[i];
        const uint32_t v = alpha ? nearest_field(p[0], 4) << 12 | nearest_field(p[1], 4) << 8 |
                                       nearest_field(p[2], 4) << 4 | nearest_field(p[3], 4)
                                 : nearest_field(p[0], 5) << 11 | nearest_field(p[1], 6) << 5 |
                                       nearest_field(p[2], 5);
        store_u16(&out[o], static_cast<uint16_t>(v));
    }
    return out;
}

// The fields, names and header bytes of stored texture t.
bool source_of(ios_txd& txd, uint32_t t, mobile_texture_source& source, std::string& error) {
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    const auto data = txd.texture_struct(t);
    const auto fields = mobile_fields_of(data, error);
    if (!fields) return false;
    source.fields = *fields;
    source.name = txd.texture_name(t, name_kind::texture);
    std::copy_n(data.begin() + mobile_offset::mask, source.mask.size(), source.mask.begin());
    const uint32_t start =
        mobile_pixels_start(fields->format, u32_at(data, mobile_offset::block_word).value_or(0));
    source.header.assign(data.begin(), data.begin() + start);
    return true;
}

bool store(ios_txd& txd, uint32_t t, const mobile_texture_source& source, std::string& error) {
    auto data = mobile_struct_data(source, error);
    if (!data) return false;
    if (!txd.replace_struct(t, std::move(*data))) {
        error = txd.last_error;
        return false;
    }
    return true;
}

// The level count a request gives within what the format holds; a count asked beyond it is
// noted.
uint32_t levels_for(mips_request mips, const mobile_fields& f, uint32_t current,
                    std::string& note) {
    const uint32_t most = mobile_most_levels(f.format, f.width, f.height);
    const uint32_t levels = std::min(requested_levels(mips, f.width, f.height, current), most);
    const bool asked_more =
        (mips.mode == mips_mode::count && mips.count > levels) ||
        (mips.mode == mips_mode::full_chain && levels < pc_full_chain(f.width, f.height));
    if (asked_more)
        add_note(note, std::to_string(levels) + " mip level(s), the most a " +
                           mobile_format_name(f.format) + " texture of " +
                           size_text(f.width, f.height) + " holds");
    return levels;
}

std::vector<std::vector<uint8_t>> encode_chain(const std::vector<rgba_image>& chain,
                                               mobile_format format) {
    std::vector<std::vector<uint8_t>> levels;
    for (const rgba_image& level : chain)
        levels.push_back(encode_mobile_level(level, format));
    return levels;
}
} // namespace

mobile_format mobile_format_for(bool dxt, picture_alpha alpha) {
    const bool opaque = alpha == picture_alpha::opaque;
    if (dxt) return opaque ? mobile_format::dxt1 : mobile_format::dxt3;
    return opaque ? mobile_format::rgb565 : mobile_format::rgba4444;
}

mobile_format default_mobile_format(picture_alpha alpha) {
    return mobile_format_for(true, alpha);
}

std::vector<uint8_t> encode_mobile_level(const rgba_image& picture, mobile_format format) {
    switch (format) {
    case mobile_format::dxt1:
        return compress_dxt(picture.rgba, picture.width, picture.height, dxt_kind::dxt1);
    case mobile_format::dxt3:
        return compress_dxt(picture.rgba, picture.width, picture.height, dxt_kind::dxt3);
    case mobile_format::rgb565:
        return pixels16(picture, false);
    case mobile_format::rgba4444:
        return pixels16(picture, true);
    }
    return {};
}

bool replace_mobile_texture(ios_txd& txd, uint32_t t, const rgba_image& image,
                            const mobile_edit_options& options, std::string& error,
                            std::string& note) {
    mobile_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    mobile_fields& f = source.fields;
    const mobile_fields before = f;
    rgba_image picture = image;
    if (!fit_to_texture(picture, f.width, f.height, options.resize, error, note)) return false;
    const picture_alpha alpha = alpha_of(picture);
    if (options.format) {
        f.format = *options.format;
    } else if (alpha != picture_alpha::opaque && !mobile_has_alpha(f.format)) {
        // An opaque texture given a picture with alpha keeps its kind and takes the alpha.
        f.format = mobile_format_for(mobile_is_dxt(f.format), alpha);
        add_note(note, std::string("stored as ") + mobile_format_name(f.format) +
                           " for the picture's alpha");
    }
    f.levels = levels_for(options.mips, f, before.levels, note);
    if (f.levels < before.levels && options.mips.mode != mips_mode::count)
        add_note(note, std::to_string(before.levels - f.levels) + " mip level(s) dropped: a " +
                           mobile_format_name(f.format) + " texture holds " +
                           std::to_string(f.levels));
    const bool keep_levels = options.mips.mode == mips_mode::keep && f.levels == before.levels &&
                             f.format == before.format;
    source.levels = encode_chain(mip_chain(picture, keep_levels ? 1 : f.levels), f.format);
    for (uint32_t level = 1; keep_levels && level < f.levels; ++level) {
        const auto stored = txd.stored_level(t, level);
        if (stored.empty()) {
            error = txd.last_error;
            return false;
        }
        source.levels.emplace_back(stored.begin(), stored.end());
    }
    return store(txd, t, source, error);
}

bool replace_mobile_texture_dds(ios_txd& txd, uint32_t t, const dds_image& dds,
                                const mobile_edit_options& options, std::string& error,
                                std::string& note) {
    mobile_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    const mobile_format wanted = options.format.value_or(source.fields.format);
    const bool blocks = (dds.format == dds_format::dxt1 && wanted == mobile_format::dxt1) ||
                        (dds.format == dds_format::dxt3 && wanted == mobile_format::dxt3);
    const bool as_stored = blocks && !dds.levels.empty() && dds.width == source.fields.width &&
                           dds.height == source.fields.height &&
                           options.mips.mode != mips_mode::regenerate;
    if (!as_stored) {
        rgba_image picture;
        picture.width = dds.width;
        picture.height = dds.height;
        picture.rgba = dds_level_rgba(dds, 0);
        return replace_mobile_texture(txd, t, picture, options, error, note);
    }
    source.fields.format = wanted;
    source.fields.levels = 1;
    source.levels = {dds.levels[0]};
    if (dds.levels.size() > 1) add_note(note, "mobile DXT textures keep one level");
    return store(txd, t, source, error);
}

bool add_mobile_texture(ios_txd& txd, const rgba_image& image, const std::string& name,
                        const mobile_edit_options& options, std::string& error, std::string& note) {
    if (txd.texture_count() >= ps2_txd::k_max_textures) {
        error = txd_msg::too_many_textures;
        return false;
    }
    rgba_image picture = image;
    if (!fit_to_power_of_two(picture, name, options.resize, error, note)) return false;
    // New textures follow the kind of the dictionary's first texture; DXT in an empty one.
    const bool dxt =
        txd.texture_count() == 0 || txd.platform_id(0) != stored_platform::mobile_plain;
    mobile_texture_source source;
    source.fields.format = options.format.value_or(mobile_format_for(dxt, alpha_of(picture)));
    source.fields.width = picture.width;
    source.fields.height = picture.height;
    source.fields.levels = levels_for(options.mips, source.fields, 1, note);
    source.name = name.substr(0, k_max_name_chars);
    source.levels = encode_chain(mip_chain(picture, source.fields.levels), source.fields.format);
    return append_built(txd, build_mobile_texture(source, txd.root_version(), error), error);
}

bool set_mobile_mips(ios_txd& txd, uint32_t t, mips_request mips, std::string& error,
                     std::string& note) {
    mobile_texture_source source;
    if (!source_of(txd, t, source, error)) return false;
    mobile_fields& f = source.fields;
    const uint32_t before = f.levels;
    if (mobile_is_dxt(f.format) && requested_levels(mips, f.width, f.height, before) > 1) {
        error = "mobile DXT textures keep one mip level; --format 565 or 4444 stores levels";
        return false;
    }
    f.levels = levels_for(mips, f, before, note);
    if (mips.mode == mips_mode::keep && f.levels == before) return true;
    const auto level0 = txd.stored_level(t, 0);
    if (level0.empty()) {
        error = txd.last_error;
        return false;
    }
    const std::vector<uint8_t> kept(level0.begin(), level0.end());
    rgba_image picture = texture_rgba(txd, t, 0, error);
    if (picture.rgba.empty()) return false;
    source.levels = encode_chain(mip_chain(std::move(picture), f.levels), f.format);
    source.levels[0] = kept;
    return store(txd, t, source, error);
}

} // namespace quillmap
