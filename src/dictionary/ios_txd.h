#pragma once

#include "dictionary/decoded_raster.h"
#include "dictionary/native_level.h"
#include "dictionary/ps2_txd.h"

#include <array>
#include <memory>
#include <optional>

namespace quillmap {

// Texture dictionaries of the mobile ports (platform words 9 DXT, 10 PVR, 11 ATC, 12
// uncompressed). Their chunk sizes cannot be trusted, so dictionaries and texture natives are
// read by counting their children. Viewing and Windows Bitmap export only.
class ios_txd : public ps2_txd {
  public:
    // The counted walk: a dictionary is its Struct, as many texture natives as the Struct's first
    // word says and an Extension; a texture native is a Struct and an Extension. The sizes held
    // in memory are the sums of what was read. The walk ends at the end of the file.
    std::unique_ptr<rw_chunk> read_chunk(uint32_t offset, rw_chunk* parent,
                                         uint32_t index) override;
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
    std::span<uint8_t> palette(uint32_t) override { return {}; }
    // The Struct data stays in memory.
    bool release_pixels(uint32_t) override { return false; }
    device_bitmap render(uint32_t t, view_mode mode, swizzle_mode swizzle, bool* state_out,
                         uint32_t level) override;
    uint32_t compression(uint32_t t) override;
    uint32_t mip_count(uint32_t t) override;
    uint32_t raster_format(uint32_t t) override;
    // Writes the Struct's own 32-byte name field (the texture name at 32, the mask at 64).
    bool rename_texture(uint32_t t, const std::string& name, name_kind which) override;

    bool is_mobile_texture(uint32_t t);
    bool is_mobile_uncompressed(uint32_t t);
    uint32_t mobile_pixel_format(uint32_t t);
    // The texture's own layout by its alpha byte: 0x4444 (DXT3 blocks, 4444 pixels) or 0x565
    // (DXT1 blocks, 565 pixels).
    uint32_t stored_pixel_code(uint32_t t) { return render_code(t); }

    // Level `level` of texture t exactly as stored (16-bit pixels or DXT blocks); empty with
    // last_error when the Struct does not hold it whole or the texture has no pixels.
    std::span<const uint8_t> stored_level(uint32_t t, uint32_t level);

    // Level `level` of texture t inside the Struct data; none (with last_error) for PVR and ATC
    // textures and for levels that do not fit.
    std::optional<native_level> level_pixels(uint32_t t, uint32_t level,
                                             level_detail detail = level_detail::declared) override;
    txd_family family() const override { return txd_family::mobile; }

    static constexpr uint32_t k_offset_platform = 0;
    static constexpr uint32_t k_offset_name = 32;
    static constexpr uint32_t k_offset_mask_name = 64;
    static constexpr uint32_t k_name_field_bytes = 32;
    static constexpr uint32_t k_offset_alpha = 98;
    static constexpr uint32_t k_offset_width = 100;
    static constexpr uint32_t k_offset_height = 102;
    static constexpr uint32_t k_offset_block_word = 108;
    static constexpr uint32_t k_offset_pixels = 116;
    static constexpr uint32_t k_offset_dxt3_blocks = 148;
    static constexpr uint32_t k_offset_dxt1_blocks = 152;
    // The word at 108 that moves DXT1 blocks of a texture without alpha to 148.
    static constexpr uint32_t k_block_word_early = 10968;
    static constexpr uint32_t k_max_levels = 16;

  private:
    // Why texture t does not fit the mobile layout (platform, sizes, blocks or pixels inside
    // the Struct); empty when it fits.
    std::string misfit(uint32_t t);
    uint32_t platform_word(uint32_t t);
    bool has_alpha(uint32_t t);
    // The 16-bit layout platform-12 pixels and decoded DXT pixels are shown in.
    uint32_t render_code(uint32_t t);
    std::unique_ptr<rw_chunk> read_counted(std::unique_ptr<rw_chunk> node);

    decoded_raster decoded;
};

} // namespace quillmap
