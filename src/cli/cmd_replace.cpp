#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"

#include <iostream>

namespace quillmap {

namespace {
// PC and XBOX: the texture's format unless --format names another; levels kept unless asked
// (auto: the full chain).
bool replace_pc(const cli_args& args, editor_session& session, uint32_t t, bool dither, int& code) {
    const auto mips = mips_request_option(args, code);
    const auto format = format_option(args, code);
    if (!mips || !format) return false;
    pc_edit_options options;
    options.format = *format;
    options.mips = *mips;
    options.resize = args.has("--resize");
    options.dither = dither;
    if (session.replace_pc(t, args.positional[1], options, args.has("--keep-alpha"))) return true;
    code = failure(session.error_text());
    return false;
}

// Mobile: the same with the mobile formats.
bool replace_mobile(const cli_args& args, editor_session& session, uint32_t t, int& code) {
    const auto mips = mips_request_option(args, code);
    const auto format = mobile_format_option(args, code);
    if (!mips || !format) return false;
    mobile_edit_options options;
    options.format = *format;
    options.mips = *mips;
    options.resize = args.has("--resize");
    if (session.replace_mobile(t, args.positional[1], options, args.has("--keep-alpha")))
        return true;
    code = failure(session.error_text());
    return false;
}
// GameCube: the same with the GameCube formats.
bool replace_gamecube(const cli_args& args, editor_session& session, uint32_t t, bool dither,
                      int& code) {
    const auto mips = mips_request_option(args, code);
    const auto format = gc_format_option(args, code);
    if (!mips || !format) return false;
    gc_edit_options options;
    options.format = *format;
    options.mips = *mips;
    options.resize = args.has("--resize");
    options.dither = dither;
    if (session.replace_gamecube(t, args.positional[1], options, args.has("--keep-alpha")))
        return true;
    code = failure(session.error_text());
    return false;
}
} // namespace

int cmd_replace(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("replace takes FILE -t N IMAGE");
    int code = k_exit_ok;
    bool dither = false;
    auto opened = open_for_replace(args, dither, code);
    if (!opened) return code;
    auto t = texture_index(args, *opened->dictionary, code);
    if (!t) return code;
    const std::string& image = args.positional[1];
    const txd_family family = opened->dictionary->family();
    const auto type = editor_session::export_type_for(editor_session::import_extension(image));
    const bool picture = type && type != export_type::rwsect;
    if (picture && family == txd_family::pc_xbox) {
        if (!replace_pc(args, opened->session, *t, dither, code)) return code;
    } else if (picture && family == txd_family::mobile) {
        if (!replace_mobile(args, opened->session, *t, code)) return code;
    } else if (picture && family == txd_family::gamecube) {
        if (!replace_gamecube(args, opened->session, *t, dither, code)) return code;
    } else {
        if (args.has("--format") || args.has("--resize"))
            return usage_error(
                "--format and --resize apply to PC, XBOX, mobile and GameCube textures");
        // The other mip levels follow a new palette unless asked to keep their own pictures.
        const std::string mips = args.get("--mips", "auto");
        if (mips != "auto" && mips != "keep" && mips != "regenerate")
            return usage_error("--mips takes auto, keep or regenerate");
        const other_levels levels = mips == "keep"         ? other_levels::keep
                                    : mips == "regenerate" ? other_levels::regenerate
                                                           : other_levels::follow_palette;
        if (!opened->session.replace(*t, image, args.has("--keep-alpha"), dither, levels))
            return failure(opened->session.error_text());
    }
    if (!opened->session.last_note().empty())
        std::cout << image << ": " << opened->session.last_note() << "\n";
    return save_result(args, *opened);
}

} // namespace quillmap
