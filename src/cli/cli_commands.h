#pragma once

#include "cli/cli_common.h"

// One function per command; main.cpp keeps the table that names them.
int cmd_list(const cli_args& args);
int cmd_tree(const cli_args& args);
int cmd_save(const cli_args& args);
int cmd_render(const cli_args& args);
