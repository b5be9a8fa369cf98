#include "imageio/texture_rgba.h"

namespace quillmap {

device_bitmap rendered_level(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode,
                             swizzle_mode swizzle, std::string& error) {
    txd.last_error.clear();
    device_bitmap picture = txd.render(t, mode, swizzle, nullptr, level);
    if (!picture || picture->width == 0 || picture->height == 0) {
        error = txd.last_error.empty()
                    ? "Texture " + std::to_string(uint64_t(t) + 1) + " has no picture at level " +
                          std::to_string(level) + "."
                    : txd.last_error;
        return {};
    }
    return picture;
}

rgba_image rgba_of_display(const display_image& image) {
    const uint32_t bytes_per_pixel = image.bits / 8;
    rgba_image rgba;
    rgba.width = image.width;
    rgba.height = image.height;
    rgba.rgba.resize(size_t(image.width) * image.height * 4);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.top_row(y);
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = row + x * bytes_per_pixel;
            uint8_t* q = rgba.pixel(x, y);
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = bytes_per_pixel == 4 ? p[3] : 255;
        }
    }
    return rgba;
}

rgba_image texture_rgba(ps2_txd& txd, uint32_t t, uint32_t level, std::string& error) {
    const device_bitmap picture =
        rendered_level(txd, t, level, view_mode::mixed, swizzle_mode::as_stored, error);
    if (!picture) return {};
    rgba_image rgba = rgba_of_display(*picture);
    txd.release_pixels(t);
    return rgba;
}

} // namespace quillmap
