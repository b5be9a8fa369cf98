#pragma once

#include "dictionary/ios_txd.h"
#include "dictionary/mobile_texture_build.h"
#include "imageio/pc_levels.h"
#include "imageio/picture.h"
#include "imageio/texture_pc.h"
#include "raster/dds_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Replace, add and mip levels on mobile dictionaries: pictures are encoded as DXT1 / DXT3
// blocks or RGB 565 / RGBA 4444 pixels and the Struct is built anew by mobile_texture_build.

struct mobile_edit_options {
    // none: the texture's own (replace; an opaque format takes its alpha counterpart for a
    // picture with alpha), or for a new texture the kind of the dictionary's first texture
    // (DXT or 16-bit pixels) by the picture's alpha.
    std::optional<mobile_format> format;
    mips_request mips;
    bool resize = false; // as pc_edit_options::resize
};

// The opaque or the alpha format of the kind (DXT or 16-bit pixels) `dxt` names, by `alpha`.
mobile_format mobile_format_for(bool dxt, picture_alpha alpha);
// The format a texture converted from another platform gets when none is asked: DXT1 when the
// picture is opaque, DXT3 otherwise.
mobile_format default_mobile_format(picture_alpha alpha);

// One level as stored: DXT blocks, or 16-bit pixels in rows of the picture's width. Each 8-bit
// channel takes the stored value whose bits, repeated, come nearest: a picture decoded from the
// same format (with its low bits zero or repeated) comes back to the same bytes.
std::vector<uint8_t> encode_mobile_level(const rgba_image& picture, mobile_format format);

// Texture t rebuilt from `image` (level 0; other levels by options.mips); `note` tells what was
// changed on the way.
bool replace_mobile_texture(ios_txd& txd, uint32_t t, const rgba_image& image,
                            const mobile_edit_options& options, std::string& error,
                            std::string& note);
// A DDS of DXT1 / DXT3 blocks in the texture's format and size goes in untouched (level 0);
// any other is decoded and replaced as a picture.
bool replace_mobile_texture_dds(ios_txd& txd, uint32_t t, const dds_image& dds,
                                const mobile_edit_options& options, std::string& error,
                                std::string& note);
bool add_mobile_texture(ios_txd& txd, const rgba_image& image, const std::string& name,
                        const mobile_edit_options& options, std::string& error, std::string& note);
// Level 0 stays byte for byte; the levels below it are built from its picture. DXT textures
// keep one level: asking them for more fails and says so.
bool set_mobile_mips(ios_txd& txd, uint32_t t, mips_request mips, std::string& error,
                     std::string& note);

} // namespace quillmap
