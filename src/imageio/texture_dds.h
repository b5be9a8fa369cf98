#pragma once

#include "dictionary/ps2_txd.h"
#include "raster/dds_file.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace quillmap {

// DDS in and out of a dictionary, through its public operations.

// Texture t with every mip level it has: a PC or XBOX DXT texture keeps its blocks as stored;
// plain 16- and 32-bit textures keep their pixel format (4444 moves its alpha to the top
// nibble, where DDS keeps it); everything else (PS2 and palettised textures) becomes 8888 as the
// preview shows it. False with `error` when level 0 cannot be read.
bool texture_dds(ps2_txd& txd, uint32_t t, dds_image& out, std::string& error);
bool export_texture_dds(ps2_txd& txd, uint32_t t, const std::filesystem::path& path,
                        std::string& error);

} // namespace quillmap
