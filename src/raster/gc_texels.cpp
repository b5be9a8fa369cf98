#include "raster/gc_texels.h"

#include <algorithm>

namespace quillmap {

namespace {
uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
void put_be16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

uint64_t tiles_across(const gx_tile& tile, uint32_t width_px) {
    return (uint64_t(width_px) + tile.width - 1) / tile.width;
}

// Where texel (x, y) lies in a level: the first byte of its tile and its number inside it.
struct texel_place {
    uint64_t tile_start = 0;
    uint32_t within = 0;
};
texel_place place_of(const gx_tile& tile, uint64_t across, uint32_t x, uint32_t y) {
    const uint64_t tile_bytes = uint64_t(tile.width) * tile.height * tile.bits / 8;
    const uint64_t index = uint64_t(y / tile.height) * across + x / tile.width;
    return {index * tile_bytes, (y % tile.height) * tile.width + x % tile.width};
}

// The stored value of texel (x, y) for the formats of 4, 8 and 16 bits per texel.
uint32_t raw_texel(const gx_tile& tile, uint64_t across, std::span<const uint8_t> stored,
                   uint32_t x, uint32_t y) {
    const texel_place at = place_of(tile, across, x, y);
    switch (tile.bits) {
    case 4: {
        const uint8_t byte = stored[at.tile_start + at.within / 2];
        return at.within % 2 ? byte & 0xF : byte >> 4;
    }
    case 8:
        return stored[at.tile_start + at.within];
    default:
        return be16(&stored[at.tile_start + 2 * size_t(at.within)]);
    }
}

// The CMPR block holding texel (x, y): four 4×4 blocks per 8×8 tile, in reading order.
uint64_t cmpr_block_start(uint64_t across, uint32_t x, uint32_t y) {
    const uint64_t tile = uint64_t(y / 8) * across + x / 8;
    return tile * 32 + ((y % 8) / 4 * 2 + (x % 8) / 4) * 8;
}

uint8_t blend_third(uint8_t a, uint8_t b) {
    return uint8_t((2 * a + b) / 3);
}
} // namespace

std::optional<gx_tile> gx_tile_of(uint8_t format) {
    switch (format) {
    case gx_format::i4:
    case gx_format::c4:
    case gx_format::cmpr:
        return gx_tile{8, 8, 4};
    case gx_format::i8:
    case gx_format::ia4:
    case gx_format::c8:
        return gx_tile{8, 4, 8};
    case gx_format::ia8:
    case gx_format::rgb565:
    case gx_format::rgb5a3:
    case gx_format::c14x2:
        return gx_tile{4, 4, 16};
    case gx_format::rgba8:
        return gx_tile{4, 4, 32};
    default:
        return std::nullopt;
    }
}

bool gx_format_verified(uint8_t format) {
    return format == gx_format::c4 || format == gx_format::c8 || format == gx_format::rgb5a3 ||
           format == gx_format::rgba8 || format == gx_format::cmpr;
}

bool gx_format_indexed(uint8_t format) {
    return format == gx_format::c4 || format == gx_format::c8 || format == gx_format::c14x2;
}

const char* gx_format_name(uint8_t format) {
    switch (format) {
    case gx_format::i4:
        return "I4";
    case gx_format::i8:
        return "I8";
    case gx_format::ia4:
        return "IA4";
    case gx_format::ia8:
        return "IA8";
    case gx_format::rgb565:
        return "RGB565";
    case gx_format::rgb5a3:
        return "RGB5A3";
    case gx_format::rgba8:
        return "RGBA8";
    case gx_format::c4:
        return "C4";
    case gx_format::c8:
        return "C8";
    case gx_format::c14x2:
        return "C14X2";
    case gx_format::cmpr:
        return "CMPR";
    default:
        return "unknown";
    }
}

const char* gx_palette_name(uint8_t format) {
    switch (format) {
    case gx_palette::ia8:
        return "IA8";
    case gx_palette::rgb565:
        return "RGB565";
    case gx_palette::rgb5a3:
        return "RGB5A3";
    case gx_palette::none:
        return "none";
    default:
        return "unknown";
    }
}

uint64_t gx_level_bytes(uint8_t format, uint32_t width_px, uint32_t height_px) {
    const auto tile = gx_tile_of(format);
    if (!tile || width_px == 0 || height_px == 0) return 0;
    const uint64_t across = tiles_across(*tile, width_px);
    const uint64_t down = (uint64_t(height_px) + tile->height - 1) / tile->height;
    return across * down * tile->width * tile->height * tile->bits / 8;
}

rgba8 gx_rgb565(uint16_t v) {
    return {gx_widen5(v >> 11), gx_widen6((v >> 5) & 0x3F), gx_widen5(v & 0x1F), 0xFF};
}

rgba8 gx_rgb5a3(uint16_t v) {
    if (v & 0x8000)
        return {gx_widen5((v >> 10) & 0x1F), gx_widen5((v >> 5) & 0x1F), gx_widen5(v & 0x1F), 0xFF};
    return {gx_widen4((v >> 8) & 0xF), gx_widen4((v >> 4) & 0xF), gx_widen4(v & 0xF),
            gx_widen3((v >> 12) & 0x7)};
}

rgba8 gx_ia8(uint16_t v) {
    const uint8_t i = uint8_t(v);
    return {i, i, i, uint8_t(v >> 8)};
}

rgba8 gx_palette_colour(uint8_t palette_format, uint16_t v) {
    switch (palette_format) {
    case gx_palette::rgb565:
        return gx_rgb565(v);
    case gx_palette::ia8:
        return gx_ia8(v);
    default:
        return gx_rgb5a3(v);
    }
}

uint16_t gx_pack_rgb5a3(rgba8 c) {
    if (c.a == 0xFF) return uint16_t(0x8000 | (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3);
    return uint16_t((c.a >> 5) << 12 | (c.r >> 4) << 8 | (c.g >> 4) << 4 | c.b >> 4);
}

uint16_t gx_pack_rgb565(rgba8 c) {
    return uint16_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3);
}

void gx_cmpr_colours(uint16_t c0, uint16_t c1, rgba8 out[4]) {
    out[0] = gx_rgb565(c0);
    out[1] = gx_rgb565(c1);
    if (c0 > c1) {
        out[2] = {blend_third(out[0].r, out[1].r), blend_third(out[0].g, out[1].g),
                  blend_third(out[0].b, out[1].b), 0xFF};
        out[3] = {blend_third(out[1].r, out[0].r), blend_third(out[1].g, out[0].g),
                  blend_third(out[1].b, out[0].b), 0xFF};
    } else {
        out[2] = {uint8_t((out[0].r + out[1].r) / 2), uint8_t((out[0].g + out[1].g) / 2),
                  uint8_t((out[0].b + out[1].b) / 2), 0xFF};
        out[3] = {0, 0, 0, 0};
    }
}

std::vector<uint16_t> gx_decode_indices(uint8_t format, uint32_t width_px, uint32_t height_px,
                                        std::span<const uint8_t> stored) {
    std::vector<uint16_t> out;
    const auto tile = gx_tile_of(format);
    const uint64_t needed = gx_level_bytes(format, width_px, height_px);
    if (!tile || !gx_format_indexed(format) || needed == 0 || stored.size() < needed) return out;
    const uint64_t across = tiles_across(*tile, width_px);
    out.resize(size_t(width_px) * height_px);
    for (uint32_t y = 0; y < height_px; ++y)
        for (uint32_t x = 0; x < width_px; ++x) {
            const uint32_t raw = raw_texel(*tile, across, stored, x, y);
            out[size_t(y) * width_px + x] =
                uint16_t(format == gx_format::c14x2 ? raw & 0x3FFF : raw);
        }
    return out;
}

std::vector<rgba8> gx_decode_level(uint8_t format, uint32_t width_px, uint32_t height_px,
                                   std::span<const uint8_t> stored,
                                   std::span<const rgba8> palette) {
    std::vector<rgba8> out;
    const auto tile = gx_tile_of(format);
    const uint64_t needed = gx_level_bytes(format, width_px, height_px);
    if (!tile || needed == 0 || stored.size() < needed) return out;
    const uint64_t across = tiles_across(*tile, width_px);
    out.resize(size_t(width_px) * height_px);

    if (format == gx_format::cmpr) {
        for (uint32_t y = 0; y < height_px; ++y)
            for (uint32_t x = 0; x < width_px; ++x) {
                const uint8_t* block = &stored[cmpr_block_start(across, x, y)];
                rgba8 colours[4];
                gx_cmpr_colours(be16(block), be16(block + 2), colours);
                const uint32_t index = (block[4 + y % 4] >> (6 - 2 * (x % 4))) & 3;
                out[size_t(y) * width_px + x] = colours[index];
            }
        return out;
    }
    if (format == gx_format::rgba8) {
        for (uint32_t y = 0; y < height_px; ++y)
            for (uint32_t x = 0; x < width_px; ++x) {
                const texel_place at = place_of(*tile, across, x, y);
                const uint8_t* ar = &stored[at.tile_start + 2 * size_t(at.within)];
                const uint8_t* gb = ar + 32;
                out[size_t(y) * width_px + x] = {ar[1], gb[0], gb[1], ar[0]};
            }
        return out;
    }
    for (uint32_t y = 0; y < height_px; ++y)
        for (uint32_t x = 0; x < width_px; ++x) {
            const uint32_t v = raw_texel(*tile, across, stored, x, y);
            rgba8 c;
            switch (format) {
            case gx_format::i4:
                c = {gx_widen4(v), gx_widen4(v), gx_widen4(v), 0xFF};
                break;
            case gx_format::i8:
                c = {uint8_t(v), uint8_t(v), uint8_t(v), 0xFF};
                break;
            case gx_format::ia4:
                c = {gx_widen4(v & 0xF), gx_widen4(v & 0xF), gx_widen4(v & 0xF), gx_widen4(v >> 4)};
                break;
            case gx_format::ia8:
                c = gx_ia8(uint16_t(v));
                break;
            case gx_format::rgb565:
                c = gx_rgb565(uint16_t(v));
                break;
            case gx_format::rgb5a3:
                c = gx_rgb5a3(uint16_t(v));
                break;
            default: { // C4, C8, C14X2
                const uint32_t index = format == gx_format::c14x2 ? v & 0x3FFF : v;
                c = index < palette.size() ? palette[index] : rgba8{0, 0, 0, 0};
                break;
            }
            }
            out[size_t(y) * width_px + x] = c;
        }
    return out;
}

namespace {
// A level of `format` with each texel's value stored by `store(tile bytes, texel place, i)`, i
// being the texel's index in row order: the tile walk both encoders share.
template <typename Store>
std::vector<uint8_t> gx_lay_out(uint8_t format, uint32_t width_px, uint32_t height_px,
                                Store store) {
    const auto tile = gx_tile_of(format);
    std::vector<uint8_t> out(size_t(gx_level_bytes(format, width_px, height_px)), 0);
    const uint64_t across = tiles_across(*tile, width_px);
    for (uint32_t y = 0; y < height_px; ++y)
        for (uint32_t x = 0; x < width_px; ++x) {
            const texel_place at = place_of(*tile, across, x, y);
            store(&out[at.tile_start], at.within, size_t(y) * width_px + x);
        }
    return out;
}
} // namespace

std::vector<uint8_t> gx_encode_indices(uint8_t format, uint32_t width_px, uint32_t height_px,
                                       std::span<const uint8_t> indices) {
    if (format != gx_format::c4 && format != gx_format::c8) return {};
    if (indices.size() < size_t(width_px) * height_px) return {};
    return gx_lay_out(format, width_px, height_px, [&](uint8_t* tile, uint32_t within, size_t i) {
        const uint8_t index = indices[i];
        if (format == gx_format::c8)
            tile[within] = index;
        else
            tile[within / 2] |= within % 2 ? (index & 0xF) : uint8_t((index & 0xF) << 4);
    });
}

std::vector<uint8_t> gx_encode_texels(uint8_t format, uint32_t width_px, uint32_t height_px,
                                      std::span<const rgba8> texels) {
    if (format != gx_format::rgb5a3 && format != gx_format::rgba8) return {};
    if (texels.size() < size_t(width_px) * height_px) return {};
    return gx_lay_out(format, width_px, height_px, [&](uint8_t* tile, uint32_t within, size_t i) {
        const rgba8 c = texels[i];
        uint8_t* p = tile + 2 * size_t(within);
        if (format == gx_format::rgb5a3) {
            put_be16(p, gx_pack_rgb5a3(c));
        } else {
            p[0] = c.a;
            p[1] = c.r;
            p[32] = c.g;
            p[33] = c.b;
        }
    });
}

namespace {
// Reverses the order of the four 2-bit fields of a byte.
uint8_t reverse_pairs(uint8_t b) {
    return uint8_t((b & 0x03) << 6 | (b & 0x0C) << 2 | (b & 0x30) >> 2 | (b & 0xC0) >> 6);
}
} // namespace

void gx_cmpr_block_to_dxt1(const uint8_t* cmpr, uint8_t* dxt1) {
    dxt1[0] = cmpr[1];
    dxt1[1] = cmpr[0];
    dxt1[2] = cmpr[3];
    dxt1[3] = cmpr[2];
    for (int row = 0; row < 4; ++row)
        dxt1[4 + row] = reverse_pairs(cmpr[4 + row]);
}

void gx_dxt1_block_to_cmpr(const uint8_t* dxt1, uint8_t* cmpr) {
    // The same swaps undo themselves.
    gx_cmpr_block_to_dxt1(dxt1, cmpr);
}

std::vector<uint8_t> gx_cmpr_to_dxt1(uint32_t width_px, uint32_t height_px,
                                     std::span<const uint8_t> cmpr) {
    std::vector<uint8_t> out;
    const uint64_t needed = gx_level_bytes(gx_format::cmpr, width_px, height_px);
    if (needed == 0 || cmpr.size() < needed) return out;
    const uint32_t blocks_x = (width_px + 3) / 4, blocks_y = (height_px + 3) / 4;
    const uint64_t across = (uint64_t(width_px) + 7) / 8;
    out.resize(size_t(blocks_x) * blocks_y * 8);
    for (uint32_t by = 0; by < blocks_y; ++by)
        for (uint32_t bx = 0; bx < blocks_x; ++bx)
            gx_cmpr_block_to_dxt1(&cmpr[cmpr_block_start(across, bx * 4, by * 4)],
                                  &out[(size_t(by) * blocks_x + bx) * 8]);
    return out;
}

std::vector<uint8_t> gx_dxt1_to_cmpr(uint32_t width_px, uint32_t height_px,
                                     std::span<const uint8_t> dxt1) {
    std::vector<uint8_t> out;
    const uint32_t blocks_x = (width_px + 3) / 4, blocks_y = (height_px + 3) / 4;
    if (width_px == 0 || height_px == 0 || dxt1.size() < size_t(blocks_x) * blocks_y * 8)
        return out;
    const uint64_t across = (uint64_t(width_px) + 7) / 8;
    out.assign(size_t(gx_level_bytes(gx_format::cmpr, width_px, height_px)), 0);
    for (uint32_t by = 0; by < blocks_y; ++by)
        for (uint32_t bx = 0; bx < blocks_x; ++bx)
            gx_dxt1_block_to_cmpr(&dxt1[(size_t(by) * blocks_x + bx) * 8],
                                  &out[cmpr_block_start(across, bx * 4, by * 4)]);
    return out;
}

} // namespace quillmap
