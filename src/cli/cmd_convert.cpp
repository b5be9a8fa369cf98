#include "cli/cli_commands.h"
#include "dictionary/convert_ps2.h"

#include <iostream>

int cmd_convert(const cli_args& args) {
    if (!args.options.count("-o")) return usage_error("convert needs -o OUT.txd");
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::string error;
    std::vector<std::string> skipped;
    if (!convert_to_ps2(*opened->dictionary, args.get("-o"), error, &skipped))
        return failure(error);
    // Textures without pixels (PVR, ATC, damaged ones) are left out; say which.
    for (const auto& name : skipped)
        std::cerr << "skipped " << name << "\n";
    return k_exit_ok;
}
