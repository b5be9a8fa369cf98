#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"

#include "raster/pixel_format.h"
#include "raster/ps2_bitmap.h"
#include "raster/ps2_preview8.h"
#include "stream/byte_reader.h"

#include <algorithm>

namespace quillmap {

// The preview picture of one mip level: the raster is decoded by a ps2_bitmap (unswizzled as
// asked, palette reordered, alpha expanded) and the raster data is released again, so that only
// the texture on screen keeps its data in memory.
device_bitmap ps2_txd::render(uint32_t t, view_mode mode, swizzle_mode swizzle, bool* state_out,
                              uint32_t level) {
    const bool stored_swizzled = is_swizzled(t);
    const bool swizzled = reads_swizzled(swizzle, stored_swizzled);
    if (state_out) *state_out = stored_swizzled;

    device_bitmap picture;
    {
        ps2_bitmap bitmap;
        const uint32_t level_shift = std::min<uint32_t>(level, 31);
        const uint32_t bits = depth(t);
        // Spans bounded by the raster data: load_raster refuses what they cannot hold. Narrow
        // swizzled 4-bit levels come with their whole stored block.
        std::span<const uint8_t> level_pixels = stored_pixels(t, level, swizzled);
        const std::span<const uint8_t> level_palette =
            bits == 4 || bits == 8 ? palette(t) : std::span<uint8_t>{};
        // Swizzled 8-bit levels of a whole swizzle size go through the fused pass; it declines
        // every other case.
        if (bits == 8 && swizzled)
            picture =
                preview_swizzled8(width(t) >> level_shift, height(t) >> level_shift, level_pixels,
                                  level_palette, mode, mode == view_mode::mixed ? 32 : 24);
        // A swizzled level kept in a wider transfer rectangle (8-bit below 16 pixels, small mip
        // levels) unswizzles at that rectangle's size.
        std::vector<uint8_t> plain;
        bool unswizzle = swizzled;
        if (!picture && unswizzle && stored_swizzled && ps2_plain_level(*this, t, level, plain)) {
            level_pixels = plain;
            unswizzle = false;
        }
        if (!picture && bitmap.load_raster(width(t) >> level_shift, height(t) >> level_shift, bits,
                                           level_pixels, level_palette, unswizzle, mode,
                                           pixel_code::argb1555, 0))
            picture = bitmap.to_display_bitmap(mode == view_mode::mixed ? 32 : 24);
        if (!picture && !bitmap.last_error.empty()) last_error = bitmap.last_error;
    }
    release_pixels(t);
    return picture;
}

} // namespace quillmap
