#pragma once

#include "cli/cli_common.h"
#include "stream/file_name_text.h"

#include <string>

namespace quillmap {

// The archive subcommands other than list; positional 0 is the subcommand, 1 the archive.
int archive_extract(const cli_args& args);
int archive_add(const cli_args& args);
int archive_replace(const cli_args& args);
int archive_delete(const cli_args& args);
int archive_rename(const cli_args& args);
int archive_compact(const cli_args& args);

} // namespace quillmap
