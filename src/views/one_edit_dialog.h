#pragma once

#include "platform/ui_host.h"

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;

namespace quillmap {

// One line of text: renaming a texture, typing an offset.
class COneEditDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    COneEditDialog(std::string title, std::string label, std::string initial,
                   QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "COneEditDialog"; }
    // The dialog's initialisation: caption, label and edit field from the members.
    void initialize();
    // OK: the edit field's text goes into `value` and the dialog ends.
    void press_ok();

    std::string value;
    std::string title;
    std::string label;
    std::string initial;

    QLineEdit* edit = nullptr;       // control 1002
    QLabel* label_control = nullptr; // control 1021
};

} // namespace quillmap
