#pragma once

#include "dictionary/convert_ps2.h"
#include "dictionary/mobile_texture_build.h"
#include "dictionary/ps2_txd.h"
#include "imageio/pc_levels.h"
#include "imageio/picture.h"
#include "imageio/png_writer.h"
#include "imageio/replace_levels.h"
#include "imageio/texture_gc.h"
#include "imageio/texture_rgba.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// PNG in and out of a dictionary. Everything here works through the dictionary's public
// operations, so the core stays free of the picture libraries.

// The PNG of texture t at mip `level` in view `mode` (texture or alpha; mixed is taken as
// texture). A palettised PS2 texture in texture view becomes a palette PNG with its entries in
// logical order, so no colour changes; every other texture becomes RGBA as the preview shows it
// with alpha 0..255; alpha view gives a grey PNG. `swizzle` as for rendering (-1 as stored).
// `options` trade file size for time.
bool texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode, swizzle_mode swizzle,
                 std::vector<uint8_t>& png, std::string& error,
                 const png_write_options& options = {});
bool export_texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode,
                        swizzle_mode swizzle, const std::filesystem::path& path, std::string& error,
                        const png_write_options& options = {});

// Replaces level 0 of PS2 texture t from a PNG of the same size, keeping the texture's depth. A
// palette PNG whose palette fits the depth is taken as it is; other pictures are quantized to
// the texture's palette size. The other mip levels follow `levels` (replace_levels.h); rebuilt
// ones come from the PNG's own colours. `note` tells when colours were reduced.
bool replace_texture_png(ps2_txd& txd, uint32_t t, const std::filesystem::path& path, bool dither,
                         std::string& error, std::string& note,
                         other_levels levels = other_levels::follow_palette);

struct png_add_options {
    uint32_t depth = 8; // 4, 8 or 32
    // Levels wanted; 0 = RenderWare's own count, k_mips_keep = the file's own (a DDS's levels).
    uint32_t mips = k_mips_keep;
    bool swizzle = true;
    bool resize = false; // scale a size that is not a power of two to the nearest one
    // When both are set: the power-of-two size the picture is scaled to, whatever its own.
    uint32_t width = 0;
    uint32_t height = 0;
    bool dither = true;
    // PC and XBOX dictionaries: the format asked for (none: DXT1 or DXT5 by the alpha).
    std::optional<pc_format> format;
    // Mobile dictionaries: the format asked for (none: the first texture's kind by the alpha).
    std::optional<mobile_format> mobile;
    // GameCube dictionaries: the format asked for (none: CMPR or RGBA8 by the alpha).
    std::optional<gc_format> gamecube;
};

// Adds a new PS2 texture named after the file's stem. `note` tells what was changed on the way
// (colours reduced, levels limited, size scaled).
bool add_texture_png(ps2_txd& txd, const std::filesystem::path& path,
                     const png_add_options& options, std::string& error, std::string& note);

} // namespace quillmap
