// Bringing pictures and sections into the dictionary: replace a texture's pixels and palette from
// a BMP or TIM2 file, add a texture built from a TIM2 picture or taken from a raw section file.
#include "dictionary/ps2_txd.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "raster/ps2_bitmap.h"
#include "raster/ps2_stored_region.h"
#include "raster/raster_messages.h"
#include "raster/tim2_file.h"
#include "stream/rw_ids.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {

bool palettised(uint32_t depth) {
    return depth == 4 || depth == 8;
}

// A texture is named after its file without the extension: models refer to "wall", never to
// "wall.tm2".
std::string name_from_path(const std::filesystem::path& path) {
    // Paths may come from either kind of system; the name is what follows the last separator.
    const std::string text = path.string();
    const size_t slash = text.find_last_of("\\/");
    const std::string file = slash == std::string::npos ? text : text.substr(slash + 1);
    const size_t dot = file.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

// Levels 1.. of a replace from TIM2, for the levels both the texture and the picture have.
bool replace_mip_levels(ps2_txd& txd, uint32_t t, const tim2_file& tim2, bool file_swizzled) {
    // Plain pictures go into each level's transfer rectangle; pictures in
    // swizzled order are the stored bytes as our export wrote them.
    const uint32_t levels = std::min(txd.mip_count(t), tim2.level_count(0));
    for (uint32_t n = 1; n < levels; ++n) {
        const std::span<const uint8_t> image = tim2.level_image(0, n);
        bool written = false;
        if (file_swizzled) {
            const std::span<uint8_t> target = txd.pixels(t, n);
            written = image.size() >= target.size() && !target.empty();
            if (written) std::memcpy(target.data(), image.data(), target.size());
        } else {
            written = ps2_write_plain_level(txd, t, n, image);
        }
        if (!written) {
            txd.last_error = txd_msg::image_data_short;
            return false;
        }
    }
    return true;
}
} // namespace

bool ps2_txd::write_level0(uint32_t t, std::span<const uint8_t> plain, bool swizzled) {
    // A level in a transfer rectangle wider than itself is swizzled at the rectangle's size.
    if (swizzled && is_swizzled(t) && ps2_write_plain_level(*this, t, 0, plain)) return true;
    const uint32_t w = width(t), h = height(t), d = depth(t);
    const std::span<uint8_t> target = pixels(t, 0);
    if (target.size() < plain.size() || plain.empty()) {
        last_error = txd_msg::raster_layout_short;
        return false;
    }
    if (!swizzled || !palettised(d)) {
        std::memcpy(target.data(), plain.data(), plain.size());
        return true;
    }
    if (!(ps2_region::swizzled_region(w, h, d) == ps2_region::extent{w, h})) {
        // Stored as a padded region: the picture goes into its top-left corner, whatever the
        // region holds beyond the picture is kept.
        if (ps2_region::swizzle_into_padded(stored_pixels(t, 0, true), w, h, d, plain)) return true;
        // No layout we can read back: keep the rows as they come, as the reader will.
        std::memcpy(target.data(), plain.data(), plain.size());
        return true;
    }
    std::vector<uint8_t> work(plain.begin(), plain.end());
    ps2_swizzling::swizzle_raster(work, w, h, d);
    std::memcpy(target.data(), work.data(), work.size());
    return true;
}

bool ps2_txd::write_palette(uint32_t t, std::span<const uint8_t> entries) {
    const std::span<uint8_t> target = palette(t);
    if (target.size() != entries.size()) {
        last_error = txd_msg::raster_layout_short;
        return false;
    }
    std::memcpy(target.data(), entries.data(), entries.size());
    return true;
}

bool ps2_txd::replace_level0(uint32_t t, std::span<const uint8_t> plain,
                             std::span<const uint8_t> palette_entries) {
    if (!texture_exists(t) || !raster_header(t)) return false;
    const uint32_t d = depth(t);
    const uint64_t pixel_bytes = uint64_t(width(t)) * height(t) * d / 8;
    const uint64_t palette_bytes = palettised(d) ? uint64_t(4) << d : 0;
    if (plain.size() != pixel_bytes || palette_entries.size() != palette_bytes) {
        last_error = txd_msg::image_data_short;
        return false;
    }
    if (!load_all(texture_chunk(t))) return false;
    if (pixels(t, 0).size() < plain.size() || palette(t).size() != palette_entries.size()) {
        last_error = txd_msg::raster_layout_short;
        return false;
    }
    return write_level0(t, plain, is_swizzled(t)) &&
           (!palettised(d) || write_palette(t, palette_entries));
}

std::span<uint8_t> ps2_txd::level_storage(uint32_t t, uint32_t level) {
    if (!texture_exists(t) || !raster_header(t) || !load_all(texture_chunk(t))) return {};
    return stored_pixels(t, level, is_swizzled(t));
}

bool ps2_txd::replace_texture(uint32_t t, const std::filesystem::path& path, export_type type,
                              bool keep_alpha) {
    // A texture of another platform has no PS2 raster header to replace into.
    if (!texture_exists(t) || !raster_header(t)) return false;
    const uint32_t w = width(t), h = height(t), d = depth(t);
    const uint64_t pixel_bytes = uint64_t(w) * h * d / 8;
    const uint64_t palette_bytes = palettised(d) ? uint64_t(4) << d : 0;

    if (type == export_type::bmp) {
        ps2_bitmap bitmap;
        if (!bitmap.read_bmp(path)) {
            last_error = bitmap.last_error;
            error_detail = bitmap.error_detail;
            return false;
        }
        if (bitmap.width() != w || bitmap.height() != h) {
            last_error = txd_msg::same_dimensions;
            return false;
        }
        if (bitmap.depth() != d) {
            last_error = txd_msg::same_bpp;
            return false;
        }
        if (!load_all(texture_chunk(t))) return false;
        std::vector<uint8_t> entries(static_cast<size_t>(palette_bytes));
        if (palettised(d) && !bitmap.palette_to_raster(entries, keep_alpha)) {
            last_error = bitmap.last_error.empty() ? txd_msg::image_data_short : bitmap.last_error;
            return false;
        }
        std::vector<uint8_t> plain(static_cast<size_t>(pixel_bytes));
        if (!bitmap.pixels_to_raster(plain, keep_alpha)) {
            last_error = bitmap.last_error;
            return false;
        }
        // Check both places before changing either, so a failure leaves the texture whole.
        if (pixels(t, 0).size() < plain.size() || palette(t).size() != entries.size()) {
            last_error = txd_msg::raster_layout_short;
            return false;
        }
        return write_level0(t, plain, is_swizzled(t)) &&
               (!palettised(d) || write_palette(t, entries));
    }

    if (type == export_type::tim2) {
        tim2_file tim2;
        tim2.read(path);
        const tim2_picture* picture = tim2.pictures.empty() ? nullptr : &tim2.pictures[0];
        const uint32_t picture_w = picture ? picture->header.width : 0;
        const uint32_t picture_h = picture ? picture->header.height : 0;
        if (!picture || picture_w != w || picture_h != h) {
            last_error = txd_msg::equivalent_dimensions;
            error_detail = tim2.error_detail;
            return false;
        }
        if (tim2.picture_depth() != d) {
            last_error = txd_msg::equivalent_bpp;
            return false;
        }
        if (picture->image.size() < pixel_bytes ||
            (palettised(d) && picture->clut.size() < palette_bytes)) {
            last_error = txd_msg::image_data_short;
            return false;
        }
        if (!load_all(texture_chunk(t))) return false;
        std::vector<uint8_t> plain(picture->image.begin(),
                                   picture->image.begin() + static_cast<ptrdiff_t>(pixel_bytes));
        // Our own files say when their pixels are in swizzled order, i.e. the bytes as a
        // swizzled texture stores them: those go back unchanged, or to plain order for a plain
        // texture, so that a file exported with swizzling off comes back as it left.
        const bool stored_swizzled = is_swizzled(t);
        const bool file_swizzled = palettised(d) && tim2.holds_swizzled_pixels(0);
        if (file_swizzled && !stored_swizzled) ps2_swizzling::unswizzle_raster(plain, w, h, d);
        const bool swizzle_now = stored_swizzled && !file_swizzled;
        const std::span<const uint8_t> entries(picture->clut.data(),
                                               static_cast<size_t>(palette_bytes));
        if (pixels(t, 0).size() < plain.size() || palette(t).size() != entries.size()) {
            last_error = txd_msg::raster_layout_short;
            return false;
        }
        if (!write_level0(t, plain, swizzle_now) || (palettised(d) && !write_palette(t, entries)))
            return false;
        return replace_mip_levels(*this, t, tim2, file_swizzled);
    }

    last_error = txd_msg::unknown_import_format;
    return false;
}

bool ps2_txd::add_tim2_texture(const std::filesystem::path& path, swizzle_mode,
                               uint32_t* dropped_levels) {
    tim2_file tim2;
    if (!tim2.read(path)) {
        last_error = tim2.last_error;
        error_detail = tim2.error_detail;
        return false;
    }
    if (tim2.pictures.empty()) {
        last_error = raster_msg::bad_image_size;
        return false;
    }
    const tim2_picture& picture = tim2.pictures[0];
    const uint32_t w = picture.header.width, h = picture.header.height;
    const uint32_t d = tim2.picture_depth();
    if (w > k_max_dimension || h > k_max_dimension) {
        last_error = txd_msg::dimension_limit;
        return false;
    }
    if (w == 0 || h == 0) {
        last_error = raster_msg::bad_image_size;
        return false;
    }
    if (d != 4 && d != 8 && d != 16 && d != 24 && d != 32) {
        last_error = raster_msg::unsupported_image_bpp;
        return false;
    }
    const uint64_t pixel_bytes = uint64_t(w) * h * d / 8;
    const uint64_t palette_bytes = palettised(d) ? uint64_t(4) << d : 0;
    if (picture.image.size() < pixel_bytes || picture.clut.size() < palette_bytes) {
        last_error = txd_msg::image_data_short;
        return false;
    }
    if (texture_count() >= k_max_textures) {
        last_error = txd_msg::too_many_textures;
        return false;
    }

    // The stored order follows the raster's rule; pixels come in plain order, or swizzled when
    // our own file says so.
    const bool in_swizzled_order = palettised(d) && tim2.holds_swizzled_pixels(0);
    std::vector<std::vector<uint8_t>> plain(tim2.level_count(0));
    std::vector<std::span<const uint8_t>> levels;
    for (uint32_t n = 0; n < plain.size(); ++n) {
        const uint32_t lw = std::max(1u, w >> n), lh = std::max(1u, h >> n);
        if (!ps2_swizzling::plain_copy(tim2.level_image(0, n), lw, lh, d, in_swizzled_order,
                                       plain[n]))
            break;
        levels.emplace_back(plain[n]);
    }
    uint32_t dropped = 0;
    ps2_texture_source source;
    source.name = name_from_path(path);
    source.width = w;
    source.height = h;
    source.depth = d;
    source.levels = levels;
    if (palette_bytes) source.palette = {picture.clut.data(), static_cast<size_t>(palette_bytes)};
    auto texture = build_texture(source, &dropped);
    if (dropped_levels) *dropped_levels = dropped;
    return texture && append_texture(std::move(texture));
}

bool ps2_txd::add_raw_section(const std::filesystem::path& path) {
    rw_stream section;
    if (!section.open(path, 0, rw_id_texture_native, rw_stream::flag_skip_length_check)) {
        last_error = section.last_error;
        return false;
    }
    if (!section.load_all()) {
        last_error = section.last_error;
        return false;
    }
    if (!root) {
        last_error = rw_msg::not_opened;
        return false;
    }
    if (texture_count() >= k_max_textures) {
        last_error = txd_msg::too_many_textures;
        return false;
    }
    std::unique_ptr<rw_chunk> texture = section.release_root();
    set_version(root->version, texture.get());
    const uint32_t section_bytes = section.allocated_bytes;
    if (!append_texture(std::move(texture))) return false;
    allocated_bytes += section_bytes;
    return true;
}

} // namespace quillmap
