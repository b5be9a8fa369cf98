#pragma once

#include "cli/cli_common.h"

#include <span>

namespace quillmap {

// One command of quillmap-cli: what runs it, how it is called and what it does. The usage line
// is the one source of the command's options: --help, the manual page and the shell completions
// are all written from it.
struct cli_command {
    const char* name;
    int (*run)(const cli_args&);
    const char* usage;   // "list FILE [--offset HEX] ..."
    const char* summary; // one sentence for the manual page
};

std::span<const cli_command> cli_command_table();

} // namespace quillmap
