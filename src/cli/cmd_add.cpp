#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"

#include <iostream>

namespace quillmap {

int cmd_add(const cli_args& args) {
    if (args.positional.size() < 2) return usage_error("add takes FILE INPUT...");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto swizzle = swizzle_option(args, code);
    if (!swizzle) return code;
    const auto png_options = add_png_options(args, code);
    if (!png_options) return code;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (const char* refused = opened->session.refusal(restrict_import)) return failure(refused);
    for (size_t i = 1; i < args.positional.size(); ++i) {
        const std::string& input = args.positional[i];
        // Nothing is written unless every input was added.
        if (!opened->session.import_file(input, *swizzle, *png_options)) {
            std::cerr << input << ":\n";
            return failure(opened->session.error_text());
        }
        if (!opened->session.last_note().empty())
            std::cout << input << ": " << opened->session.last_note() << "\n";
    }
    return save_result(args, *opened);
}

} // namespace quillmap
