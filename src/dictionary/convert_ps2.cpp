#include "dictionary/convert_ps2.h"

#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "raster/pixel_format.h"
#include "raster/ps2_swizzling.h"
#include "raster/tim2_file.h"
#include "stream/byte_reader.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
constexpr uint8_t k_ps2_opaque_alpha = 0x80;
// RenderWare's filter modes (the low byte of the texture flags word).
constexpr uint32_t k_filter_nearest = 1;
constexpr uint32_t k_filter_linear = 2;
constexpr uint32_t k_filter_mip_nearest = 3;
constexpr uint32_t k_filter_mip_linear = 4;
constexpr uint32_t k_filter_linear_mip_nearest = 5;
constexpr uint32_t k_filter_linear_mip_linear = 6;

// PS2 rasters keep alpha 0 .. 0x80.
uint8_t ps2_alpha(uint8_t alpha) {
    return static_cast<uint8_t>((alpha + 1) / 2);
}

void put_rgba(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

// Palette bit of a PC raster format whose 16 (or 32) colours are indexed a byte per texel.
constexpr uint32_t k_pc_pal4_bit = 0x4000;
constexpr uint32_t k_4bit_entries = 16;

bool fits_4bit(const std::vector<uint8_t>& indices) {
    return std::all_of(indices.begin(), indices.end(),
                       [](uint8_t i) { return i < k_4bit_entries; });
}

// Indices below 16 packed two a byte, the left pixel in the low nibble.
std::vector<uint8_t> packed_4bit(const std::vector<uint8_t>& indices) {
    std::vector<uint8_t> packed((indices.size() + 1) / 2, 0);
    for (size_t i = 0; i < indices.size(); ++i)
        packed[i / 2] |= uint8_t(indices[i] << (i & 1 ? 4 : 0));
    return packed;
}

// The first 16 entries of a 256-entry palette in the console's slot order, in plain order.
std::vector<uint8_t> palette_4bit(const std::vector<uint8_t>& palette) {
    std::vector<uint8_t> out(size_t(4) * k_4bit_entries, 0);
    for (uint32_t i = 0; i < k_4bit_entries; ++i) {
        const size_t slot = size_t(ps2_swizzling::clut_slot(i)) * 4;
        if (slot + 4 <= palette.size())
            std::copy_n(palette.begin() + ptrdiff_t(slot), 4, out.begin() + 4 * i);
    }
    return out;
}

// An opaque PC palette shows every entry opaque, whatever its alpha byte holds. Entries no texel
// of any level uses show nothing: they take the alpha their stored byte says, so that a PS2
// palette that went through an 888 one comes back as it was.
void keep_unused_alpha(std::span<const uint8_t> stored, ps2_raster& out) {
    const uint32_t entries = uint32_t(out.palette.size() / 4);
    if (out.depth != 8 || entries != 256) return;
    std::vector<bool> used(entries, false);
    for (const uint8_t index : out.pixels)
        used[index] = true;
    for (const auto& further : out.further_levels)
        for (const uint8_t index : further)
            used[index] = true;
    for (uint32_t i = 0; i < entries && 4 * size_t(i) + 3 < stored.size(); ++i)
        if (!used[i])
            out.palette[4 * size_t(ps2_swizzling::clut_slot(i)) + 3] = ps2_alpha(stored[4 * i + 3]);
}

bool from_native(const native_level& level, ps2_raster& out, std::string& error) {
    if (level.width > ps2_txd::k_max_dimension || level.height > ps2_txd::k_max_dimension) {
        error = txd_msg::dimension_limit;
        return false;
    }
    out.width = level.width;
    out.height = level.height;
    out.swizzled = false;
    const size_t count = size_t(level.width) * level.height;
    const uint64_t stored = (uint64_t(count) * level.depth + 7) / 8;
    if (level.pixels.size() < stored) {
        error = platform_msg::struct_short;
        return false;
    }

    if (level.depth == 4 || level.depth == 8) {
        // Index layout is the same (4-bit: left pixel in the low nibble); the palette takes the
        // PS2 alpha scale and, for 256 entries, the console's slot order.
        out.depth = level.depth;
        out.pixels.assign(level.pixels.begin(), level.pixels.begin() + stored);
        const uint32_t entries = 1u << level.depth;
        out.palette.assign(size_t(4) * entries, 0);
        for (uint32_t i = 0; i < entries && 4 * size_t(i) + 3 < level.palette.size(); ++i) {
            const uint8_t* in = &level.palette[4 * size_t(i)];
            const uint32_t slot = entries == 256 ? ps2_swizzling::clut_slot(i) : i;
            put_rgba(&out.palette[4 * size_t(slot)], in[0], in[1], in[2],
                     level.opaque ? k_ps2_opaque_alpha : ps2_alpha(in[3]));
        }
        return true;
    }

    if (level.depth != 16 && level.depth != 24 && level.depth != 32) {
        error = platform_msg::no_pixels;
        return false;
    }
    out.depth = 32;
    out.palette.clear();
    out.pixels.assign(count * 4, 0);
    const uint32_t bytes = level.depth / 8;
    for (size_t i = 0; i < count; ++i) {
        // The size check above covers every pixel.
        const rgba8 c = decode_pc_pixel(level.depth, level.code, level.pixels.data() + i * bytes);
        const uint8_t a = level.depth == 32 && level.opaque ? 0xFF : c.a;
        put_rgba(&out.pixels[4 * i], c.r, c.g, c.b, ps2_alpha(a));
    }
    return true;
}

// A copy of a PS2-layout texture section with every byte in memory, stamped with `version`.
// Data the source had to read for it is released again, so the source stays as it was.
std::unique_ptr<rw_chunk> clone_section(ps2_txd& source, rw_chunk* chunk, uint32_t version,
                                        uint32_t& allocated) {
    auto copy = std::make_unique<rw_chunk>();
    copy->id = chunk->id;
    copy->size = chunk->size;
    copy->version = version;
    allocated += k_chunk_node_bytes;
    if (!chunk->children.empty()) {
        for (const auto& child : chunk->children) {
            auto cloned = clone_section(source, child.get(), version, allocated);
            if (!cloned) return nullptr;
            copy->children.push_back(std::move(cloned));
        }
        return copy;
    }
    const bool was_loaded = chunk->data.has_value();
    const auto* data = source.load_data(chunk);
    if (!data) return nullptr;
    copy->data = *data;
    allocated += static_cast<uint32_t>(data->size());
    if (!was_loaded && chunk->data_offset != 0) {
        source.allocated_bytes -= std::min<uint32_t>(source.allocated_bytes, chunk->size);
        chunk->data.reset();
    }
    return copy;
}
} // namespace

bool ps2_raster_of(ps2_txd& source, uint32_t t, ps2_raster& out, std::string& error) {
    if (t >= source.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    std::optional<native_level> level;
    if (source.family() != txd_family::ps2) {
        level = source.level_pixels(t, 0, level_detail::full_colour);
    } else {
        // Already the PS2 layout: the stored bytes as they stand.
        out.width = source.width(t);
        out.height = source.height(t);
        out.depth = source.depth(t);
        out.swizzled = source.is_swizzled(t);
        const uint64_t pixel_bytes = uint64_t(out.width) * out.height * out.depth / 8;
        const auto pixels = source.pixels(t, 0);
        if (pixel_bytes == 0 || pixels.size() < pixel_bytes) {
            error = platform_msg::no_pixels;
            return false;
        }
        out.pixels.assign(pixels.begin(), pixels.begin() + pixel_bytes);
        out.palette.clear();
        if (out.depth == 4 || out.depth == 8) {
            const auto palette = source.palette(t);
            if (palette.size() < (size_t(4) << out.depth)) {
                error = platform_msg::no_pixels;
                return false;
            }
            out.palette.assign(palette.begin(), palette.begin() + (size_t(4) << out.depth));
        }
        return true;
    }
    if (!level) {
        error = source.last_error;
        return false;
    }
    if (!from_native(*level, out, error)) return false;
    const bool opaque_palette = level->opaque && !level->palette.empty();
    // PC and XBOX Structs keep filter and addressing where PS2 ones do.
    if (source.family() == txd_family::pc_xbox) out.flags = source.texture_flags(t);
    out.levels_before = std::max(source.mip_count(t), 1u);
    // Further mip levels, as far as they can be read and no further than the chain down to 1 x 1
    // (a hostile level count asks for more); the palette is level 0's.
    uint32_t chain = 1;
    for (uint32_t side = std::max(out.width, out.height); side > 1; side /= 2)
        ++chain;
    const uint32_t levels = std::min(source.mip_count(t), chain);
    for (uint32_t n = 1; n < levels; ++n) {
        const auto further = source.level_pixels(t, n, level_detail::full_colour);
        ps2_raster one;
        std::string why;
        if (!further || !from_native(*further, one, why) || one.depth != out.depth) break;
        out.further_levels.push_back(std::move(one.pixels));
    }
    if (opaque_palette && source.family() == txd_family::pc_xbox)
        keep_unused_alpha(source.palette(t), out);
    // The 4-bit palette form of D3D8 stores an index a byte: back to 4 bits when every index
    // fits, so that the texture keeps its depth.
    const bool pal4 = source.family() == txd_family::pc_xbox &&
                      (source.raster_format(t) & k_pc_pal4_bit) && out.depth == 8;
    if (pal4 && fits_4bit(out.pixels) &&
        std::all_of(out.further_levels.begin(), out.further_levels.end(), fits_4bit)) {
        out.pixels = packed_4bit(out.pixels);
        for (auto& further : out.further_levels)
            further = packed_4bit(further);
        out.palette = palette_4bit(out.palette);
        out.depth = 4;
    }
    return true;
}

bool write_tim2_of(ps2_txd& source, uint32_t t, const std::filesystem::path& target,
                   std::string& error) {
    ps2_raster raster;
    if (!ps2_raster_of(source, t, raster, error)) return false;
    tim2_file file;
    if (!file.add_picture(raster.width, raster.height, raster.depth, raster.pixels, raster.palette,
                          false)) {
        error = file.last_error;
        return false;
    }
    file.mark_source_swizzled(0, false);
    if (file.write(target) != 0) return true;
    error = file.last_error;
    return false;
}

uint32_t flags_for_levels(uint32_t flags, uint32_t levels, uint32_t levels_before) {
    if (levels <= 1) {
        if (levels_before <= 1) return flags; // the filter is the texture's own choice
        // The levels went: the mip filter goes back to the filter it varies.
        const uint32_t filter = flags & 0xFF;
        const uint32_t plain =
            filter == k_filter_mip_nearest || filter == k_filter_mip_linear ? k_filter_nearest
            : filter == k_filter_linear_mip_nearest || filter == k_filter_linear_mip_linear
                ? k_filter_linear
                : filter;
        return (flags & ~uint32_t{0xFF}) | plain;
    }
    const uint32_t filter = flags & 0xFF;
    const uint32_t mip_filter = filter == k_filter_nearest  ? k_filter_mip_nearest
                                : filter == k_filter_linear ? k_filter_linear_mip_linear
                                                            : filter;
    return (flags & ~uint32_t{0xFF}) | mip_filter;
}

std::unique_ptr<rw_chunk> build_raster_texture(ps2_txd& target, const ps2_raster& raster,
                                               const std::string& name, const std::string& mask,
                                               uint32_t* dropped_levels) {
    const uint8_t* palette = raster.palette.empty() ? nullptr : raster.palette.data();
    if (raster.swizzled)
        return target.build_texture_native(mask, raster.pixels.data(), name, raster.width,
                                           raster.height, raster.depth, palette, true);
    return target.build_texture(texture_source_of(raster, name, mask), dropped_levels);
}

ps2_texture_source texture_source_of(const ps2_raster& raster, const std::string& name,
                                     const std::string& mask) {
    ps2_texture_source source;
    source.name = name;
    source.mask = mask;
    source.width = raster.width;
    source.height = raster.height;
    source.depth = raster.depth;
    source.levels.emplace_back(raster.pixels);
    for (const auto& level : raster.further_levels)
        source.levels.emplace_back(level);
    source.palette = raster.palette;
    source.flags = flags_for_levels(raster.flags, uint32_t(source.levels.size()),
                                    std::max(raster.levels_before, uint32_t(source.levels.size())));
    return source;
}

bool convert_to_ps2(ps2_txd& source, ps2_txd& target, std::string& error,
                    std::vector<std::string>* skipped, const raster_transform* transform) {
    if (!source.root) {
        source.last_error = rw_msg::not_opened;
        error = rw_msg::not_opened;
        return false;
    }
    const uint32_t version = source.root_version();
    target.create_empty(version);
    const bool ps2_layout_class = source.family() == txd_family::ps2;
    const uint32_t count = source.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = source.texture_name(t, name_kind::texture);
        std::unique_ptr<rw_chunk> texture;
        if (ps2_layout_class && source.platform_id(t) == stored_platform::ps2) {
            // PS2 textures stay exactly as they are.
            rw_chunk* chunk = source.texture_chunk(t);
            texture =
                chunk ? clone_section(source, chunk, version, target.allocated_bytes) : nullptr;
        } else {
            ps2_raster raster;
            std::string why;
            if (ps2_raster_of(source, t, raster, why)) {
                raster.name = name;
                if (transform && *transform && !(*transform)(raster, error)) {
                    source.release_pixels(t);
                    return false;
                }
                texture = build_raster_texture(target, raster, name,
                                               source.texture_name(t, name_kind::mask));
                if (!texture) {
                    error = target.last_error;
                    return false;
                }
            }
        }
        source.release_pixels(t);
        if (!texture) {
            if (skipped) skipped->push_back(name);
            continue;
        }
        // Every texture of the source is kept, also beyond the 255 a user may add.
        if (!target.append_texture(std::move(texture), std::max(count, ps2_txd::k_max_textures))) {
            error = target.last_error;
            return false;
        }
    }
    return true;
}

bool convert_to_ps2(ps2_txd& source, const std::filesystem::path& out, std::string& error,
                    std::vector<std::string>* skipped, const raster_transform* transform) {
    ps2_txd target;
    if (!convert_to_ps2(source, target, error, skipped, transform)) return false;
    if (!target.save(out, 0)) {
        error = target.last_error;
        return false;
    }
    return true;
}

} // namespace quillmap
