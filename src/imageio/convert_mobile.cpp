#include "imageio/convert_mobile.h"

#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "imageio/built_texture.h"
#include "imageio/mip_chain.h"
#include "imageio/picture_fit.h"
#include "imageio/texture_mobile.h"
#include "imageio/texture_rgba.h"
#include "stream/byte_reader.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {
constexpr uint32_t k_max_name_chars = 31;

uint32_t level_count(mobile_format format, uint32_t width, uint32_t height, uint32_t own,
                     const mobile_convert_options& options) {
    const uint32_t wanted =
        options.mips ? requested_levels(*options.mips, width, height, own) : own;
    return std::clamp<uint32_t>(wanted, 1, mobile_most_levels(format, width, height));
}

// A mobile texture's own levels, or a PC texture's DXT1 / DXT3 level 0, as they stand.
bool take_stored(ps2_txd& source, uint32_t t, const mobile_convert_options& options,
                 mobile_texture_source& out) {
    if (auto* mobile = dynamic_cast<ios_txd*>(&source)) {
        std::string ignored;
        const auto data = mobile->texture_struct(t);
        const auto fields = mobile_fields_of(data, ignored);
        if (!fields || (options.format && *options.format != fields->format)) return false;
        const uint32_t levels =
            level_count(fields->format, fields->width, fields->height, fields->levels, options);
        if (levels > fields->levels) return false;
        out.fields = *fields;
        out.fields.levels = levels;
        const uint32_t start = mobile_pixels_start(
            fields->format, u32_at(data, mobile_offset::block_word).value_or(0));
        out.header.assign(data.begin(), data.begin() + start);
        for (uint32_t level = 0; level < levels; ++level) {
            const auto stored = mobile->stored_level(t, level);
            out.levels.emplace_back(stored.begin(), stored.end());
        }
        return true;
    }
    auto* pc = dynamic_cast<pc_txd*>(&source);
    const auto blocks = pc ? pc->dxt_blocks(t, 0) : std::nullopt;
    if (!blocks || (blocks->dxt != 1 && blocks->dxt != 3)) return false;
    const mobile_format format = blocks->dxt == 1 ? mobile_format::dxt1 : mobile_format::dxt3;
    if (options.format && *options.format != format) return false;
    out.fields = {format, pc->width(t), pc->height(t), 1};
    if (blocks->bytes.size() != mobile_level_bytes(out.fields, 0)) return false;
    // DXT1 blocks that hold transparent texels would show them black without the alpha flag.
    if (format == mobile_format::dxt1) {
        std::string ignored;
        const rgba_image picture = texture_rgba(source, t, 0, ignored);
        if (picture.rgba.empty() || alpha_of(picture) != picture_alpha::opaque) return false;
    }
    const auto again = pc->dxt_blocks(t, 0); // texture_rgba may have moved the Struct's bytes
    if (!again) return false;
    out.levels = {std::vector<uint8_t>(again->bytes.begin(), again->bytes.end())};
    return true;
}

// Any texture decoded and encoded again; sizes that are no power of two are scaled.
bool encode_any(ps2_txd& source, uint32_t t, const mobile_convert_options& options,
                mobile_texture_source& out, std::string& note, std::string& error) {
    const rgba_image level0 = texture_rgba(source, t, 0, error);
    if (level0.rgba.empty()) return false;
    const uint32_t own = std::max<uint32_t>(1, source.mip_count(t));
    std::vector<rgba_image> chain{level0};
    const uint32_t w = level0.width, h = level0.height;
    const bool scaled = !std::has_single_bit(w) || !std::has_single_bit(h);
    if (scaled) {
        chain[0] = resized(level0, nearest_power_of_two(w), nearest_power_of_two(h));
        note =
            "scaled from " + size_text(w, h) + " to " + size_text(chain[0].width, chain[0].height);
    }
    mobile_fields& f = out.fields;
    f.format = options.format.value_or(default_mobile_format(alpha_of(chain[0])));
    f.width = chain[0].width;
    f.height = chain[0].height;
    f.levels = level_count(f.format, f.width, f.height, own, options);
    // The source's own smaller levels where it has them, else boxes of the one above.
    for (uint32_t level = 1; level < f.levels; ++level) {
        rgba_image picture;
        std::string ignored;
        const bool taken = !scaled && level < own &&
                           (!options.mips || options.mips->mode != mips_mode::regenerate) &&
                           !(picture = texture_rgba(source, t, level, ignored)).rgba.empty() &&
                           picture.width == std::max<uint32_t>(1, f.width >> level) &&
                           picture.height == std::max<uint32_t>(1, f.height >> level);
        chain.push_back(taken ? std::move(picture) : half_size(chain.back()));
    }
    for (const rgba_image& level : chain)
        out.levels.push_back(encode_mobile_level(level, f.format));
    return true;
}
} // namespace

bool convert_to_mobile(ps2_txd& source, ps2_txd& target, const mobile_convert_options& options,
                       std::vector<std::string>& skipped, std::vector<std::string>& notes,
                       std::string& error) {
    if (!source.root) {
        error = rw_msg::not_opened;
        return false;
    }
    const uint32_t version = source.root_version();
    target.create_empty(version);
    // The mobile reader takes the whole first word as the count: no device id beside it.
    if (auto* words = target.load_data(target.root->child(0)); words && words->size() >= 4)
        store_u16(words->data() + 2, 0);
    for (uint32_t t = 0; t < source.texture_count(); ++t) {
        const std::string name = source.texture_name(t, name_kind::texture);
        mobile_texture_source built;
        std::string note, why;
        if (!take_stored(source, t, options, built) &&
            !encode_any(source, t, options, built, note, why)) {
            source.release_pixels(t);
            skipped.push_back(name);
            continue;
        }
        const uint32_t own = std::max<uint32_t>(1, source.mip_count(t));
        if (built.fields.levels < own && !options.mips)
            note += std::string(note.empty() ? "" : "; ") +
                    std::to_string(own - built.fields.levels) + " mip level(s) dropped: a " +
                    mobile_format_name(built.fields.format) + " texture holds " +
                    std::to_string(built.fields.levels);
        source.release_pixels(t);
        built.name = name.substr(0, k_max_name_chars);
        built.mask = pc_name_field_of(source.texture_name(t, name_kind::mask).substr(0, 31));
        // A conversion keeps every texture of its source, up to what the count holds.
        if (!append_converted(target, name, build_mobile_texture(built, version, error), note,
                              notes, error,
                              std::max(source.texture_count(), ps2_txd::k_max_textures)))
            return false;
    }
    return true;
}

bool convert_to_mobile(ps2_txd& source, const std::filesystem::path& out,
                       const mobile_convert_options& options, std::vector<std::string>& skipped,
                       std::vector<std::string>& notes, std::string& error) {
    ios_txd target;
    if (!convert_to_mobile(source, target, options, skipped, notes, error)) return false;
    return save_built(target, out, error);
}

} // namespace quillmap
