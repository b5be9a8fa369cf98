#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

int cmd_move(const cli_args& args) {
    if (args.positional.size() != 2 || (args.positional[1] != "up" && args.positional[1] != "down"))
        return usage_error("move takes FILE -t N up|down");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    ps2_txd& txd = *opened->dictionary;
    auto t = texture_index(args, txd, code);
    if (!t) return code;
    const bool moved =
        args.positional[1] == "up" ? txd.move_texture_up(*t) : txd.move_texture_down(*t);
    if (!moved) return failure(txd.last_error);
    return save_result(args, *opened);
}
