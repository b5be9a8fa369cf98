#pragma once

#include "cli/cli_common.h"

#include <string>

// Shared steps of the commands that change a dictionary and write it back.

// Restriction mask flags of the opened format.
constexpr uint32_t k_refuse_import = 2;
constexpr uint32_t k_refuse_export = 4;
constexpr uint32_t k_refuse_replace = 8;

// The output must be named before any work is done: -o OUT or --in-place, not both.
inline bool has_save_target(const cli_args& args) {
    return args.has("--in-place") != (args.options.count("-o") > 0);
}
inline int missing_save_target() {
    return usage_error("give either -o OUT or --in-place");
}

// The extension of a path as the import and replace commands see it: from the last "." on.
inline std::string path_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(dot);
}

// Opens FILE, finds texture -t N, applies `edit(dictionary, t)` and saves: the steps of the
// commands that change one texture. An edit that returns false has set last_error.
template <class Edit> int edit_texture(const cli_args& args, Edit edit) {
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    ps2_txd& txd = *opened->dictionary;
    auto t = texture_index(args, txd, code);
    if (!t) return code;
    if (!edit(txd, *t)) return failure(txd.last_error);
    return save_result(args, *opened);
}
