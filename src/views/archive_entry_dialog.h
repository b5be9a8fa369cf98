#pragma once

#include "platform/ui_host.h"
#include "views/archive_entry_model.h"

#include <QDialog>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeView;

namespace quillmap {

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
    // Fills in the kinds and texture counts of entries once they have been looked at: one change
    // of the list for the whole batch, whatever the order or filter it is shown in.
    void set_entry_kinds(const std::vector<archive_entry_kind>& batch);
    // What the window's thread has looked at in the list so far (see archive_list_work).
    archive_list_work work_done() const;
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
    // Columns but the name get their widths once from the header and a sample of the rows;
    // the kind column widens when a wider kind arrives. Nothing measures every row.
    void size_columns();
    void widen_kind_column(const QString& kind);

    archive_entry_model* model_ = nullptr;
    archive_entry_proxy* proxy_ = nullptr;
    QSet<QString> measured_kinds_;
};

} // namespace quillmap
