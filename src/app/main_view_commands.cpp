// View commands of the window: alpha and swizzle modes, the list reload, the information view,
// and the DEV and Help menus.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "platform/system.h"
#include "views/about_dialog.h"
#include "views/ps2_problems_dialog.h"
#include "views/rw_tree_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSplitter>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace quillmap {

void CMainDialog::set_alpha_mode(view_mode mode) {
    view_.alpha = mode;
    action(cmd::alpha_texture)->setChecked(mode == view_mode::texture);
    action(cmd::alpha_alpha)->setChecked(mode == view_mode::alpha);
    action(cmd::alpha_mixed)->setChecked(mode == view_mode::mixed);
    render_again();
}

void CMainDialog::set_swizzle_mode(quillmap::swizzle_mode mode) {
    view_.swizzle = mode;
    action(cmd::swizzle_auto)->setChecked(mode == quillmap::swizzle_mode::as_stored);
    action(cmd::swizzle_off)->setChecked(mode == quillmap::swizzle_mode::off);
    action(cmd::swizzle_on)->setChecked(mode == quillmap::swizzle_mode::on);
    action(cmd::swizzle_invert)->setChecked(false);
    action(cmd::swizzle_smart)->setChecked(false);
    render_again();
}

void CMainDialog::render_again() {
    if (list_has_dictionary() && list_selected() == -1) return;
    // The level the chooser shows stays drawn, so the chooser and the picture always agree.
    render_preview(list_has_dictionary() ? list_selected() : 0,
                   std::max(0, panes_.mip_box->currentIndex()));
    update_mip_strip();
    update_palette_view();
}

void CMainDialog::cmd_alpha(int id) {
    switch (id) {
    case cmd::alpha_texture:
    case cmd::popup_alpha_texture:
        set_alpha_mode(view_mode::texture);
        break;
    case cmd::alpha_alpha:
    case cmd::popup_alpha_alpha:
        set_alpha_mode(view_mode::alpha);
        break;
    case cmd::alpha_mixed:
    case cmd::popup_alpha_mixed:
        set_alpha_mode(view_mode::mixed);
        break;
    default:
        set_alpha_mode(next_user_view(view_.alpha));
        break;
    }
}

void CMainDialog::cmd_swizzle(int id) {
    switch (id) {
    case cmd::swizzle_auto:
        set_swizzle_mode(quillmap::swizzle_mode::as_stored);
        break;
    case cmd::swizzle_on:
        set_swizzle_mode(quillmap::swizzle_mode::on);
        break;
    case cmd::swizzle_off:
        set_swizzle_mode(quillmap::swizzle_mode::off);
        break;
    default:
        set_swizzle_mode(next_swizzle_mode(view_.swizzle));
        break;
    }
}

void CMainDialog::cmd_reload_list(int) {
    list_fill(0);
}

void CMainDialog::cmd_show_more_info(int) {
    view_.info_shown = !view_.info_shown;
    panes_.info_column->setVisible(view_.info_shown);
    // The splitter learns of a hidden pane from a posted event; the layout below needs it now.
    panes_.splitter->refresh();
    render_again();
    settings_.write_int(view_.info_shown ? 1 : 0, "main", "enable_info");
    action(cmd::show_more_info)->setChecked(view_.info_shown);
    const int w = width();
    resize(w + 1, height());
    resize(w, height());
    layout_controls(panes_.client->width(), panes_.client->height());
}

void CMainDialog::cmd_dev_structure(int) {
    if (!session().is_open()) {
        host_.message_box(app_msg::load_first, app_msg::error, box_buttons::ok, box_icon::warning);
        return;
    }
    CRWTreeDialog dialog(session().dictionary(), &host_, this);
    host_.run(dialog);
}

void CMainDialog::cmd_dev_memory(int) {
    const ps2_txd* txd = session().dictionary();
    if (!txd) {
        host_.message_box(app_msg::no_stream, app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    host_.message_box(format(app_msg::memory_info, txd->allocated_bytes / 1024.0,
                             static_cast<int>(txd->allocated_bytes), build_number()),
                      app_msg::memory_caption, box_buttons::ok, box_icon::information);
}

void CMainDialog::cmd_dev_batch_log(int) {
    file_request request;
    request.multiple = true;
    request.default_extension = ".rws";
    request.filter = app_msg::filter_batch;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    // The log goes beside the settings file.
    const std::filesystem::path log_path = settings_.path().parent_path() / "__txd_info_log.txt";
    std::ofstream log(log_path, std::ios::binary | std::ios::trunc);
    for (const std::string& path : paths) {
        ps2_txd dictionary;
        if (!dictionary.load(std::filesystem::path(path), 0, 0x16, 0)) continue;
        const uint32_t count = dictionary.texture_count();
        for (uint32_t t = 0; t < count; ++t) {
            set_status_text(0, path_to_qt(path));
            const uint32_t pixel_format = dictionary.pixel_format(t);
            if (pixel_format == 0x8888) continue;
            log << "File: " << path << ": #" << t << " (0x" << format("%x", pixel_format) << ") "
                << dictionary.texture_name(t, name_kind::texture) << "\n";
        }
    }
    log.close();
    host_.message_box(app_msg::batch_done, "", box_buttons::ok, box_icon::none);
}

void CMainDialog::cmd_about(int) {
    CAboutDialog dialog(this);
    host_.run(dialog);
}

void CMainDialog::cmd_check_ps2_problems(int) {
    if (!require_dictionary()) return;
    // A double-click on a problem selects its texture behind the list.
    show_ps2_problems(host_, *dictionary(), this, [this](int texture) {
        if (panes_.filter_box->text().size() > 0) panes_.filter_box->clear();
        list_fill(texture);
    });
}

void CMainDialog::cmd_filter_focus(int) {
    panes_.filter_box->setFocus(Qt::ShortcutFocusReason);
    panes_.filter_box->selectAll();
}

void CMainDialog::set_preview_zoom(int percent) {
    if (percent == -1)
        panes_.preview->best_fit();
    else if (percent > 0)
        panes_.preview->set_zoom(percent);
}

} // namespace quillmap
