#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

int cmd_delete(const cli_args& args) {
    if (args.positional.size() > 1) return usage_error("delete takes FILE -t N");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    ps2_txd& txd = *opened->dictionary;
    auto t = texture_index(args, txd, code);
    if (!t) return code;
    if (!txd.delete_texture(*t)) return failure(txd.last_error);
    return save_result(args, *opened);
}
