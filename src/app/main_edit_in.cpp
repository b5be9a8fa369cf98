// Texture > Edit in...: a texture edited in an external image editor and put back on each save.
#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/external_edits.h"
#include "app/main_dialog.h"
#include "app/qt_ui_host.h"

#include <filesystem>

namespace quillmap {

namespace {
const char* const k_editor_section = "main";
const char* const k_editor_key = "external_editor"; // a program; empty for the desktop's
} // namespace

void CMainDialog::cmd_edit_in(int) {
    if (!require_dictionary() || refused(restrict_replace)) return;
    const std::vector<int> chosen = selected_textures();
    if (chosen.empty()) return;
    const auto t = static_cast<uint32_t>(chosen.front());
    if (!edits_) {
        edits_ = new external_edits(this);
        connect(edits_, &external_edits::saved, this, &CMainDialog::on_external_save);
    }
    const std::string name = dictionary()->texture_name(t, name_kind::texture);
    const QString file = edits_->file_for(QString::fromLatin1(name));
    const std::filesystem::path path = path_from_qt(file);
    if (file.isEmpty() || !session().export_texture(t, view_mode::texture, export_type::png, &path,
                                                    quillmap::swizzle_mode::as_stored)) {
        host_.message_box(file.isEmpty() ? format(app_msg::cannot_create_folder, "temp")
                                         : session().last_error(),
                          app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    edits_->watch(file, QString::fromLatin1(name));
    const std::string program = settings_.read_string(k_editor_section, k_editor_key);
    if (!external_edits::open_in_editor(file, QString::fromStdString(program))) {
        host_.message_box(format(app_msg::editor_not_started, path.string().c_str()),
                          app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    set_status_text(0, path_to_qt(format(app_msg::editing_in, name.c_str(),
                                         program.empty() ? "the image editor" : program.c_str())));
}

void CMainDialog::on_external_save(const QString& name, const QString& file) {
    // A command may be running; the save is offered again on the editor's next save.
    if (busy() || !session().is_open()) return;
    const std::string texture_name = name.toLatin1().toStdString();
    // Found by name: the list may have changed since the editor was opened.
    ps2_txd& txd = *dictionary();
    int texture = -1;
    for (uint32_t t = 0; t < txd.texture_count() && texture < 0; ++t)
        if (txd.texture_name(t, name_kind::texture) == texture_name) texture = int(t);
    if (texture < 0) return;
    if (host_.message_box(format(app_msg::external_saved, texture_name.c_str()),
                          app_msg::external_caption, box_buttons::yes_no,
                          box_icon::question) != id_yes)
        return;
    if (!replace_off_thread(uint32_t(texture), path_from_qt(file), false)) return;
    refresh_after_edit(texture);
}

void CMainDialog::drop_temporary_files() {
    if (edits_) edits_->clear();
    if (drag_folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(drag_folder_, ignored);
}

} // namespace quillmap
