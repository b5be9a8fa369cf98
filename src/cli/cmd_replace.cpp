#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

int cmd_replace(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("replace takes FILE -t N IMAGE");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (const char* refused = opened->session.refusal(restrict_replace)) return failure(refused);
    auto t = texture_index(args, *opened->dictionary, code);
    if (!t) return code;
    if (!opened->session.replace(*t, args.positional[1], args.has("--keep-alpha")))
        return failure(opened->session.last_error());
    return save_result(args, *opened);
}
