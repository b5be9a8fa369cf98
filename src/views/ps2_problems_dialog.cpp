#include "views/ps2_problems_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CPs2ProblemsDialog::CPs2ProblemsDialog(std::vector<ps2_problem> problems, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("PS2 problems");
    summary = new QLabel(problems.empty() ? QString("No PS2 problems found.")
                                          : QString("%1 problem(s) found.").arg(problems.size()),
                         this);
    list = new QTreeWidget(this);
    list->setRootIsDecorated(false);
    list->setHeaderLabels({"Texture", "Name", "Problem", "Found", "Expected"});
    for (const ps2_problem& p : problems)
        list->addTopLevelItem(new QTreeWidgetItem(
            QStringList{QString::number(p.texture), QString::fromStdString(p.name),
                        QString::fromStdString(p.what), QString::fromStdString(p.found),
                        QString::fromStdString(p.expected)}));
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(list);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] { done(id_ok); });
    resize(640, 360);
}

int CPs2ProblemsDialog::run_modal() {
    return exec();
}

void show_ps2_problems(ui_host& host, ps2_txd& txd, QWidget* parent) {
    CPs2ProblemsDialog dialog(lint_ps2_textures(txd), parent);
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        txd.release_pixels(t);
    host.run(dialog);
}
