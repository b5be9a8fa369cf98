#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"

#include <iostream>

namespace quillmap {

// Puts edited pictures back: every texture the folder holds a picture for (named after it) is
// replaced, and a line per texture and per unused picture tells what happened.
int cmd_replace_all(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("replace-all takes FILE DIR");
    int code = k_exit_ok;
    bool dither = false;
    auto opened = open_for_replace(args, dither, code);
    if (!opened) return code;
    std::vector<folder_replacement> report;
    if (!opened->session.replace_all_from_folder(args.positional[1], report, dither))
        return failure(opened->session.last_error());
    int replaced = 0;
    for (const folder_replacement& row : report) {
        replaced += row.replaced ? 1 : 0;
        const std::string what = row.texture.empty() ? row.file : row.texture;
        if (row.replaced)
            std::cout << "replaced " << what << " from " << row.file
                      << (row.why.empty() ? "" : " (" + row.why + ")") << "\n";
        else
            std::cout << "skipped " << what
                      << (row.file.empty() || row.texture.empty() ? "" : " (" + row.file + ")")
                      << ": " << row.why << "\n";
    }
    std::cout << replaced << " of " << opened->dictionary->texture_count()
              << " textures replaced\n";
    return save_result(args, *opened);
}

} // namespace quillmap
