#pragma once

#include "dictionary/mobile_texture_build.h"
#include "dictionary/ps2_txd.h"
#include "imageio/texture_pc.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Any dictionary rebuilt as a mobile one. Blocks the layout holds go across as they are (a PC
// texture's DXT1 or DXT3 level 0, a mobile texture's own levels); the rest is decoded and
// encoded in the asked format, or as DXT1 / DXT3 by the picture's alpha.
struct mobile_convert_options {
    std::optional<mobile_format> format;
    // none: each texture's own level count, where the format holds it.
    std::optional<mips_request> mips;
};

// Rebuilds `source` into `target` (made anew with the source's version stamp; the count word
// of a mobile dictionary is read whole, so it carries no device id). Textures without pixels are
// left out and named in `skipped`; `notes` tells per texture what was changed on the way.
bool convert_to_mobile(ps2_txd& source, ps2_txd& target, const mobile_convert_options& options,
                       std::vector<std::string>& skipped, std::vector<std::string>& notes,
                       std::string& error);
// The same, saved at `out`.
bool convert_to_mobile(ps2_txd& source, const std::filesystem::path& out,
                       const mobile_convert_options& options, std::vector<std::string>& skipped,
                       std::vector<std::string>& notes, std::string& error);

} // namespace quillmap
