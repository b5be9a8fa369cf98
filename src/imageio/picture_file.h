#pragma once

#include "imageio/png_codec.h"

#include <filesystem>
#include <string>

namespace quillmap {

// A picture file a texture is replaced or added from, told by its extension: DDS (level 0,
// decoded to RGBA), Windows Bitmap, TIM2 (picture 0, level 0) or else PNG. Palette pictures
// (BMP of 1, 4 or 8 bits, TIM2 of 4 or 8 bits) come with their indices and palette too. BMP
// files carry no alpha unless `bmp_alpha` (the fourth byte of 32-bit pixels and of palette
// entries, which most painting programs leave 0). False with `error` naming the file and the
// cause.
bool read_picture_file(const std::filesystem::path& path, png_picture& out, std::string& error,
                       bool bmp_alpha = false);

} // namespace quillmap
