#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

int cmd_replace(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("replace takes FILE -t N IMAGE");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (opened->restriction_mask & k_refuse_replace)
        return failure("Texture replacing is disabled for this format.");
    ps2_txd& txd = *opened->dictionary;
    auto t = texture_index(args, txd, code);
    if (!t) return code;
    const std::string& image = args.positional[1];
    const int type = ps2_txd::export_type_of(path_extension(image));
    if (!txd.replace_texture(*t, image, type, args.has("--keep-alpha")))
        return failure(txd.last_error);
    return save_result(args, *opened);
}
