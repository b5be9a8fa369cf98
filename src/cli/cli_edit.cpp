#include "cli/cli_edit.h"

#include "cli/cli_png.h"

namespace quillmap {

std::optional<opened_dictionary> open_for_replace(const cli_args& args, bool& dither, int& code) {
    if (!has_save_target(args)) {
        code = missing_save_target();
        return std::nullopt;
    }
    const auto dither_choice = dither_option(args, code);
    if (!dither_choice) return std::nullopt;
    dither = *dither_choice;
    auto opened = open_for_cli(args, code);
    if (!opened) return std::nullopt;
    if (const char* refused = opened->session.refusal(restrict_replace)) {
        code = failure(refused);
        return std::nullopt;
    }
    return opened;
}

} // namespace quillmap
