#include "cli/cli_commands.h"

#include <iostream>

int cmd_convert(const cli_args& args) {
    if (!args.options.count("-o")) return usage_error("convert needs -o OUT.txd");
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::vector<std::string> skipped;
    if (!opened->session.convert_to_ps2(args.get("-o"), &skipped))
        return failure(opened->session.last_error());
    // Textures without pixels (PVR, ATC, damaged ones) are left out; say which.
    for (const auto& name : skipped)
        std::cerr << "skipped " << name << "\n";
    return k_exit_ok;
}
