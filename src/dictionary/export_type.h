#pragma once

#include <optional>
#include <string>

namespace quillmap {

// The file kinds a texture is exported to or read from. PNG and DDS are written and read by
// src/imageio; the dictionary itself only knows their names. The numbers are the ones the kinds
// are stored as.
enum class export_type { bmp = 1, tim2 = 2, rwsect = 4, png = 8, dds = 16 };

// The stored number back to a kind; an unknown number gives none.
constexpr std::optional<export_type> export_type_from_number(int number) {
    switch (number) {
    case 1:
        return export_type::bmp;
    case 2:
        return export_type::tim2;
    case 4:
        return export_type::rwsect;
    case 8:
        return export_type::png;
    case 16:
        return export_type::dds;
    default:
        return std::nullopt;
    }
}

constexpr int export_type_number(export_type type) {
    return static_cast<int>(type);
}

// ".bmp", ".tm2", ".rwsect", ".png" or ".dds".
constexpr const char* export_extension(export_type type) {
    switch (type) {
    case export_type::bmp:
        return ".bmp";
    case export_type::tim2:
        return ".tm2";
    case export_type::rwsect:
        return ".rwsect";
    case export_type::png:
        return ".png";
    case export_type::dds:
        return ".dds";
    }
    return ".bmp";
}

// The kind a file extension names, with or without its dot (exact case); none for others.
inline std::optional<export_type> export_type_of_extension(const std::string& extension) {
    const std::string dotted =
        (!extension.empty() && extension[0] == '.') ? extension : "." + extension;
    for (export_type type : {export_type::bmp, export_type::tim2, export_type::rwsect,
                             export_type::png, export_type::dds})
        if (dotted == export_extension(type)) return type;
    return std::nullopt;
}

} // namespace quillmap
