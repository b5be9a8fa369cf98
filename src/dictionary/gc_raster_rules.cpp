#include "dictionary/gc_raster_rules.h"

namespace quillmap {

namespace {
constexpr uint32_t k_filter_nearest = 1;
constexpr uint32_t k_filter_linear = 2;
constexpr uint32_t k_filter_mip_nearest = 3;
constexpr uint32_t k_filter_linear_mip_linear = 6;
} // namespace

uint32_t gc_filter_for_levels(uint32_t filter, uint32_t levels) {
    const uint32_t addressing = filter & 0xFF00;
    uint32_t mode = filter & 0xFF;
    if (levels > 1 && mode < k_filter_mip_nearest)
        mode = mode == k_filter_linear ? k_filter_linear_mip_linear : k_filter_mip_nearest;
    if (levels <= 1 && mode >= k_filter_mip_nearest)
        mode = mode == k_filter_linear_mip_linear ? k_filter_linear : k_filter_nearest;
    if (mode == 0) mode = levels > 1 ? k_filter_mip_nearest : k_filter_nearest;
    return addressing | mode;
}

uint64_t gc_data_size(uint8_t gx, uint32_t width_px, uint32_t height_px, uint32_t levels) {
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels && level < 32; ++level)
        total += gx_level_bytes(gx, gc_header::level_side(width_px, level),
                                gc_header::level_side(height_px, level));
    return total;
}

uint32_t gc_alpha_flag(uint8_t gx, bool any_translucent) {
    return gx == gx_format::cmpr || any_translucent ? 1 : 0;
}

gc_determined gc_determined_words(gc_header::kind which, uint32_t width_px, uint32_t height_px,
                                  uint32_t levels) {
    const gc_header::kind_fields& f = gc_header::fields_of(which);
    gc_determined out;
    out.raster_format = gc_header::raster_format_of(which, levels);
    out.depth = f.depth;
    out.gx = f.gx;
    out.palette_format = f.palette;
    out.palette_entries = gc_header::palette_entries(out.raster_format, f.gx, f.palette);
    out.data_size = uint32_t(gc_data_size(f.gx, width_px, height_px, levels));
    return out;
}

bool gc_level_count_allowed(uint32_t levels, uint32_t width_px, uint32_t height_px) {
    return levels == 1 || levels == gc_header::full_chain(width_px, height_px);
}

} // namespace quillmap
