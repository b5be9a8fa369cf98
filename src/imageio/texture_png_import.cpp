#include "imageio/texture_png.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_levels.h"
#include "imageio/ps2_picture.h"
#include "imageio/quantize.h"

#include <bit>

namespace {
// Texture names are 32-byte fields in the game's files: 31 characters and the terminator.
constexpr size_t k_max_name_chars = 31;

std::string size_text(uint32_t width, uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Levels 1 .. n - 1 of texture t rebuilt from its new level 0 picture, in the layout each level
// is stored in. Palettised levels reuse level 0's palette.
bool regenerate_levels(ps2_txd& txd, uint32_t t, const rgba_image& image,
                       const indexed_image& level0, bool dither, std::string& error) {
    const uint32_t d = txd.depth(t);
    const std::vector<rgba_image> chain = mip_chain(image, txd.mip_count(t));
    for (uint32_t k = 1; k < chain.size(); ++k) {
        const rgba_image& source = chain[k];
        std::vector<uint8_t> stored;
        if (d == 4 || d == 8) {
            indexed_image level;
            if (!remap(source, level0.palette, dither, level, error)) return false;
            stored = pack_indices(level.indices, d);
        } else {
            stored = ps2_pixels_from_rgba(source, d);
        }
        // Swizzled levels go into their transfer rectangles as the game lays them out.
        if (txd.is_swizzled(t) && ps2_write_plain_level(txd, t, k, stored)) continue;
        const std::span<uint8_t> target = txd.level_storage(t, k);
        if (target.size() < stored.size() || stored.empty()) {
            error = txd_msg::raster_layout_short;
            return false;
        }
        std::copy(stored.begin(), stored.end(), target.begin());
    }
    return true;
}

std::string texture_name_from(const std::filesystem::path& path) {
    std::string name = path.stem().string();
    if (name.size() > k_max_name_chars) name.resize(k_max_name_chars);
    return name;
}
} // namespace

bool replace_texture_png(ps2_txd& txd, uint32_t t, const std::filesystem::path& path, bool dither,
                         std::string& error, std::string& note, bool regenerate_mips) {
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    if (!txd.raster_header(t)) {
        error = txd_msg::not_ps2;
        return false;
    }
    png_picture picture;
    if (!read_png_file(path, picture, error)) return false;
    const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
    if (picture.image.width != w || picture.image.height != h) {
        error = txd_msg::same_dimensions;
        return false;
    }
    std::vector<uint8_t> plain, palette;
    indexed_image indexed;
    if (d == 4 || d == 8) {
        const indexed_image* given = picture.indexed ? &*picture.indexed : nullptr;
        if (given && given->entries() <= (1u << d)) {
            indexed = *given;
        } else {
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
    if (!txd.replace_level0(t, plain, palette)) {
        error = txd.last_error;
        return false;
    }
    return !regenerate_mips || regenerate_levels(txd, t, picture.image, indexed, dither, error);
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
    if (!read_png_file(path, picture, error)) return false;
    rgba_image image = std::move(picture.image);
    const indexed_image* given = picture.indexed ? &*picture.indexed : nullptr;
    std::vector<std::string> notes;

    const uint32_t w = image.width, h = image.height;
    if (!std::has_single_bit(w) || !std::has_single_bit(h)) {
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
    recipe.levels = options.mips == 0 ? most : std::min(options.mips, most);
    if (options.mips > most)
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

raster_transform depth_transform(uint32_t depth, uint32_t mips, bool dither) {
    return [depth, mips, dither](ps2_raster& raster, std::string& error) {
        const rgba_image image =
            rgba_from_ps2(raster.pixels, raster.width, raster.height, raster.depth, raster.palette);
        if (image.rgba.empty()) {
            error = txd_msg::image_data_short;
            return false;
        }
        level_recipe recipe;
        recipe.depth = depth ? depth : raster.depth;
        const uint32_t most = renderware_level_count(raster.width, raster.height);
        recipe.levels = mips == 0 ? most : std::min(mips, most);
        recipe.dither = dither;
        // A palette the source already has is kept when the depth stays.
        indexed_image kept;
        if (recipe.depth == raster.depth && (raster.depth == 4 || raster.depth == 8))
            kept = indexed_from_ps2(raster.pixels, raster.width, raster.height, raster.depth,
                                    raster.palette);
        bool quantized = false;
        return build_ps2_levels(image, kept.indices.empty() ? nullptr : &kept, recipe, raster,
                                quantized, error);
    };
}
