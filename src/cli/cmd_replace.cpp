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
    // The other mip levels follow a new palette unless asked to keep their own pictures.
    const std::string mips = args.get("--mips", "auto");
    if (mips != "auto" && mips != "keep" && mips != "regenerate")
        return usage_error("--mips takes auto, keep or regenerate");
    const other_levels levels = mips == "keep"         ? other_levels::keep
                                : mips == "regenerate" ? other_levels::regenerate
                                                       : other_levels::follow_palette;
    const bool pc_option = args.has("--format") || args.has("--resize");
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (const char* refused = opened->session.refusal(restrict_replace)) return failure(refused);
    auto t = texture_index(args, *opened->dictionary, code);
    if (!t) return code;
    const std::string& image = args.positional[1];
    const bool pc = opened->dictionary->family() == txd_family::pc_xbox;
    const auto type = editor_session::export_type_for(editor_session::import_extension(image));
    if (pc && (type == export_type::png || type == export_type::dds)) {
        // PC and XBOX: the texture's format unless --format names another; levels kept unless
        // asked (auto: the full chain).
        const auto pc_mips = mips_request_option(args, code);
        const auto format = format_option(args, code);
        if (!pc_mips || !format) return code;
        pc_edit_options options;
        options.format = *format;
        options.mips = args.has("--mips") ? *pc_mips : mips_request{mips_mode::keep, 0};
        options.resize = args.has("--resize");
        options.dither = *dither;
        if (!opened->session.replace_pc(*t, image, options))
            return failure(opened->session.error_text());
    } else {
        if (pc_option) return usage_error("--format and --resize apply to PC and XBOX textures");
        if (!opened->session.replace(*t, image, args.has("--keep-alpha"), *dither, levels))
            return failure(opened->session.error_text());
    }
    if (!opened->session.last_note().empty())
        std::cout << image << ": " << opened->session.last_note() << "\n";
    return save_result(args, *opened);
}
