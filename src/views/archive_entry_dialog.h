#pragma once

#include "platform/ui_host.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <vector>

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;

// One row of the entry list: an archive entry as the table holds it and what it turned out to be.
struct archive_entry_row {
    QString name;
    uint64_t size = 0; // bytes, whole sectors
    QString kind;      // "PS2 TXD" and the like, "-" for an entry that is no dictionary
    int textures = -1; // -1 for none
};

// "Open from Archive…": the archive's entries (name, size, kind, textures) in a sortable list
// that narrows as a text is typed into the box above it. OK or a double-click chooses one.
class CArchiveEntryDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    CArchiveEntryDialog(const QString& archive_name, std::vector<archive_entry_row> rows,
                        QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CArchiveEntryDialog"; }

    // Rows the filter lets through, in the order shown.
    int shown_rows() const;
    // The entry (index into the rows given) shown at `row`; -1 when there is none.
    int entry_at(int row) const;
    // Makes the shown row of that entry the current one; false when the filter hides it.
    bool select_entry(int entry);
    // OK: the current row's entry goes into `chosen` and the dialog ends; nothing without one.
    void press_ok();

    int chosen = -1;

    QLineEdit* filter_box = nullptr;
    QTreeView* list = nullptr;
    QPushButton* ok_button = nullptr;

  private:
    void select_first_when_none();

    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
};
