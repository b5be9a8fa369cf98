#pragma once

#include "platform/ui_host.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace quillmap {

// "Texture Properties": the texture's name and alpha name, and its swizzle state shown only.
class CTextureDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    // A missing string counts as empty.
    CTextureDialog(const wchar_t* name, const wchar_t* alpha_name, int swizzled,
                   QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CTextureDialog"; }
    // The dialog's initialisation: frame title, the two names, the locked check box.
    void initialize();
    // OK reads the two names and the check box; Cancel reads nothing.
    void press_ok();
    void press_cancel();

    QLineEdit* name_edit = nullptr;     // control 1002
    QLineEdit* alpha_edit = nullptr;    // control 1026
    QCheckBox* swizzle_check = nullptr; // control 1028
    QGroupBox* frame = nullptr;         // control 1021

    std::wstring name;
    std::wstring alpha_name;
    int swizzled = 0;
    bool swizzle_locked = true;
};

} // namespace quillmap
