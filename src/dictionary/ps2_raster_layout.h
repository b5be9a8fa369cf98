#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// The derived words of a PS2 raster: the 16-word raster header and the transfer headers inside
// the raster data, computed from the few facts that determine them, the way the game's own
// converter fills them (GS block addressing, mip placement, palette placement). Pure arithmetic:
// the builder writes these words, lint compares a file's words with them, repair rewrites them.

// Raster kinds (high 16 bits of the raster format word).
inline constexpr uint32_t k_ps2_kind_plain = 0;     // old style, no transfer headers, unswizzled
inline constexpr uint32_t k_ps2_kind_swizzled8 = 1; // old style, 8-bit swizzled
inline constexpr uint32_t k_ps2_kind_headered = 2;  // transfer headers + data: every real file
inline constexpr uint32_t k_ps2_max_levels = 7;     // level 0 + the six MIPTBP slots
inline constexpr uint32_t k_ps2_raster_header_bytes = 64; // the raster Struct's header
inline constexpr uint32_t k_ps2_transfer_bytes = 80;      // one transfer header
inline constexpr uint32_t k_ps2_sky_mipmap_value = 0xFC0;

struct ps2_layout_input {
    uint32_t width_px = 0;
    uint32_t height_px = 0;
    uint32_t depth = 0;
    uint32_t levels = 1;
    uint32_t kind = k_ps2_kind_headered;
    uint32_t pixel_format = 0x500; // raster format bits 8..11 (C8888 in every real file)
    uint32_t rw_version = 0x1803FFFF;
    // A one-level raster may carry AUTOMIPMAP (0x1000) alone; it is kept, never derived.
    bool keep_automipmap = false;
};

// One transfer: TRXPOS destination, TRXREG size (in the PSM the data is sent as) and the number
// of data quadwords that follow.
struct ps2_transfer {
    uint32_t dsax = 0;
    uint32_t dsay = 0;
    uint32_t rrw = 0;
    uint32_t rrh = 0;
    uint32_t nloop = 0;
    bool operator==(const ps2_transfer&) const = default;
};

// Writes the 80-byte transfer header of `t` at the start of `at`; false when it is shorter.
bool put_ps2_transfer_header(std::span<uint8_t> at, const ps2_transfer& t);

// A transfer header as a texture stores it.
struct ps2_transfer_header {
    // Words 0 and 1 hold the GIF tag the converter writes (three register writes, packed).
    bool gif_tagged = false;
    ps2_transfer transfer;  // nloop without the end-of-packet bit
    uint32_t image_tag = 0; // word 16 as stored: NLOOP in quadwords, with the end-of-packet bit
};
// The transfer header at the start of `bytes`; none when fewer than 80 bytes remain.
std::optional<ps2_transfer_header> read_ps2_transfer_header(std::span<const uint8_t> bytes);

// The raster header as a texture stores it (the first 64 bytes of the raster Struct), field by
// field; ps2_raster_layout::words holds the same words as derived.
struct ps2_raster_header {
    uint32_t width_px = 0;           // word 0
    uint32_t height_px = 0;          // word 1
    uint32_t depth = 0;              // word 2
    uint32_t raster_format = 0;      // word 3: pixel format in bits 8-11, swizzle kind 16-19
    uint64_t tex0 = 0;               // words 4-5
    uint32_t palette_address = 0;    // word 6
    uint32_t tex1_mxl = 0;           // word 7
    uint64_t miptbp1 = 0;            // words 8-9
    uint64_t miptbp2 = 0;            // words 10-11
    uint32_t pixel_data_bytes = 0;   // word 12
    uint32_t palette_data_bytes = 0; // word 13: palette entries plus their transfer header
    uint32_t gs_memory_size = 0;     // word 14
    uint32_t tex1_k = 0;             // word 15
};
// The raster header at the start of `bytes`; none when fewer than 64 bytes remain.
std::optional<ps2_raster_header> read_ps2_raster_header(std::span<const uint8_t> bytes);

struct ps2_level_layout {
    uint32_t width_px = 0;  // w >> n (at least 1)
    uint32_t height_px = 0; // h >> n
    uint32_t padded_width_px = 0;
    uint32_t padded_height_px = 0;
    ps2_transfer transfer;
    uint64_t data_bytes() const { return uint64_t(transfer.nloop) * 16; }
};

struct ps2_raster_layout {
    std::array<uint32_t, 16> words{};
    bool swizzled = false;
    bool headered = true;
    bool has_palette = false;
    // False when the raster has more levels than RenderWare's own count: no rule places them,
    // so words 6, 8..11, 14 and the transfer positions are not determined.
    bool placement_determined = true;
    std::vector<ps2_level_layout> levels;
    ps2_transfer palette_transfer;
    uint32_t palette_bytes = 0;       // colour entries: 64 or 1024
    uint32_t palette_block_bytes = 0; // entries plus the 4-bit 8x3 transfer's 32 extra bytes

    uint64_t pixel_data_bytes() const; // word 12 (headered) or the levels' bytes
    uint64_t raster_data_bytes() const { return pixel_data_bytes() + palette_data_bytes(); }
    uint64_t palette_data_bytes() const;
};

// Header words whose value depends on where levels and palette sit in GS memory.
bool ps2_is_placement_word(uint32_t word);

// RenderWare's own mip level count for a size: 1, plus one each time the smaller side halved
// stays at least 8, at most 7.
uint32_t ps2_rw_level_count(uint32_t width_px, uint32_t height_px);

// The library version (0x36003 for 3.6.0.3) of a chunk version word, old-style stamps included.
uint32_t rw_library_version(uint32_t version_word);

// Whether data of this depth and kind is stored swizzled under this RenderWare version.
bool ps2_stores_swizzled(uint32_t depth, uint32_t kind, uint32_t rw_version);

// Whether level 0 of this size, swizzled, reads back by unswizzling at its own size (or, 4-bit
// at most 16 wide, at 32).
bool ps2_swizzle_fits(uint32_t width_px, uint32_t height_px, uint32_t depth);

// False with `error` for sizes and depths no PS2 raster can have.
bool compute_ps2_layout(const ps2_layout_input& input, ps2_raster_layout& out, std::string& error);

// Numbers of the raster header and its GS transfers that readers share.
namespace ps2_layout {
// Swizzle kind: bits 16-19 of the raster format word.
inline constexpr uint32_t swizzle_kind_mask = 0xF0000;
inline constexpr uint32_t swizzle_kind_1 = 0x10000;
// Kind 2: the raster data begins with GIF transfer headers (80 bytes before each block).
inline constexpr uint32_t swizzle_kind_2 = 0x20000;
// Palette sizes of the header (word 13) for kind 2: the 4-bit palette moves as an 8x3 block of
// 32-bit entries (96 bytes), the 8-bit one as 16x16 (1024 bytes), each after its transfer header.
inline constexpr uint32_t palette_size_4bit_swizzled = 96 + k_ps2_transfer_bytes;   // 176
inline constexpr uint32_t palette_size_8bit_swizzled = 1024 + k_ps2_transfer_bytes; // 1104
} // namespace ps2_layout

} // namespace quillmap
