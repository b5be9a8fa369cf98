#pragma once

#include <string>
#include <vector>

// Runs quillmap-cli with the arguments (each quoted for the shell) and captures stdout.
struct cli_result {
    int exit_code = -1;
    std::string out;
};
cli_result run_cli(const std::vector<std::string>& arguments);
