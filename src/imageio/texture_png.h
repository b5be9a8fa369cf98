#pragma once

#include "dictionary/convert_ps2.h"
#include "dictionary/ps2_txd.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// PNG in and out of a dictionary. Everything here works through the dictionary's public
// operations, so the core stays free of the picture libraries.

// The PNG of texture t at mip `level` in view `mode` (texture or alpha; mixed is taken as
// texture). A palettised PS2 texture in texture view becomes a palette PNG with its entries in
// logical order, so no colour changes; every other texture becomes RGBA as the preview shows it
// with alpha 0..255; alpha view gives a grey PNG. `swizzle` as for rendering (-1 as stored).
bool texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode, swizzle_mode swizzle,
                 std::vector<uint8_t>& png, std::string& error);
bool export_texture_png(ps2_txd& txd, uint32_t t, uint32_t level, view_mode mode,
                        swizzle_mode swizzle, const std::filesystem::path& path,
                        std::string& error);

// Replaces level 0 of PS2 texture t from a PNG of the same size, keeping the texture's depth. A
// palette PNG whose palette fits the depth is taken as it is; other pictures are quantized to
// the texture's palette size. Other mip levels stay as they are unless `regenerate_mips`, which
// rebuilds them from the new picture with level 0's palette. `note` tells when colours were
// reduced.
bool replace_texture_png(ps2_txd& txd, uint32_t t, const std::filesystem::path& path, bool dither,
                         std::string& error, std::string& note, bool regenerate_mips = false);

struct png_add_options {
    uint32_t depth = 8; // 4, 8 or 32
    uint32_t mips = 1;  // levels wanted; 0 = RenderWare's own count
    bool swizzle = true;
    bool resize = false; // scale a size that is not a power of two to the nearest one
    bool dither = true;
};

// Adds a new PS2 texture named after the file's stem. `note` tells what was changed on the way
// (colours reduced, levels limited, size scaled).
bool add_texture_png(ps2_txd& txd, const std::filesystem::path& path,
                     const png_add_options& options, std::string& error, std::string& note);

// For convert_to_ps2: textures of other platforms at `depth` (4, 8 or 32; 0 keeps theirs)
// with `mips` levels (0 = RenderWare's own count, 1 = none).
raster_transform depth_transform(uint32_t depth, uint32_t mips, bool dither);
