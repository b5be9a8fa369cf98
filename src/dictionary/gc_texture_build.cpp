#include "dictionary/gc_texture_build.h"

#include "dictionary/gc_raster_rules.h"
#include "dictionary/pc_texture_build.h"
#include "raster/raster_limits.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

bool set_gc_name(std::array<uint8_t, gc_header::name_bytes>& field, const std::string& text) {
    const std::string cut = text.substr(0, text.find('\0'));
    if (cut.size() >= field.size()) return false;
    field.fill(0);
    std::copy(cut.begin(), cut.end(), field.begin());
    return true;
}

std::optional<std::vector<uint8_t>> gc_struct_data(const gc_texture_source& source,
                                                   std::string& error) {
    using namespace gc_header;
    const uint32_t w = source.width, h = source.height;
    if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF ||
        w > raster_limits::k_max_picture_dimension || h > raster_limits::k_max_picture_dimension) {
        error = "a GameCube texture cannot be " + std::to_string(w) + "x" + std::to_string(h);
        return std::nullopt;
    }
    const uint32_t levels = uint32_t(source.levels.size());
    if (levels == 0 || levels > full_chain(w, h)) {
        error = "a GameCube texture of " + std::to_string(w) + "x" + std::to_string(h) +
                " holds 1 to " + std::to_string(full_chain(w, h)) + " mip levels";
        return std::nullopt;
    }
    const gc_determined d = gc_determined_words(source.kind, w, h, levels);
    for (uint32_t level = 0; level < levels; ++level)
        if (source.levels[level].size() !=
            gx_level_bytes(d.gx, level_side(w, level), level_side(h, level))) {
            error = "mip level " + std::to_string(level) + " has the wrong size";
            return std::nullopt;
        }
    if (source.palette.size() > d.palette_entries) {
        error = "the palette has more entries than the texture stores";
        return std::nullopt;
    }

    std::vector<uint8_t> out(fixed_bytes + size_t(d.palette_entries) * 2 + 4 + d.data_size, 0);
    uint8_t* p = out.data();
    put_be32(p + offset_platform, platform_word);
    put_be32(p + offset_filter, gc_filter_for_levels(source.filter, levels));
    put_be32(p + offset_word8, source.words[0]);
    put_be32(p + offset_word12, source.words[1]);
    put_be32(p + offset_word16, source.words[2]);
    put_be32(p + offset_word20, source.words[3]);
    std::copy(source.name.begin(), source.name.end(), p + offset_name);
    std::copy(source.mask.begin(), source.mask.end(), p + offset_mask);
    put_be32(p + offset_raster_format, d.raster_format);
    put_be16(p + offset_width, uint16_t(w));
    put_be16(p + offset_height, uint16_t(h));
    p[offset_depth] = d.depth;
    p[offset_levels] = uint8_t(levels);
    p[offset_gx_format] = d.gx;
    p[offset_palette_format] = d.palette_format;
    put_be32(p + offset_alpha, gc_alpha_flag(d.gx, source.any_translucent));
    size_t at = offset_palette;
    for (uint32_t i = 0; i < d.palette_entries; ++i, at += 2)
        put_be16(p + at, i < source.palette.size() ? source.palette[i] : 0);
    put_be32(p + at, d.data_size);
    at += 4;
    for (const auto& level : source.levels) {
        std::memcpy(p + at, level.data(), level.size());
        at += level.size();
    }
    return out;
}

std::unique_ptr<rw_chunk> build_gc_texture(const gc_texture_source& source, uint32_t version,
                                           std::string& error) {
    auto data = gc_struct_data(source, error);
    if (!data) return nullptr;
    return texture_native_chunk(std::move(*data), version);
}

} // namespace quillmap
