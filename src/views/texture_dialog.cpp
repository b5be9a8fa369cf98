#include "views/texture_dialog.h"

#include "views/dialog_buttons.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillmap {

CTextureDialog::CTextureDialog(const wchar_t* name_text, const wchar_t* alpha_text,
                               int swizzled_state, QWidget* parent)
    : QDialog(parent), name(name_text ? name_text : L""), alpha_name(alpha_text ? alpha_text : L""),
      swizzled(swizzled_state), swizzle_locked(true) {
    setWindowTitle("Texture Properties");
    frame = new QGroupBox("'%s' Properties", this);
    name_edit = new QLineEdit(frame);
    alpha_edit = new QLineEdit(frame);
    swizzle_check = new QCheckBox("Use &swizzling", frame);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel("Name", frame), 0, 0);
    grid->addWidget(name_edit, 0, 1);
    grid->addWidget(new QLabel("Alpha", frame), 1, 0);
    grid->addWidget(alpha_edit, 1, 1);
    grid->addWidget(swizzle_check, 2, 1);
    grid->setColumnMinimumWidth(1, 190);

    const auto [ok, cancel, buttons] = make_ok_cancel_row(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CTextureDialog::press_ok);
    connect(cancel, &QPushButton::clicked, this, &CTextureDialog::press_cancel);
}

void CTextureDialog::initialize() {
    const QString shown = QString::fromStdWString(name);
    frame->setTitle(QStringLiteral("'%1' Properties").arg(shown));
    name_edit->setText(shown);
    alpha_edit->setText(QString::fromStdWString(alpha_name));
    swizzle_check->setEnabled(!swizzle_locked);
    swizzle_check->setChecked(swizzled != 0);
}

void CTextureDialog::press_ok() {
    name = name_edit->text().toStdWString();
    alpha_name = alpha_edit->text().toStdWString();
    swizzled = swizzle_check->isChecked() ? 1 : 0;
    done(id_ok);
}

void CTextureDialog::press_cancel() {
    done(id_cancel);
}

int CTextureDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
