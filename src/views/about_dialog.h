#pragma once

#include "platform/ui_host.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;

namespace quillmap {

// The About box: version line, build number and a note on the supported formats.
class CAboutDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CAboutDialog"; }
    void initialize();

    QLabel* label = nullptr;        // control 1021
    QGroupBox* group = nullptr;     // control 1058
    QPlainTextEdit* note = nullptr; // control 1002

  private:
    bool initialized_ = false;
};

extern const char* const k_supported_formats_note;

} // namespace quillmap
