#include "run_cli.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace {
std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}
} // namespace

cli_result run_cli(const std::vector<std::string>& arguments) {
    std::string command = shell_quote(QUILLMAP_CLI_PATH);
    for (const auto& argument : arguments)
        command += " " + shell_quote(argument);
    // stderr goes to a file of its own beside the test's other files.
    static int calls = 0;
    const std::string err_path =
        "/tmp/quillmap-cli-err-" + std::to_string(getpid()) + "-" + std::to_string(++calls);
    command += " 2>" + shell_quote(err_path);
    cli_result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* err = std::fopen(err_path.c_str(), "rb")) {
        while ((n = fread(buffer, 1, sizeof buffer, err)) > 0)
            result.err.append(buffer, n);
        std::fclose(err);
    }
    std::remove(err_path.c_str());
    return result;
}

} // namespace quillmap
