#pragma once

#include "dictionary/ps2_raster_check.h"
#include "platform/ui_host.h"

#include <QDialog>

#include <vector>

class QLabel;
class QTreeWidget;

// The list "Check for PS2 problems…" shows: one row per problem lint found (texture, name,
// problem, found, expected), or a line saying there are none.
class CPs2ProblemsDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    explicit CPs2ProblemsDialog(std::vector<ps2_problem> problems, QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CPs2ProblemsDialog"; }

    QLabel* summary = nullptr;
    QTreeWidget* list = nullptr;
};

// Lints the dictionary and shows the list through the host; the raster data read for it is
// released again.
void show_ps2_problems(ui_host& host, ps2_txd& txd, QWidget* parent);
