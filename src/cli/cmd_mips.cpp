#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"

#include <iostream>

namespace quillmap {

int cmd_mips(const cli_args& args) {
    if (args.positional.size() != 1 || !args.has("--mips"))
        return usage_error("mips takes FILE -t N --mips N|auto|regenerate");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    const auto mips = mips_request_option(args, code);
    const auto dither = dither_option(args, code);
    if (!mips || !dither) return code;
    return edit_texture(args, [&](editor_session& session, uint32_t t) {
        if (!session.set_mips(t, *mips, *dither)) return false;
        if (!session.last_note().empty()) std::cout << session.last_note() << "\n";
        return true;
    });
}

} // namespace quillmap
