#pragma once

#include "dictionary/export_type.h"

#include <span>
#include <string>
#include <string_view>

namespace quillmap {

// The picture formats a batch export writes, each with its extension and the export type that
// the session's writer takes. Adding a format is one row of the table in batch_formats.cpp.
struct export_format {
    const char* name;      // as -f takes it
    const char* extension; // with the dot
    export_type type;
};

// The row named `name`; none when no format has that name.
const export_format* find_export_format(std::string_view name);
// The format used when -f is not given.
const export_format& default_export_format();
// "png|bmp|tm2|rwsect" for usage texts.
std::string export_format_names();

} // namespace quillmap
