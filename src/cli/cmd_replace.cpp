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
    if (const char* refused = opened->session.refusal(restrict_replace)) return failure(refused);
    auto t = texture_index(args, *opened->dictionary, code);
    if (!t) return code;
    const std::string& image = args.positional[1];
    if (!opened->session.replace(*t, image, args.has("--keep-alpha"), *dither,
                                 mips == "regenerate"))
        return failure(opened->session.error_text());
    if (!opened->session.last_note().empty())
        std::cout << image << ": " << opened->session.last_note() << "\n";
    return save_result(args, *opened);
}
