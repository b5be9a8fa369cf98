#include "imageio/picture_file.h"

#include "raster/dds_file.h"
#include "stream/ascii_lower.h"

bool read_picture_file(const std::filesystem::path& path, png_picture& out, std::string& error) {
    if (ascii_lower(path.extension().string()) != ".dds") return read_png_file(path, out, error);
    dds_image dds;
    if (!read_dds_file(path, dds, error)) return false;
    out = {};
    out.image.width = dds.width;
    out.image.height = dds.height;
    out.image.rgba = dds_level_rgba(dds, 0);
    return true;
}
