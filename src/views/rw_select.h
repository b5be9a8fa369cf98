#pragma once

#include "platform/ui_host.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace quillmap {

// Text read from the settings file for display: UTF-8 when it is valid UTF-8, otherwise the
// single-byte code of a hand-edited file (Latin-1).
QString text_from_settings(const std::string& bytes);

// The RenderWare version chooser: a list of games from section "rw_version" or a typed value.
class CRWSelect : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    explicit CRWSelect(uint32_t initial_version, QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CRWSelect"; }
    // Fills the list and applies the mode; run_modal() does this first.
    void initialize();
    // A radio button click: 1 pick from the list, 0 type a value.
    void set_mode(int new_mode);
    // OK: the chosen version goes into `result` (0xFFFFFFFF when there is none).
    void press_ok();

    uint32_t initial_version = 0;
    std::filesystem::path settings_path;
    int mode = 1;
    uint32_t result = 0;

    QComboBox* list = nullptr;         // control 1025
    QLineEdit* edit = nullptr;         // control 1002
    QRadioButton* from_list = nullptr; // control 1023
    QRadioButton* from_edit = nullptr; // control 1024

  private:
    void apply_mode();
    void show_selected();
};

// A hexadecimal number as "%X" reads it (blanks, an optional 0x, digits up to the first other
// character); false when no digit can be read or the number does not fit 32 bits.
bool parse_hex(const std::string& text, uint32_t& value);

} // namespace quillmap
