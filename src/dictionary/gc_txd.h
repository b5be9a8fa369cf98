#pragma once

#include "dictionary/decoded_raster.h"
#include "dictionary/gc_raster_header.h"
#include "dictionary/native_level.h"
#include "dictionary/ps2_txd.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// Texture dictionaries of the GameCube (platform word 6, read big-endian): every texture keeps
// its names, sizes, formats, palette and whole-tile levels in its one Struct chunk
// (gc_raster_header.h). The chunk-tree operations (delete, move, save) are those of ps2_txd.
class gc_txd : public ps2_txd {
  public:
    bool load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
              uint32_t flags) override;
    std::string texture_name(uint32_t t, name_kind which) override;
    // BMP, TIM2 (in the PS2 raster's layout) or the raw section.
    bool export_texture(uint32_t t, view_mode mode, export_type type,
                        const std::filesystem::path* path, swizzle_mode swizzle) override;
    bool is_swizzled(uint32_t) override { return false; }
    uint32_t depth(uint32_t t) override;
    uint32_t width(uint32_t t) override;
    uint32_t height(uint32_t t) override;
    std::span<uint8_t> pixels(uint32_t t, uint32_t level) override;
    // The palette widened to red, green, blue, alpha (4·2^depth bytes), held until the next call.
    std::span<uint8_t> palette(uint32_t t) override;
    bool release_pixels(uint32_t t) override;
    device_bitmap render(uint32_t t, view_mode mode, swizzle_mode swizzle, bool* state_out,
                         uint32_t level) override;
    // 1 for CMPR (the DXT1 block kind), else 0.
    uint32_t compression(uint32_t t) override;
    // The stored level count, bounded by the full chain of the size (at least 1).
    uint32_t mip_count(uint32_t t) override;
    uint32_t raster_format(uint32_t t) override;
    uint32_t platform_id(uint32_t t) override;
    uint32_t texture_flags(uint32_t t) override;
    bool rename_texture(uint32_t t, const std::string& name, name_kind which) override;
    txd_family family() const override { return txd_family::gamecube; }

    // C4 and C8 levels: the indices (4-bit: left texel in the low nibble) with the widened
    // palette; every other format decoded to 32-bit blue, green, red, alpha.
    std::optional<native_level> level_pixels(uint32_t t, uint32_t level,
                                             level_detail detail = level_detail::declared) override;

    bool is_gc_texture(uint32_t t);
    // Every header field of texture t; none (with last_error) when the Struct is too short.
    std::optional<gc_fields> fields(uint32_t t);
    // Level `level` as stored, in whole tiles; empty with last_error when it is not all there.
    std::span<const uint8_t> stored_level(uint32_t t, uint32_t level);
    // The stored palette entries (big-endian u16s); empty without a palette.
    std::span<const uint8_t> stored_palette(uint32_t t);
    // The level as 8-bit RGBA texels, row by row; empty with last_error when not stored.
    std::vector<rgba8> level_rgba(uint32_t t, uint32_t level);
    // The palette colours in index order; empty without a palette.
    std::vector<rgba8> palette_colours(uint32_t t);

    static constexpr uint32_t k_max_name_length = 31;

  private:
    // Why texture t does not fit the GameCube layout; empty when it fits.
    std::string misfit(uint32_t t);
    // Offset of level `level` inside the Struct and its bytes; none when it is not all there.
    std::optional<std::pair<uint64_t, uint64_t>> level_span(uint32_t t, uint32_t level);

    decoded_raster decoded;
    std::vector<uint8_t> palette_rgba_;
};

} // namespace quillmap
