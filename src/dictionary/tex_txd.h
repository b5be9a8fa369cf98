#pragma once

#include "dictionary/ps2_txd.h"

#include <array>
#include <cstdint>

namespace quillmap {

// The texture containers of some PS2 and PSP games (.tex, .xtx, .chk): a header and a circular
// list of texture records linked through absolute file positions. Loading turns them into an
// ordinary PS2 dictionary in memory; everything after that is ps2_txd's.
class tex_txd : public ps2_txd {
  public:
    bool load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
              uint32_t flags) override;
    // The pixels exist only in memory.
    bool release_pixels(uint32_t) override { return false; }
    uint32_t compression(uint32_t) override { return 0; }

    static constexpr uint32_t k_magic = 0x00746578; // 'x', 'e', 't', 0
    static constexpr uint32_t k_header_bytes = 32;
    static constexpr uint32_t k_list_head_offset = 40;
    static constexpr uint32_t k_record_bytes = 80;
    static constexpr uint32_t k_record_link_offset = 8;
    static constexpr uint32_t k_record_name_offset = 16;
    static constexpr uint32_t k_record_mask_offset = 48;
    static constexpr uint32_t k_name_field_bytes = 32;
    static constexpr uint32_t k_raster_header_bytes = 16;
    // A dictionary holds at most 255 textures, so a longer list is damaged.
    static constexpr uint32_t k_max_records = 255;
    // Largest dimension exponent: the PS2 texture limit.
    static constexpr uint32_t k_max_dimension_log2 = raster_limits::k_max_ps2_dimension_log2;

    std::array<uint8_t, k_header_bytes> header{};
    uint32_t start = 0;

  private:
    std::unique_ptr<rw_chunk> build_stored_texture(const std::string& mask_name,
                                                   const uint8_t* pixels,
                                                   const std::string& texture_name, uint32_t width,
                                                   uint32_t height, uint32_t depth,
                                                   const uint8_t* palette, bool swizzled);
};

} // namespace quillmap
