#include "views/export_all_dialog.h"

#include "dictionary/ps2_txd.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quillmap {

CExportAllDialog::CExportAllDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Export All");
    folder_box = new QLineEdit(this);
    folder_box->setMinimumWidth(320);
    browse_button = new QPushButton("Browse...", this);
    browse_button->setAutoDefault(false);
    format_box = new QComboBox(this);
    format_box->addItem("PNG Picture (.png)", export_type_number(export_type::png));
    format_box->addItem("Windows Bitmap (.bmp)", export_type_number(export_type::bmp));
    format_box->addItem("PlayStation 2 TIM2 (.tm2)", export_type_number(export_type::tim2));
    format_box->addItem("RenderWare section (.rwsect)", export_type_number(export_type::rwsect));
    format_box->addItem("DirectDraw Surface (.dds)", export_type_number(export_type::dds));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_button = buttons->button(QDialogButtonBox::Ok);
    ok_button->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Folder:", this), 0, 0);
    grid->addWidget(folder_box, 0, 1);
    grid->addWidget(browse_button, 0, 2);
    grid->addWidget(new QLabel("Format:", this), 1, 0);
    grid->addWidget(format_box, 1, 1, 1, 2);
    grid->addWidget(buttons, 2, 0, 1, 3);

    connect(folder_box, &QLineEdit::textChanged, this,
            [this](const QString& text) { ok_button->setEnabled(!text.trimmed().isEmpty()); });
    connect(browse_button, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, "Export All to", folder_box->text());
        if (!chosen.isEmpty()) folder_box->setText(chosen);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CExportAllDialog::press_ok);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(id_cancel); });
}

void CExportAllDialog::initialize() {
    folder_box->setText(QFile::decodeName(folder.c_str()));
    ok_button->setEnabled(!folder_box->text().trimmed().isEmpty());
    const int row = format_box->findData(export_type_number(type));
    format_box->setCurrentIndex(
        row >= 0 ? row : format_box->findData(export_type_number(export_type::png)));
}

void CExportAllDialog::press_ok() {
    const QString text = folder_box->text().trimmed();
    if (text.isEmpty()) return;
    folder = QFile::encodeName(text).toStdString();
    type = export_type_from_number(format_box->currentData().toInt()).value_or(export_type::png);
    done(id_ok);
}

int CExportAllDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
