#include "imageio/thumbnail.h"

#include "imageio/mip_chain.h"
#include "imageio/texture_rgba.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
// Level 0 stretched by `scale` must cover `cell`; each level above it halves the sides.
uint32_t level_covering(ps2_txd& txd, uint32_t t, uint32_t cell) {
    const uint32_t levels = std::max<uint32_t>(txd.mip_count(t), 1);
    uint32_t width = txd.width(t), height = txd.height(t), level = 0;
    while (level + 1 < levels && width / 2 >= cell && height / 2 >= cell) {
        width /= 2;
        height /= 2;
        ++level;
    }
    return level;
}

// The picture scaled so that its longer side is `cell` (never enlarged past 8x, so a tiny
// texture stays recognisable without turning into a blur).
rgba_image fitted(const rgba_image& picture, uint32_t cell) {
    const uint32_t longer = std::max(picture.width, picture.height);
    const uint32_t target = std::min(cell, longer * 8);
    const auto side = [&](uint32_t value) {
        return std::max<uint32_t>(1, uint32_t(uint64_t(value) * target / longer));
    };
    const uint32_t width = side(picture.width), height = side(picture.height);
    if (width == picture.width && height == picture.height) return picture;
    return resized(picture, width, height);
}

void paste_centred(const rgba_image& picture, uint32_t left, uint32_t top, uint32_t cell,
                   rgba_image& canvas) {
    const uint32_t x0 = left + (cell - picture.width) / 2;
    const uint32_t y0 = top + (cell - picture.height) / 2;
    for (uint32_t y = 0; y < picture.height; ++y)
        std::memcpy(canvas.pixel(x0, y0 + y), picture.pixel(0, y), size_t(picture.width) * 4);
}
} // namespace

bool render_thumbnail(ps2_txd& txd, uint32_t size, rgba_image& out, std::string& error) {
    if (size < k_thumbnail_min_side || size > k_thumbnail_max_side) {
        error = "a thumbnail is " + std::to_string(k_thumbnail_min_side) + " to " +
                std::to_string(k_thumbnail_max_side) + " pixels wide";
        return false;
    }
    const uint32_t count = txd.texture_count();
    if (count == 0) {
        error = "the dictionary holds no texture";
        return false;
    }
    rgba_image picture;
    if (count == 1) {
        picture = texture_rgba(txd, 0, level_covering(txd, 0, size), error);
        if (picture.rgba.empty()) return false;
        out = fitted(picture, size);
        return true;
    }
    const uint32_t cell = size / 2;
    out.width = out.height = size;
    out.rgba.assign(size_t(size) * size * 4, 0);
    for (uint32_t t = 0; t < std::min<uint32_t>(count, 4); ++t) {
        picture = texture_rgba(txd, t, level_covering(txd, t, cell), error);
        if (picture.rgba.empty()) return false;
        paste_centred(fitted(picture, cell), (t % 2) * cell, (t / 2) * cell, cell, out);
    }
    return true;
}

} // namespace quillmap
