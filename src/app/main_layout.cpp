// The window's menus, status bar and the layout rule of its client area.
#include "app/main_dialog.h"

#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "platform/system.h"
#include "views/pane_splitter.h"
#include "views/ps2_problems_dialog.h"
#include "views/texture_details.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const char* const k_pane_sizes_key = "pane_sizes";
// The gaps of the classic layout: 3 pixels around the panes, 5 between them.
constexpr int k_margin = 3;
constexpr int k_handle = 5;
// What the preview keeps when the side columns have to give way in a narrow window.
constexpr int k_min_preview = 64;
// The status panes' classic widths; the first pane takes the rest.
constexpr int k_pane_widths[4] = {0, 130, 140, 130};
// Both columns beside a preview.
constexpr int k_min_window_width = 2 * CMainDialog::k_column_width + 140;

// Menu texts may hold '&' of their own (a path), which must not become a mnemonic.
QString menu_text_for_path(const std::string& path) {
    return path_to_qt(path).replace('&', "&&");
}
} // namespace

void CMainDialog::build_status_bar() {
    status_bar_ = new QStatusBar(client_);
    status_bar_->setSizeGripEnabled(true);
    for (int i = 0; i < 4; ++i) {
        panes_[i] = new QLabel(status_bar_);
        if (i == 0) {
            // The message pane takes what the others leave and cuts a long message; it never
            // holds the window wide.
            panes_[i]->setMinimumWidth(1);
            status_bar_->addWidget(panes_[i], 1);
        } else {
            panes_[i]->setMinimumWidth(k_pane_widths[i]);
            status_bar_->addPermanentWidget(panes_[i]);
        }
    }
}

void CMainDialog::fit_status_pane(int pane) {
    if (pane < 1 || pane > 3) return;
    // The classic widths are the least a pane takes; a longer text widens it instead of being
    // cut, and the window never gets narrower than the panes need.
    panes_[pane]->setMinimumWidth(std::max(k_pane_widths[pane], panes_[pane]->sizeHint().width()));
    setMinimumWidth(std::max(k_min_window_width, status_bar_->minimumSizeHint().width()));
}

QAction* CMainDialog::add_menu_action(QMenu* menu, int id, const char* text) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    a->setData(id);
    actions_[id] = a;
    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    return a;
}

void CMainDialog::build_menus() {
    const auto add = [this](QMenu* menu, int id, const char* text) {
        return add_menu_action(menu, id, text);
    };

    file_menu_ = menu_bar_->addMenu("&File");
    add(file_menu_, cmd::file_new, "&New\tCtrl+N");
    add(file_menu_, cmd::file_open, "&Open...\tCtrl+O");
    add(file_menu_, cmd::file_open_by_offset, "Open By Offse&t...");
    add(file_menu_, cmd::file_open_from_archive, "Open from A&rchive\u2026");
    add(file_menu_, cmd::file_save, "&Save\tCtrl+S");
    add(file_menu_, cmd::file_save_as, "Save &As...");
    file_menu_->addSeparator();
    recent_menu_ = file_menu_->addMenu("Recent Files"); // position 7
    add(recent_menu_, cmd::recent_autoload, "Load Recent File On Startup")->setCheckable(true);
    recent_menu_->addSeparator();
    add(recent_menu_, cmd::recent_placeholder, "(no recent files)")->setEnabled(false);
    QMenu* convert = file_menu_->addMenu("&Convert TXD to");
    add(convert, cmd::convert_pc, "PC Version");
    add(convert, cmd::convert_ps2, "PS2 Version");
    file_menu_->addSeparator();
    add(file_menu_, cmd::file_exit, "E&xit\tAlt+F4");

    QMenu* view = menu_bar_->addMenu("&View");
    for (int id : {cmd::alpha_texture, cmd::alpha_alpha, cmd::alpha_mixed}) {
        const char* text = id == cmd::alpha_texture ? "Texture\tCtrl+1"
                           : id == cmd::alpha_alpha ? "Alpha\tCtrl+2"
                                                    : "Texture+Alpha\tCtrl+3";
        add(view, id, text)->setCheckable(true);
    }
    view->addSeparator();
    QMenu* swizzling = view->addMenu("&Swizzling");
    QAction* autos = add(swizzling, cmd::swizzle_auto, "Auto\tShift+1");
    add(swizzling, cmd::swizzle_on, "Always ON\tShift+2");
    add(swizzling, cmd::swizzle_off, "Always OFF\tShift+3");
    add(swizzling, cmd::swizzle_invert, "Invert\tShift+4")->setEnabled(false);
    swizzling->addSeparator();
    add(swizzling, cmd::swizzle_smart, "SmartSwizzling\tShift+7")->setEnabled(false);
    for (int id : {cmd::swizzle_auto, cmd::swizzle_on, cmd::swizzle_off, cmd::swizzle_invert,
                   cmd::swizzle_smart})
        actions_[id]->setCheckable(true);
    swizzling->setDefaultAction(autos); // shown in bold
    QAction* brighten = add(view, cmd::brighten_alphas, "&Brighten Alphas\tCtrl+Shift+B");
    brighten->setCheckable(true);
    brighten->setChecked(true);
    view->addSeparator();
    QAction* original = add(view, cmd::original_size, "Original &Size");
    original->setCheckable(true);
    original->setChecked(true);
    add(view, cmd::best_fit, "Best &Fit")->setEnabled(false);
    add(view, cmd::stretch_image, "S&tretch Image");
    view->addSeparator();
    add(view, cmd::reload_list, "Reload List\tF5");
    add(view, cmd::show_more_info, "Show More &Info\tCtrl+I")->setCheckable(true);

    QMenu* texture = menu_bar_->addMenu("&Texture");
    QMenu* exports = texture->addMenu("&Export");
    add(exports, cmd::export_png, "PNG Picture\t.png");
    add(exports, cmd::export_bmp, "Windows Bitmap\t.bmp");
    add(exports, cmd::export_tim2, "PlayStation 2 TIM2\t.tm2");
    add(exports, cmd::export_rwsect, "RenderWare section \t.rwsect");
    add(texture, cmd::export_all, "Export &All...");
    add(texture, cmd::import_file, "&Import...");
    QMenu* replaces = texture->addMenu("&Replace");
    add(replaces, cmd::replace, "Replace...");
    add(replaces, cmd::replace_using_alpha, "Replace Using Alpha...");
    replaces->addSeparator();
    add(replaces, cmd::replace_texture, "Replace Texture...");
    add(replaces, cmd::replace_alpha, "Replace Alpha...");
    texture->addSeparator();
    add(texture, cmd::rename, "Re&name");
    add(texture, cmd::remove, "&Delete\tDel");
    add(texture, cmd::move_up, "Move Up");
    add(texture, cmd::move_down, "Move Down");
    texture->addSeparator();
    add(texture, cmd::change_version, "&Change RW Version...");
    QAction* check = texture->addAction(QString::fromUtf8("Check for PS2 problems\u2026"));
    connect(check, &QAction::triggered, this, [this] {
        if (dictionary()) show_ps2_problems(host_, *dictionary(), this);
    });

    dev_menu_ = menu_bar_->addMenu("DEV"); // the fourth top-level menu
    add(dev_menu_, cmd::dev_structure, "Show RW structure");
    add(dev_menu_, cmd::dev_memory, "RW Tree Memory Test");
    add(dev_menu_, cmd::dev_batch_log, "MainDialog::MenuDEVTest02( void )\tDEV");

    QMenu* help = menu_bar_->addMenu("&Help");
    add(help, cmd::about, "&About...");
}

void CMainDialog::rebuild_recent_menu() {
    const QList<QAction*> items = recent_menu_->actions();
    for (qsizetype i = 2; i < items.size(); ++i) {
        const int id = items[i]->data().toInt();
        if (id == cmd::recent_placeholder) continue;
        actions_.erase(id);
        recent_menu_->removeAction(items[i]);
        items[i]->deleteLater();
    }
    QAction* placeholder = action(cmd::recent_placeholder);
    const std::vector<std::string> paths = recent_.entries();
    for (size_t n = 0; n < paths.size(); ++n) {
        const int id = cmd::recent_first + static_cast<int>(n);
        QAction* a = recent_menu_->addAction(menu_text_for_path(paths[n]));
        a->setData(id);
        actions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    }
    placeholder->setVisible(paths.empty());
}

void CMainDialog::build_panes() {
    // The list column stacks the filter box, the list (or the details table in its place) and
    // the mip-level box, at the classic offsets.
    list_column_ = new QWidget(client_);
    auto* column = new QVBoxLayout(list_column_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    filter_box_->setFixedHeight(22);
    mip_box_->setFixedHeight(21);
    column->addWidget(filter_box_);
    column->addSpacing(3);
    column->addWidget(texture_list_, 1);
    column->addWidget(details_, 1);
    column->addSpacing(8);
    column->addWidget(mip_box_);
    column->addSpacing(3);

    splitter_ = new QSplitter(Qt::Horizontal, client_);
    splitter_->setObjectName("pane_splitter");
    splitter_->setHandleWidth(k_handle);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(list_column_);
    splitter_->addWidget(preview_);
    splitter_->addWidget(info_list_);
    // A wider or narrower window changes the preview; the columns keep their widths.
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 0);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = splitter_->sizes();
        left_width_ = sizes.value(0, left_width_);
        if (info_shown_ && sizes.value(2) > 0) info_width_ = sizes.value(2);
    });
}

void CMainDialog::restore_pane_sizes() {
    const QList<int> sizes = splitter_sizes_from_text(
        QString::fromStdString(settings_.read_string("main", k_pane_sizes_key)), 3);
    if (sizes.isEmpty()) return;
    // The preview takes what the columns leave; a hidden panel stored as 0 keeps its width.
    if (sizes[0] > 0) left_width_ = sizes[0];
    if (sizes[2] > 0) info_width_ = sizes[2];
}

void CMainDialog::store_pane_sizes() {
    const QList<int> sizes = splitter_->sizes();
    settings_.write_string(
        "main", k_pane_sizes_key,
        splitter_sizes_text({left_width_, sizes.value(1), info_width_}).toStdString());
}

void CMainDialog::layout_controls(int cx, int cy) {
    if (info_shown_ && cx <= 400) cmd_show_more_info(cmd::show_more_info);
    const int bar = status_bar_->sizeHint().height();
    status_bar_->setGeometry(0, cy - bar, std::max(0, cx), bar);
    const int inner_w = std::max(0, cx - 2 * k_margin);
    // The classic panes end 21 pixels above the bottom, where a taller status bar would cover
    // them: they end above it.
    splitter_->setGeometry(k_margin, k_margin, inner_w,
                           std::max(0, cy - std::max(bar, 21) - k_margin));

    // In a window too narrow for the chosen widths both columns give way in proportion, until
    // it is wide enough again; the stored widths stay.
    const int handles = info_shown_ ? 2 * k_handle : k_handle;
    int left = left_width_;
    int info = info_shown_ ? info_width_ : 0;
    const int room = std::max(0, inner_w - handles - k_min_preview);
    if (left + info > room && left + info > 0) {
        left = static_cast<int>(int64_t(room) * left / (left + info));
        info = info_shown_ ? room - left : 0;
    }
    splitter_->setSizes({left, std::max(0, inner_w - handles - left - info), info});
    preview_->update();
}
