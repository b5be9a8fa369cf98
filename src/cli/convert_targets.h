#pragma once

#include "batch/batch_runner.h"
#include "cli/cli_common.h"

#include <optional>
#include <span>
#include <string>

namespace quillmap {

// The platforms a dictionary converts to, for `convert --to` and `batch convert --to` alike:
// each row reads the options its conversion takes (--depth, --format, --mips, --dither) and
// gives the conversion of one dictionary. A platform added here is a target of both commands.
struct convert_target {
    const char* name; // as --to takes it
    // The conversion the options ask for; none, with exit_code set, on a usage error.
    std::optional<dictionary_converter> (*plan)(const cli_args& args, int& exit_code);
};

std::span<const convert_target> convert_targets();
// "ps2, d3d8, d3d9, xbox, mobile or gamecube" for messages.
std::string convert_target_names();
// The conversion --to names (ps2 when it is not given) with its options; none, with exit_code
// set, when --to names no platform or an option is wrong for it.
std::optional<dictionary_converter> conversion_option(const cli_args& args, int& exit_code);

} // namespace quillmap
