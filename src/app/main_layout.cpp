// The window's menus, status bar and the layout rule of its client area.
#include "app/main_dialog.h"

#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "platform/system.h"
#include "views/mip_strip.h"
#include "views/palette_view.h"
#include "views/pane_splitter.h"
#include "views/status_pane.h"
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
        panes_[i] = new status_pane(status_bar_);
        if (i == 0) {
            // The message pane takes what the others leave and ends a long message in an
            // ellipsis, with the whole message in its tooltip; it never holds the window wide.
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

void CMainDialog::build_menus() {
    build_menu_bar(
        *menu_bar_,
        [this](QAction* a, const command_row& row) {
            const int id = row.id;
            actions_[id] = a;
            connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
        },
        [this](menu_id which, QMenu* menu) {
            if (which == menu_id::recent) recent_menu_ = menu;
            if (which == menu_id::dev) dev_menu_ = menu;
        });
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
    column->addWidget(mip_strip_);
    column->addWidget(mip_box_);
    column->addSpacing(3);

    splitter_ = new QSplitter(Qt::Horizontal, client_);
    splitter_->setObjectName("pane_splitter");
    splitter_->setHandleWidth(k_handle);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(list_column_);
    splitter_->addWidget(preview_);
    // The right column: the information panel, and under it the palette of a 4- or 8-bit
    // texture.
    info_column_ = new QWidget(client_);
    auto* right = new QVBoxLayout(info_column_);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(3);
    right->addWidget(info_list_, 1);
    right->addWidget(palette_view_);
    splitter_->addWidget(info_column_);
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
    // The preview keeps at least a third of the width, so stored column widths from a larger
    // window never squeeze it to a strip.
    const int room = std::max(0, inner_w - handles - std::max(k_min_preview, inner_w / 3));
    if (left + info > room && left + info > 0) {
        left = static_cast<int>(int64_t(room) * left / (left + info));
        info = info_shown_ ? room - left : 0;
    }
    splitter_->setSizes({left, std::max(0, inner_w - handles - left - info), info});
    preview_->update();
}
