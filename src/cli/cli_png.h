#pragma once

#include "cli/cli_common.h"
#include "imageio/texture_pc.h"
#include "imageio/texture_png.h"

#include <optional>

namespace quillmap {

// The PNG options of export, add, replace and convert.

// --level K (default 0).
std::optional<uint32_t> level_option(const cli_args& args, int& exit_code);
// --png-level 0..12: how tightly PNG files are packed (default the writer's own level).
std::optional<png_write_options> png_level_option(const cli_args& args, int& exit_code);
// --dither on|off (default on).
std::optional<bool> dither_option(const cli_args& args, int& exit_code);
// --mips N|auto (default 1; auto = 0, RenderWare's own count).
std::optional<uint32_t> mips_option(const cli_args& args, int& exit_code);
// --format dxt1|dxt3|dxt5|8888|888|pal8|pal4 for PC and XBOX textures; none when not given.
std::optional<std::optional<pc_format>> format_option(const cli_args& args, int& exit_code);
// --format dxt1|dxt3|565|4444 for mobile textures; none when not given.
// --format for GameCube textures: c4, c8, rgb5a3, rgba8 or cmpr.
std::optional<std::optional<gc_format>> gc_format_option(const cli_args& args, int& exit_code);
std::optional<std::optional<mobile_format>> mobile_format_option(const cli_args& args,
                                                                 int& exit_code);
// replace and mips: --mips N|auto|keep|regenerate (default keep).
std::optional<mips_request> mips_request_option(const cli_args& args, int& exit_code);
// add: --depth 4|8|32, --mips, --swizzle on|off (PNG default on), --resize, --dither.
std::optional<png_add_options> add_png_options(const cli_args& args, int& exit_code);

} // namespace quillmap
