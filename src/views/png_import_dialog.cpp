#include "views/png_import_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace quillmap {

namespace {
constexpr uint32_t k_most_levels = 7;
} // namespace

CPngImportDialog::CPngImportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Import PNG");
    depth_box = new QComboBox(this);
    depth_box->addItem("4 bits (16 colours)", 4);
    depth_box->addItem("8 bits (256 colours)", 8);
    depth_box->addItem("32 bits (true colour)", 32);
    mips_box = new QComboBox(this);
    mips_box->addItem("Auto (RenderWare's count)", 0);
    for (uint32_t n = 1; n <= k_most_levels; ++n)
        mips_box->addItem(QString::number(n), n);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    auto* grid = new QGridLayout(this);
    heading_label = new QLabel(this);
    heading_label->hide();
    grid->addWidget(heading_label, 0, 0, 1, 3);
    grid->addWidget(new QLabel("Depth:", this), 1, 0);
    grid->addWidget(depth_box, 1, 1);
    grid->addWidget(ok, 1, 2);
    grid->addWidget(new QLabel("Mip levels:", this), 2, 0);
    grid->addWidget(mips_box, 2, 1);
    grid->addWidget(cancel, 2, 2);
    connect(ok, &QPushButton::clicked, this, &CPngImportDialog::press_ok);
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
}

void CPngImportDialog::initialize() {
    heading_label->setText(QString::fromStdString(heading));
    heading_label->setVisible(!heading.empty());
    const int depth_row = depth_box->findData(depth);
    depth_box->setCurrentIndex(depth_row >= 0 ? depth_row : depth_box->findData(8));
    const int mips_row = mips_box->findData(mips);
    mips_box->setCurrentIndex(mips_row >= 0 ? mips_row : mips_box->findData(1));
}

void CPngImportDialog::press_ok() {
    depth = depth_box->currentData().toUInt();
    mips = mips_box->currentData().toUInt();
    done(id_ok);
}

int CPngImportDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
