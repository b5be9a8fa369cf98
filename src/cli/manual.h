#pragma once

#include "cli/command_table.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillmap {

// The manual page, README synopsis and shell completions of quillmap-cli, written from the command
// table so that they list exactly the commands and options the tool takes.

// The options a usage line names, in order, each once ("-t", "--all", "-o" ...).
std::vector<std::string> usage_options(const char* usage);
// What an option does, for the manual page; none for an option nobody described.
std::optional<std::string> option_description(const std::string& option);

// False, writing nothing, when an option of the table has no description (`missing` names
// them): the build writes the page, so an option cannot be added without one.
bool write_manual_page(std::ostream& out, std::span<const cli_command> commands,
                       std::vector<std::string>& missing);
// The command synopsis README.md shows: one "quillmap-cli USAGE" line per command, in table order.
void write_synopsis(std::ostream& out, std::span<const cli_command> commands);
void write_bash_completion(std::ostream& out, std::span<const cli_command> commands);
void write_zsh_completion(std::ostream& out, std::span<const cli_command> commands);

} // namespace quillmap
