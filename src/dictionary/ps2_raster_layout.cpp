#include "dictionary/ps2_raster_layout.h"

#include "dictionary/txd_messages.h"
#include "stream/byte_reader.h"

#include <algorithm>

namespace quillmap {

namespace {
// GS memory: a block is 64 words, a page 32 blocks (2048 words).
constexpr uint32_t k_block_words = 64;
constexpr uint32_t k_page_blocks = 32;
constexpr uint32_t k_page_words = k_block_words * k_page_blocks;
constexpr uint32_t k_max_side_px = 4096;
constexpr uint32_t k_max_nloop = 0x7FFF; // the image GIF tag's NLOOP has 15 bits
constexpr uint32_t k_max_trxpos = 2048;  // TRXPOS coordinates have 11 bits

constexpr uint32_t k_format_texture = 0x0004;
constexpr uint32_t k_format_automipmap = 0x1000;
constexpr uint32_t k_format_pal8 = 0x2000;
constexpr uint32_t k_format_pal4 = 0x4000;
constexpr uint32_t k_format_mipmap = 0x8000;

struct psm_geometry {
    uint32_t psm;
    uint32_t page_w_px, page_h_px;
    uint32_t block_w_px, block_h_px;
    bool tall_page; // block numbering starts with a row bit (CT16, T4)
    uint32_t blocks_across() const { return page_w_px / block_w_px; }
    uint32_t blocks_down() const { return page_h_px / block_h_px; }
};

constexpr psm_geometry k_ct32{0x00, 64, 32, 8, 8, false};
constexpr psm_geometry k_ct24{0x01, 64, 32, 8, 8, false};
constexpr psm_geometry k_ct16{0x02, 64, 64, 16, 8, true};
constexpr psm_geometry k_t8{0x13, 128, 64, 16, 16, false};
constexpr psm_geometry k_t4{0x14, 128, 128, 32, 16, true};

const psm_geometry* geometry_of(uint32_t depth) {
    switch (depth) {
    case 4:
        return &k_t4;
    case 8:
        return &k_t8;
    case 16:
        return &k_ct16;
    case 24:
        return &k_ct24;
    case 32:
        return &k_ct32;
    default:
        return nullptr;
    }
}

uint32_t ceil_div(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}
uint32_t round_up(uint32_t a, uint32_t b) {
    return ceil_div(a, b) * b;
}
uint32_t ceil_log2(uint32_t v) {
    uint32_t n = 0;
    while ((uint64_t(1) << n) < v)
        ++n;
    return n;
}

// Block number inside a page from block column c and row r, by interleaving their bits.
uint32_t block_in_page(uint32_t c, uint32_t r, bool tall) {
    const uint32_t a = tall ? r : c, b = tall ? c : r;
    return (a & 1) | (b & 1) << 1 | ((a >> 1) & 1) << 2 | ((b >> 1) & 1) << 3 | ((a >> 2) & 1) << 4;
}

// A buffer of whole pages, stored page by page from its first block.
struct gs_buffer {
    uint32_t start_block = 0;
    uint32_t pages_w = 1, pages_h = 1;
    uint32_t width_blocks(const psm_geometry& g) const { return pages_w * g.blocks_across(); }
    uint32_t height_blocks(const psm_geometry& g) const { return pages_h * g.blocks_down(); }
    uint32_t end_block() const { return start_block + pages_w * pages_h * k_page_blocks; }
    // GS block address of a row-major block index inside this buffer.
    uint32_t address(const psm_geometry& g, uint32_t linear) const {
        const uint32_t rel = linear - start_block, across = width_blocks(g);
        const uint32_t row = rel / across, col = rel % across;
        const uint32_t page = (row / g.blocks_down()) * pages_w + col / g.blocks_across();
        return start_block + page * k_page_blocks +
               block_in_page(col % g.blocks_across(), row % g.blocks_down(), g.tall_page);
    }
};

gs_buffer buffer_for(const psm_geometry& g, uint32_t start, uint32_t w_px, uint32_t h_px) {
    return {start, std::max(1u, ceil_div(w_px, g.page_w_px)),
            std::max(1u, ceil_div(h_px, g.page_h_px))};
}

struct block_rect {
    uint32_t x = 0, y = 0, w = 0, h = 0; // in blocks, inside the current buffer
};

// Where each level sits: a linear block index and the buffer it sits in.
struct placement {
    std::vector<uint32_t> linear;
    std::vector<gs_buffer> buffer;
    bool last_fills_buffer = false;
};

block_rect level_blocks(const psm_geometry& g, uint32_t w_px, uint32_t h_px) {
    return {0, 0, std::max(1u, ceil_div(w_px, g.block_w_px)),
            std::max(1u, ceil_div(h_px, g.block_h_px))};
}

// The converter's placement routine: each level goes right of, below, or into a remembered free
// strip next to the previous one; a level that covered whole pages ends its buffer.
placement place_levels(const psm_geometry& g, const std::vector<ps2_level_layout>& levels) {
    placement out;
    gs_buffer buffer = buffer_for(g, 0, levels[0].width_px, levels[0].height_px);
    block_rect prev = level_blocks(g, levels[0].width_px, levels[0].height_px);
    std::vector<block_rect> strips;
    bool gone_below = false;
    out.linear.push_back(0);
    out.buffer.push_back(buffer);
    bool fresh_buffer = true;

    for (size_t n = 1; n < levels.size(); ++n) {
        const uint32_t lw = levels[n - 1].width_px, lh = levels[n - 1].height_px;
        block_rect next = level_blocks(g, levels[n].width_px, levels[n].height_px);
        const block_rect after =
            n + 1 < levels.size() ? level_blocks(g, levels[n + 1].width_px, levels[n + 1].height_px)
                                  : block_rect{};
        const uint32_t across = buffer.width_blocks(g), down = buffer.height_blocks(g);
        const bool page_wide = lw >= g.page_w_px, page_tall = lh >= g.page_h_px;
        bool placed = false;
        fresh_buffer = false;
        auto put = [&](uint32_t x, uint32_t y) {
            next.x = x;
            next.y = y;
            placed = true;
        };
        auto right_fits = [&] { return prev.x + prev.w + next.w <= across; };
        auto below_fits = [&] { return prev.y + prev.h + next.h <= down; };
        auto take_strip = [&] {
            if (strips.empty()) return;
            block_rect& s = strips.back();
            put(s.x, s.y);
            gone_below = true;
            // The strip keeps the part a later level can still use.
            if (s.w >= next.w + after.w && after.w) {
                s.x += next.w;
                s.w -= next.w;
            } else if (s.h >= next.h + after.h && after.h) {
                s.y += next.h;
                s.h -= next.h;
            } else {
                strips.pop_back();
            }
        };
        auto remember_below = [&] {
            if (prev.h > next.h)
                strips.push_back({next.x, prev.y + next.h, next.w, prev.h - next.h});
        };

        if (page_wide && page_tall) {
            // Rule 1: the next level opens a new buffer sized for itself.
        } else if (page_wide) {
            const uint32_t page_row_end = (prev.y / g.blocks_down() + 1) * g.blocks_down();
            if (prev.y + prev.h + next.h <= page_row_end && below_fits()) {
                put(prev.x, prev.y + prev.h);
                gone_below = true;
            } else if (right_fits()) {
                put(prev.x + prev.w, prev.y);
            }
        } else if (page_tall) {
            if (right_fits()) {
                put(prev.x + prev.w, prev.y);
                remember_below();
            } else if (!strips.empty()) {
                take_strip();
            } else if (below_fits()) {
                put(prev.x, prev.y + prev.h);
                gone_below = true;
            }
        } else {
            if (right_fits() && prev.y + next.h <= down) {
                put(prev.x + prev.w, prev.y);
                remember_below();
            } else if (!gone_below && below_fits()) {
                put(prev.x, prev.y + prev.h);
                gone_below = true;
            } else {
                take_strip();
            }
        }
        if (!placed) {
            buffer = buffer_for(g, buffer.end_block(), levels[n].width_px, levels[n].height_px);
            strips.clear();
            gone_below = false;
            fresh_buffer = true;
            next.x = next.y = 0;
        }
        out.linear.push_back(buffer.start_block + next.y * buffer.width_blocks(g) + next.x);
        out.buffer.push_back(buffer);
        prev = next;
    }
    out.last_fills_buffer =
        fresh_buffer && prev.w == buffer.width_blocks(g) && prev.h == buffer.height_blocks(g);
    return out;
}

// Minimum transfer rectangle of a level: swizzled data moves as whole swizzle blocks.
void padding_of(uint32_t depth, bool swizzled, uint32_t& w_px, uint32_t& h_px) {
    if (swizzled) {
        w_px = depth == 4 ? 32 : 16;
        h_px = 4;
        return;
    }
    h_px = 1;
    w_px = depth <= 8 ? 8 : depth == 16 ? 4 : 2;
}

uint64_t tex0_of(const psm_geometry& g, uint32_t w, uint32_t h, uint32_t depth, bool palette) {
    const uint64_t tbw = round_up(w, g.page_w_px) / 64;
    const uint64_t tcc = depth == 24 ? 0 : 1;
    return tbw << 14 | uint64_t(g.psm) << 20 | uint64_t(ceil_log2(w)) << 26 |
           uint64_t(ceil_log2(h)) << 30 | tcc << 34 | uint64_t(palette ? 1 : 0) << 61;
}

uint64_t miptbp_slot(uint32_t tbp, uint32_t tbw) {
    return (uint64_t(tbp) & 0x3FFF) | (uint64_t(tbw) & 0x3F) << 14;
}
} // namespace

uint64_t ps2_raster_layout::pixel_data_bytes() const {
    uint64_t sum = 0;
    for (const auto& level : levels)
        sum += (headered ? k_ps2_transfer_bytes : 0) + level.data_bytes();
    return sum;
}

uint64_t ps2_raster_layout::palette_data_bytes() const {
    if (!has_palette) return 0;
    return (headered ? k_ps2_transfer_bytes : 0) + palette_block_bytes;
}

bool ps2_is_placement_word(uint32_t word) {
    return word == 6 || (word >= 8 && word <= 11) || word == 14;
}

uint32_t ps2_rw_level_count(uint32_t width_px, uint32_t height_px) {
    uint32_t side = std::min(width_px, height_px), count = 1;
    while (side / 2 >= 8 && count < k_ps2_max_levels) {
        side /= 2;
        ++count;
    }
    return count;
}

uint32_t rw_library_version(uint32_t version_word) {
    if (version_word & 0xFFFF0000)
        return (((version_word >> 14) & 0x3FF00) + 0x30000) | ((version_word >> 16) & 0x3F);
    return version_word << 8; // old-style stamps such as 0x310
}

bool ps2_stores_swizzled(uint32_t depth, uint32_t kind, uint32_t rw_version) {
    if (kind == k_ps2_kind_headered) {
        if (depth == 8) return true;
        return depth == 4 && rw_library_version(rw_version) > 0x31000;
    }
    return kind == k_ps2_kind_swizzled8 && depth == 8;
}

bool ps2_swizzle_fits(uint32_t width_px, uint32_t height_px, uint32_t depth) {
    if (depth > 8) return true; // never swizzled
    if (height_px % 4) return false;
    if (depth == 8) return width_px % 16 == 0;
    if (depth == 4) return width_px % 32 == 0 || width_px == 16 || width_px == 8;
    return true;
}

bool compute_ps2_layout(const ps2_layout_input& in, ps2_raster_layout& out, std::string& error) {
    const psm_geometry* g = geometry_of(in.depth);
    if (!g || in.width_px == 0 || in.height_px == 0 || in.width_px > k_max_side_px ||
        in.height_px > k_max_side_px || in.levels == 0 || in.levels > k_ps2_max_levels ||
        in.kind > k_ps2_kind_headered) {
        error = txd_msg::no_ps2_layout;
        return false;
    }
    out = {};
    out.headered = in.kind == k_ps2_kind_headered;
    out.swizzled = ps2_stores_swizzled(in.depth, in.kind, in.rw_version);
    out.has_palette = in.depth <= 8;
    const uint32_t rw_levels = ps2_rw_level_count(in.width_px, in.height_px);
    out.placement_determined = in.levels <= rw_levels;

    uint32_t min_w = 1, min_h = 1;
    // Without transfers nothing is padded: the data is the picture's own rows.
    if (out.headered) padding_of(in.depth, out.swizzled, min_w, min_h);
    for (uint32_t n = 0; n < in.levels; ++n) {
        ps2_level_layout level;
        level.width_px = std::max(1u, in.width_px >> n);
        level.height_px = std::max(1u, in.height_px >> n);
        level.padded_width_px = round_up(level.width_px, min_w);
        level.padded_height_px = round_up(level.height_px, min_h);
        const uint64_t bits = uint64_t(level.padded_width_px) * level.padded_height_px * in.depth;
        level.transfer.nloop = static_cast<uint32_t>((bits / 8 + 15) / 16);
        const uint32_t halve = out.swizzled ? 2 : 1;
        level.transfer.rrw = level.padded_width_px / halve;
        level.transfer.rrh = level.padded_height_px / halve;
        if (out.headered && level.transfer.nloop > k_max_nloop) {
            error = txd_msg::no_ps2_layout;
            return false;
        }
        out.levels.push_back(level);
    }

    const placement place = place_levels(*g, out.levels);
    // Transfer positions count from the start of the current transfer buffer.
    uint32_t transfer_start = 0, transfer_width_px = place.buffer[0].pages_w * g->page_w_px;
    const uint32_t halve = out.swizzled ? 2 : 1;
    for (size_t n = 1; n < out.levels.size(); ++n) {
        const uint32_t width_px = place.buffer[n].pages_w * g->page_w_px;
        uint64_t offset_px = uint64_t(place.linear[n] - transfer_start) * g->block_w_px;
        uint64_t y = offset_px / transfer_width_px * g->block_h_px / halve;
        if (width_px != transfer_width_px || y >= k_max_trxpos) {
            transfer_start = place.linear[n];
            transfer_width_px = width_px;
            offset_px = 0;
            y = 0;
        }
        out.levels[n].transfer.dsax = static_cast<uint32_t>(offset_px % transfer_width_px / halve);
        out.levels[n].transfer.dsay = static_cast<uint32_t>(y);
    }

    auto& w = out.words;
    w[0] = in.width_px;
    w[1] = in.height_px;
    w[2] = in.depth;
    uint32_t format = k_format_texture | (in.pixel_format & 0x0F00);
    if (in.depth == 4) format |= k_format_pal4;
    if (in.depth == 8) format |= k_format_pal8;
    if (in.levels > 1) format |= k_format_mipmap | k_format_automipmap;
    if (in.levels == 1 && in.keep_automipmap) format |= k_format_automipmap;
    w[3] = format | in.kind << 16;
    const uint64_t tex0 = tex0_of(*g, in.width_px, in.height_px, in.depth, out.has_palette);
    w[4] = static_cast<uint32_t>(tex0);
    w[5] = static_cast<uint32_t>(tex0 >> 32);
    w[7] = (std::min(in.levels, rw_levels) - 1) << 2;

    uint64_t miptbp[2] = {0, 0};
    for (uint32_t slot = 0; slot < 6; ++slot) {
        const uint32_t n = slot + 1;
        uint32_t tbp = 0, tbw = 1;
        if (n < out.levels.size()) {
            tbp = place.buffer[n].address(*g, place.linear[n]);
            tbw = round_up(out.levels[n].width_px, g->page_w_px) / 64;
        }
        miptbp[slot / 3] |= miptbp_slot(tbp, tbw) << (20 * (slot % 3));
    }
    w[8] = static_cast<uint32_t>(miptbp[0]);
    w[9] = static_cast<uint32_t>(miptbp[0] >> 32);
    w[10] = static_cast<uint32_t>(miptbp[1]);
    w[11] = static_cast<uint32_t>(miptbp[1] >> 32);

    // Palette: the last blocks of the last buffer, or a page of its own after a full buffer.
    const gs_buffer& last = place.buffer.back();
    const uint32_t end = last.end_block();
    w[14] = end * k_block_words;
    if (out.has_palette) {
        const bool four_bit = in.depth == 4;
        const uint32_t across = last.width_blocks(*g);
        uint32_t palette_linear = end;
        if (place.last_fills_buffer) {
            w[6] = end;
            w[14] += k_page_words;
        } else {
            // An 8-bit palette is 2x2 CT32 blocks, a 4-bit one a single block; a one-level
            // 4-bit raster keeps it in the same corner as an 8-bit one.
            palette_linear = four_bit && in.levels > 1 ? end - 1 : end - across - 2;
            w[6] = last.address(*g, palette_linear);
        }
        out.palette_bytes = four_bit ? 64 : 1024;
        if (four_bit) {
            out.palette_transfer = {0, 0, 8, out.swizzled ? 3u : 2u, out.swizzled ? 6u : 4u};
        } else {
            out.palette_transfer = {0, 0, 16, 16, 64};
            // Sent as CT32 into a one-page-wide buffer, the palette lands at its block.
            if (last.pages_w == 1) {
                const uint32_t delta = palette_linear - transfer_start;
                out.palette_transfer.dsay = delta / 8 * 8;
                out.palette_transfer.dsax = delta * 8 % 64;
            }
        }
        out.palette_block_bytes = out.palette_transfer.nloop * 16;
    }
    w[12] = static_cast<uint32_t>(out.pixel_data_bytes());
    w[13] = static_cast<uint32_t>(out.palette_data_bytes());
    w[15] = k_ps2_sky_mipmap_value;
    return true;
}

bool put_ps2_transfer_header(std::span<uint8_t> at, const ps2_transfer& t) {
    // GIF tag (3 register writes: position, size, direction), then the image data tag.
    const uint32_t words[20] = {3,    0x10000000, 0x0E,  0,     0,       t.dsax | t.dsay << 16,
                                0x51, 0,          t.rrw, t.rrh, 0x52,    0,
                                0,    0,          0x53,  0,     t.nloop, 0x08000000,
                                0,    0};
    byte_writer out(at);
    for (const uint32_t word : words)
        out.u32(word);
    return out.ok();
}

std::optional<ps2_transfer_header> read_ps2_transfer_header(std::span<const uint8_t> bytes) {
    byte_reader in(bytes);
    std::array<uint32_t, k_ps2_transfer_bytes / 4> words{};
    for (uint32_t& word : words)
        word = in.u32("transfer header");
    if (!in.ok()) return std::nullopt;
    ps2_transfer_header out;
    out.gif_tagged = words[0] == 3 && words[1] == 0x10000000;
    out.transfer = {words[5] & 0x7FF, (words[5] >> 16) & 0x7FF, words[8], words[9],
                    words[16] & 0x7FFF};
    out.image_tag = words[16];
    return out;
}

std::optional<ps2_raster_header> read_ps2_raster_header(std::span<const uint8_t> bytes) {
    byte_reader in(bytes);
    ps2_raster_header h;
    h.width_px = in.u32("raster width");
    h.height_px = in.u32("raster height");
    h.depth = in.u32("raster depth");
    h.raster_format = in.u32("raster format");
    h.tex0 = in.u64("TEX0");
    h.palette_address = in.u32("palette address");
    h.tex1_mxl = in.u32("TEX1 MXL");
    h.miptbp1 = in.u64("MIPTBP1");
    h.miptbp2 = in.u64("MIPTBP2");
    h.pixel_data_bytes = in.u32("pixel data size");
    h.palette_data_bytes = in.u32("palette data size");
    h.gs_memory_size = in.u32("GS memory size");
    h.tex1_k = in.u32("TEX1 K");
    if (!in.ok()) return std::nullopt;
    return h;
}

} // namespace quillmap
