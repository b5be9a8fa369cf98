#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quillmap {

// How the games' own converters fill the 88-byte header of a Direct3D 8, Direct3D 9 or XBOX
// texture native: a handful of free fields (sizes, pixel format, palette kind, DXT kind, level
// count, filtering) and the words that follow from them. The builder writes the determined
// words from here and lint compares what a file stores with them, so both read one rule.

enum class pc_layout { d3d8, d3d9, xbox };

// The layout a Struct's platform word names; none for PS2 and mobile words.
std::optional<pc_layout> pc_layout_of(uint32_t platform_word);
uint32_t platform_word_of(pc_layout layout);
const char* pc_layout_name(pc_layout layout);

// Pixel formats (raster format & 0x0F00) and the other raster format bits.
namespace pc_pixel {
inline constexpr uint32_t argb1555 = 0x100;
inline constexpr uint32_t rgb565 = 0x200;
inline constexpr uint32_t argb4444 = 0x300;
inline constexpr uint32_t argb8888 = 0x500;
inline constexpr uint32_t rgb888 = 0x600;
inline constexpr uint32_t mask = 0x0F00;
} // namespace pc_pixel
namespace pc_format_bit {
inline constexpr uint32_t pal8 = 0x2000;
inline constexpr uint32_t pal4 = 0x4000;
inline constexpr uint32_t palettes = pal8 | pal4;
inline constexpr uint32_t mipmap = 0x8000;
} // namespace pc_format_bit

// Filter modes of byte 4: mip-mapped textures always use 6.
namespace pc_filter {
inline constexpr uint8_t nearest = 1;
inline constexpr uint8_t linear = 2;
inline constexpr uint8_t mip_linear = 6;
inline constexpr uint8_t wrap_wrap = 0x11; // byte 5: U and V addressing
} // namespace pc_filter

inline constexpr uint32_t pc_header_bytes = 88;
inline constexpr uint8_t pc_raster_type = 4;
inline constexpr uint32_t pc_pal8_bytes = 1024;
inline constexpr uint32_t pc_pal4_bytes = 128; // 32 entries; 16-31 zero

// What a writer chooses; everything else of the header follows.
struct pc_free_fields {
    pc_layout layout = pc_layout::d3d8;
    uint8_t filter = pc_filter::linear;
    uint8_t addressing = pc_filter::wrap_wrap;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pixel_format = pc_pixel::argb8888;
    uint32_t palette = 0; // 0, pc_format_bit::pal8 or pc_format_bit::pal4 (D3D8 only)
    uint32_t dxt = 0;     // 0 uncompressed, 1, 3 or 5
    uint32_t levels = 1;
    // D3D9 byte 87 bit 0: some texel of the source picture has alpha below 255.
    bool source_alpha = false;
};

// The determined header fields.
struct pc_header_fields {
    uint32_t platform = 0;
    uint8_t filter = 0; // byte 4 (6 whenever there is more than one level)
    uint32_t raster_format = 0;
    uint32_t word76 = 0; // hasAlpha, or the D3DFORMAT of D3D9
    uint8_t depth = 0;
    uint8_t level_count = 0;
    uint8_t raster_type = pc_raster_type;
    uint8_t byte87 = 0;
    uint32_t palette_bytes = 0;
};

pc_header_fields pc_determined_fields(const pc_free_fields& fields);

// D3D9's word 76 for a DXT kind: the FourCC "DXTn" read as a little-endian word.
uint32_t d3d9_fourcc(uint32_t dxt);
inline constexpr uint32_t d3d9_format_8888 = 21;
inline constexpr uint32_t d3d9_format_888 = 22;

// 1 + log2(max(w, h)): levels down to 1x1.
uint32_t pc_full_chain(uint32_t width, uint32_t height);
// Bytes of level `level`: DXT blocks, or rows padded to 4 bytes (8 bits per texel palettised).
uint64_t pc_level_bytes(const pc_free_fields& fields, uint32_t level);
// Bytes per texel row padded to 4 (uncompressed levels only).
uint64_t pc_level_pitch(const pc_free_fields& fields, uint32_t level);
// Struct data bytes: header, palette and the levels with their size word(s).
uint64_t pc_struct_bytes(const pc_free_fields& fields);

// Dictionary Struct device id: D3D8 up to 3.3.0.2 0, D3D8 later 1, D3D9 2, XBOX 0.
uint16_t pc_device_id(pc_layout layout, uint32_t version);

// Why the free fields make no texture a game reads (palettes outside D3D8 or with DXT, pixel
// formats the DXT kind does not allow, more levels than the full chain); empty when they do.
std::string pc_fields_misfit(const pc_free_fields& fields);

// The free fields a stored Struct holds; none with `error` when its header is short or its
// platform is no PC/XBOX one. The level count byte 0 reads as 1; source_alpha is byte 87's bit
// for D3D9 and hasAlpha elsewhere (the pixels are not looked at).
std::optional<pc_free_fields> pc_free_fields_of(std::span<const uint8_t> struct_data,
                                                std::string& error);

} // namespace quillmap
