#include "views/about_dialog.h"

#include "platform/system.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillmap {

const char* const k_supported_formats_note =
    "PlayStation 2 texture dictionaries (.txd): view, export, import, replace, rename, "
    "reorder and save.\r\n\r\n"
    "PC texture dictionaries (Direct3D 8 and 9, DXT1/DXT3 and plain): view, export and "
    "convert to PS2.\r\n\r\n"
    "XBOX texture dictionaries: view and export (add XBOX to platform_priority).\r\n\r\n"
    "iOS / Android texture dictionaries: view and export; PVR and ATC textures are listed "
    "only.\r\n\r\n"
    "PS2 / PSP TEX containers (.tex, .xtx, .chk): view and export (add TEX to "
    "platform_priority).\r\n\r\n"
    "Images: Windows Bitmap (.bmp), PlayStation 2 TIM2 (.tm2) and raw RenderWare texture "
    "sections (.rwsect).";

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About this shit");
    group = new QGroupBox("Quillmap build %d  // Spring 2012", this);
    label = new QLabel("Quillmap ", group);
    auto* icon = new QLabel(group);
    icon->setPixmap(QPixmap(":/quillmap/quillmap.png").scaled(32, 32));
    auto* caption = new QLabel("Supported formats info:", group);
    note = new QPlainTextEdit(group);
    note->setReadOnly(true);
    note->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* inner = new QGridLayout(group);
    inner->addWidget(label, 0, 0);
    inner->addWidget(icon, 0, 1, Qt::AlignRight);
    inner->addWidget(caption, 1, 0, 1, 2);
    inner->addWidget(note, 2, 0, 1, 2);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] { done(id_ok); });
    resize(370, 290);
}

void CAboutDialog::initialize() {
    if (initialized_) return;
    initialized_ = true;
    const QString version_line =
        QString("v0.21 build %1 %2 (W2K-Zozev)").arg(build_date(), build_time());
    label->setText(label->text() + version_line);
    group->setTitle(group->title().replace("%d", QString::number(build_number())));
    note->setPlainText(QString(k_supported_formats_note).replace("\r\n", "\n"));
}

int CAboutDialog::run_modal() {
    initialize();
    exec();
    return id_ok;
}

} // namespace quillmap
