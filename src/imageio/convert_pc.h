#pragma once

#include "dictionary/pc_raster_rules.h"
#include "dictionary/ps2_txd.h"
#include "imageio/pc_levels.h"
#include "imageio/texture_pc.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Any dictionary rebuilt as a Direct3D 8, Direct3D 9 or XBOX one. Each texture keeps what it can
// without loss: stored levels whose format the target holds go across byte for byte, PS2
// palettes become D3D8 PAL8 / PAL4 with the same indices and colours; the rest is decoded and
// encoded in the asked format (or DXT1 / DXT5 by the picture's alpha).
struct pc_convert_options {
    pc_layout layout = pc_layout::d3d8;
    std::optional<pc_format> format;
    // none: each texture's own level count.
    std::optional<mips_request> mips;
    bool dither = true;
};

// Rebuilds `source` into `target` (made anew, carrying the source's version stamp and the
// layout's device id). Textures without pixels are left out and named in `skipped`; what was
// changed on the way (sizes scaled, colours reduced) is told per texture in `notes`.
bool convert_to_pc(ps2_txd& source, ps2_txd& target, const pc_convert_options& options,
                   std::vector<std::string>& skipped, std::vector<std::string>& notes,
                   std::string& error);

// The same, saved at `out`.
bool convert_to_pc(ps2_txd& source, const std::filesystem::path& out,
                   const pc_convert_options& options, std::vector<std::string>& skipped,
                   std::vector<std::string>& notes, std::string& error);

} // namespace quillmap
