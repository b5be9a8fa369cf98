#include "batch/batch_formats.h"

#include <array>

namespace quillmap {

namespace {
const std::array<export_format, 5> k_formats = {{
    {"png", ".png", export_type::png},
    {"dds", ".dds", export_type::dds},
    {"bmp", ".bmp", export_type::bmp},
    {"tm2", ".tm2", export_type::tim2},
    {"rwsect", ".rwsect", export_type::rwsect},
}};
constexpr std::string_view k_default_format = "png";
} // namespace

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

} // namespace quillmap
