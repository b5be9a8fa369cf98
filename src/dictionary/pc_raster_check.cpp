#include "dictionary/pc_raster_check.h"

#include "dictionary/pc_raster_rules.h"
#include "dictionary/pc_txd.h"
#include "raster/pixel_format.h"
#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillmap {

namespace {
constexpr uint32_t k_offset_filter = 4;
constexpr uint32_t k_offset_filter_pad = 6;
constexpr uint32_t k_offset_name = 8;
constexpr uint32_t k_offset_mask = 40;
constexpr uint32_t k_offset_raster_format = 72;
constexpr uint32_t k_offset_word76 = 76;
constexpr uint32_t k_offset_depth = 84;
constexpr uint32_t k_offset_levels = 85;
constexpr uint32_t k_offset_raster_type = 86;
constexpr uint32_t k_offset_byte87 = 87;
constexpr uint32_t k_name_bytes = 32;
constexpr uint8_t k_d3d9_alpha_bit = 1;
// Some D3D9 game files fill bytes 41-71 of an empty mask with this pattern on every texture.
constexpr uint8_t k_d3d9_mask_pattern[31] = {
    0xff, 0xff, 0x8d, 0xff, 0xff, 0xff, 0x83, 0xff, 0xff, 0xff, 0x79, 0xff, 0xff, 0xff, 0x79, 0xff,
    0xff, 0xff, 0x6d, 0xff, 0xff, 0xff, 0x61, 0xff, 0xff, 0xff, 0x53, 0xff, 0xff, 0xff, 0x43};
// The only Extension child old D3D8 files carry: a 4-byte sky mipmap value.
constexpr uint32_t k_sky_mipmap_bytes = 4;
// Real files stamp that chunk old-style (3.0.4, 3.1.0) whatever the dictionary's stamp is.
constexpr uint32_t k_sky_mipmap_old_stamps[] = {0x304, 0x310};

bool old_style_sky_stamp(const rw_chunk& chunk) {
    return chunk.id == rw_id_sky_mipmap_val &&
           std::find(std::begin(k_sky_mipmap_old_stamps), std::end(k_sky_mipmap_old_stamps),
                     chunk.version) != std::end(k_sky_mipmap_old_stamps);
}

std::string hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

// Bytes after the field's first NUL are zero.
bool padding_is_zero(std::span<const uint8_t> field) {
    const auto nul = std::find(field.begin(), field.end(), 0);
    return std::all_of(nul, field.end(), [](uint8_t b) { return b == 0; });
}

bool mask_is_d3d9_pattern(std::span<const uint8_t> field) {
    return field[0] == 0 && std::memcmp(field.data() + 1, k_d3d9_mask_pattern, 31) == 0;
}

// Stored level sizes follow the fields: a size word per level (PC) or one total (XBOX), and
// nothing after the last level.
std::string level_misfit(std::span<const uint8_t> data, const pc_free_fields& f,
                         const pc_header_fields& h) {
    byte_reader in(data);
    in.seek(pc_header_bytes + uint64_t(h.palette_bytes), "palette");
    if (f.layout == pc_layout::xbox) {
        uint64_t total = 0;
        for (uint32_t level = 0; level < f.levels; ++level)
            total += pc_level_bytes(f, level);
        const uint32_t stored = in.u32("level bytes");
        if (!in.ok()) return "no level size word";
        if (stored != total) return "level bytes " + hex(stored) + ", expected " + hex(total);
        in.skip(total, "levels");
    } else {
        for (uint32_t level = 0; level < f.levels; ++level) {
            const uint32_t stored = in.u32("level size");
            if (!in.ok()) return "level " + std::to_string(level) + " is missing";
            if (stored != pc_level_bytes(f, level))
                return "level " + std::to_string(level) + " size " + hex(stored) + ", expected " +
                       hex(pc_level_bytes(f, level));
            in.skip(stored, "level");
        }
    }
    if (!in.ok()) return "the levels run past the Struct";
    if (in.remaining() != 0) return std::to_string(in.remaining()) + " bytes after the last level";
    return {};
}

struct texture_check {
    std::span<uint8_t> data;
    pc_free_fields fields;
    pc_header_fields expected;
    bool transparent = false; // some texel of level 0 has alpha below 255
    bool pixels_read = false;
};

std::optional<texture_check> check_of(ps2_txd& txd, uint32_t t, std::string& error) {
    texture_check c;
    c.data = txd.texture_struct(t);
    const auto fields = pc_free_fields_of(c.data, error);
    if (!fields) return std::nullopt;
    c.fields = *fields;
    c.transparent = pc_level0_has_transparency(txd, t, c.pixels_read);
    // D3D9's alpha bit follows the pixels; when they cannot be read, the stored bit stands.
    if (c.pixels_read) c.fields.source_alpha = c.transparent;
    c.expected = pc_determined_fields(c.fields);
    return c;
}

// hasAlpha 0 on an alpha format whose pixels are all opaque (D3D8, XBOX): games accept it.
bool opaque_alpha_format_deviation(const texture_check& c, uint32_t stored76) {
    return c.fields.layout != pc_layout::d3d9 && stored76 == 0 && c.expected.word76 == 1 &&
           c.pixels_read && !c.transparent;
}

// D3D9 alpha bit set on DXT1 without a transparent texel (the source's alpha lost in DXT1).
bool dxt1_alpha_bit_deviation(const texture_check& c, uint8_t stored87) {
    return c.fields.layout == pc_layout::d3d9 && c.fields.dxt == 1 &&
           stored87 == (c.expected.byte87 | k_d3d9_alpha_bit) && c.pixels_read && !c.transparent;
}
} // namespace

bool pc_level0_has_transparency(ps2_txd& txd, uint32_t t, bool& ok) {
    ok = false;
    const auto level = txd.level_pixels(t, 0, level_detail::full_colour);
    if (!level) return false;
    const size_t count = size_t(level->width) * level->height;
    const auto pixels = level->pixels;
    bool transparent = false;
    switch (level->depth) {
    case 32:
        if (pixels.size() < count * 4) return false;
        for (size_t i = 0; i < count && !level->opaque; ++i)
            transparent = transparent || pixels[4 * i + 3] < 0xFF;
        break;
    case 16:
        if (pixels.size() < count * 2) return false;
        for (size_t i = 0; i < count; ++i)
            transparent =
                transparent || decode_16bit_pixel(level->code, load_u16(&pixels[2 * i])).a < 0xFF;
        break;
    case 8:
    case 4: {
        // Only the entries the texels use count; 888 palettes carry arbitrary alpha bytes.
        if (pixels.size() < (count * level->depth + 7) / 8) return false;
        const uint32_t pitch = level->depth == 8 ? level->width : (level->width + 1) / 2;
        for (uint32_t y = 0; y < level->height && !level->opaque; ++y)
            for (uint32_t x = 0; x < level->width; ++x) {
                const uint8_t byte = pixels[size_t(y) * pitch + (level->depth == 8 ? x : x / 2)];
                const uint32_t index = level->depth == 8 ? byte : (x % 2 ? byte >> 4 : byte & 0x0F);
                if (4 * size_t(index) + 3 < level->palette.size())
                    transparent = transparent || level->palette[4 * size_t(index) + 3] < 0xFF;
            }
        break;
    }
    default:
        return false;
    }
    ok = true;
    return transparent;
}

std::vector<ps2_problem> lint_pc_textures(ps2_txd& txd) {
    std::vector<ps2_problem> problems;
    if (txd.family() != txd_family::pc_xbox || !txd.root) return problems;
    const uint32_t count = txd.texture_count();
    std::optional<pc_layout> first_layout;
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = txd.texture_name(t, name_kind::texture);
        auto report = [&](std::string what, std::string found, std::string expected,
                          bool accepted = false) {
            ps2_problem problem{t, name, std::move(what), std::move(found), std::move(expected)};
            problem.accepted = accepted;
            problems.push_back(std::move(problem));
        };
        std::string error;
        const auto check = check_of(txd, t, error);
        if (!check) {
            report("header", error, "a PC or XBOX texture header");
            continue;
        }
        const texture_check& c = *check;
        const pc_header_fields& e = c.expected;
        const std::span<const uint8_t> d = c.data;
        if (!first_layout) first_layout = c.fields.layout;
        if (c.fields.layout != *first_layout)
            report("platform", pc_layout_name(c.fields.layout), pc_layout_name(*first_layout));

        const std::string misfit = pc_fields_misfit(c.fields);
        if (!misfit.empty()) {
            report("fields", misfit, "fields a game reads");
            continue;
        }
        if (d[k_offset_filter] != e.filter)
            report("filter mode (byte 4)", hex(d[k_offset_filter]), hex(e.filter));
        if (load_u16(&d[k_offset_filter_pad]) != 0)
            report("bytes 6-7", hex(load_u16(&d[k_offset_filter_pad])), "0x0");
        if (!padding_is_zero(d.subspan(k_offset_name, k_name_bytes)))
            report("name field", "bytes after the NUL", "zeros");
        const auto mask = d.subspan(k_offset_mask, k_name_bytes);
        if (!padding_is_zero(mask) &&
            !(c.fields.layout == pc_layout::d3d9 && mask_is_d3d9_pattern(mask)))
            report("mask field", "bytes after the NUL", "zeros or the D3D9 empty-mask pattern");
        const uint32_t format = load_u32(&d[k_offset_raster_format]);
        if (format != e.raster_format) report("raster format", hex(format), hex(e.raster_format));

        const uint32_t word76 = load_u32(&d[k_offset_word76]);
        if (word76 != e.word76) {
            if (opaque_alpha_format_deviation(c, word76))
                report("hasAlpha (known deviation: alpha format with every texel opaque; games "
                       "accept it)",
                       hex(word76), hex(e.word76), true);
            else if (c.fields.layout == pc_layout::d3d9 && word76 == 0 &&
                     e.word76 == d3d9_format_888)
                report("D3DFORMAT (known deviation: 0 instead of 22 for 888, as a mobile "
                       "editing app writes it)",
                       hex(word76), hex(e.word76));
            else
                report(c.fields.layout == pc_layout::d3d9 ? "D3DFORMAT" : "hasAlpha", hex(word76),
                       hex(e.word76));
        }
        if (d[k_offset_depth] != e.depth)
            report("depth", std::to_string(d[k_offset_depth]), std::to_string(e.depth));
        if (d[k_offset_levels] == 0)
            report("level count (known deviation: 0 with one level stored)", "0", "1");
        if (d[k_offset_raster_type] != e.raster_type)
            report("raster type", std::to_string(d[k_offset_raster_type]),
                   std::to_string(e.raster_type));
        const uint8_t byte87 = d[k_offset_byte87];
        if (byte87 != e.byte87) {
            if (dxt1_alpha_bit_deviation(c, byte87))
                report("byte 87 (known deviation: alpha bit on DXT1 without a transparent "
                       "texel; games accept it)",
                       hex(byte87), hex(e.byte87), true);
            else
                report("byte 87", hex(byte87), hex(e.byte87));
        }
        const std::string levels = level_misfit(d, c.fields, e);
        if (!levels.empty()) report("level data", levels, "sizes that follow the fields");

        // Extension: empty, or on D3D8 the one 4-byte sky mipmap chunk of old files.
        rw_chunk* texture = txd.texture_chunk(t);
        rw_chunk* extension = texture ? texture->child(1) : nullptr;
        const bool sky_only = extension && extension->child_count() == 1 &&
                              extension->child(0)->id == rw_id_sky_mipmap_val &&
                              extension->child(0)->size == k_sky_mipmap_bytes &&
                              c.fields.layout == pc_layout::d3d8;
        if (!extension || extension->id != rw_id_extension || (extension->size != 0 && !sky_only))
            report("Extension", extension ? hex(extension->size) + " bytes" : "missing",
                   "an empty Extension");
        if (texture && texture->child_count() != 2)
            report("texture native", std::to_string(texture->child_count()) + " chunks",
                   "a Struct and an Extension");
    }

    // The dictionary: its device id and one version stamp on every chunk.
    if (first_layout) {
        const uint32_t version = txd.root_version();
        rw_chunk* header = txd.root->child(0);
        const auto* words = header ? txd.load_data(header) : nullptr;
        const uint32_t device = words && words->size() >= 4 ? load_u16(words->data() + 2) : 0;
        const uint32_t expected = pc_device_id(*first_layout, version);
        if (device != expected)
            problems.push_back({0, "", "dictionary device id", std::to_string(device),
                                std::to_string(expected), true, false});
        std::vector<const rw_chunk*> walk{txd.root.get()};
        while (!walk.empty()) {
            const rw_chunk* chunk = walk.back();
            walk.pop_back();
            if (chunk->version != version && !old_style_sky_stamp(*chunk)) {
                problems.push_back({0, "", "version stamp of a chunk " + hex(chunk->id),
                                    hex(chunk->version), hex(version), true, false});
                break;
            }
            for (const auto& child : chunk->children)
                walk.push_back(child.get());
        }
    }
    return problems;
}

bool settle_pc_device_id(ps2_txd& txd) {
    if (txd.family() != txd_family::pc_xbox || !txd.root || txd.texture_count() == 0) return false;
    const auto layout = pc_layout_of(txd.platform_id(0));
    rw_chunk* header = txd.root->child(0);
    auto* words = header && layout ? txd.load_data(header) : nullptr;
    if (!words || words->size() < 4) return false;
    const uint16_t expected = pc_device_id(*layout, txd.root_version());
    if (load_u16(words->data() + 2) == expected) return false;
    store_u16(words->data() + 2, expected);
    header->data_offset = 0;
    return true;
}

uint32_t repair_pc_textures(ps2_txd& txd, std::vector<std::string>* skipped) {
    uint32_t changed = 0;
    if (txd.family() != txd_family::pc_xbox || !txd.root) return 0;
    for (uint32_t t = 0; t < txd.texture_count(); ++t) {
        std::string error;
        const auto check = check_of(txd, t, error);
        if (!check || !pc_fields_misfit(check->fields).empty() ||
            !level_misfit(check->data, check->fields, check->expected).empty()) {
            if (skipped) skipped->push_back(txd.texture_name(t, name_kind::texture));
            continue;
        }
        const texture_check& c = *check;
        const pc_header_fields& e = c.expected;
        std::span<uint8_t> d = c.data;
        uint32_t here = 0;
        auto put8 = [&](uint32_t at, uint8_t value) {
            if (d[at] == value) return;
            d[at] = value;
            ++here;
        };
        auto put32 = [&](uint32_t at, uint32_t value) {
            if (load_u32(&d[at]) == value) return;
            store_u32(&d[at], value);
            ++here;
        };
        put8(k_offset_filter, e.filter);
        if (load_u16(&d[k_offset_filter_pad]) != 0) {
            store_u16(&d[k_offset_filter_pad], 0);
            ++here;
        }
        put32(k_offset_raster_format, e.raster_format);
        if (!opaque_alpha_format_deviation(c, load_u32(&d[k_offset_word76])))
            put32(k_offset_word76, e.word76);
        put8(k_offset_depth, e.depth);
        put8(k_offset_levels, e.level_count);
        put8(k_offset_raster_type, e.raster_type);
        if (!dxt1_alpha_bit_deviation(c, d[k_offset_byte87])) put8(k_offset_byte87, e.byte87);
        if (here) {
            // The edited Struct can no longer be read again from the file.
            txd.texture_chunk(t)->child(0)->data_offset = 0;
            changed += here;
        }
    }
    if (settle_pc_device_id(txd)) ++changed;
    return changed;
}

} // namespace quillmap
