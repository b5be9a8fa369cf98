#include "views/one_edit_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quillmap {

COneEditDialog::COneEditDialog(std::string title_text, std::string label_text,
                               std::string initial_text, QWidget* parent)
    : QDialog(parent), title(std::move(title_text)), label(std::move(label_text)),
      initial(std::move(initial_text)) {
    setWindowTitle("Rename some shit");
    label_control = new QLabel("New name:", this);
    edit = new QLineEdit(this);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(label_control, 0, 0);
    grid->addWidget(edit, 0, 1);
    grid->addWidget(ok, 0, 2);
    grid->addWidget(cancel, 1, 2);
    grid->setColumnMinimumWidth(1, 185);
    connect(ok, &QPushButton::clicked, this, &COneEditDialog::press_ok);
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
}

void COneEditDialog::initialize() {
    if (!title.empty()) setWindowTitle(QString::fromStdString(title));
    if (!label.empty()) label_control->setText(QString::fromStdString(label));
    if (!initial.empty()) value = initial;
    edit->setText(QString::fromStdString(value));
    edit->selectAll();
}

void COneEditDialog::press_ok() {
    value = edit->text().toStdString();
    done(id_ok);
}

int COneEditDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
