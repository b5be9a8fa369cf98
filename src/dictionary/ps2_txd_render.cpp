#include "dictionary/ps2_txd.h"

#include "raster/pixel_format.h"
#include "raster/ps2_bitmap.h"
#include "stream/byte_io.h"

#include <algorithm>

namespace {
// Swizzled 4-bit levels at most 16 pixels wide are stored 32 pixels wide, so their transfer
// block holds twice the level's w·h/2 bytes (sav4_HUD.TXD and cspolic.txd have such levels).
// The level's bytes are widened to the whole block, still bounded by the raster data, so that
// the bitmap can find that layout.
std::span<const uint8_t> whole_block(std::span<const uint8_t> level_pixels,
                                     const std::vector<uint8_t>* data, size_t valid,
                                     size_t block_offset, size_t block_bytes) {
    if (!data || level_pixels.empty() || block_bytes <= level_pixels.size()) return level_pixels;
    if (level_pixels.data() != data->data() + block_offset) return level_pixels;
    if (!fits(block_offset, block_bytes, std::min(valid, data->size()))) return level_pixels;
    return {data->data() + block_offset, block_bytes};
}
} // namespace

// The preview picture of one mip level: the raster is decoded by a ps2_bitmap (unswizzled as
// asked, palette reordered, alpha expanded) and the raster data is released again, so that only
// the texture on screen keeps its data in memory.
device_bitmap ps2_txd::render(uint32_t t, int mode, int swizzle, bool* state_out, uint32_t level) {
    const bool stored_swizzled = is_swizzled(t);
    if (swizzle == -1) swizzle = stored_swizzled ? 1 : 0;
    if (state_out) *state_out = stored_swizzled;

    device_bitmap picture;
    {
        ps2_bitmap bitmap;
        const uint32_t level_shift = std::min<uint32_t>(level, 31);
        const uint32_t bits = depth(t);
        // Spans bounded by the raster data: load_raster refuses what they cannot hold.
        std::span<const uint8_t> level_pixels = pixels(t, level);
        size_t block_offset = 0, block_bytes = 0;
        if (bits == 4 && swizzle != 0 && !level_pixels.empty() &&
            headered_level(t, level, block_offset, block_bytes)) {
            const rw_chunk* chunk = raster_data_chunk(t);
            level_pixels = whole_block(level_pixels, raster_data(t), chunk ? chunk->size : 0,
                                       block_offset, block_bytes);
        }
        const std::span<const uint8_t> level_palette =
            bits == 4 || bits == 8 ? palette(t) : std::span<uint8_t>{};
        if (bitmap.load_raster(width(t) >> level_shift, height(t) >> level_shift, bits,
                               level_pixels, level_palette, swizzle != 0, mode,
                               pixel_code::argb1555, 0))
            picture = bitmap.to_display_bitmap(mode == view_mixed ? 32 : 24);
        if (!picture && !bitmap.last_error.empty()) last_error = bitmap.last_error;
    }
    release_pixels(t);
    return picture;
}
