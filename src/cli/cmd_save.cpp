#include "cli/cli_commands.h"

namespace quillmap {

int cmd_save(const cli_args& args) {
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    return save_result(args, *opened);
}

} // namespace quillmap
