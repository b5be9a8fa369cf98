#pragma once

#include <string>
#include <vector>

namespace quillmap {

// Runs quillmap-cli with the arguments (each quoted for the shell) and captures stdout and
// stderr.
struct cli_result {
    int exit_code = -1;
    std::string out;
    std::string err;
};
cli_result run_cli(const std::vector<std::string>& arguments);

} // namespace quillmap
