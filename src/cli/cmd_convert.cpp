#include "cli/cli_commands.h"
#include "cli/convert_targets.h"

#include <iostream>

namespace quillmap {

int cmd_convert(const cli_args& args) {
    if (!args.options.count("-o")) return usage_error("convert needs -o OUT.txd");
    int code = k_exit_ok;
    const auto convert = conversion_option(args, code);
    if (!convert) return code;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::vector<std::string> skipped, notes;
    std::string error;
    if (!(*convert)(*opened->dictionary, args.get("-o"), skipped, notes, error))
        return failure(error);
    for (const auto& note : notes)
        std::cout << note << "\n";
    // Textures without pixels (PVR, ATC, damaged ones) are left out; say which.
    for (const auto& name : skipped)
        std::cerr << "skipped " << name << "\n";
    return k_exit_ok;
}

} // namespace quillmap
