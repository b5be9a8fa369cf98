#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/texture_gc.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Any dictionary rebuilt as a GameCube one, each texture as the nearest kind real files hold:
// palettes stay palettes (C8, or C4 for 4-bit ones; RGB5A3 entries when an entry is
// translucent, else RGB565), DXT1 blocks go across as CMPR blocks, other compressed textures
// and 32-bit ones become RGBA8, 16-bit ones RGB5A3. GameCube textures stay as they are.
struct gc_convert_options {
    std::optional<gc_format> format; // none: the nearest kind, as above
    // none: each texture's own level count, within the full chain of its size.
    std::optional<mips_request> mips;
    bool dither = false;
};

// The version stamp every chunk of a real GameCube dictionary carries (3.7.0.2).
inline constexpr uint32_t k_gc_version_stamp = 0x1C020037;

// Rebuilds `source` into `target` (made anew with the GameCube stamp, device id 0). Textures
// without pixels are left out and named in `skipped`; `notes` tells per texture what could not
// be carried exactly.
bool convert_to_gc(ps2_txd& source, ps2_txd& target, const gc_convert_options& options,
                   std::vector<std::string>& skipped, std::vector<std::string>& notes,
                   std::string& error);
bool convert_to_gc(ps2_txd& source, const std::filesystem::path& out,
                   const gc_convert_options& options, std::vector<std::string>& skipped,
                   std::vector<std::string>& notes, std::string& error);

} // namespace quillmap
