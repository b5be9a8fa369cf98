// Export of one texture as a Windows Bitmap, a TIM2 picture or a raw Texture Native section.
#include "dictionary/ps2_txd.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "raster/ps2_bitmap.h"
#include "raster/ps2_stored_region.h"
#include "raster/raster_limits.h"
#include "raster/tim2_file.h"

#include <algorithm>

namespace quillmap {

namespace {
constexpr uint32_t k_source_format_1555 = 0x1555;

bool is_headered(std::span<const uint8_t> data) {
    return u32_at(data, 0).value_or(0) == 3 || u32_at(data, 4).value_or(0) == 0x10000000;
}
} // namespace

std::string ps2_txd::default_export_name(uint32_t t, view_mode mode, export_type type) {
    const char* extension = export_extension(type);
    std::string name =
        texture_name(t, mode == view_mode::texture ? name_kind::texture : name_kind::mask);
    // Without a mask name the file would be a bare extension.
    if (name.empty()) name = texture_name(t, name_kind::texture);
    // Names come from the file: they must not lead the export out of the current directory.
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    if (name.empty() || name == "." || name == "..") name = "texture" + std::to_string(t);
    return name + extension;
}

std::span<uint8_t> ps2_txd::stored_pixels(uint32_t t, uint32_t level, bool swizzled) {
    const std::span<uint8_t> plain = pixels(t, level);
    const uint32_t shift = std::min<uint32_t>(level, 31);
    const uint32_t w = width(t) >> shift, h = height(t) >> shift, d = depth(t);
    const ps2_region::extent region = ps2_region::swizzled_region(w, h, d);
    if (plain.empty() || !swizzled || region == ps2_region::extent{w, h}) return plain;
    std::vector<uint8_t>* data = raster_data(t);
    if (!data) return plain;
    const size_t size = std::min<size_t>(data->size(), raster_data_chunk(t)->size);
    const size_t offset = static_cast<size_t>(plain.data() - data->data());
    uint64_t end = size;
    if (is_headered({data->data(), size})) {
        size_t level_offset = 0, block = 0;
        if (headered_level(t, level, level_offset, block))
            end = std::min<uint64_t>(size, uint64_t(level_offset) + block);
    } else {
        const uint64_t palette_bytes = (uint64_t(4) << d) + (d == 4 ? 32 : 0);
        end = palette_bytes <= size ? size - palette_bytes : 0;
    }
    const uint64_t wanted = raster_bytes(region.width_px, region.height_px, d);
    if (!fits(offset, wanted, end)) return plain;
    return {data->data() + offset, static_cast<size_t>(wanted)};
}

std::vector<uint8_t> ps2_txd::plain_level(uint32_t t, uint32_t level, bool swizzled) {
    std::vector<uint8_t> out;
    if (!texture_exists(t)) return out;
    // Swizzled levels kept in a wider transfer rectangle unswizzle at that rectangle's size.
    if (swizzled && is_swizzled(t) && ps2_plain_level(*this, t, level, out)) return out;
    out.clear();
    const uint32_t shift = std::min<uint32_t>(level, 31);
    const std::span<uint8_t> raster = stored_pixels(t, level, swizzled);
    if (raster.empty() || !ps2_swizzling::plain_copy(raster, width(t) >> shift, height(t) >> shift,
                                                     depth(t), swizzled, out)) {
        out.clear();
        last_error = txd_msg::raster_layout_short;
    }
    return out;
}

bool ps2_txd::add_tim2_levels(uint32_t t, tim2_file& tim2, bool unswizzle) {
    // Only headered rasters say where each level is.
    if (!transfer_header(t)) return true;
    const uint32_t levels = std::min(mip_count(t), tim2_picture_header::k_max_levels);
    for (uint32_t n = 1; n < levels; ++n) {
        // Levels in a rectangle of their own size unswizzle where they stand.
        std::vector<uint8_t> plain;
        const bool added = unswizzle && ps2_plain_level(*this, t, n, plain)
                               ? tim2.add_mip_level(plain, false) != 0
                               : tim2.add_mip_level(stored_pixels(t, n, unswizzle), unswizzle) != 0;
        if (!added) {
            last_error = tim2.last_error.empty() ? txd_msg::raster_layout_short : tim2.last_error;
            return false;
        }
    }
    if (levels > 1) {
        // The texture's own MIPTBP registers (header words 8..11).
        const std::span<const uint8_t> header(raster_header(t), 64);
        tim2_picture_header& h = tim2.pictures.back().header;
        byte_reader words(header);
        words.seek(32, "MIPTBP1");
        h.gs_miptbp1 = words.u64("MIPTBP1");
        h.gs_miptbp2 = words.u64("MIPTBP2");
    }
    return true;
}

bool ps2_txd::export_texture(uint32_t t, view_mode mode, export_type type,
                             const std::filesystem::path* path, swizzle_mode swizzle) {
    if (!texture_exists(t)) return false;
    // PNG needs the picture libraries, which live outside the dictionary (src/imageio).
    if (type == export_type::png) {
        last_error = txd_msg::unknown_export_type;
        return false;
    }
    const std::filesystem::path target =
        path ? *path : std::filesystem::path(default_export_name(t, mode, type));
    const bool stored_swizzled = is_swizzled(t);
    const bool swizzled = reads_swizzled(swizzle, stored_swizzled);
    const uint32_t w = width(t), h = height(t), d = depth(t);

    // Level 0 as the files take it: a swizzled level stored in a wider transfer rectangle
    // unswizzles at that rectangle here and then needs no more reordering.
    std::vector<uint8_t> plain;
    bool unswizzle = swizzled;
    auto level0 = [&]() -> std::span<const uint8_t> {
        const std::span<const uint8_t> stored = stored_pixels(t, 0, swizzled);
        if (!swizzled || !stored_swizzled || !ps2_plain_level(*this, t, 0, plain)) return stored;
        unswizzle = false;
        return plain;
    };

    bool ok = false;
    if (type == export_type::bmp) {
        ps2_bitmap bitmap;
        const std::span<const uint8_t> raster = level0();
        if (raster.empty()) {
            last_error = txd_msg::raster_layout_short;
        } else if (!bitmap.load_raster(w, h, d, raster, palette(t), unswizzle, mode,
                                       k_source_format_1555, 0) ||
                   !bitmap.write_bmp(target)) {
            last_error =
                bitmap.last_error.empty() ? txd_msg::raster_layout_short : bitmap.last_error;
        } else {
            ok = true;
        }
    } else if (type == export_type::tim2) {
        tim2_file tim2;
        const std::span<const uint8_t> raster = level0();
        if (raster.empty()) {
            last_error = txd_msg::raster_layout_short;
        } else if (!tim2.add_picture(w, h, d, raster, palette(t), unswizzle)) {
            last_error = tim2.last_error;
        } else {
            // The marker says whether the file's pixels are in swizzled order: only when they were
            // stored so and were not reordered on the way out. 16- and 32-bit pixels never are.
            tim2.mark_source_swizzled(0, stored_swizzled && unswizzle == swizzled &&
                                             (d == 4 || d == 8));
            if (add_tim2_levels(t, tim2, swizzled && stored_swizzled)) {
                ok = tim2.write(target) != 0;
                if (!ok) last_error = tim2.last_error;
            }
        }
    } else {
        // The section is written from memory, so its data must not depend on our file.
        rw_chunk* texture = texture_chunk(t);
        if (!load_all(texture)) return false;
        rw_stream section;
        section.root.reset(texture);
        section.borrowed_tree = true;
        ok = section.save(target, 0);
        if (!ok) last_error = section.last_error;
    }
    release_pixels(t);
    return ok;
}

} // namespace quillmap
