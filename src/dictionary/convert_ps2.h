#pragma once

#include "dictionary/ps2_txd.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillmap {

// A mip level count asked for that means: the levels the source holds (a DDS's, a converted
// texture's), one for a picture without levels.
inline constexpr uint32_t k_mips_keep = 0xFFFFFFFF;

// A texture's pixels in the PS2 raster's own formats (palettes and 32-bit pixels red, green,
// blue, alpha 0..0x80; 256-entry palettes in console order), ready for build_raster_texture.
struct ps2_raster {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    std::vector<uint8_t> pixels;  // width·height·depth/8 bytes
    std::vector<uint8_t> palette; // 4·2^depth bytes for depths 4 and 8
    // Level 0 already in swizzled order (taken as stored from a PS2-layout source; one level).
    bool swizzled = false;
    // Mip levels 1, 2, ... in plain row order; empty for one level.
    std::vector<std::vector<uint8_t>> further_levels;
    // The source's filter and addressing word (0: the builder's default); a filter without mip
    // levels becomes its mip variant when the raster has them.
    uint32_t flags = 0;
    // Levels the source texture had (0: as many as the raster holds); fewer here means levels
    // were dropped on the way, and the flags' mip filter goes with them.
    uint32_t levels_before = 0;
    // The source texture's name, for what a transform reports about it.
    std::string name;
};

// The texture flags word for a texture of `levels` levels that had `levels_before`: a nearest or
// linear filter of a mipmapped texture becomes the mip variant of the same filter (nearest:
// mip-nearest, linear: linear-mip-linear); a texture whose levels went takes the filter its mip
// filter varies (mip-nearest, mip-linear: nearest; the linear-mip ones: linear); everything else
// stays, the filter of a texture that had one level too.
uint32_t flags_for_levels(uint32_t flags, uint32_t levels, uint32_t levels_before);

// What the builder takes for `raster` in plain order: sizes, depth, every level and the palette.
ps2_texture_source texture_source_of(const ps2_raster& raster, const std::string& name,
                                     const std::string& mask);

// A texture of `target` built from `raster` as the game's converter lays it out; levels beyond
// RenderWare's own count are left out and counted in `dropped_levels`. None with last_error.
std::unique_ptr<rw_chunk> build_raster_texture(ps2_txd& target, const ps2_raster& raster,
                                               const std::string& name, const std::string& mask,
                                               uint32_t* dropped_levels = nullptr);

// Changes a texture of another platform on its way into the PS2 dictionary (a new depth, mip
// levels) before it is built; false with `error` stops the conversion.
using raster_transform = std::function<bool(ps2_raster& raster, std::string& error)>;

// Level 0 of texture t of any dictionary class in the PS2 layout; false with `error` when the
// texture has no pixels that can be shown.
bool ps2_raster_of(ps2_txd& source, uint32_t t, ps2_raster& out, std::string& error);
// Texture t of a Struct layout written as a TIM2 file: TIM2 pictures hold PS2 rasters, so the
// texture goes in that layout, not as stored. False with `error`.
bool write_tim2_of(ps2_txd& source, uint32_t t, const std::filesystem::path& target,
                   std::string& error);

// Rebuilds every texture of `source` (any dictionary class) as a PS2 texture in a new dictionary
// carrying the source's version stamp, and saves it at `out` (offset 0). Each texture is written
// in the PS2 raster's own layout, so the new file shows the same pictures: palettes and 32-bit
// pixels red, green, blue, alpha 0..0x80, 256-colour palettes in console order, DXT and 16-bit
// sources decoded to 32 bits. Textures without pixels (PVR, ATC, damaged ones) are left out and
// their names added to `skipped` when given. False with `error` set when nothing could be
// written; the source dictionary is not changed beyond loading and releasing its raster data.
bool convert_to_ps2(ps2_txd& source, const std::filesystem::path& out, std::string& error,
                    std::vector<std::string>* skipped = nullptr,
                    const raster_transform* transform = nullptr);

// The same into a dictionary in memory (`target` is made anew with create_empty).
bool convert_to_ps2(ps2_txd& source, ps2_txd& target, std::string& error,
                    std::vector<std::string>* skipped = nullptr,
                    const raster_transform* transform = nullptr);

} // namespace quillmap
