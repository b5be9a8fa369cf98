#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

namespace quillmap {

int cmd_set_version(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("set-version takes FILE VERSION");
    if (!has_save_target(args)) return missing_save_target();
    const auto version = parse_hex(args.positional[1]);
    // 0 and 0xFFFFFFFF are what the version dialog answers when nothing was chosen.
    if (!version || *version == 0 || *version == 0xFFFFFFFF)
        return usage_error("VERSION is a hexadecimal version stamp other than 0 and 0xFFFFFFFF");
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (!opened->session.set_version(*version)) return failure(opened->session.last_error());
    return save_result(args, *opened);
}

} // namespace quillmap
