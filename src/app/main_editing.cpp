// What an editor is expected to offer beyond the classic commands: undo and redo, zoom, the
// list's filter and details view, themes, deleting several textures at once, and dragging
// textures out of the list and image files into it.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "platform/system.h"
#include "session/pixel_probe.h"
#include "stream/ascii_lower.h"
#include "views/palette_view.h"
#include "views/texture_details.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <filesystem>

namespace quillmap {

namespace {
CTextureList* tiles(QWidget* list) {
    return static_cast<CTextureList*>(list);
}
} // namespace

void CMainDialog::create_editing_widgets() {
    panes_.filter_box = new QLineEdit(panes_.client);
    panes_.filter_box->setObjectName("texture_filter");
    panes_.filter_box->setPlaceholderText("Filter textures");
    panes_.filter_box->setClearButtonEnabled(true);
    panes_.details = new texture_details(panes_.client);
    panes_.details->setObjectName("texture_details");
    panes_.details->hide();
    CTextureList* list = tiles(panes_.texture_list);
    connect(panes_.filter_box, &QLineEdit::textChanged, this, [this, list](const QString& text) {
        list->set_filter(text);
        panes_.details->set_filter(text);
    });
    connect(panes_.details, &texture_details::texture_chosen, this,
            [list](int t) { list->setCurrentRow(t, QItemSelectionModel::ClearAndSelect); });
    connect(panes_.details, &QTreeWidget::itemDoubleClicked, this,
            [this] { send_app_message(msg_texture_properties); });
    connect(panes_.preview, &picture_view::zoom_changed, this, [this] {
        QAction* fit = action(cmd::best_fit);
        QAction* original = action(cmd::original_size);
        if (!fit || !original) return; // the menus come later in start-up
        fit->setChecked(panes_.preview->fits());
        original->setChecked(!panes_.preview->fits() && panes_.preview->zoom_percent() == 100);
    });
    // The pixel inspector: what lies under the pointer, in the message pane.
    connect(panes_.preview, &picture_view::pixel_hovered, this,
            [this](QPoint pixel) { show_pixel_info(pixel); });
    // A click on a pixel selects its swatch in the palette view.
    connect(panes_.preview, &picture_view::pixel_clicked, this, [this](QPoint pixel) {
        const int t = list_selected();
        if (!session().is_open() || t < 0) return;
        const stored_pixel stored = probe_stored_pixel(
            *dictionary(), uint32_t(t), uint32_t(std::max(0, panes_.mip_box->currentIndex())),
            uint32_t(pixel.x()), uint32_t(pixel.y()), reads_swizzled(uint32_t(t)));
        if (stored.index) panes_.palette->set_selected(int(*stored.index));
    });
    // Renaming in place is an edit like any other: it goes through the session's history.
    list->set_renamer([this](uint32_t t, const std::string& name) {
        if (session().rename(t, name, name_kind::texture)) return true;
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return false;
    });
    list->set_command_state(
        [this](int id, bool& checked) { return conversion_state(id, checked); });
    list->set_drag_export([this](const std::vector<int>& textures) {
        std::vector<QString> paths;
        for (const std::string& path : export_for_drag(textures))
            paths.push_back(path_to_qt(path));
        return paths;
    });
    connect(list, &CTextureList::files_dropped, this,
            [this](const QStringList& files, int texture) {
                std::vector<std::string> paths;
                for (const QString& file : files)
                    paths.push_back(path_from_qt(file));
                drop_images(paths, texture);
            });
}

void CMainDialog::build_editing_menus() {
    for (int id : {cmd::edit_undo, cmd::edit_redo})
        commands_.emplace(id,
                          id == cmd::edit_undo ? &CMainDialog::cmd_undo : &CMainDialog::cmd_redo);
    for (int id : {cmd::zoom_in, cmd::zoom_out, cmd::best_fit, cmd::original_size})
        commands_[id] = &CMainDialog::cmd_zoom;
    commands_.emplace(cmd::details_view, &CMainDialog::cmd_details);
    for (int id : {cmd::theme_system, cmd::theme_light, cmd::theme_dark})
        commands_.emplace(id, &CMainDialog::cmd_theme);

    const theme stored =
        theme_from_name(QString::fromStdString(settings_.read_string("main", "theme")));
    if (stored != theme::system) set_theme(stored);
    refresh_title();
}

std::vector<int> CMainDialog::selected_textures() const {
    std::vector<int> textures = panes_.details && panes_.details->isVisible()
                                    ? panes_.details->selected_textures()
                                    : tiles(panes_.texture_list)->selected_textures();
    if (textures.empty() && list_selected() >= 0 &&
        (panes_.details->isVisible() || tiles(panes_.texture_list)->texture_shown(list_selected())))
        textures.push_back(list_selected());
    return textures;
}

void CMainDialog::refresh_title() {
    setWindowTitle(path_to_qt(document_.window_title()));
    if (QAction* undo = action(cmd::edit_undo)) {
        undo->setEnabled(history().can_undo());
        undo->setText(QString::fromStdString(document_.undo_text()));
    }
    if (QAction* redo = action(cmd::edit_redo)) {
        redo->setEnabled(history().can_redo());
        redo->setText(QString::fromStdString(document_.redo_text()));
    }
}

void CMainDialog::refresh_texture_info() {
    const int t = list_selected();
    if (!view_.info_shown || !session().is_open() || t < 0) return;
    auto* info = static_cast<CTextureInfoList*>(panes_.info_list);
    info->shown_swizzle = view_.swizzle;
    info->show_texture_info(static_cast<uint32_t>(t), session().dictionary());
}

void CMainDialog::refresh_after_edit(int select) {
    if (!session().is_open()) return;
    const int count = static_cast<int>(dictionary()->texture_count());
    if (select >= count) select = count - 1;
    list_fill(select);
    panes_.details->fill(dictionary());
    panes_.details->set_filter(panes_.filter_box->text());
    if (list_selected() >= 0) panes_.details->select_texture(list_selected());
    if (list_selected() == -1) {
        render_preview(-1, 0);
        panes_.mip_box->clear();
        set_status_text(0, "");
        set_status_text(1, app_msg::not_loaded);
        set_status_text(2, "");
    }
    update_command_states();
    update_version_display();
    refresh_texture_info();
    refresh_title();
}

void CMainDialog::cmd_undo(int) {
    const std::string name = history().undo_name();
    if (!history().undo()) return;
    refresh_after_edit(std::max(0, list_selected()));
    set_status_text(0, QString::asprintf(app_msg::undone, name.c_str()));
}

void CMainDialog::cmd_redo(int) {
    const std::string name = history().redo_name();
    if (!history().redo()) return;
    refresh_after_edit(std::max(0, list_selected()));
    set_status_text(0, QString::asprintf(app_msg::redone, name.c_str()));
}

void CMainDialog::cmd_zoom(int id) {
    switch (id) {
    case cmd::best_fit:
        panes_.preview->best_fit();
        break;
    case cmd::original_size:
        panes_.preview->original_size();
        break;
    case cmd::zoom_in:
        panes_.preview->zoom_in();
        break;
    default:
        panes_.preview->zoom_out();
        break;
    }
}

void CMainDialog::cmd_details(int) {
    const bool details = !panes_.details->isVisible();
    if (details) {
        panes_.details->fill(dictionary());
        panes_.details->set_filter(panes_.filter_box->text());
        if (list_selected() >= 0) panes_.details->select_texture(list_selected());
    }
    panes_.details->setVisible(details);
    panes_.texture_list->setVisible(!details);
    action(cmd::details_view)->setChecked(details);
}

void CMainDialog::set_theme(theme which) {
    apply_theme(*qApp, which);
    action(cmd::theme_system)->setChecked(which == theme::system);
    action(cmd::theme_light)->setChecked(which == theme::light);
    action(cmd::theme_dark)->setChecked(which == theme::dark);
}

void CMainDialog::cmd_theme(int id) {
    const theme which = id == cmd::theme_dark    ? theme::dark
                        : id == cmd::theme_light ? theme::light
                                                 : theme::system;
    set_theme(which);
    settings_.write_string("main", "theme", theme_name(which));
}

void CMainDialog::delete_textures(const std::vector<int>& textures) {
    const std::string question = format(app_msg::delete_many_question, int(textures.size()));
    if (host_.message_box(question, app_msg::delete_caption, box_buttons::yes_no,
                          box_icon::question) != id_yes)
        return;
    int deleted = 0;
    // From the last one down, so that the indices still to go stay valid.
    for (auto it = textures.rbegin(); it != textures.rend(); ++it) {
        if (!session().remove(static_cast<uint32_t>(*it))) {
            host_.message_box(session().last_error(), app_msg::error, box_buttons::ok,
                              box_icon::error);
            break;
        }
        ++deleted;
    }
    refresh_after_edit(textures.front());
    if (deleted > 0 && list_selected() >= 0)
        set_status_text(0, QString::asprintf(app_msg::deleted_many, deleted));
}

std::vector<std::string> CMainDialog::export_for_drag(const std::vector<int>& textures) {
    std::vector<std::string> paths;
    if (!session().is_open() || session().refusal(restrict_export)) return paths;
    if (drag_folder_.empty())
        drag_folder_ = path_from_qt(QDir::temp().filePath(
            QStringLiteral("quillmap-drag-%1").arg(QCoreApplication::applicationPid())));
    std::error_code ec;
    std::filesystem::create_directories(drag_folder_, ec);
    for (int t : textures) {
        const auto texture = static_cast<uint32_t>(t);
        const std::filesystem::path path =
            std::filesystem::path(drag_folder_) /
            dictionary()->default_export_name(texture, view_.alpha, export_type::png);
        if (session().export_texture(texture, view_.alpha, export_type::png, &path,
                                     export_swizzle(export_type::png)))
            paths.push_back(path.string());
    }
    return paths;
}

bool CMainDialog::drop_images(const std::vector<std::string>& paths, int texture) {
    if (paths.empty()) return false;
    // A dictionary dropped on the list opens, as it does anywhere on the window.
    const std::string first = editor_session::import_extension(paths.front());
    if (ascii_lower(first) == ".txd") {
        if (session().is_open() && session().modified() && !ask_unsaved_changes()) return false;
        if (!open_dictionary(paths.front(), 0)) return false;
        add_recent(paths.front());
        return true;
    }
    if (!require_dictionary()) return false;
    const std::optional<export_type> type = editor_session::export_type_for(first);
    if (texture >= 0 && paths.size() == 1 &&
        (type == export_type::bmp || type == export_type::tim2 || type == export_type::png ||
         type == export_type::dds)) {
        if (refused(restrict_replace)) return false;
        const auto t = static_cast<uint32_t>(texture);
        if (!replace_off_thread(t, paths.front(), false)) return false;
        refresh_after_edit(texture);
        set_status_text(0, QString::asprintf(app_msg::dropped_replaced,
                                             QString::fromLatin1(
                                                 dictionary()->texture_name(t, name_kind::texture))
                                                 .toUtf8()
                                                 .constData()));
        return true;
    }
    if (refused(restrict_import)) return false;
    // Dropped PNG pictures are added at 8 bits with one level, swizzled as the view says.
    png_add_options png;
    png.swizzle = view_.swizzle != quillmap::swizzle_mode::off;
    const int added = import_off_thread(paths, png);
    if (added == 0) return false;
    refresh_after_edit(static_cast<int>(dictionary()->texture_count()) - 1);
    set_status_text(0, QString::asprintf(app_msg::dropped_added, added));
    return true;
}

} // namespace quillmap
