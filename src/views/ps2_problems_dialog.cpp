#include "views/ps2_problems_dialog.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillmap {

CPs2ProblemsDialog::CPs2ProblemsDialog(std::vector<ps2_problem> problems, QWidget* parent,
                                       std::function<void(int)> choose)
    : QDialog(parent) {
    setWindowTitle("PS2 problems");
    summary = new QLabel(problems.empty() ? QString("No PS2 problems found.")
                                          : QString("%1 problem(s) found.").arg(problems.size()),
                         this);
    list = new QTreeWidget(this);
    list->setRootIsDecorated(false);
    list->setHeaderLabels({"Texture", "Name", "Problem", "Found", "Expected"});
    for (const ps2_problem& p : problems) {
        auto* row = new QTreeWidgetItem(
            QStringList{QString::number(p.texture + 1), QString::fromStdString(p.name),
                        QString::fromStdString(p.what), QString::fromStdString(p.found),
                        QString::fromStdString(p.expected)});
        row->setData(0, Qt::UserRole, static_cast<int>(p.texture));
        for (int column = 0; column < 5; ++column)
            row->setToolTip(column, row->text(column));
        list->addTopLevelItem(row);
    }
    // Sized once below from the rows' texts: no measuring of every row at each layout.
    list->header()->setSectionResizeMode(QHeaderView::Interactive);
    list->header()->setStretchLastSection(false);
    if (choose)
        connect(list, &QTreeWidget::itemDoubleClicked, this,
                [choose](QTreeWidgetItem* row) { choose(row->data(0, Qt::UserRole).toInt()); });
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(list);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] { done(id_ok); });
    // Wide enough for every column, Expected included, up to the screen's width.
    int columns = 0;
    const QFontMetrics metrics = list->fontMetrics();
    for (int column = 0; column < list->columnCount(); ++column) {
        int widest = list->header()->sectionSizeHint(column);
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            widest = std::max(
                widest, metrics.horizontalAdvance(list->topLevelItem(row)->text(column)) +
                            2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12);
        list->header()->resizeSection(column, widest);
        columns += widest;
    }
    const int frame = 2 * list->frameWidth() + layout->contentsMargins().left() +
                      layout->contentsMargins().right() + 24;
    int widest = columns + frame;
    if (const QScreen* screen = this->screen())
        widest = std::min(widest, screen->availableGeometry().width());
    resize(std::max(640, widest), 360);
}

int CPs2ProblemsDialog::run_modal() {
    return exec();
}

void show_ps2_problems(ui_host& host, ps2_txd& txd, QWidget* parent,
                       std::function<void(int)> choose) {
    CPs2ProblemsDialog dialog(lint_ps2_textures(txd), parent, std::move(choose));
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        txd.release_pixels(t);
    host.run(dialog);
}

} // namespace quillmap
