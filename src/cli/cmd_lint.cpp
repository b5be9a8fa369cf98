#include "cli/cli_commands.h"
#include "dictionary/gc_raster_check.h"
#include "dictionary/mobile_raster_check.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/ps2_raster_check.h"
#include "stream/file_name_text.h"

#include <iostream>

namespace quillmap {

int cmd_lint(const cli_args& args) {
    if (args.positional.empty()) return usage_error("lint takes FILE...");
    const bool json = args.has("--json");
    bool found_any = false, first = true;
    if (json) std::cout << "{\"problems\":[";
    for (const std::string& file : args.positional) {
        cli_args one = args;
        one.positional = {file};
        int code = k_exit_ok;
        auto opened = open_for_cli(one, code);
        if (!opened) {
            if (json) std::cout << "]}\n";
            return code;
        }
        std::vector<ps2_problem> problems = lint_ps2_textures(*opened->dictionary);
        for (ps2_problem& p : lint_pc_textures(*opened->dictionary))
            problems.push_back(std::move(p));
        for (ps2_problem& p : lint_mobile_textures(*opened->dictionary))
            problems.push_back(std::move(p));
        for (ps2_problem& p : lint_gc_textures(*opened->dictionary))
            problems.push_back(std::move(p));
        for (const ps2_problem& p : problems) {
            // Deviations that games accept, and words no rule checks ("not checked" notes), are
            // told but do not fail the file.
            found_any = found_any || (!p.accepted && p.what != k_not_checked);
            if (json) {
                const std::string texture = p.whole_dictionary ? "null" : std::to_string(p.texture);
                std::cout << (first ? "" : ",") << "{\"file\":\"" << json_escape(file)
                          << "\",\"texture\":" << texture << ",\"name\":\"" << json_escape(p.name)
                          << "\",\"what\":\"" << json_escape(p.what) << "\",\"found\":\""
                          << json_escape(p.found) << "\",\"expected\":\"" << json_escape(p.expected)
                          << "\"}";
                first = false;
            } else if (p.whole_dictionary) {
                std::cout << file << ": " << p.what << ": found " << p.found << ", expected "
                          << p.expected << "\n";
            } else {
                std::cout << printable_text(file) << ": texture " << p.texture << " \""
                          << printable_text(p.name) << "\": " << p.what << ": found " << p.found
                          << ", expected " << p.expected << "\n";
            }
        }
    }
    if (json) std::cout << "]}\n";
    return found_any ? k_exit_failure : k_exit_ok;
}

} // namespace quillmap
