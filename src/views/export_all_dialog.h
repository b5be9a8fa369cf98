#pragma once

#include "dictionary/export_type.h"

#include "platform/ui_host.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quillmap {

// Export All asks for both things at once: the folder every texture goes into and the format
// they are written in (PNG, BMP, TIM2 or RenderWare section).
class CExportAllDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    explicit CExportAllDialog(QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CExportAllDialog"; }
    // Shows `folder` and `type` (an unknown type falls back to PNG).
    void initialize();
    // OK: the folder and format go into `folder` and `type` and the dialog ends; nothing
    // happens while the folder is empty.
    void press_ok();

    std::string folder;
    export_type type = export_type::png;

    QLineEdit* folder_box = nullptr;
    QComboBox* format_box = nullptr;
    QPushButton* browse_button = nullptr;
    QPushButton* ok_button = nullptr;
};

} // namespace quillmap
