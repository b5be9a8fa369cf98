#pragma once

#include "dictionary/ps2_raster_check.h"
#include "platform/ui_host.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QTreeWidget;

namespace quillmap {

// The list "Check for PS2 problems…" shows: one row per problem lint found (texture, name,
// problem, found, expected), or a line saying there are none.
class CPs2ProblemsDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    // `choose` is told the texture of a row double-clicked (numbered from 0, as the dictionary
    // counts; the list shows it from 1, as the texture list does).
    explicit CPs2ProblemsDialog(std::vector<ps2_problem> problems, QWidget* parent = nullptr,
                                std::function<void(int texture)> choose = {});

    int run_modal() override;
    const char* dialog_name() const override { return "CPs2ProblemsDialog"; }

    QLabel* summary = nullptr;
    QTreeWidget* list = nullptr;
};

// Lints the dictionary and shows the list through the host; the raster data read for it is
// released again.
void show_ps2_problems(ui_host& host, ps2_txd& txd, QWidget* parent,
                       std::function<void(int texture)> choose = {});

} // namespace quillmap
