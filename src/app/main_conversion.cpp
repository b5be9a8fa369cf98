// The texture list's "&Conversion" items: the selected PS2 textures swizzled, unswizzled or
// rebuilt at another depth, as one step of the undo history.
#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/main_dialog.h"
#include "imageio/texture_conversion.h"
#include "views/texture_list.h"

#include <memory>
#include <optional>

namespace quillmap {

namespace {
std::optional<texture_conversion> conversion_of(int id) {
    switch (id) {
    case cmd::convert_unswizzle:
        return texture_conversion::unswizzle;
    case cmd::convert_swizzle:
        return texture_conversion::swizzle;
    case cmd::convert_4bpp:
        return texture_conversion::depth4;
    case cmd::convert_8bpp:
        return texture_conversion::depth8;
    case cmd::convert_32bpp:
        return texture_conversion::depth32;
    default:
        // "16 bpp Grayscale": PS2 textures of these files have no 16-bit grayscale format, so
        // the item stays grayed.
        return std::nullopt;
    }
}

// Whether texture t shows the item's check mark: its depth, or its storage order (only
// palettised textures have one).
bool shows_check(ps2_txd& txd, uint32_t t, int id) {
    const uint32_t depth = txd.depth(t);
    switch (id) {
    case cmd::convert_unswizzle:
        return (depth == 4 || depth == 8) && !txd.is_swizzled(t);
    case cmd::convert_swizzle:
        return (depth == 4 || depth == 8) && txd.is_swizzled(t);
    case cmd::convert_4bpp:
        return depth == 4;
    case cmd::convert_8bpp:
        return depth == 8;
    case cmd::convert_32bpp:
        return depth == 32;
    default:
        return false;
    }
}
} // namespace

bool CMainDialog::conversion_state(int id, bool& checked) {
    checked = false;
    ps2_txd* txd = dictionary();
    const std::vector<int> textures = selected_textures();
    if (!txd || textures.empty()) return false;
    checked = true;
    for (int t : textures)
        checked = checked && shows_check(*txd, static_cast<uint32_t>(t), id);
    const std::optional<texture_conversion> conversion = conversion_of(id);
    if (!conversion || session().refusal(restrict_replace)) return false;
    for (int t : textures)
        if (conversion_applies(*txd, static_cast<uint32_t>(t), *conversion)) return true;
    return false;
}

void CMainDialog::cmd_convert(int id) {
    const std::optional<texture_conversion> conversion = conversion_of(id);
    if (!conversion || !require_dictionary() || refused(restrict_replace)) return;
    const std::vector<int> selected = selected_textures();
    std::vector<uint32_t> textures;
    int applicable = 0;
    for (int t : selected) {
        textures.push_back(static_cast<uint32_t>(t));
        if (conversion_applies(*dictionary(), static_cast<uint32_t>(t), *conversion)) ++applicable;
    }
    if (textures.empty()) return;
    const int current = list_selected() >= 0 ? list_selected() : selected.front();
    // Rebuilding textures at another depth quantizes them: it runs on a copy of the session
    // off the window's thread, and the copy comes back as one edit.
    auto ok = std::make_shared<bool>(false);
    const texture_conversion chosen = *conversion;
    const std::shared_ptr<editor_session> copy =
        work_on_copy(format(app_msg::converting_textures, applicable), 0,
                     [ok, textures, chosen](editor_session& copy, work_progress&) {
                         *ok = copy.convert(textures, chosen);
                     });
    if (!copy) return; // cancelled: the session never saw the copy
    if (!*ok) {
        host_.message_box(copy->error_text(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    session().take_worked(std::move(*copy), edit_kind::convert);
    refresh_after_edit(current); // thumbnails, details and preview show the new pixels
    // The textures converted together stay selected together.
    static_cast<CTextureList*>(panes_.texture_list)->select_textures(selected);
    QString status = QString::asprintf(app_msg::textures_converted, applicable);
    if (!session().last_note().empty())
        status += QStringLiteral(" ") + QString::fromStdString(session().last_note());
    set_status_text(0, status);
}

} // namespace quillmap
