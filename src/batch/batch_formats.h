#pragma once

#include "dictionary/ps2_txd.h"
#include "imageio/png_writer.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

// The picture formats a batch export writes, each with its extension and the call that writes
// one texture. Adding a format is one row of the table in batch_formats.cpp.
struct export_format {
    const char* name;      // as -f takes it
    const char* extension; // with the dot
    // False with `error` when the texture could not be written. `png` says how a PNG is packed.
    bool (*write)(ps2_txd& dictionary, uint32_t t, const std::filesystem::path& target,
                  const png_write_options& png, std::string& error);
};

std::span<const export_format> export_formats();
// The row named `name`; none when no format has that name.
const export_format* find_export_format(std::string_view name);
// The format used when -f is not given.
const export_format& default_export_format();
// "png|bmp|tm2|rwsect" for usage texts.
std::string export_format_names();
