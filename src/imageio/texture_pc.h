#pragma once

#include "dictionary/pc_txd.h"
#include "imageio/pc_levels.h"
#include "imageio/picture.h"
#include "raster/dds_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillmap {

// Replace, add and mip levels on Direct3D 8, Direct3D 9 and XBOX dictionaries: pictures are
// encoded in the texture's (or the asked) format and the Struct is built anew by
// pc_texture_build, so every header word is the one the games' converters write.

// What happens to the mip levels: kept as stored, rebuilt from the new level 0, or a new count
// (auto: the full chain down to 1x1).
enum class mips_mode { keep, regenerate, count, full_chain };
struct mips_request {
    mips_mode mode = mips_mode::keep;
    uint32_t count = 1; // for mips_mode::count
};

struct pc_edit_options {
    std::optional<pc_format> format; // none: the texture's own (replace) or by alpha (add)
    mips_request mips;
    bool resize = false; // scale a picture of another size (replace) or a side that is no
                         // power of two (add)
    bool dither = true;
};

// The layout new textures of `txd` take: the platform of its first texture; an empty
// dictionary's device id tells D3D9 (2) from D3D8, the XBOX class gives XBOX.
pc_layout layout_for_new_textures(pc_txd& txd);

// Texture t's level 0 and every other level rebuilt from `image` (a palette picture as
// `given`, may be none) in t's own format unless options.format names another. `note` tells
// what was changed on the way (scaled, colours reduced).
bool replace_pc_texture(pc_txd& txd, uint32_t t, const rgba_image& image,
                        const indexed_image* given, const pc_edit_options& options,
                        std::string& error, std::string& note);

// A new texture named `name` from `image`; the format by options or by the picture's alpha.
bool add_pc_texture(pc_txd& txd, const rgba_image& image, const indexed_image* given,
                    const std::string& name, const pc_edit_options& options, std::string& error,
                    std::string& note);

// Gives texture t the mip levels asked for: level 0 stays byte for byte, levels below it are
// rebuilt from its picture (regenerate, a count, the full chain) or kept (keep).
bool set_pc_mips(pc_txd& txd, uint32_t t, mips_request mips, bool dither, std::string& error,
                 std::string& note);

// The texture format that stores a DDS format's levels as they stand (DXT1/3/5, 8888, and 888
// for X8R8G8B8); none for formats that are decoded first.
std::optional<pc_format> pc_format_of_dds(dds_format format);

// Replace and add from a DDS: levels in the texture's format go in untouched (a texture's own
// DDS export gives its bytes back); other DDS files are decoded and encoded as a picture.
bool replace_pc_texture_dds(pc_txd& txd, uint32_t t, const dds_image& dds,
                            const pc_edit_options& options, std::string& error, std::string& note);
bool add_pc_texture_dds(pc_txd& txd, const dds_image& dds, const std::string& name,
                        const pc_edit_options& options, std::string& error, std::string& note);

// The levels a request asks for at a size, given the count the texture has now.
uint32_t requested_levels(mips_request mips, uint32_t width, uint32_t height, uint32_t current);

} // namespace quillmap
