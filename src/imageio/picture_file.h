#pragma once

#include "imageio/png_codec.h"

#include <filesystem>
#include <string>

// A picture file a texture is replaced or added from, told by its extension: DDS (level 0,
// decoded to RGBA) or else PNG. False with `error` naming the file and the cause.
bool read_picture_file(const std::filesystem::path& path, png_picture& out, std::string& error);
