#pragma once

#include "platform/ui_host.h"

#include <QDialog>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QPushButton;

namespace quillmap {

// Asks which power-of-two size a picture of another size is scaled to: one button per size,
// the nearest first and default, and Cancel.
class CSizeChoiceDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    using size = std::pair<uint32_t, uint32_t>;
    CSizeChoiceDialog(const std::string& file_name, size given, std::vector<size> sizes,
                      QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CSizeChoiceDialog"; }
    // The answer of a button: the size at `index` of `sizes`.
    void choose(size_t index);

    const std::vector<size> sizes;
    size chosen{0, 0};
    std::vector<QPushButton*> buttons;
};

} // namespace quillmap
