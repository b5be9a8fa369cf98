#include "imageio/texture_dds.h"

#include "dictionary/gc_txd.h"
#include "dictionary/ios_txd.h"
#include "dictionary/mobile_texture_build.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_messages.h"
#include "imageio/png_codec.h"
#include "imageio/texture_rgba.h"
#include "raster/pixel_format.h"

#include <algorithm>
#include <optional>

namespace quillmap {

namespace {

uint32_t level_side(uint32_t side, uint32_t level) {
    return std::max<uint32_t>(1, side >> std::min<uint32_t>(level, 31));
}

// The levels of texture t that exist with the sizes a DDS chain gives them, at most `count`.
uint32_t chain_levels(ps2_txd& txd, uint32_t t) {
    return std::clamp<uint32_t>(txd.mip_count(t), 1, k_dds_max_levels);
}

// DXT blocks as stored.
bool stored_dxt(pc_txd& pc, uint32_t t, dds_image& out) {
    const auto first = pc.dxt_blocks(t, 0);
    if (!first) return false;
    out.format = first->dxt == 1   ? dds_format::dxt1
                 : first->dxt == 3 ? dds_format::dxt3
                                   : dds_format::dxt5;
    for (uint32_t level = 0; level < chain_levels(pc, t); ++level) {
        const auto blocks = pc.dxt_blocks(t, level);
        if (!blocks) break;
        out.levels.emplace_back(blocks->bytes.begin(), blocks->bytes.end());
    }
    return true;
}

// A mobile texture's one level of DXT1 / DXT3 blocks as stored.
bool stored_mobile_dxt(ios_txd& mobile, uint32_t t, dds_image& out) {
    std::string ignored;
    const auto fields = mobile_fields_of(mobile.texture_struct(t), ignored);
    if (!fields || !mobile_is_dxt(fields->format)) return false;
    const auto blocks = mobile.stored_level(t, 0);
    if (blocks.empty()) return false;
    out.format = fields->format == mobile_format::dxt1 ? dds_format::dxt1 : dds_format::dxt3;
    out.levels = {std::vector<uint8_t>(blocks.begin(), blocks.end())};
    return true;
}

// A GameCube CMPR texture's blocks as DXT1 blocks: the same colours and indices in the other
// byte and bit order, every level of the chain.
bool stored_cmpr(gc_txd& gc, uint32_t t, dds_image& out) {
    if (gc.compression(t) != 1) return false;
    out.format = dds_format::dxt1;
    for (uint32_t level = 0; level < chain_levels(gc, t); ++level) {
        const auto stored = gc.stored_level(t, level);
        auto blocks =
            gx_cmpr_to_dxt1(level_side(out.width, level), level_side(out.height, level), stored);
        if (blocks.empty()) break;
        out.levels.push_back(std::move(blocks));
    }
    return !out.levels.empty();
}

std::optional<dds_format> plain_format(const native_level& level) {
    // 888 rasters keep 32-bit pixels whose fourth byte is unused.
    if (level.depth == 32 &&
        (level.code == pixel_code::bgra8888 || level.code == pixel_code::rgb888))
        return level.opaque || level.code == pixel_code::rgb888 ? dds_format::xrgb8888
                                                                : dds_format::argb8888;
    if (level.depth != 16) return std::nullopt;
    switch (level.code) {
    case pixel_code::rgb565:
        return dds_format::rgb565;
    case pixel_code::argb1555:
        return dds_format::argb1555;
    case pixel_code::rgb555:
        return dds_format::xrgb1555;
    case pixel_code::rgba4444:
        return dds_format::argb4444;
    default:
        return std::nullopt;
    }
}

// Plain 16- and 32-bit pixels in their own format, level by level.
bool stored_plain(ps2_txd& txd, uint32_t t, dds_image& out) {
    const auto first = txd.level_pixels(t, 0, level_detail::declared);
    if (!first) return false;
    const auto format = plain_format(*first);
    if (!format) return false;
    out.format = *format;
    for (uint32_t level = 0; level < chain_levels(txd, t); ++level) {
        const auto found = txd.level_pixels(t, level, level_detail::declared);
        if (!found || found->code != first->code || found->depth != first->depth ||
            found->width != level_side(out.width, level) ||
            found->height != level_side(out.height, level) ||
            found->pixels.size() != dds_level_bytes(out.format, found->width, found->height))
            break;
        std::vector<uint8_t> bytes(found->pixels.begin(), found->pixels.end());
        if (out.format == dds_format::argb4444)
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                // Alpha from the low nibble to the top one.
                const uint16_t v = load_u16(&bytes[i]);
                store_u16(&bytes[i], uint16_t(v >> 4 | v << 12));
            }
        out.levels.push_back(std::move(bytes));
    }
    return !out.levels.empty();
}

// Every level as the preview shows it, in 8888.
bool rendered(ps2_txd& txd, uint32_t t, dds_image& out, std::string& error) {
    out.format = dds_format::argb8888;
    for (uint32_t level = 0; level < chain_levels(txd, t); ++level) {
        std::string level_error;
        const rgba_image picture = texture_rgba(txd, t, level, level_error);
        if (picture.rgba.empty() || picture.width != level_side(out.width, level) ||
            picture.height != level_side(out.height, level)) {
            if (level == 0) {
                error = level_error.empty() ? txd_msg::raster_layout_short : level_error;
                return false;
            }
            break;
        }
        std::vector<uint8_t> bgra = picture.rgba;
        for (size_t i = 0; i < bgra.size(); i += 4)
            std::swap(bgra[i], bgra[i + 2]);
        out.levels.push_back(std::move(bgra));
    }
    return true;
}

} // namespace

bool texture_dds(ps2_txd& txd, uint32_t t, dds_image& out, std::string& error) {
    out = {};
    if (t >= txd.texture_count()) {
        error = txd_msg::texture_not_exists;
        return false;
    }
    out.width = txd.width(t);
    out.height = txd.height(t);
    bool done = false;
    if (auto* pc = dynamic_cast<pc_txd*>(&txd)) done = stored_dxt(*pc, t, out);
    if (auto* mobile = dynamic_cast<ios_txd*>(&txd)) done = stored_mobile_dxt(*mobile, t, out);
    if (auto* gc = dynamic_cast<gc_txd*>(&txd)) done = stored_cmpr(*gc, t, out);
    // Compressed textures whose blocks could not be taken decode to a reduced 16-bit format as
    // declared; they go through the full-colour picture instead.
    if (!done && txd.family() != txd_family::ps2 && txd.compression(t) == 0) {
        out.levels.clear();
        done = stored_plain(txd, t, out);
    }
    if (!done) {
        out.levels.clear();
        done = rendered(txd, t, out, error);
    }
    txd.release_pixels(t);
    return done;
}

bool export_texture_dds(ps2_txd& txd, uint32_t t, const std::filesystem::path& path,
                        std::string& error) {
    dds_image image;
    if (!texture_dds(txd, t, image, error)) return false;
    const std::vector<uint8_t> bytes = write_dds(image, error);
    return !bytes.empty() && write_bytes(path, bytes, error);
}

} // namespace quillmap
