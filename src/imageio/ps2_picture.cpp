#include "imageio/ps2_picture.h"

#include "raster/ps2_swizzling.h"

#include <algorithm>

namespace quillmap {

namespace {
uint32_t slot_of(uint32_t logical, uint32_t entries) {
    return entries == 256 ? ps2_swizzling::clut_slot(logical) : logical;
}

uint32_t index_at(std::span<const uint8_t> plain, size_t i, uint32_t depth) {
    if (depth == 8) return plain[i];
    return (i & 1) ? plain[i / 2] >> 4 : plain[i / 2] & 0x0F;
}
} // namespace

uint8_t alpha_from_ps2(uint8_t alpha) {
    return alpha == 0 ? 0 : uint8_t(2 * alpha - 1);
}

uint8_t alpha_to_ps2(uint8_t alpha) {
    return alpha == 0 ? 0 : uint8_t((alpha + 1) >> 1);
}

std::vector<uint8_t> pack_indices(std::span<const uint8_t> indices, uint32_t depth) {
    if (depth == 8) return {indices.begin(), indices.end()};
    std::vector<uint8_t> out((indices.size() + 1) / 2, 0);
    for (size_t i = 0; i < indices.size(); ++i)
        out[i / 2] |= uint8_t((indices[i] & 0x0F) << ((i & 1) ? 4 : 0));
    return out;
}

std::vector<uint8_t> ps2_palette(std::span<const uint8_t> logical, uint32_t depth) {
    const uint32_t entries = 1u << depth;
    std::vector<uint8_t> out(size_t(entries) * 4, 0);
    const uint32_t given = uint32_t(std::min<size_t>(logical.size() / 4, entries));
    for (uint32_t i = 0; i < given; ++i) {
        const uint8_t* in = &logical[size_t(i) * 4];
        uint8_t* slot = &out[size_t(slot_of(i, entries)) * 4];
        slot[0] = in[0];
        slot[1] = in[1];
        slot[2] = in[2];
        slot[3] = alpha_to_ps2(in[3]);
    }
    return out;
}

indexed_image indexed_from_ps2(std::span<const uint8_t> plain, uint32_t width, uint32_t height,
                               uint32_t depth, std::span<const uint8_t> palette) {
    indexed_image out;
    const uint32_t entries = 1u << depth;
    const size_t count = size_t(width) * height;
    if ((depth != 4 && depth != 8) || plain.size() < (count * depth + 7) / 8 ||
        palette.size() < size_t(entries) * 4)
        return out;
    out.width = width;
    out.height = height;
    out.indices.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.indices[i] = uint8_t(index_at(plain, i, depth));
    out.palette.resize(size_t(entries) * 4);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* in = &palette[size_t(slot_of(i, entries)) * 4];
        uint8_t* entry = &out.palette[size_t(i) * 4];
        entry[0] = in[0];
        entry[1] = in[1];
        entry[2] = in[2];
        entry[3] = alpha_from_ps2(in[3]);
    }
    return out;
}

std::vector<uint8_t> ps2_pixels_from_rgba(const rgba_image& image, uint32_t depth) {
    const size_t count = size_t(image.width) * image.height;
    std::vector<uint8_t> out(count * depth / 8, 0);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &image.rgba[i * 4];
        if (depth == 16) {
            const uint16_t v = uint16_t((p[0] >> 3) | (p[1] >> 3) << 5 | (p[2] >> 3) << 10 |
                                        (p[3] >= 0x80 ? 0x8000 : 0));
            out[2 * i] = uint8_t(v);
            out[2 * i + 1] = uint8_t(v >> 8);
        } else if (depth == 24) {
            std::copy_n(p, 3, &out[3 * i]);
        } else {
            std::copy_n(p, 3, &out[4 * i]);
            out[4 * i + 3] = alpha_to_ps2(p[3]);
        }
    }
    return out;
}

rgba_image rgba_from_ps2(std::span<const uint8_t> plain, uint32_t width, uint32_t height,
                         uint32_t depth, std::span<const uint8_t> palette) {
    rgba_image out;
    const size_t count = size_t(width) * height;
    if (depth == 4 || depth == 8) {
        const indexed_image indexed = indexed_from_ps2(plain, width, height, depth, palette);
        if (indexed.indices.empty()) return out;
        out.width = width;
        out.height = height;
        out.rgba.resize(count * 4);
        for (size_t i = 0; i < count; ++i)
            std::copy_n(&indexed.palette[size_t(indexed.indices[i]) * 4], 4, &out.rgba[i * 4]);
        return out;
    }
    if ((depth != 16 && depth != 24 && depth != 32) || plain.size() < count * depth / 8) return out;
    out.width = width;
    out.height = height;
    out.rgba.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* q = &out.rgba[i * 4];
        if (depth == 16) {
            const uint32_t v = plain[2 * i] | uint32_t(plain[2 * i + 1]) << 8;
            q[0] = uint8_t((v & 0x1F) << 3);
            q[1] = uint8_t(((v >> 5) & 0x1F) << 3);
            q[2] = uint8_t(((v >> 10) & 0x1F) << 3);
            q[3] = (v & 0x8000) ? 255 : 0;
        } else if (depth == 24) {
            std::copy_n(&plain[3 * i], 3, q);
            q[3] = 255;
        } else {
            std::copy_n(&plain[4 * i], 3, q);
            q[3] = alpha_from_ps2(plain[4 * i + 3]);
        }
    }
    return out;
}

} // namespace quillmap
