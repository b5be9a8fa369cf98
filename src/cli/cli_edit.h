#pragma once

#include "cli/cli_common.h"

#include <optional>
#include <string>

namespace quillmap {

// Shared steps of the commands that change a dictionary and write it back.

// The output must be named before any work is done: -o OUT or --in-place, not both.
inline bool has_save_target(const cli_args& args) {
    return args.has("--in-place") != (args.options.count("-o") > 0);
}
inline int missing_save_target() {
    return usage_error("give either -o OUT or --in-place");
}

// The first steps of the replace commands: the save target and --dither checked, FILE opened
// and its layout asked whether textures may be replaced. `code` is set when it returns nothing.
std::optional<opened_dictionary> open_for_replace(const cli_args& args, bool& dither, int& code);

// Opens FILE, finds texture -t N, applies `edit(session, t)` and saves: the steps of the
// commands that change one texture. An edit that returns false has set the session's error.
template <class Edit> int edit_texture(const cli_args& args, Edit edit) {
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    auto t = texture_index(args, *opened->dictionary, code);
    if (!t) return code;
    if (!edit(opened->session, *t)) return failure(opened->session.last_error());
    return save_result(args, *opened);
}

} // namespace quillmap
