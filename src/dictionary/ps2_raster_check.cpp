#include "dictionary/ps2_raster_check.h"

#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "raster/ps2_swizzling.h"
#include "stream/ascii_lower.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <map>

namespace quillmap {

namespace {
// Transfer header words (each 32-bit).
constexpr uint32_t k_gif_tag_word = 0;
constexpr uint32_t k_gif_tag_second_word = 1;
constexpr uint32_t k_trxpos_word = 5;
constexpr uint32_t k_trxreg_w_word = 8;
constexpr uint32_t k_trxreg_h_word = 9;
constexpr uint32_t k_nloop_word = 16;

const char* const k_word_names[16] = {
    "width",       "height",          "depth",           "raster format",     "TEX0 low",
    "TEX0 high",   "palette address", "TEX1 MXL",        "MIPTBP1 low",       "MIPTBP1 high",
    "MIPTBP2 low", "MIPTBP2 high",    "pixel data size", "palette data size", "GS memory size",
    "TEX1 K"};

std::string hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

std::span<uint8_t> leaf_bytes(ps2_txd& txd, rw_chunk* chunk) {
    if (!chunk || !chunk->children.empty()) return {};
    auto* data = txd.load_data(chunk);
    if (!data) return {};
    return {data->data(), std::min<size_t>(data->size(), chunk->size)};
}

rw_chunk* raster_child(ps2_txd& txd, uint32_t t, uint32_t which) {
    rw_chunk* texture = txd.texture_chunk(t);
    rw_chunk* raster = texture ? texture->child(3) : nullptr;
    return raster ? raster->child(which) : nullptr;
}

bool is_headered(std::span<const uint8_t> data) {
    return u32_at(data, 4 * k_gif_tag_word).value_or(0) == 3 &&
           u32_at(data, 4 * k_gif_tag_second_word).value_or(0) == 0x10000000;
}

// Transfer headers come from transfer_offsets, so each lies whole inside the data.
ps2_transfer transfer_at(std::span<const uint8_t> data, size_t at) {
    return read_ps2_transfer_header(data.subspan(at)).value_or(ps2_transfer_header{}).transfer;
}

void put_transfer(std::span<uint8_t> data, size_t at, const ps2_transfer& t) {
    uint8_t* header = data.data() + at;
    store_u32(header + 4 * k_trxpos_word, t.dsax | t.dsay << 16);
    store_u32(header + 4 * k_trxreg_w_word, t.rrw);
    store_u32(header + 4 * k_trxreg_h_word, t.rrh);
}

// Offsets of the transfer headers in the raster data: one per block, palette last.
std::vector<size_t> transfer_offsets(std::span<const uint8_t> data) {
    std::vector<size_t> offsets;
    byte_reader in(data);
    while (offsets.size() <= k_ps2_max_levels) {
        const uint64_t at = in.position();
        const auto header = in.bytes(k_ps2_transfer_bytes, "transfer header");
        if (!in.ok()) break;
        const uint64_t block = uint64_t(load_u32(header.data() + 4 * k_nloop_word) & 0x7FFF) * 16;
        if (!in.skip(block, "transfer block")) break;
        offsets.push_back(static_cast<size_t>(at));
    }
    return offsets;
}

} // namespace

bool read_stored_words(ps2_txd& txd, uint32_t t, ps2_stored_words& out) {
    out = {};
    const auto header = leaf_bytes(txd, raster_child(txd, t, 0));
    if (header.size() < k_ps2_raster_header_bytes) return false;
    byte_reader words(header);
    for (uint32_t i = 0; i < 16; ++i)
        out.words[i] = words.u32(k_word_names[i]);
    const auto data = leaf_bytes(txd, raster_child(txd, t, 1));
    out.raster_data_bytes = data.size();
    out.headered = is_headered(data);
    if (!out.headered) return true;
    const auto offsets = transfer_offsets(data);
    const bool palette = out.words[2] == 4 || out.words[2] == 8;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const ps2_transfer transfer = transfer_at(data, offsets[i]);
        if (palette && i + 1 == offsets.size())
            out.palette = transfer;
        else
            out.levels.push_back(transfer);
    }
    return !out.levels.empty();
}

bool expected_layout(ps2_txd& txd, uint32_t t, const ps2_stored_words& stored,
                     ps2_raster_layout& out, std::string& error) {
    ps2_layout_input in;
    in.width_px = stored.words[0];
    in.height_px = stored.words[1];
    in.depth = stored.words[2];
    in.levels = stored.headered ? static_cast<uint32_t>(stored.levels.size()) : 1;
    in.kind = stored.headered ? k_ps2_kind_headered : std::min(stored.words[3] >> 16, 2u);
    in.pixel_format = stored.words[3] & 0x0F00;
    in.keep_automipmap = in.levels == 1 && (stored.words[3] & 0x1000);
    rw_chunk* texture = txd.texture_chunk(t);
    in.rw_version = texture ? texture->version : 0;
    return compute_ps2_layout(in, out, error);
}

namespace {
// Where level n's transfer rectangle lies, and its size in pixels.
struct level_rectangle {
    uint8_t* data = nullptr;
    uint64_t width_px = 0, height_px = 0, bytes = 0;
    uint32_t level_w = 0, level_h = 0, depth = 0;
    bool swizzled = false;
};

bool find_level(ps2_txd& txd, uint32_t t, uint32_t level, level_rectangle& out) {
    const auto data = leaf_bytes(txd, raster_child(txd, t, 1));
    if (!is_headered(data)) return false;
    const auto offsets = transfer_offsets(data);
    const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
    // The palette's block, last after the levels, is no level.
    const size_t level_blocks = offsets.size() - (d == 4 || d == 8 ? 1 : 0);
    if (offsets.empty() || level >= level_blocks || level >= k_ps2_max_levels ||
        (d != 4 && d % 8) || d == 0 || d > 32)
        return false;
    const ps2_transfer transfer = transfer_at(data, offsets[level]);
    out.swizzled = txd.is_swizzled(t) && (d == 4 || d == 8);
    out.width_px = uint64_t(transfer.rrw) * (out.swizzled ? 2 : 1);
    out.height_px = uint64_t(transfer.rrh) * (out.swizzled ? 2 : 1);
    out.level_w = std::max(1u, w >> level);
    out.level_h = std::max(1u, h >> level);
    out.depth = d;
    out.bytes = (out.width_px * out.height_px * d + 7) / 8;
    if (out.width_px < out.level_w || out.height_px < out.level_h ||
        out.bytes > uint64_t(transfer.nloop) * 16)
        return false;
    out.data = data.data() + offsets[level] + k_ps2_transfer_bytes;
    return true;
}

} // namespace

void ps2_copy_rect(const uint8_t* from, uint64_t from_w, uint8_t* to, uint64_t to_w, uint32_t w,
                   uint32_t h, uint32_t depth) {
    for (uint32_t y = 0; y < h; ++y) {
        if (depth != 4) {
            std::copy_n(from + y * from_w * depth / 8, size_t(w) * depth / 8,
                        to + y * to_w * depth / 8);
            continue;
        }
        for (uint32_t x = 0; x < w; ++x) {
            const uint64_t a = y * from_w + x, b = y * to_w + x;
            const uint8_t v = (a & 1) ? from[a / 2] >> 4 : from[a / 2] & 0x0F;
            uint8_t& byte = to[b / 2];
            byte = (b & 1) ? uint8_t((byte & 0x0F) | v << 4) : uint8_t((byte & 0xF0) | v);
        }
    }
}

bool ps2_plain_level(ps2_txd& txd, uint32_t t, uint32_t level, std::vector<uint8_t>& out) {
    level_rectangle r;
    if (!find_level(txd, t, level, r)) return false;
    std::vector<uint8_t> padded(r.data, r.data + r.bytes);
    if (r.swizzled && !ps2_swizzling::unswizzle_raster(padded, uint32_t(r.width_px),
                                                       uint32_t(r.height_px), r.depth))
        return false;
    out.assign((uint64_t(r.level_w) * r.level_h * r.depth + 7) / 8, 0);
    ps2_copy_rect(padded.data(), r.width_px, out.data(), r.level_w, r.level_w, r.level_h, r.depth);
    return true;
}

bool ps2_write_plain_level(ps2_txd& txd, uint32_t t, uint32_t level,
                           std::span<const uint8_t> plain) {
    level_rectangle r;
    if (!find_level(txd, t, level, r) ||
        plain.size() < (uint64_t(r.level_w) * r.level_h * r.depth + 7) / 8)
        return false;
    std::vector<uint8_t> padded(r.data, r.data + r.bytes);
    const uint32_t pw = uint32_t(r.width_px), ph = uint32_t(r.height_px);
    if (r.swizzled && !ps2_swizzling::unswizzle_raster(padded, pw, ph, r.depth)) return false;
    ps2_copy_rect(plain.data(), r.level_w, padded.data(), r.width_px, r.level_w, r.level_h,
                  r.depth);
    if (r.swizzled) ps2_swizzling::swizzle_raster(padded, pw, ph, r.depth);
    std::copy(padded.begin(), padded.end(), r.data);
    return true;
}

std::vector<ps2_problem> lint_ps2_textures(ps2_txd& txd) {
    std::vector<ps2_problem> problems;
    std::map<std::string, uint32_t> seen_names;
    const uint32_t count = txd.texture_count();
    if (count > ps2_txd::k_max_textures)
        problems.push_back({0,
                            {},
                            k_too_many_textures_what,
                            std::to_string(count),
                            "at most " + std::to_string(ps2_txd::k_max_textures),
                            true});
    if (const std::string why = txd.count_disagreement(); !why.empty())
        problems.push_back({0,
                            {},
                            k_count_disagrees_what,
                            std::to_string(txd.stored_texture_count()) + " in the Struct",
                            std::to_string(txd.texture_chunks()) + " stored",
                            true});
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = txd.texture_name(t, name_kind::texture);
        auto report = [&](std::string what, std::string found, std::string expected) {
            problems.push_back({t, name, std::move(what), std::move(found), std::move(expected)});
        };
        if (name.size() > k_max_texture_name_chars)
            report("name longer than 31 characters", std::to_string(name.size()), "31");
        const auto [first, inserted] = seen_names.emplace(ascii_lower(name), t);
        if (!inserted)
            report("name used twice (case ignored)", name,
                   "a name other than texture " + std::to_string(first->second) + "'s");
        if (txd.platform_id(t) != stored_platform::ps2) continue;
        // As PC and mobile rasters, a PS2 raster lists at most 16 levels; more blocks are told.
        if (txd.ps2_levels_capped(t))
            report("level count",
                   "more than " + std::to_string(ps2_txd::k_max_ps2_levels) + " levels stored",
                   "at most " + std::to_string(ps2_txd::k_max_ps2_levels) +
                       " (only the first are listed)");

        ps2_stored_words stored;
        if (!read_stored_words(txd, t, stored)) {
            report("raster data", "unreadable", "a raster header and transfer headers");
            continue;
        }
        const uint32_t w = stored.words[0], h = stored.words[1];
        if (!std::has_single_bit(w) || !std::has_single_bit(h) || w > k_max_game_side_px ||
            h > k_max_game_side_px)
            report("size", std::to_string(w) + "x" + std::to_string(h), "powers of two up to 1024");
        if (uint64_t(stored.words[12]) + stored.words[13] != stored.raster_data_bytes)
            report("raster data size", hex(stored.raster_data_bytes),
                   hex(uint64_t(stored.words[12]) + stored.words[13]));

        ps2_raster_layout layout;
        std::string error;
        if (!expected_layout(txd, t, stored, layout, error)) {
            report("layout", error, "a size, depth and level count a PS2 raster can have");
            continue;
        }
        // Levels beyond RenderWare's own count have no placement rule: their words are named.
        const std::string beyond = std::to_string(layout.levels.size()) +
                                   " levels, more than RenderWare's own count for the size";
        for (uint32_t i = 0; i < 16; ++i) {
            if (ps2_is_placement_word(i) && !layout.placement_determined) {
                report(k_not_checked,
                       "header word " + std::to_string(i) + " (" + k_word_names[i] + ") " +
                           hex(stored.words[i]),
                       beyond);
                continue;
            }
            if (stored.words[i] != layout.words[i])
                report("header word " + std::to_string(i) + " (" + k_word_names[i] + ")",
                       hex(stored.words[i]), hex(layout.words[i]));
        }
        if (!stored.headered) continue;
        for (size_t n = 0; n < stored.levels.size() && n < layout.levels.size(); ++n) {
            const ps2_transfer& found = stored.levels[n];
            const ps2_transfer& want = layout.levels[n].transfer;
            const std::string level = "level " + std::to_string(n) + " ";
            if (!layout.placement_determined)
                report(k_not_checked, level + "TRXPOS " + hex(found.dsax | found.dsay << 16),
                       beyond);
            else if (found.dsax != want.dsax || found.dsay != want.dsay)
                report(level + "TRXPOS", hex(found.dsax | found.dsay << 16),
                       hex(want.dsax | want.dsay << 16));
            if (found.rrw != want.rrw || found.rrh != want.rrh)
                report(level + "TRXREG",
                       std::to_string(found.rrw) + "x" + std::to_string(found.rrh),
                       std::to_string(want.rrw) + "x" + std::to_string(want.rrh));
            if (found.nloop != want.nloop)
                report(level + "NLOOP", hex(found.nloop), hex(want.nloop));
        }
        if (layout.has_palette && stored.palette) {
            const ps2_transfer& found = *stored.palette;
            const ps2_transfer& want = layout.palette_transfer;
            if (!layout.placement_determined)
                report(k_not_checked, "palette TRXPOS " + hex(found.dsax | found.dsay << 16),
                       beyond);
            else if (found.dsax != want.dsax || found.dsay != want.dsay)
                report("palette TRXPOS", hex(found.dsax | found.dsay << 16),
                       hex(want.dsax | want.dsay << 16));
            if (found.rrw != want.rrw || found.rrh != want.rrh)
                report("palette TRXREG",
                       std::to_string(found.rrw) + "x" + std::to_string(found.rrh),
                       std::to_string(want.rrw) + "x" + std::to_string(want.rrh));
        }
    }
    return problems;
}

uint32_t repair_ps2_textures(ps2_txd& txd, std::vector<std::string>* skipped) {
    uint32_t changed = 0;
    const uint32_t count = txd.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        if (txd.platform_id(t) != stored_platform::ps2) continue;
        ps2_stored_words stored;
        ps2_raster_layout layout;
        std::string error;
        const bool readable = read_stored_words(txd, t, stored) && stored.headered &&
                              expected_layout(txd, t, stored, layout, error);
        // Only words are rewritten: data laid out for other level or palette sizes stays.
        bool fits_layout = readable && stored.levels.size() == layout.levels.size() &&
                           stored.palette.has_value() == layout.has_palette &&
                           stored.raster_data_bytes == layout.raster_data_bytes();
        for (size_t n = 0; fits_layout && n < stored.levels.size(); ++n)
            fits_layout = stored.levels[n].nloop == layout.levels[n].transfer.nloop;
        if (fits_layout && stored.palette)
            fits_layout = stored.palette->nloop == layout.palette_transfer.nloop;
        if (!fits_layout) {
            if (skipped) skipped->push_back(txd.texture_name(t, name_kind::texture));
            continue;
        }
        const auto header = leaf_bytes(txd, raster_child(txd, t, 0));
        const auto data = leaf_bytes(txd, raster_child(txd, t, 1));
        byte_writer words(header);
        for (uint32_t i = 0; i < 16; ++i) {
            if (ps2_is_placement_word(i) && !layout.placement_determined) continue;
            if (stored.words[i] == layout.words[i]) continue;
            words.seek(4 * i);
            words.u32(layout.words[i]);
            ++changed;
        }
        const auto offsets = transfer_offsets(data);
        for (size_t n = 0; n < offsets.size(); ++n) {
            const bool is_palette = layout.has_palette && n + 1 == offsets.size();
            const ps2_transfer& old = is_palette ? *stored.palette : stored.levels[n];
            ps2_transfer want = is_palette ? layout.palette_transfer : layout.levels[n].transfer;
            if (!layout.placement_determined) {
                want.dsax = old.dsax;
                want.dsay = old.dsay;
            }
            if (old == want) continue;
            put_transfer(data, offsets[n], want);
            ++changed;
        }
    }
    return changed;
}

} // namespace quillmap
