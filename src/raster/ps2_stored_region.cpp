#include "raster/ps2_stored_region.h"

#include "raster/ps2_swizzling.h"
#include "raster/raster_limits.h"

#include <algorithm>
#include <vector>

namespace quillmap {

namespace ps2_region {
namespace {
// Pixel i of a plain image at 4 or 8 bits.
uint8_t get_px(std::span<const uint8_t> image, uint64_t i, uint32_t depth) {
    if (depth == 8) return image[i];
    return (i & 1) ? image[i / 2] >> 4 : image[i / 2] & 0x0F;
}
void put_px(std::span<uint8_t> image, uint64_t i, uint32_t depth, uint8_t v) {
    if (depth == 8) {
        image[i] = v;
        return;
    }
    uint8_t& byte = image[i / 2];
    byte = (i & 1) ? uint8_t((byte & 0x0F) | v << 4) : uint8_t((byte & 0xF0) | (v & 0x0F));
}

bool region_ok(extent region, uint32_t width_px, uint32_t height_px, uint32_t depth) {
    return (depth == 4 || depth == 8) && width_px > 0 && height_px > 0 &&
           width_px <= region.width_px && height_px <= region.height_px &&
           ps2_swizzling::is_permutation_size(region.width_px, region.height_px);
}
} // namespace

extent swizzled_region(uint32_t width_px, uint32_t height_px, uint32_t depth) {
    if (depth != 4 && depth != 8) return {width_px, height_px};
    const extent minimum = depth == 8 ? k_min_swizzled8 : k_min_swizzled4;
    return {std::max(width_px, minimum.width_px), std::max(height_px, minimum.height_px)};
}

bool unswizzle_padded(std::span<const uint8_t> stored, uint32_t width_px, uint32_t height_px,
                      uint32_t depth, std::span<uint8_t> out) {
    const extent region = swizzled_region(width_px, height_px, depth);
    if (!region_ok(region, width_px, height_px, depth)) return false;
    const uint64_t region_bytes = raster_bytes(region.width_px, region.height_px, depth);
    const uint64_t picture_bytes = raster_bytes(width_px, height_px, depth);
    if (stored.size() < region_bytes || out.size() < picture_bytes) return false;
    std::vector<uint8_t> work(stored.begin(), stored.begin() + region_bytes);
    if (!ps2_swizzling::unswizzle_raster(work, region.width_px, region.height_px, depth))
        return false;
    std::fill(out.begin(), out.begin() + picture_bytes, 0);
    for (uint32_t y = 0; y < height_px; ++y)
        for (uint32_t x = 0; x < width_px; ++x)
            put_px(out, uint64_t(y) * width_px + x, depth,
                   get_px(work, uint64_t(y) * region.width_px + x, depth));
    return true;
}

bool swizzle_into_padded(std::span<uint8_t> stored, uint32_t width_px, uint32_t height_px,
                         uint32_t depth, std::span<const uint8_t> plain) {
    const extent region = swizzled_region(width_px, height_px, depth);
    if (!region_ok(region, width_px, height_px, depth)) return false;
    const uint64_t region_bytes = raster_bytes(region.width_px, region.height_px, depth);
    if (stored.size() < region_bytes || plain.size() < raster_bytes(width_px, height_px, depth))
        return false;
    std::vector<uint8_t> work(stored.begin(), stored.begin() + region_bytes);
    if (!ps2_swizzling::unswizzle_raster(work, region.width_px, region.height_px, depth))
        return false;
    for (uint32_t y = 0; y < height_px; ++y)
        for (uint32_t x = 0; x < width_px; ++x)
            put_px(work, uint64_t(y) * region.width_px + x, depth,
                   get_px(plain, uint64_t(y) * width_px + x, depth));
    ps2_swizzling::swizzle_raster(work, region.width_px, region.height_px, depth);
    std::copy(work.begin(), work.end(), stored.begin());
    return true;
}

} // namespace ps2_region

} // namespace quillmap
