#include "dictionary/gc_raster_check.h"

#include "dictionary/gc_raster_rules.h"
#include "dictionary/gc_txd.h"

#include <cstdio>

namespace quillmap {

namespace {
constexpr const char* k_filter_what = "filter word (4)";
constexpr const char* k_words_what = "words 8-20";
constexpr const char* k_raster_format_what = "raster format (88)";
constexpr const char* k_depth_what = "depth (96)";
constexpr const char* k_levels_what = "level count (97)";
constexpr const char* k_gx_what = "GX format (98)";
constexpr const char* k_palette_what = "palette format (99)";
constexpr const char* k_alpha_what = "alpha flag (100)";
constexpr const char* k_data_size_what = "data size";
constexpr const char* k_trailing_what = "bytes after the last level";
constexpr const char* k_kinds = "C4, C8, RGB5A3, RGBA8 or CMPR";
constexpr const char* k_palettes = "1 (RGB565) or 2 (RGB5A3)";

std::string hex_of(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}
std::string words_text(const std::array<uint32_t, 4>& words) {
    return std::to_string(words[0]) + " " + std::to_string(words[1]) + " " +
           std::to_string(words[2]) + " " + std::to_string(words[3]);
}

// Whether some texel of some stored level has alpha below 255; `ok` false when a level is not
// all there.
bool any_translucent(gc_txd& txd, uint32_t t, uint32_t levels, bool& ok) {
    ok = true;
    for (uint32_t level = 0; level < levels; ++level) {
        const auto texels = txd.level_rgba(t, level);
        if (texels.empty()) {
            ok = false;
            return false;
        }
        for (const rgba8& c : texels)
            if (c.a != 0xFF) return true;
    }
    return false;
}

// What texture t should store, none when its GX and palette formats are no kind of real files.
struct gc_expectation {
    std::optional<gc_header::kind> kind;
    gc_determined words;
    uint32_t filter = 0;
    std::optional<uint32_t> alpha; // none when the texels cannot be read
    uint32_t levels = 1;           // the levels the data holds words for
};

gc_expectation expectation_of(gc_txd& txd, uint32_t t, const gc_fields& f) {
    gc_expectation e;
    e.kind = gc_header::kind_of(f.gx, f.palette_format);
    e.levels = txd.mip_count(t);
    e.filter = gc_filter_for_levels(f.filter, e.levels);
    if (e.kind) e.words = gc_determined_words(*e.kind, f.width, f.height, e.levels);
    bool ok = false;
    const bool translucent = any_translucent(txd, t, e.levels, ok);
    if (ok) e.alpha = gc_alpha_flag(f.gx, translucent);
    return e;
}
} // namespace

std::vector<ps2_problem> lint_gc_textures(ps2_txd& txd) {
    std::vector<ps2_problem> problems;
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    if (txd.family() != txd_family::gamecube || !gc || !txd.root) return problems;
    const uint32_t count = txd.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        const auto f = gc->fields(t);
        if (!f) continue;
        const auto report = [&](const char* what, std::string found, std::string expected,
                                bool accepted = false) {
            ps2_problem p{t, txd.texture_name(t, name_kind::texture), what, std::move(found),
                          std::move(expected)};
            p.accepted = accepted;
            problems.push_back(std::move(p));
        };
        const gc_expectation e = expectation_of(*gc, t, *f);
        if (f->filter != e.filter) report(k_filter_what, hex_of(f->filter), hex_of(e.filter));
        if (f->words != gc_header::unknown_words)
            report(k_words_what, words_text(f->words), words_text(gc_header::unknown_words));
        if (!gc_level_count_allowed(f->levels, f->width, f->height))
            report(k_levels_what, std::to_string(f->levels),
                   "1 or " + std::to_string(gc_header::full_chain(f->width, f->height)));
        if (!e.kind) {
            // Formats the console knows but real files never hold: nothing else can be judged.
            if (!gx_format_verified(f->gx))
                report(k_gx_what, std::to_string(f->gx) + " (" + gx_format_name(f->gx) + ")",
                       k_kinds);
            else
                report(k_palette_what, std::to_string(f->palette_format),
                       gx_format_indexed(f->gx) ? k_palettes : "255 (none)");
            continue;
        }
        if (f->raster_format != e.words.raster_format)
            report(k_raster_format_what, hex_of(f->raster_format), hex_of(e.words.raster_format));
        if (f->depth != e.words.depth)
            report(k_depth_what, std::to_string(f->depth), std::to_string(e.words.depth));
        if (e.alpha && f->alpha != *e.alpha)
            report(k_alpha_what, std::to_string(f->alpha), std::to_string(*e.alpha), true);
        const uint64_t stored_levels = gc_data_size(f->gx, f->width, f->height, e.levels);
        if (f->data_size != stored_levels)
            report(k_data_size_what, std::to_string(f->data_size), std::to_string(stored_levels));
        const uint64_t ends = f->data_size_offset + 4 + stored_levels;
        if (f->struct_bytes > ends)
            report(k_trailing_what, std::to_string(f->struct_bytes - ends), "0");
    }
    return problems;
}

uint32_t repair_gc_textures(ps2_txd& txd, std::vector<std::string>* skipped) {
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    if (txd.family() != txd_family::gamecube || !gc || !txd.root) return 0;
    uint32_t changed = 0;
    const uint32_t count = txd.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        const auto f = gc->fields(t);
        if (!f) continue;
        const gc_expectation e = expectation_of(*gc, t, *f);
        if (!e.kind || !e.alpha || e.words.palette_entries != f->palette_entries ||
            !gc_level_count_allowed(f->levels, f->width, f->height)) {
            if (skipped) skipped->push_back(txd.texture_name(t, name_kind::texture));
            continue;
        }
        const auto data = txd.texture_struct(t);
        uint32_t here = 0;
        const auto set32 = [&](uint32_t offset, uint32_t value) {
            if (gc_header::be32(data, offset) == value) return;
            gc_header::put_be32(data.data() + offset, value);
            ++here;
        };
        const auto set8 = [&](uint32_t offset, uint8_t value) {
            if (data[offset] == value) return;
            data[offset] = value;
            ++here;
        };
        set32(gc_header::offset_filter, e.filter);
        set32(gc_header::offset_word8, gc_header::unknown_words[0]);
        set32(gc_header::offset_word12, gc_header::unknown_words[1]);
        set32(gc_header::offset_word16, gc_header::unknown_words[2]);
        set32(gc_header::offset_word20, gc_header::unknown_words[3]);
        set32(gc_header::offset_raster_format, e.words.raster_format);
        set8(gc_header::offset_depth, e.words.depth);
        set8(gc_header::offset_levels, uint8_t(e.levels));
        set32(gc_header::offset_alpha, *e.alpha);
        set32(uint32_t(f->data_size_offset), e.words.data_size);
        if (here) txd.texture_chunk(t)->child(0)->data_offset = 0;
        changed += here;
        const uint64_t ends = f->data_size_offset + 4 + e.words.data_size;
        if (f->struct_bytes > ends) {
            std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<ptrdiff_t>(ends));
            if (txd.replace_struct(t, std::move(cut))) ++changed;
        }
    }
    return changed;
}

} // namespace quillmap
