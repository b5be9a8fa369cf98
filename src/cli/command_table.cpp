#include "cli/command_table.h"

#include "cli/cli_commands.h"

namespace quillmap {

namespace {
// Every command of the tool; each lives in its own cmd_*.cpp.
const cli_command k_commands[] = {
    {"list", cmd_list, "list FILE [--offset HEX] [--platforms TEXT] [--json]",
     "Lists the platform, version and every texture of a dictionary."},
    {"tree", cmd_tree, "tree FILE [--offset HEX]", "Prints the chunk tree of a RenderWare file."},
    {"save", cmd_save, "save FILE -o OUT [--offset HEX] [--platforms TEXT]",
     "Writes the dictionary read from FILE (at an offset inside a larger file) to OUT."},
    {"convert", cmd_convert,
     "convert FILE -o OUT.txd [--to ps2|d3d8|d3d9|xbox|mobile|gamecube] [--offset HEX] "
     "[--platforms TEXT] [--depth 4|8|32|keep] "
     "[--format dxt1|dxt3|dxt5|8888|888|pal8|pal4|565|4444|c4|c8|rgb5a3|rgba8|cmpr] "
     "[--mips N|auto|keep|regenerate] [--dither on|off]",
     "Rebuilds a dictionary of any platform as a PS2, D3D8, D3D9, XBOX, mobile or GameCube "
     "dictionary."},
    {"export", cmd_export,
     "export FILE (-t N | --all) [--offset HEX] [--platforms TEXT] [-f png|bmp|tm2|rwsect|dds] "
     "[--level K] "
     "[--png-level 0..12] "
     "[--view texture|alpha|mixed] [--swizzle auto|on|off] [-o DIR_OR_FILE]",
     "Writes one texture, or all of them, as picture files or raw sections."},
    {"add", cmd_add,
     "add FILE INPUT... [--offset HEX] [--platforms TEXT] [--swizzle on|off] [--depth 4|8|32] "
     "[--mips N|auto|keep] "
     "[--resize] [--format dxt1|dxt3|dxt5|8888|888|pal8|pal4|565|4444|c4|c8|rgb5a3|rgba8|cmpr] "
     "[--dither on|off] "
     "(-o OUT | --in-place)",
     "Adds textures from PNG, DDS, TIM2 or raw section files."},
    {"replace", cmd_replace,
     "replace FILE -t N IMAGE [--offset HEX] [--platforms TEXT] [--keep-alpha] [--dither on|off] "
     "[--mips N|auto|keep|regenerate] "
     "[--format dxt1|dxt3|dxt5|8888|888|pal8|pal4|565|4444|c4|c8|rgb5a3|rgba8|cmpr] "
     "[--resize] "
     "(-o OUT | --in-place)",
     "Replaces the pixels of one texture from a PNG, DDS, BMP or TIM2 picture."},
    {"replace-all", cmd_replace_all,
     "replace-all FILE DIR [--offset HEX] [--platforms TEXT] [--dither on|off] "
     "(-o OUT | --in-place)",
     "Replaces every texture that DIR holds a PNG, BMP or TIM2 picture named after, and tells "
     "what was replaced and skipped."},
    {"mips", cmd_mips,
     "mips FILE -t N --mips N|auto|regenerate [--offset HEX] [--platforms TEXT] "
     "[--dither on|off] (-o OUT | --in-place)",
     "Gives a PC or XBOX texture the mip levels asked for, level 0 kept as it is."},
    {"rename", cmd_rename,
     "rename FILE -t N NAME [--mask] [--offset HEX] [--platforms TEXT] (-o OUT | --in-place)",
     "Renames a texture or its mask."},
    {"delete", cmd_delete,
     "delete FILE -t N [--offset HEX] [--platforms TEXT] (-o OUT | --in-place)",
     "Deletes a texture."},
    {"move", cmd_move,
     "move FILE -t N up|down [--offset HEX] [--platforms TEXT] (-o OUT | --in-place)",
     "Moves a texture one place up or down."},
    {"set-version", cmd_set_version,
     "set-version FILE VERSION [--offset HEX] [--platforms TEXT] (-o OUT | --in-place)",
     "Stamps a RenderWare version on every chunk."},
    {"new", cmd_new, "new OUT.txd [--version HEX]", "Creates an empty PS2 dictionary."},
    {"lint", cmd_lint, "lint FILE... [--offset HEX] [--platforms TEXT] [--json]",
     "Checks every texture's headers against what the game's converter writes."},
    {"repair", cmd_repair, "repair FILE [--offset HEX] [--platforms TEXT] (-o OUT | --in-place)",
     "Rewrites the headers that lint reports as damaged."},
    {"render", cmd_render,
     "render FILE -t N [--offset HEX] [--platforms TEXT] [--level K] [--view texture|alpha|mixed] "
     "[--swizzle auto|on|off] -o "
     "OUT.bmp",
     "Writes the preview picture of one mip level as a BMP file."},
    {"batch", cmd_batch,
     "batch export|convert|lint|list INPUT... [-o OUT] [-f FORMAT] [-j N] [--json] [--quiet] "
     "[--overwrite | --skip-existing] [--fsync] [--png-level 0..12] [--platforms TEXT] "
     "[--to ps2|d3d8|d3d9|xbox|mobile|gamecube] [--depth 4|8|32|keep] "
     "[--format dxt1|dxt3|dxt5|8888|888|pal8|pal4|565|4444|c4|c8|rgb5a3|rgba8|cmpr] "
     "[--mips N|auto|keep|regenerate] [--dither on|off]",
     "Runs export, convert, lint or list over files, folders and game archives on every core; "
     "convert writes dictionaries of the platform --to names (PS2 by default) with the options "
     "convert takes."},
    {"archive", cmd_archive,
     "archive list|extract|add|replace|delete|rename|compact ARCHIVE [ENTRY...] [FILE...] "
     "[NEWNAME] [-o OUT] [--name NAME] [--json]",
     "Lists the entries of a game archive (a VER2 .img, or a .dir with its .img), extracts them "
     "(-o DIR), adds files, replaces an entry from a file, deletes, renames and compacts entries; "
     "ENTRY is an entry's name (case ignored) or #N for its position. Every edit leaves the "
     "archive whole if it is interrupted."},
    {"thumbnail", cmd_thumbnail, "thumbnail FILE OUT.png [--size N]",
     "Draws the first texture, or the first four, as a PNG for a file manager; FILE may be a "
     "file:// URI."},
};
} // namespace

std::span<const cli_command> cli_command_table() {
    return k_commands;
}

} // namespace quillmap
