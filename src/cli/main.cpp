#include "cli/command_table.h"
#include "cli/manual.h"
#include "platform/system.h"
#include "stream/safe_file.h"
#include "stream/stop_request.h"

#include <cstring>
#include <iostream>

namespace quillmap {

namespace {
void print_usage(std::ostream& out) {
    out << "usage: quillmap-cli COMMAND ... | --version\n";
    for (const auto& command : cli_command_table())
        out << "  quillmap-cli " << command.usage << "\n";
    out << "--offset HEX opens the dictionary where it lies inside a larger file; --in-place "
           "writes it back there only when it still fits the bytes it took.\n";
}

// --manual and --completion bash|zsh write what the build installs beside the program;
// --synopsis the command list of README.md.
int print_documentation(const cli_args& args) {
    if (args.command == "--synopsis") {
        write_synopsis(std::cout, cli_command_table());
        return k_exit_ok;
    }
    if (args.command == "--manual") {
        std::vector<std::string> missing;
        if (write_manual_page(std::cout, cli_command_table(), missing)) return k_exit_ok;
        std::string names;
        for (const auto& option : missing)
            names += " " + option;
        return failure("options without a description for the manual page:" + names);
    }
    const std::string shell = args.positional.empty() ? "" : args.positional[0];
    if (shell == "bash")
        write_bash_completion(std::cout, cli_command_table());
    else if (shell == "zsh")
        write_zsh_completion(std::cout, cli_command_table());
    else
        return usage_error("--completion takes bash or zsh");
    return k_exit_ok;
}
} // namespace

// The program's work, inside the project's namespace; main() only calls it.
int run_main(int argc, char** argv) {
    // Ctrl-C and SIGTERM let the current file finish (no half-written output) and stop the rest.
    stop_request::catch_signals();
    safe_file::set_io_hook_from_environment();
    // A command takes the options its usage line names, and no other.
    const cli_command* command = nullptr;
    for (const auto& row : cli_command_table())
        if (argc >= 2 && std::strcmp(argv[1], row.name) == 0) command = &row;
    const std::vector<std::string> taken =
        command ? usage_options(command->usage) : std::vector<std::string>{};
    std::string error;
    auto args = parse_cli(argc, argv, error, command ? &taken : nullptr);
    if (!args) {
        if (command)
            std::cerr << "usage: quillmap-cli " << command->usage << "\n";
        else
            print_usage(std::cerr);
        return usage_error(error);
    }
    if (args->command == "--help" || args->command == "-h" || args->command == "help") {
        print_usage(std::cout);
        return k_exit_ok;
    }
    if (args->command == "--version") {
        std::cout << "quillmap-cli " << k_program_version << " build " << build_number() << "\n";
        return k_exit_ok;
    }
    if (args->command == "--manual" || args->command == "--completion" ||
        args->command == "--synopsis")
        return print_documentation(*args);
    if (command) {
        const int code = command->run(*args);
        return stop_request::requested() ? k_exit_interrupted : code;
    }
    print_usage(std::cerr);
    return usage_error("unknown command " + args->command);
}

} // namespace quillmap

int main(int argc, char** argv) {
    return quillmap::run_main(argc, argv);
}
