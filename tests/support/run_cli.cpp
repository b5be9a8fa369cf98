#include "run_cli.h"

#include <cstdio>
#include <sys/wait.h>

namespace {
std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}
} // namespace

cli_result run_cli(const std::vector<std::string>& arguments) {
    std::string command = shell_quote(QUILLMAP_CLI_PATH);
    for (const auto& argument : arguments) command += " " + shell_quote(argument);
    command += " 2>/dev/null";
    cli_result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
