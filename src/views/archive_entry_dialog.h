#pragma once

#include "platform/ui_host.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;

namespace quillmap {

// One row of the entry list: an archive entry as the table holds it and what it turned out to be.
struct archive_entry_row {
    QString name;
    uint64_t size = 0; // bytes, whole sectors
    QString kind;      // "PS2 TXD" and the like, "-" for an entry that is no dictionary
    int textures = -1; // -1 for none
};

// What the buttons beside the list ask the window to do with the selected entries.
enum class archive_entry_action { extract, add, replace, remove, rename, compact };

// "Open from Archive…": the archive's entries (name, size, kind, textures) in a sortable list
// that narrows as a text is typed into the box above it. OK or a double-click opens one. The
// buttons Extract…, Add…, Replace from file…, Delete, Rename and Compact hand the selected
// entries to `on_action`, which edits the archive and gives the dialog its new rows.
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
    // The entries of the selected rows, in table order.
    std::vector<int> selected_entries() const;
    // Selects exactly these entries (tests, and keeping a selection across a refresh).
    void select_entries(const std::vector<int>& entries);
    // Replaces every row (after an edit of the archive); kinds not yet known show "…".
    void set_rows(std::vector<archive_entry_row> rows);
    // Fills in the kind and texture count of one entry once it has been looked at.
    void set_entry_kind(int entry, const QString& kind, int textures);
    // Runs the action of a button as a click would (tests).
    void press(archive_entry_action action);

    std::function<void(archive_entry_action, std::vector<int>)> on_action;
    int chosen = -1;

    QLineEdit* filter_box = nullptr;
    QTreeView* list = nullptr;
    QPushButton* ok_button = nullptr;
    // Extract…, Add…, Replace from file…, Delete, Rename, Compact: in the order of the actions.
    std::vector<QPushButton*> action_buttons;

  private:
    void select_first_when_none();
    void update_buttons();
    void fill(const std::vector<archive_entry_row>& rows);

    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
};

} // namespace quillmap
