#include "session/texture_export.h"

#include "imageio/texture_dds.h"
#include "imageio/texture_png.h"
#include "session/export_names.h"

namespace quillmap {

bool write_texture_file(ps2_txd& txd, uint32_t t, const export_settings& settings,
                        const std::filesystem::path& path, std::string& error) {
    switch (settings.type) {
    case export_type::png:
        return export_texture_png(txd, t, settings.level, settings.view, settings.swizzle, path,
                                  error, settings.png);
    case export_type::dds:
        // A DDS file holds every mip level: `level` does not apply.
        return export_texture_dds(txd, t, path, error);
    case export_type::bmp:
    case export_type::tim2:
    case export_type::rwsect:
        break;
    }
    txd.last_error.clear();
    if (txd.export_texture(t, settings.view, settings.type, &path, settings.swizzle)) return true;
    error = txd.last_error;
    return false;
}

void export_textures_into(ps2_txd& txd, std::span<const uint32_t> textures,
                          const std::filesystem::path& folder, const export_settings& settings,
                          export_report& report, const export_progress& progress) {
    report.asked = static_cast<uint32_t>(textures.size());
    export_name_set names;
    for (const uint32_t t : textures) {
        const std::string name =
            names.claim(txd.default_export_name(t, settings.view, settings.type));
        const std::filesystem::path path = folder / name;
        std::string error;
        if (write_texture_file(txd, t, settings, path, error))
            report.written.push_back(path);
        else
            report.failures.push_back({t, name, error});
        ++report.done;
        if (!progress) continue;
        const std::string next = report.done < report.asked
                                     ? txd.texture_name(textures[report.done], name_kind::texture)
                                     : std::string();
        if (!progress(report.done, report.asked, next)) return;
    }
}

} // namespace quillmap
