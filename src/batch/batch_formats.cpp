#include "batch/batch_formats.h"

#include "imageio/texture_dds.h"
#include "imageio/texture_png.h"

#include <array>

namespace {
// The dictionary's own export, as stored (view texture, swizzle as the texture says).
template <export_type Type>
bool write_native(ps2_txd& dictionary, uint32_t t, const std::filesystem::path& target,
                  const png_write_options&, std::string& error) {
    if (dictionary.export_texture(t, view_mode::texture, Type, &target, swizzle_mode::as_stored))
        return true;
    error = dictionary.last_error;
    return false;
}

// Level 0 as the texture view shows it; palettised textures keep their palette.
bool write_png(ps2_txd& dictionary, uint32_t t, const std::filesystem::path& target,
               const png_write_options& png, std::string& error) {
    return export_texture_png(dictionary, t, 0, view_mode::texture, swizzle_mode::as_stored, target,
                              error, png);
}

// Every level, DXT blocks as stored.
bool write_dds(ps2_txd& dictionary, uint32_t t, const std::filesystem::path& target,
               const png_write_options&, std::string& error) {
    return export_texture_dds(dictionary, t, target, error);
}

const std::array<export_format, 5> k_formats = {{
    {"png", ".png", &write_png},
    {"dds", ".dds", &write_dds},
    {"bmp", ".bmp", &write_native<export_type::bmp>},
    {"tm2", ".tm2", &write_native<export_type::tim2>},
    {"rwsect", ".rwsect", &write_native<export_type::rwsect>},
}};
constexpr std::string_view k_default_format = "png";
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
