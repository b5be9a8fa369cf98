#include "session/pixel_probe.h"

#include "dictionary/gc_txd.h"

namespace quillmap {

namespace {
// 256-colour PS2 palettes are stored in console order: within every 32 entries, entries 8..15
// and 16..23 trade places.
uint32_t console_palette_position(uint32_t index) {
    return (index & ~0x18u) | ((index & 0x08u) << 1) | ((index & 0x10u) >> 1);
}

// GameCube palette textures: indices from the GX tiles, colours widened from 16 bits.
gc_txd* gc_palette_texture(ps2_txd& txd, uint32_t t) {
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    if (!gc || t >= txd.texture_count()) return nullptr;
    const auto f = gc->fields(t);
    return f && gx_format_indexed(f->gx) && f->palette_entries != 0 ? gc : nullptr;
}

std::vector<uint16_t> gc_indices(gc_txd& gc, uint32_t t, uint32_t level) {
    const auto f = gc.fields(t);
    if (!f || level >= gc.mip_count(t)) return {};
    return gx_decode_indices(f->gx, gc_header::level_side(f->width, level),
                             gc_header::level_side(f->height, level), gc.stored_level(t, level));
}
} // namespace

stored_pixel probe_stored_pixel(ps2_txd& txd, uint32_t t, uint32_t level, uint32_t x, uint32_t y,
                                bool swizzled) {
    stored_pixel found;
    if (gc_txd* gc = gc_palette_texture(txd, t)) {
        const uint32_t w = std::max(1u, txd.width(t) >> std::min(level, 31u));
        const auto indices = gc_indices(*gc, t, level);
        const auto colours = gc->palette_colours(t);
        if (x >= w || uint64_t(y) * w + x >= indices.size()) return found;
        found.index = indices[size_t(y) * w + x];
        if (*found.index < colours.size()) found.alpha = colours[*found.index].a;
        return found;
    }
    if (t >= txd.texture_count() || txd.family() != txd_family::ps2 || !txd.is_ps2(t)) return found;
    const uint32_t depth = txd.depth(t);
    const uint32_t w = std::max(1u, txd.width(t) >> level),
                   h = std::max(1u, txd.height(t) >> level);
    if (x >= w || y >= h || level >= txd.mip_count(t)) return found;
    const std::vector<uint8_t> plain = txd.plain_level(t, level, swizzled);
    const uint64_t at = uint64_t(y) * w + x;
    if (depth == 32) {
        if (plain.size() >= (at + 1) * 4) found.alpha = plain[at * 4 + 3];
        return found;
    }
    if (depth != 4 && depth != 8) return found;
    const uint64_t byte = depth == 8 ? at : at / 2;
    if (plain.size() <= byte) return found;
    // Two 4-bit pixels share a byte, the first in the low half.
    const uint32_t index =
        depth == 8 ? plain[byte] : (at % 2 ? plain[byte] >> 4 : plain[byte] & 0xF);
    found.index = index;
    const std::span<uint8_t> palette = txd.palette(t);
    const uint32_t position = depth == 8 ? console_palette_position(index) : index;
    if (palette.size() >= (uint64_t(position) + 1) * 4) found.alpha = palette[position * 4 + 3];
    return found;
}

std::vector<std::array<uint8_t, 4>> indexed_palette(ps2_txd& txd, uint32_t t) {
    std::vector<std::array<uint8_t, 4>> entries;
    if (gc_txd* gc = gc_palette_texture(txd, t)) {
        for (const rgba8& c : gc->palette_colours(t))
            entries.push_back({c.r, c.g, c.b, c.a});
        return entries;
    }
    if (t >= txd.texture_count() || txd.family() != txd_family::ps2 || !txd.is_ps2(t))
        return entries;
    const uint32_t depth = txd.depth(t);
    if (depth != 4 && depth != 8) return entries;
    const std::span<uint8_t> palette = txd.palette(t);
    const uint32_t count = 1u << depth;
    if (palette.size() < uint64_t(count) * 4) return entries;
    for (uint32_t index = 0; index < count; ++index) {
        const uint32_t at = (depth == 8 ? console_palette_position(index) : index) * 4;
        entries.push_back({palette[at], palette[at + 1], palette[at + 2], palette[at + 3]});
    }
    return entries;
}

std::vector<uint8_t> level_indices(ps2_txd& txd, uint32_t t, uint32_t level, bool swizzled) {
    std::vector<uint8_t> indices;
    if (gc_txd* gc = gc_palette_texture(txd, t)) {
        for (uint16_t i : gc_indices(*gc, t, level))
            indices.push_back(uint8_t(std::min<uint16_t>(i, 0xFF)));
        return indices;
    }
    if (t >= txd.texture_count() || txd.family() != txd_family::ps2 || !txd.is_ps2(t) ||
        level >= txd.mip_count(t))
        return indices;
    const uint32_t depth = txd.depth(t);
    if (depth != 4 && depth != 8) return indices;
    const uint64_t w = std::max(1u, txd.width(t) >> level),
                   h = std::max(1u, txd.height(t) >> level);
    const std::vector<uint8_t> plain = txd.plain_level(t, level, swizzled);
    const uint64_t pixels = w * h;
    if (plain.size() < (depth == 8 ? pixels : (pixels + 1) / 2)) return indices;
    indices.resize(pixels);
    for (uint64_t i = 0; i < pixels; ++i)
        indices[i] =
            depth == 8 ? plain[i] : uint8_t(i % 2 ? plain[i / 2] >> 4 : plain[i / 2] & 0xF);
    return indices;
}

} // namespace quillmap
