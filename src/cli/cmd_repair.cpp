#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "dictionary/gc_raster_check.h"
#include "dictionary/mobile_raster_check.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/ps2_raster_check.h"

#include <iostream>

namespace quillmap {

int cmd_repair(const cli_args& args) {
    if (args.positional.size() != 1) return usage_error("repair takes FILE");
    if (!has_save_target(args)) return missing_save_target();
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::vector<std::string> skipped;
    const uint32_t changed = repair_ps2_textures(*opened->dictionary, &skipped) +
                             repair_pc_textures(*opened->dictionary, &skipped) +
                             repair_mobile_textures(*opened->dictionary) +
                             repair_gc_textures(*opened->dictionary, &skipped);
    for (const std::string& name : skipped)
        std::cerr << "left as it is (its data does not follow the layout): " << name << "\n";
    std::cout << changed << " words rewritten\n";
    return save_result(args, *opened);
}

} // namespace quillmap
