#pragma once

#include "dictionary/pc_txd.h"

namespace quillmap {

// Texture dictionaries of the XBOX (platform word 5). The texture native is read at the PC
// offsets; detection, the compression byte and the place of the levels differ.
class xbox_txd : public pc_txd {
  public:
    bool load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
              uint32_t flags) override;
    uint32_t compression(uint32_t t) override;

    bool is_xbox_texture(uint32_t t);

  protected:
    uint32_t dxt_kind(uint32_t compression_value) const override;
    bool missing_levels_show_level0() const override { return true; }
    // Level 0 follows the palette and one 32-bit word. Further levels are taken only when the
    // data is there: each behind a size word as on the PC, or one after another when the word
    // after the palette is the byte count of all of them.
    void locate_levels(std::span<const uint8_t> data, texture_layout& layout) override;
};

} // namespace quillmap
