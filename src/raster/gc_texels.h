#pragma once

#include "raster/pixel_format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillmap {

// GameCube (GX) texel layouts: each level is stored as whole tiles, left to right and then top
// to bottom; inside a tile texels go row by row. Every multi-byte value is big-endian. Texels of
// the tile grid outside the picture are padding: ignored when decoding, zero when encoding.
namespace gx_format {
inline constexpr uint8_t i4 = 0;
inline constexpr uint8_t i8 = 1;
inline constexpr uint8_t ia4 = 2;
inline constexpr uint8_t ia8 = 3;
inline constexpr uint8_t rgb565 = 4;
inline constexpr uint8_t rgb5a3 = 5;
inline constexpr uint8_t rgba8 = 6;
inline constexpr uint8_t c4 = 8;
inline constexpr uint8_t c8 = 9;
inline constexpr uint8_t c14x2 = 10;
inline constexpr uint8_t cmpr = 14;
} // namespace gx_format

// Palette entry formats (u16 each).
namespace gx_palette {
inline constexpr uint8_t ia8 = 0;
inline constexpr uint8_t rgb565 = 1;
inline constexpr uint8_t rgb5a3 = 2;
inline constexpr uint8_t none = 0xFF;
} // namespace gx_palette

struct gx_tile {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0; // per texel
};

// The tile of a GX format; none for numbers the console does not define.
std::optional<gx_tile> gx_tile_of(uint8_t format);
// Whether the format occurs in real dictionaries (C4, C8, RGB5A3, RGBA8, CMPR). The others are
// decoded from the console's definition alone and are unverified in this container.
bool gx_format_verified(uint8_t format);
bool gx_format_indexed(uint8_t format); // C4, C8, C14X2
const char* gx_format_name(uint8_t format);
const char* gx_palette_name(uint8_t format);

// Bytes of one w×h level in whole tiles; 0 for an unknown format or an empty size.
uint64_t gx_level_bytes(uint8_t format, uint32_t width_px, uint32_t height_px);

// Channels widened to 8 bits by bit replication.
inline uint8_t gx_widen3(uint32_t x) {
    return uint8_t((x << 5) | (x << 2) | (x >> 1));
}
inline uint8_t gx_widen4(uint32_t x) {
    return uint8_t(x * 17);
}
inline uint8_t gx_widen5(uint32_t x) {
    return uint8_t((x << 3) | (x >> 2));
}
inline uint8_t gx_widen6(uint32_t x) {
    return uint8_t((x << 2) | (x >> 4));
}
rgba8 gx_rgb565(uint16_t v);
rgba8 gx_rgb5a3(uint16_t v);
rgba8 gx_ia8(uint16_t v); // high byte alpha, low byte intensity
// A palette entry of `palette_format`; an unknown format reads as RGB5A3.
rgba8 gx_palette_colour(uint8_t palette_format, uint16_t v);

// RGB5A3 and RGB565 of an 8-bit colour: alpha 255 as 1 R5 G5 B5, any other as 0 A3 R4 G4 B4.
uint16_t gx_pack_rgb5a3(rgba8 c);
uint16_t gx_pack_rgb565(rgba8 c);

// The palette index of every texel of a C4, C8 or C14X2 level, row by row from the top; empty
// when `stored` is shorter than gx_level_bytes or the format holds no indices.
std::vector<uint16_t> gx_decode_indices(uint8_t format, uint32_t width_px, uint32_t height_px,
                                        std::span<const uint8_t> stored);

// Every texel of a level as 8-bit RGBA, row by row from the top. Indexed formats look their
// indices up in `palette` (an index beyond it shows transparent black). Empty when `stored` is
// shorter than gx_level_bytes or the format is unknown.
std::vector<rgba8> gx_decode_level(uint8_t format, uint32_t width_px, uint32_t height_px,
                                   std::span<const uint8_t> stored, std::span<const rgba8> palette);

// The four colours of a CMPR block (colour words as stored, big-endian already read).
void gx_cmpr_colours(uint16_t c0, uint16_t c1, rgba8 out[4]);

// Encoding (the five formats of real files). `indices` and `texels` hold w·h entries row by
// row; the result is the level in whole tiles with zero padding.
std::vector<uint8_t> gx_encode_indices(uint8_t format, uint32_t width_px, uint32_t height_px,
                                       std::span<const uint8_t> indices);
std::vector<uint8_t> gx_encode_texels(uint8_t format, uint32_t width_px, uint32_t height_px,
                                      std::span<const rgba8> texels);

// CMPR and DXT1 hold the same blocks: colour words and 2-bit indices with the same meaning. A
// DXT1 block stores the words little-endian and the leftmost texel of a row in the low bits, a
// CMPR block big-endian with the leftmost texel in the high bits. The conversion is exact both
// ways.
void gx_cmpr_block_to_dxt1(const uint8_t* cmpr, uint8_t* dxt1);
void gx_dxt1_block_to_cmpr(const uint8_t* dxt1, uint8_t* cmpr);
// A CMPR level to the DXT1 blocks of a w×h picture (ceil(w/4)·ceil(h/4) blocks, row-major) and
// back. Tile blocks that lie wholly outside the picture have no DXT1 block: they are dropped, and
// come back as zero. Empty when the input is short.
std::vector<uint8_t> gx_cmpr_to_dxt1(uint32_t width_px, uint32_t height_px,
                                     std::span<const uint8_t> cmpr);
std::vector<uint8_t> gx_dxt1_to_cmpr(uint32_t width_px, uint32_t height_px,
                                     std::span<const uint8_t> dxt1);

} // namespace quillmap
