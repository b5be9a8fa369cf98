#pragma once

#include "raster/display_image.h"

#include <cstdint>
#include <vector>

namespace quillmap {

// An uncompressed BMP file of a display image at 24 or 32 bits per pixel (rows bottom-up as the
// image holds them; a 32-bit image written at 24 bits drops its alpha). Empty when `bits` is
// neither or the image is inconsistent.
std::vector<uint8_t> display_image_to_bmp(const display_image& image, uint32_t bits);

} // namespace quillmap
