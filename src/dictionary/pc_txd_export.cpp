// Export of PC and XBOX textures: BMP from the texture as declared, TIM2 in the PS2 raster's own
// layout, raw sections as stored.
#include "dictionary/convert_ps2.h"
#include "dictionary/pc_txd.h"
#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "raster/pc_bitmap.h"
#include "raster/pixel_format.h"
#include "raster/tim2_file.h"

namespace quillmap {

std::filesystem::path pc_txd::export_path(uint32_t t, view_mode mode, export_type type,
                                          const std::filesystem::path* path) {
    if (path) return *path;
    const char* extension = type == export_type::bmp    ? ".bmp"
                            : type == export_type::tim2 ? ".tm2"
                                                        : ".rwsect";
    return texture_name(t, mode == view_mode::texture ? name_kind::texture : name_kind::mask) +
           extension;
}

bool pc_txd::write_bitmap(const native_level& level, view_mode mode,
                          const std::filesystem::path& path) {
    pc_bitmap bitmap;
    // 16-bit textures come out as 1-5-5-5 bitmaps.
    if (!bitmap.load_raster(level.width, level.height, level.depth, level.pixels, level.palette,
                            false, mode, level.code, pixel_code::argb1555)) {
        last_error = bitmap.last_error.empty() ? platform_msg::no_pixels : bitmap.last_error;
        return false;
    }
    if (!bitmap.write_bmp(path)) {
        last_error = bitmap.last_error;
        return false;
    }
    return true;
}

bool pc_txd::export_raw_section(uint32_t t, const std::filesystem::path& path) {
    rw_chunk* texture = texture_chunk(t);
    // The temporary stream has no file of its own: everything it writes must be in memory.
    if (!load_all(texture)) return false;
    rw_stream section;
    section.root.reset(texture);
    section.borrowed_tree = true;
    const bool ok = section.save(path, 0);
    if (!ok) last_error = section.last_error;
    section.close();
    return ok;
}

bool pc_txd::export_texture(uint32_t t, view_mode mode, export_type type,
                            const std::filesystem::path* path, swizzle_mode) {
    if (!texture_exists(t)) return false;
    if (type != export_type::bmp && type != export_type::tim2 && type != export_type::rwsect) {
        last_error = txd_msg::unknown_export_type;
        return false;
    }
    const std::filesystem::path target = export_path(t, mode, type, path);
    bool ok = false;
    if (type == export_type::bmp) {
        // PC rasters are never swizzled, so the swizzle argument changes nothing.
        const auto level = level_pixels(t, 0, level_detail::full_colour);
        ok = level && write_bitmap(*level, mode, target);
    } else if (type == export_type::tim2) {
        // TIM2 pictures hold PS2 rasters: the texture is written in that layout, not as stored.
        ok = write_tim2_of(*this, t, target, last_error);
    } else {
        ok = export_raw_section(t, target);
    }
    if (!ok) return false;
    release_pixels(t);
    return true;
}

} // namespace quillmap
