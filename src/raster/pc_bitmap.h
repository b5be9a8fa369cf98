#pragma once

#include "raster/ps2_bitmap.h"

namespace quillmap {

// PC and XBOX rasters: palettes red, green, blue, alpha in plain order, 32-bit pixels blue,
// green, red, alpha, 8-bit alpha, 16-bit pixels in any of the pixel_code layouts.
class pc_bitmap : public ps2_bitmap {
  public:
    int palette_to_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                       uint32_t count, view_mode mode) override;
    int convert_16bit(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                      view_mode mode, uint32_t source_code, uint32_t target_code) override;
    int convert_32bit(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                      view_mode mode) override;
    uint8_t expand_alpha(uint8_t alpha) override;

    // Hides ps2_bitmap's form: 16-bit pixels are read in `code`'s layout (an unknown code as
    // 1-5-5-5). The picture is 32 bits per pixel; alpha is kept for target depth 32 and opaque
    // for 24.
    device_bitmap to_display_bitmap(uint32_t target_depth, uint32_t code);
};

} // namespace quillmap
