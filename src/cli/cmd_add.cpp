#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "dictionary/txd_messages.h"

#include <iostream>

int cmd_add(const cli_args& args) {
    if (args.positional.size() < 2) return usage_error("add takes FILE INPUT...");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto swizzle = swizzle_option(args, code);
    if (!swizzle) return code;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (opened->restriction_mask & k_refuse_import)
        return failure("Texture importing is disabled for this format.");
    ps2_txd& txd = *opened->dictionary;
    for (size_t i = 1; i < args.positional.size(); ++i) {
        const std::string& input = args.positional[i];
        bool added = false;
        switch (ps2_txd::export_type_of(path_extension(input))) {
        case export_bmp:
            txd.last_error = "BMP is not suppoorted yet.";
            break;
        case export_tim2: {
            uint32_t dropped = 0;
            added = txd.add_tim2_texture(input, *swizzle, &dropped);
            if (added && dropped) std::cerr << input << ": " << txd_msg::levels_dropped << "\n";
            break;
        }
        case export_rwsect:
            added = txd.add_raw_section(input);
            break;
        default:
            txd.last_error = "Unknown import format";
            break;
        }
        // Nothing is written unless every input was added.
        if (!added) {
            std::cerr << input << ":\n";
            return failure(txd.last_error);
        }
    }
    return save_result(args, *opened);
}
