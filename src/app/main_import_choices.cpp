// The choices dialog of Import and Replace: the lists it offers for the open dictionary, the
// preview it shows (computed by the session off the window's thread) and the choices it keeps.
#include "app/app_messages.h"
#include "app/main_dialog.h"
#include "session/import_choices.h"
#include "views/import_choices_dialog.h"

#include <QImage>

#include <algorithm>

namespace quillmap {

namespace {
// Where the dialog remembers an import's choices, per platform family.
const char* const k_choices_section = "main";
const char* const k_depth_key = "png_import_depth";
const char* const k_mips_key = "png_import_mips";
const char* const k_dither_key = "png_import_dither";
const char* const k_pc_format_key = "import_pc_format";
const char* const k_mobile_format_key = "import_mobile_format";
const char* const k_gamecube_format_key = "import_gamecube_format";

import_choices session_choices(const choice_values& values, bool swizzle) {
    import_choices choices;
    choices.format = values.format;
    choices.dither = values.dither;
    if (values.mips >= 0)
        choices.mips = uint32_t(values.mips);
    else
        choices.mips.reset();
    choices.width = values.width;
    choices.height = values.height;
    choices.swizzle = swizzle;
    return choices;
}

preview_shown shown_of(choices_preview preview) {
    preview_shown shown;
    shown.error = std::move(preview.error);
    shown.note = std::move(preview.note);
    shown.psnr_colour = preview.psnr.colour;
    shown.psnr_alpha = preview.psnr.alpha;
    if (preview.ok) {
        const rgba_image& p = preview.picture;
        shown.picture = QImage(p.rgba.data(), int(p.width), int(p.height), int(p.width) * 4,
                               QImage::Format_RGBA8888)
                            .copy();
    }
    return shown;
}
} // namespace

std::optional<import_choices>
CMainDialog::ask_import_choices(const std::string& picture, std::optional<uint32_t> replaced,
                                bool keep_alpha, const std::string& heading,
                                const std::vector<std::pair<uint32_t, uint32_t>>& sizes) {
    ps2_txd& txd = *dictionary();
    const txd_family family = txd.family();
    const bool swizzle = view_.swizzle != quillmap::swizzle_mode::off;
    // A copy of the one texture the preview needs, made here; every preview works on its own
    // copy of that, off the window's thread.
    std::string error;
    std::shared_ptr<choices_preview_source> source =
        choices_preview_source::make(session(), picture, replaced, keep_alpha, error);
    if (!source) {
        host_.message_box(error, app_msg::error, box_buttons::ok, box_icon::error);
        return std::nullopt;
    }

    CImportChoicesDialog dialog(replaced ? CImportChoicesDialog::purpose::replace
                                         : CImportChoicesDialog::purpose::import,
                                this);
    dialog.heading = heading;
    dialog.formats = import_formats(txd);
    const char* format_key = family == txd_family::pc_xbox    ? k_pc_format_key
                             : family == txd_family::mobile   ? k_mobile_format_key
                             : family == txd_family::gamecube ? k_gamecube_format_key
                                                              : k_depth_key;
    if (replaced) {
        // A replace starts from the texture as it is stored.
        // A format no list names (16-bit PC pixels, say) is offered as stored (empty).
        const std::string own = texture_format(txd, *replaced);
        if (std::find(dialog.formats.begin(), dialog.formats.end(), own) == dialog.formats.end())
            dialog.formats.insert(dialog.formats.begin(), own);
        dialog.choices.format = own;
        dialog.choices.mips = -1;
        dialog.level_counts = family != txd_family::ps2;
    } else {
        // New PC, XBOX and mobile textures take a format by the picture's alpha unless asked.
        if (family != txd_family::ps2) dialog.formats.insert(dialog.formats.begin(), "");
        dialog.choices.format =
            family == txd_family::ps2
                ? std::to_string(settings_.read_int(k_choices_section, k_depth_key, 8))
                : settings_.read_string(k_choices_section, format_key);
        dialog.choices.mips = settings_.read_int(k_choices_section, k_mips_key, 1);
    }
    for (const std::string& format : dialog.formats)
        if (format_dithers(format)) dialog.dithering_formats.push_back(format);
    dialog.choices.dither = settings_.read_int(k_choices_section, k_dither_key, 1) != 0;
    dialog.sizes = sizes;
    if (!sizes.empty()) {
        dialog.choices.width = sizes.front().first;
        dialog.choices.height = sizes.front().second;
    }
    dialog.compute = [source, swizzle](const choice_values& values) {
        return shown_of(source->render(session_choices(values, swizzle)));
    };
    if (host_.run(dialog) != id_ok) return std::nullopt;

    const choice_values& chosen = dialog.choices;
    settings_.write_int(chosen.dither ? 1 : 0, k_choices_section, k_dither_key);
    if (!replaced) {
        if (family == txd_family::ps2)
            settings_.write_int(int32_t(std::stoi("0" + chosen.format)), k_choices_section,
                                k_depth_key);
        else
            settings_.write_string(k_choices_section, format_key, chosen.format);
        settings_.write_int(chosen.mips, k_choices_section, k_mips_key);
    }
    return session_choices(chosen, swizzle);
}

} // namespace quillmap
