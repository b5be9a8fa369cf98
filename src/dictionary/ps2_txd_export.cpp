// Export of one texture as a Windows Bitmap, a TIM2 picture or a raw Texture Native section.
#include "dictionary/ps2_txd.h"

#include "dictionary/txd_messages.h"
#include "raster/ps2_bitmap.h"
#include "raster/ps2_stored_region.h"
#include "raster/raster_limits.h"
#include "raster/tim2_file.h"

#include <algorithm>

namespace {
constexpr uint32_t k_source_format_1555 = 0x1555;

const char* extension_of_type(int type) {
    switch (type) {
    case export_bmp:
        return ".bmp";
    case export_tim2:
        return ".tm2";
    case export_rwsect:
        return ".rwsect";
    default:
        return nullptr;
    }
}

bool is_headered(std::span<const uint8_t> data) {
    return read_u32(data, 0) == 3 || read_u32(data, 4) == 0x10000000;
}
} // namespace

int ps2_txd::export_type_of(const std::string& extension) {
    const std::string dotted =
        (!extension.empty() && extension[0] == '.') ? extension : "." + extension;
    if (dotted == ".bmp") return export_bmp;
    if (dotted == ".tm2") return export_tim2;
    if (dotted == ".rwsect") return export_rwsect;
    return 0;
}

std::string ps2_txd::default_export_name(uint32_t t, int mode, int type) {
    const char* extension = extension_of_type(type);
    if (!extension) return {};
    std::string name = texture_name(t, mode == view_texture ? 0 : 1);
    // Without a mask name the file would be a bare extension.
    if (name.empty()) name = texture_name(t, 0);
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

bool ps2_txd::export_texture(uint32_t t, int mode, int type, const std::filesystem::path* path,
                             int swizzle) {
    if (!texture_exists(t)) return false;
    if (!extension_of_type(type)) {
        last_error = txd_msg::unknown_export_type;
        return false;
    }
    const std::filesystem::path target =
        path ? *path : std::filesystem::path(default_export_name(t, mode, type));
    const bool stored_swizzled = is_swizzled(t);
    const bool swizzled = swizzle == -1 ? stored_swizzled : swizzle != 0;
    const uint32_t w = width(t), h = height(t), d = depth(t);

    bool ok = false;
    if (type == export_bmp) {
        ps2_bitmap bitmap;
        const std::span<uint8_t> raster = stored_pixels(t, 0, swizzled);
        if (raster.empty()) {
            last_error = txd_msg::raster_layout_short;
        } else if (!bitmap.load_raster(w, h, d, raster, palette(t), swizzled, mode,
                                       k_source_format_1555, 0) ||
                   !bitmap.write_bmp(target)) {
            last_error =
                bitmap.last_error.empty() ? txd_msg::raster_layout_short : bitmap.last_error;
        } else {
            ok = true;
        }
    } else if (type == export_tim2) {
        tim2_file tim2;
        const std::span<uint8_t> raster = stored_pixels(t, 0, swizzled);
        if (raster.empty()) {
            last_error = txd_msg::raster_layout_short;
        } else if (!tim2.add_picture(w, h, d, raster, palette(t), swizzled)) {
            last_error = tim2.last_error;
        } else {
            // The marker says whether the file's pixels are in swizzled order: only when they were
            // stored so and were not reordered on the way out. 16- and 32-bit pixels never are.
            tim2.mark_source_swizzled(0, stored_swizzled && (d == 4 || d == 8));
            ok = tim2.write(target) != 0;
            if (!ok) last_error = tim2.last_error;
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
