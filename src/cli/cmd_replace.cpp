#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"

#include <iostream>

int cmd_replace(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("replace takes FILE -t N IMAGE");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    const auto dither = dither_option(args, code);
    if (!dither) return code;
    // The other mip levels stay as they are unless asked to follow the new picture.
    const std::string mips = args.get("--mips", "keep");
    if (mips != "keep" && mips != "regenerate")
        return usage_error("--mips takes keep or regenerate");
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (opened->restriction_mask & k_refuse_replace)
        return failure("Texture replacing is disabled for this format.");
    ps2_txd& txd = *opened->dictionary;
    auto t = texture_index(args, txd, code);
    if (!t) return code;
    const std::string& image = args.positional[1];
    const int type = ps2_txd::export_type_of(path_extension(image));
    if (type == export_png) {
        std::string error, note;
        if (!replace_texture_png(txd, *t, image, *dither, error, note, mips == "regenerate"))
            return failure(error);
        if (!note.empty()) std::cout << image << ": " << note << "\n";
        return save_result(args, *opened);
    }
    if (!txd.replace_texture(*t, image, type, args.has("--keep-alpha")))
        return failure(txd.last_error);
    return save_result(args, *opened);
}
