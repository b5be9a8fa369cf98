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

namespace quillmap {

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
    panes_.status_bar = new QStatusBar(panes_.client);
    panes_.status_bar->setObjectName("status_bar");
    panes_.status_bar->setSizeGripEnabled(true);
    for (int i = 0; i < 4; ++i) {
        panes_.status[i] = new status_pane(panes_.status_bar);
        if (i == 0) {
            // The message pane takes what the others leave and ends a long message in an
            // ellipsis, with the whole message in its tooltip; it never holds the window wide.
            panes_.status_bar->addWidget(panes_.status[i], 1);
        } else {
            panes_.status[i]->setMinimumWidth(k_pane_widths[i]);
            panes_.status_bar->addPermanentWidget(panes_.status[i]);
        }
    }
}

void CMainDialog::fit_status_pane(int pane) {
    if (pane < 1 || pane > 3) return;
    // The classic widths are the least a pane takes; a longer text widens it instead of being
    // cut, and the window never gets narrower than the panes need.
    panes_.status[pane]->setMinimumWidth(
        std::max(k_pane_widths[pane], panes_.status[pane]->sizeHint().width()));
    setMinimumWidth(std::max(k_min_window_width, panes_.status_bar->minimumSizeHint().width()));
}

void CMainDialog::build_menus() {
    build_menu_bar(
        *panes_.menu_bar,
        [this](QAction* a, const command_row& row) {
            const int id = row.id;
            actions_[id] = a;
            connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
        },
        [this](menu_id which, QMenu* menu) {
            if (which == menu_id::recent) {
                panes_.recent_menu = menu;
                menu->setObjectName("recent_files");
            }
            if (which == menu_id::dev) panes_.dev_menu = menu;
        });
}

void CMainDialog::rebuild_recent_menu() {
    const QList<QAction*> items = panes_.recent_menu->actions();
    for (qsizetype i = 2; i < items.size(); ++i) {
        const int id = items[i]->data().toInt();
        if (id == cmd::recent_placeholder) continue;
        actions_.erase(id);
        panes_.recent_menu->removeAction(items[i]);
        items[i]->deleteLater();
    }
    QAction* placeholder = action(cmd::recent_placeholder);
    const std::vector<std::string> paths = recent_.entries();
    for (size_t n = 0; n < paths.size(); ++n) {
        const int id = cmd::recent_first + static_cast<int>(n);
        QAction* a = panes_.recent_menu->addAction(menu_text_for_path(paths[n]));
        a->setData(id);
        actions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    }
    placeholder->setVisible(paths.empty());
}

void CMainDialog::build_panes() {
    // The list column stacks the filter box, the list (or the details table in its place) and
    // the mip-level box, at the classic offsets.
    panes_.list_column = new QWidget(panes_.client);
    auto* column = new QVBoxLayout(panes_.list_column);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    panes_.filter_box->setFixedHeight(22);
    panes_.mip_box->setFixedHeight(21);
    column->addWidget(panes_.filter_box);
    column->addSpacing(3);
    column->addWidget(panes_.texture_list, 1);
    column->addWidget(panes_.details, 1);
    column->addSpacing(8);
    column->addWidget(panes_.levels);
    column->addWidget(panes_.mip_box);
    column->addSpacing(3);

    panes_.splitter = new QSplitter(Qt::Horizontal, panes_.client);
    panes_.splitter->setObjectName("pane_splitter");
    panes_.splitter->setHandleWidth(k_handle);
    panes_.splitter->setChildrenCollapsible(false);
    panes_.splitter->addWidget(panes_.list_column);
    panes_.splitter->addWidget(panes_.preview);
    // The right column: the information panel, and under it the palette of a 4- or 8-bit
    // texture.
    panes_.info_column = new QWidget(panes_.client);
    auto* right = new QVBoxLayout(panes_.info_column);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(3);
    right->addWidget(panes_.info_list, 1);
    right->addWidget(panes_.palette);
    panes_.splitter->addWidget(panes_.info_column);
    // A wider or narrower window changes the preview; the columns keep their widths.
    panes_.splitter->setStretchFactor(0, 0);
    panes_.splitter->setStretchFactor(1, 1);
    panes_.splitter->setStretchFactor(2, 0);
    connect(panes_.splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = panes_.splitter->sizes();
        left_width_ = sizes.value(0, left_width_);
        if (view_.info_shown && sizes.value(2) > 0) info_width_ = sizes.value(2);
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
    const QList<int> sizes = panes_.splitter->sizes();
    settings_.write_string(
        "main", k_pane_sizes_key,
        splitter_sizes_text({left_width_, sizes.value(1), info_width_}).toStdString());
}

void CMainDialog::layout_controls(int cx, int cy) {
    if (view_.info_shown && cx <= 400) cmd_show_more_info(cmd::show_more_info);
    const int bar = panes_.status_bar->sizeHint().height();
    panes_.status_bar->setGeometry(0, cy - bar, std::max(0, cx), bar);
    const int inner_w = std::max(0, cx - 2 * k_margin);
    // The classic panes end 21 pixels above the bottom, where a taller status bar would cover
    // them: they end above it.
    panes_.splitter->setGeometry(k_margin, k_margin, inner_w,
                                 std::max(0, cy - std::max(bar, 21) - k_margin));

    // In a window too narrow for the chosen widths both columns give way in proportion, until
    // it is wide enough again; the stored widths stay.
    const int handles = view_.info_shown ? 2 * k_handle : k_handle;
    int left = left_width_;
    int info = view_.info_shown ? info_width_ : 0;
    // The preview keeps at least a third of the width, so stored column widths from a larger
    // window never squeeze it to a strip.
    const int room = std::max(0, inner_w - handles - std::max(k_min_preview, inner_w / 3));
    if (left + info > room && left + info > 0) {
        left = static_cast<int>(int64_t(room) * left / (left + info));
        info = view_.info_shown ? room - left : 0;
    }
    panes_.splitter->setSizes({left, std::max(0, inner_w - handles - left - info), info});
    panes_.preview->update();
}

} // namespace quillmap
