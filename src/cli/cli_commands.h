#pragma once

#include "cli/cli_common.h"

namespace quillmap {

// One function per command; main.cpp keeps the table that names them.
int cmd_list(const cli_args& args);
int cmd_tree(const cli_args& args);
int cmd_save(const cli_args& args);
int cmd_convert(const cli_args& args);
int cmd_render(const cli_args& args);
int cmd_export(const cli_args& args);
int cmd_add(const cli_args& args);
int cmd_replace(const cli_args& args);
int cmd_replace_all(const cli_args& args);
int cmd_mips(const cli_args& args);
int cmd_rename(const cli_args& args);
int cmd_delete(const cli_args& args);
int cmd_move(const cli_args& args);
int cmd_set_version(const cli_args& args);
int cmd_batch(const cli_args& args);
int cmd_archive(const cli_args& args);
int cmd_new(const cli_args& args);
int cmd_lint(const cli_args& args);
int cmd_repair(const cli_args& args);
int cmd_thumbnail(const cli_args& args);

} // namespace quillmap
