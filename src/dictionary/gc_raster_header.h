#pragma once

#include "raster/gc_texels.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quillmap {

// The Struct of a GameCube texture native (platform word 6). Chunk headers are little-endian as
// everywhere; every number inside this Struct is big-endian.
namespace gc_header {
inline constexpr uint32_t offset_platform = 0;
inline constexpr uint32_t offset_filter = 4; // filter mode 0-7, addressing U 8-11, V 12-15
inline constexpr uint32_t offset_word8 = 8;  // 0, 1, 1, 0 in every known file
inline constexpr uint32_t offset_word12 = 12;
inline constexpr uint32_t offset_word16 = 16;
inline constexpr uint32_t offset_word20 = 20;
inline constexpr uint32_t offset_name = 24;
inline constexpr uint32_t offset_mask = 56;
inline constexpr uint32_t name_bytes = 32;
inline constexpr uint32_t offset_raster_format = 88;
inline constexpr uint32_t offset_width = 92;  // u16
inline constexpr uint32_t offset_height = 94; // u16
inline constexpr uint32_t offset_depth = 96;
inline constexpr uint32_t offset_levels = 97;
inline constexpr uint32_t offset_gx_format = 98;
inline constexpr uint32_t offset_palette_format = 99;
inline constexpr uint32_t offset_alpha = 100;
inline constexpr uint32_t offset_palette = 104; // fixed header ends here
inline constexpr uint32_t fixed_bytes = 104;

inline constexpr uint32_t platform_word = 6;
inline constexpr std::array<uint32_t, 4> unknown_words = {0, 1, 1, 0};
inline constexpr uint32_t filter_default = 0x1101; // nearest, wrap/wrap

// Raster format word.
inline constexpr uint32_t raster_type = 4; // bits 0-7
inline constexpr uint32_t raster_type_mask = 0xFF;
inline constexpr uint32_t pixel_format_mask = 0x0F00;
inline constexpr uint32_t format_1555 = 0x0100;
inline constexpr uint32_t format_565 = 0x0200;
inline constexpr uint32_t format_4444 = 0x0300;
inline constexpr uint32_t format_8888 = 0x0500;
inline constexpr uint32_t flag_automipmap = 0x1000;
inline constexpr uint32_t flag_pal8 = 0x2000;
inline constexpr uint32_t flag_pal4 = 0x4000;
inline constexpr uint32_t flag_mips = 0x8000;

// The seven kinds of texture real files hold; each decides the raster format bits, the GX
// format, the depth and the palette format.
enum class kind { pal8_1555, pal8_565, pal4_1555, pal4_565, rgb4444, rgba8888, compressed };
struct kind_fields {
    kind which;
    uint32_t format_bits; // raster format without the mips flag and the type
    uint8_t gx;
    uint8_t depth;
    uint8_t palette; // gx_palette value
    const char* name;
};
inline constexpr std::array<kind_fields, 7> kinds = {{
    {kind::pal8_1555, flag_pal8 | format_1555, gx_format::c8, 8, gx_palette::rgb5a3, "PAL8 1555"},
    {kind::pal8_565, flag_pal8 | format_565, gx_format::c8, 8, gx_palette::rgb565, "PAL8 565"},
    {kind::pal4_1555, flag_pal4 | format_1555, gx_format::c4, 4, gx_palette::rgb5a3, "PAL4 1555"},
    {kind::pal4_565, flag_pal4 | format_565, gx_format::c4, 4, gx_palette::rgb565, "PAL4 565"},
    {kind::rgb4444, format_4444, gx_format::rgb5a3, 16, gx_palette::none, "4444"},
    {kind::rgba8888, format_8888, gx_format::rgba8, 32, gx_palette::none, "8888"},
    {kind::compressed, 0, gx_format::cmpr, 4, gx_palette::none, "compressed"},
}};
inline const kind_fields& fields_of(kind k) {
    return kinds[static_cast<size_t>(k)];
}
// The kind whose GX and palette formats these are; none outside the seven.
inline std::optional<kind> kind_of(uint8_t gx, uint8_t palette) {
    for (const kind_fields& f : kinds)
        if (f.gx == gx && f.palette == palette) return f.which;
    return std::nullopt;
}
inline uint32_t raster_format_of(kind k, uint32_t levels) {
    return fields_of(k).format_bits | (levels > 1 ? flag_mips : 0) | raster_type;
}
// Palette entries a texture stores: none without a palette format; 16 for PAL4 (or, without
// either flag, the 4-bit GX format), 256 otherwise.
inline uint32_t palette_entries(uint32_t raster_format, uint8_t gx, uint8_t palette) {
    if (palette == gx_palette::none) return 0;
    if (raster_format & flag_pal4) return 16;
    if (raster_format & flag_pal8) return 256;
    return gx == gx_format::c4 ? 16 : 256;
}
// Levels of a full chain down to 1×1.
inline uint32_t full_chain(uint32_t width_px, uint32_t height_px) {
    uint32_t levels = 1;
    for (uint32_t side = width_px > height_px ? width_px : height_px; side > 1; side >>= 1)
        ++levels;
    return levels;
}
inline uint32_t level_side(uint32_t side, uint32_t level) {
    const uint32_t shifted = level < 32 ? side >> level : 0;
    return shifted ? shifted : 1;
}

inline uint32_t be32(std::span<const uint8_t> data, uint64_t offset) {
    if (offset + 4 > data.size()) return 0;
    const uint8_t* p = data.data() + offset;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint16_t be16(std::span<const uint8_t> data, uint64_t offset) {
    if (offset + 2 > data.size()) return 0;
    return uint16_t(data[offset] << 8 | data[offset + 1]);
}
inline void put_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void put_be16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
} // namespace gc_header

// Every header field of a GameCube texture Struct, read once and bounded by it.
struct gc_fields {
    uint32_t platform = 0;
    uint32_t filter = 0;
    std::array<uint32_t, 4> words{};
    uint32_t raster_format = 0;
    uint32_t width = 0, height = 0;
    uint32_t depth = 0;
    uint32_t levels = 0; // as stored
    uint8_t gx = 0;
    uint8_t palette_format = 0;
    uint32_t alpha = 0;
    uint32_t palette_entries = 0;
    uint32_t data_size = 0;         // the word after the palette
    uint64_t data_size_offset = 0;  // where that word lies
    uint64_t struct_bytes = 0;      // the Struct's size
    bool data_size_present = false; // the word lies inside the Struct
};

// The fields of `data`; none when the Struct is shorter than its fixed header.
inline std::optional<gc_fields> read_gc_fields(std::span<const uint8_t> data) {
    using namespace gc_header;
    if (data.size() < fixed_bytes) return std::nullopt;
    gc_fields f;
    f.platform = be32(data, offset_platform);
    f.filter = be32(data, offset_filter);
    f.words = {be32(data, offset_word8), be32(data, offset_word12), be32(data, offset_word16),
               be32(data, offset_word20)};
    f.raster_format = be32(data, offset_raster_format);
    f.width = be16(data, offset_width);
    f.height = be16(data, offset_height);
    f.depth = data[offset_depth];
    f.levels = data[offset_levels];
    f.gx = data[offset_gx_format];
    f.palette_format = data[offset_palette_format];
    f.alpha = be32(data, offset_alpha);
    f.palette_entries = palette_entries(f.raster_format, f.gx, f.palette_format);
    f.data_size_offset = offset_palette + uint64_t(f.palette_entries) * 2;
    f.struct_bytes = data.size();
    f.data_size_present = f.data_size_offset + 4 <= data.size();
    f.data_size = f.data_size_present ? be32(data, f.data_size_offset) : 0;
    return f;
}

} // namespace quillmap
