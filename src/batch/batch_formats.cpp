#include "batch/batch_formats.h"

#include <array>

namespace {
// The dictionary's own export, as stored (view texture, swizzle as the texture says).
template <int Type>
bool write_native(ps2_txd& dictionary, uint32_t t, const std::filesystem::path& target,
                  std::string& error) {
    if (dictionary.export_texture(t, view_texture, Type, &target, -1)) return true;
    error = dictionary.last_error;
    return false;
}

// PNG joins as the first row, and becomes the default, once the image module is in the tree.
const std::array<export_format, 3> k_formats = {{
    {"bmp", ".bmp", &write_native<export_bmp>},
    {"tm2", ".tm2", &write_native<export_tim2>},
    {"rwsect", ".rwsect", &write_native<export_rwsect>},
}};
constexpr std::string_view k_default_format = "bmp";
} // namespace

std::span<const export_format> export_formats() {
    return k_formats;
}

const export_format* find_export_format(std::string_view name) {
    for (const auto& format : k_formats)
        if (name == format.name) return &format;
    return nullptr;
}

const export_format& default_export_format() {
    return *find_export_format(k_default_format);
}

std::string export_format_names() {
    std::string out;
    for (const auto& format : k_formats)
        out += (out.empty() ? "" : "|") + std::string(format.name);
    return out;
}
