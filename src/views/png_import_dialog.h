#pragma once

#include "platform/ui_host.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QComboBox;
class QLabel;

namespace quillmap {

// Asked once per import that brings PNG pictures in: the depth they become (4, 8 or 32 bits)
// and the mip levels (1 to 7, or 0 for RenderWare's own count for the size).
class CPngImportDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    explicit CPngImportDialog(QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CPngImportDialog"; }
    // Shows `depth` and `mips` in the two lists (unknown values fall back to 8 and 1).
    void initialize();
    // OK: the chosen entries go into `depth` and `mips` and the dialog ends.
    void press_ok();

    uint32_t depth = 8;
    uint32_t mips = 1;
    // The picture the choices are for: its file name and size, shown above them.
    std::string heading;

    QComboBox* depth_box = nullptr;
    QComboBox* mips_box = nullptr;
    QLabel* heading_label = nullptr;
};

} // namespace quillmap
