#pragma once

#include "dictionary/decoded_raster.h"
#include "dictionary/native_level.h"
#include "dictionary/ps2_txd.h"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// Texture dictionaries in the Direct3D layout (platform word 8 or 9): every texture keeps its
// names, sizes, raster format, palette and levels in its one Struct chunk. Serves viewing and
// export; the chunk-tree operations (delete, move, save) are those of ps2_txd.
class pc_txd : public ps2_txd {
  public:
    pc_txd() = default;
    ~pc_txd() override = default;

    bool load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
              uint32_t flags) override;
    std::string texture_name(uint32_t t, name_kind which) override;
    bool export_texture(uint32_t t, view_mode mode, export_type type,
                        const std::filesystem::path* path, swizzle_mode swizzle) override;
    bool is_swizzled(uint32_t) override { return false; }
    uint32_t depth(uint32_t t) override;
    uint32_t width(uint32_t t) override;
    uint32_t height(uint32_t t) override;
    std::span<uint8_t> pixels(uint32_t t, uint32_t level) override;
    std::span<uint8_t> palette(uint32_t t) override;
    bool release_pixels(uint32_t t) override;
    device_bitmap render(uint32_t t, view_mode mode, swizzle_mode swizzle, bool* state_out,
                         uint32_t level) override;
    uint32_t compression(uint32_t t) override;
    uint32_t mip_count(uint32_t t) override;
    uint32_t raster_format(uint32_t t) override;
    // Writes the Struct's own 32-byte name field; never adds a String chunk.
    bool rename_texture(uint32_t t, const std::string& name, name_kind which) override;

    bool is_pc_texture(uint32_t t);

    // Level `level` of texture t exactly as stored (DXT blocks, padded rows); empty with
    // last_error when the texture has no such level inside its Struct.
    std::span<const uint8_t> stored_level(uint32_t t, uint32_t level);

    // Level `level` of texture t, every byte of it inside the Struct data; none (with
    // last_error) when the texture has no such level or its fields do not fit the Struct.
    std::optional<native_level> level_pixels(uint32_t t, uint32_t level,
                                             level_detail detail = level_detail::declared) override;
    txd_family family() const override { return txd_family::pc_xbox; }

    // The blocks of level `level` of a DXT texture as stored (exactly the level's bytes), with
    // the DXT kind they decode with (1, 3 or 5). None when the texture holds no DXT blocks or
    // the level is not all there; the bytes live until the next release or edit.
    struct stored_blocks {
        uint32_t dxt = 0;
        std::span<const uint8_t> bytes;
    };
    std::optional<stored_blocks> dxt_blocks(uint32_t t, uint32_t level);

    // Longest name the 32-byte name fields hold (with their NUL).
    static constexpr uint32_t k_max_name_length = 31;

    // Struct field offsets shared by the PC and XBOX layouts.
    static constexpr uint32_t k_offset_platform = 0;
    static constexpr uint32_t k_offset_name = 8;
    static constexpr uint32_t k_offset_mask_name = 40;
    static constexpr uint32_t k_name_field_bytes = 32;
    static constexpr uint32_t k_offset_raster_format = 72;
    static constexpr uint32_t k_offset_format_word = 76;
    static constexpr uint32_t k_offset_width = 80;
    static constexpr uint32_t k_offset_height = 82;
    static constexpr uint32_t k_offset_depth = 84;
    static constexpr uint32_t k_offset_mip_count = 85;
    static constexpr uint32_t k_offset_compression = 87;
    static constexpr uint32_t k_offset_palette = 88;
    // Levels are searched at most this deep, whatever the mip count field says.
    static constexpr uint32_t k_max_levels = 16;

  protected:
    // Where a level's stored bytes lie inside the Struct data.
    struct level_span {
        uint64_t offset = 0;
        uint64_t bytes = 0;
    };
    struct texture_layout {
        uint32_t width = 0, height = 0, depth = 0;
        uint32_t raster_format = 0;
        uint32_t palette_bytes = 0; // as stored
        uint32_t levels_declared = 0;
        uint32_t dxt = 0; // 0 none, else the DXT kind the blocks decode with (1, 3, 5)
        std::vector<level_span> levels; // the levels found inside the Struct data
    };

    // Reads the fixed fields and locates the palette and the levels; none (with last_error) when
    // the fixed fields or the palette do not fit. Levels that do not fit are simply not listed.
    std::optional<texture_layout> layout(uint32_t t);
    // Why texture t's Struct does not fit the layout (sizes, depth, palette and level 0 inside
    // the Struct); empty when it fits. The platform word is checked by each class itself.
    std::string layout_misfit(uint32_t t);
    // Whether texture Struct `data` says the texture has no alpha (its has-alpha field or flag).
    bool says_no_alpha(std::span<const uint8_t> data) const;
    // Where this platform keeps its levels; PC: a size word before each level.
    virtual void locate_levels(std::span<const uint8_t> data, texture_layout& layout);
    // Whether a level that is not stored renders level 0 instead of nothing.
    virtual bool missing_levels_show_level0() const { return false; }
    // DXT kind the compression value decodes with: 0 for uncompressed data, k_no_pixels when
    // the data cannot be shown at all.
    virtual uint32_t dxt_kind(uint32_t compression_value) const;
    static constexpr uint32_t k_no_pixels = 0xFF;
    // Output layout of decoded DXT pixels for rendering (a 16-bit code, or 0x8888 at 32 bits).
    uint32_t dxt_render_code(uint32_t t, const texture_layout& layout);
    // Stored palette bytes: 4·2^depth, 32 entries for the 4-bit palette flag.
    static uint32_t stored_palette_bytes(uint32_t depth, uint32_t raster_format);
    // Bytes of one level of w×h at the layout's depth or DXT kind.
    static uint64_t level_bytes(const texture_layout& layout, uint32_t level);
    // Bytes per stored row of an uncompressed level: its texels padded to a multiple of 4.
    static uint64_t level_pitch(const texture_layout& layout, uint32_t level);

    bool write_bitmap(const native_level& level, view_mode mode, const std::filesystem::path& path);
    bool export_raw_section(uint32_t t, const std::filesystem::path& path);
    std::filesystem::path export_path(uint32_t t, view_mode mode, export_type type,
                                      const std::filesystem::path* path);

    decoded_raster decoded;
};

} // namespace quillmap
