#include "imageio/texture_png.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/picture_file.h"
#include "imageio/picture_fit.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_levels.h"
#include "imageio/ps2_picture.h"
#include "imageio/quantize.h"
#include "imageio/replace_levels.h"

#include <bit>

namespace quillmap {

namespace {
// Texture names are 32-byte fields in the game's files: 31 characters and the terminator.
constexpr size_t k_max_name_chars = 31;

std::string texture_name_from(const std::filesystem::path& path) {
    std::string name = path.stem().string();
    if (name.size() > k_max_name_chars) name.resize(k_max_name_chars);
    return name;
}
} // namespace

bool replace_texture_png(ps2_txd& txd, uint32_t t, const std::filesystem::path& path, bool dither,
                         std::string& error, std::string& note, other_levels levels) {
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    if (!txd.raster_header(t)) {
        error = txd_msg::not_ps2;
        return false;
    }
    png_picture picture;
    if (!read_picture_file(path, picture, error)) return false;
    const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
    if (picture.image.width != w || picture.image.height != h) {
        error = txd_msg::same_dimensions;
        return false;
    }
    std::vector<uint8_t> plain, palette;
    indexed_image indexed;
    if (d == 4 || d == 8) {
        const indexed_image* given = picture.indexed ? &*picture.indexed : nullptr;
        // The texture's own palette, as a picture shows it: a picture of its colours keeps it.
        const uint8_t one_pixel = 0;
        const indexed_image own = indexed_from_ps2({&one_pixel, 1}, 1, 1, d, txd.palette(t));
        if (given && given->entries() <= (1u << d)) {
            indexed = *given;
        } else if ((own.palette.empty() || !exact_indices(picture.image, own.palette, indexed)) &&
                   !exact_palette(picture.image, 1u << d, indexed)) {
            if (!quantize(picture.image, 1u << d, dither, indexed, error)) return false;
            note = "colours reduced to " + std::to_string(1u << d);
        }
        plain = pack_indices(indexed.indices, d);
        palette = ps2_palette(indexed.palette, d);
    } else if (d == 16 || d == 24 || d == 32) {
        plain = ps2_pixels_from_rgba(picture.image, d);
    } else {
        error = txd_msg::same_bpp;
        return false;
    }
    const levels_before before = capture_levels(txd, t);
    if (!txd.replace_level0(t, plain, palette)) {
        error = txd.last_error;
        return false;
    }
    return update_other_levels(txd, t, before, &picture.image, levels, dither, error);
}

bool add_texture_png(ps2_txd& txd, const std::filesystem::path& path,
                     const png_add_options& options, std::string& error, std::string& note) {
    if (options.depth != 4 && options.depth != 8 && options.depth != 32) {
        error = "Depth must be 4, 8 or 32.";
        return false;
    }
    if (txd.texture_count() >= ps2_txd::k_max_textures) {
        error = txd_msg::too_many_textures;
        return false;
    }
    png_picture picture;
    if (!read_picture_file(path, picture, error)) return false;
    rgba_image image = std::move(picture.image);
    const indexed_image* given = picture.indexed ? &*picture.indexed : nullptr;
    std::vector<std::string> notes;

    const uint32_t w = image.width, h = image.height;
    if (options.width != 0 && options.height != 0 && (options.width != w || options.height != h)) {
        if (!std::has_single_bit(options.width) || !std::has_single_bit(options.height) ||
            options.width > ps2_txd::k_max_dimension || options.height > ps2_txd::k_max_dimension) {
            error = size_text(options.width, options.height) + " is no PS2 texture size";
            return false;
        }
        image = resized(image, options.width, options.height);
        given = nullptr;
        notes.push_back("scaled from " + size_text(w, h) + " to " +
                        size_text(options.width, options.height));
    } else if (!std::has_single_bit(w) || !std::has_single_bit(h)) {
        if (!options.resize) {
            error = path.filename().string() + " is " + size_text(w, h) +
                    ": PS2 textures need power-of-two sides; the nearest sizes are " +
                    size_text(power_of_two_below(w), power_of_two_below(h)) + " and " +
                    size_text(power_of_two_above(w), power_of_two_above(h)) +
                    " (--resize scales it)";
            return false;
        }
        const uint32_t new_w = std::min(nearest_power_of_two(w), ps2_txd::k_max_dimension);
        const uint32_t new_h = std::min(nearest_power_of_two(h), ps2_txd::k_max_dimension);
        image = resized(image, new_w, new_h);
        given = nullptr;
        notes.push_back("scaled from " + size_text(w, h) + " to " + size_text(new_w, new_h));
    }

    const uint32_t most = renderware_level_count(image.width, image.height);
    level_recipe recipe;
    recipe.depth = options.depth;
    const uint32_t wanted = options.mips == k_mips_keep ? 1 : options.mips;
    recipe.levels = wanted == 0 ? most : std::min(wanted, most);
    if (wanted > most)
        notes.push_back(std::to_string(most) + " mip level(s), RenderWare's most for " +
                        size_text(image.width, image.height));
    recipe.dither = options.dither;
    if (recipe.depth != 32 && given && given->entries() > (1u << recipe.depth)) given = nullptr;

    ps2_raster raster;
    bool quantized = false;
    if (!build_ps2_levels(image, given, recipe, raster, quantized, error)) return false;
    if (quantized) {
        const uint32_t colours = count_colours(image, 1u << recipe.depth);
        if (colours > (1u << recipe.depth))
            notes.push_back("more than " + std::to_string(1u << recipe.depth) +
                            " colours, quantized to " + std::to_string(1u << recipe.depth));
    }
    for (const auto& text : notes)
        note += (note.empty() ? "" : "; ") + text;

    auto texture = build_raster_texture(txd, raster, texture_name_from(path), "");
    if (!texture || !txd.append_texture(std::move(texture))) {
        error = txd.last_error;
        return false;
    }
    return true;
}

} // namespace quillmap
