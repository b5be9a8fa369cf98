#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>

#include <cstdint>
#include <vector>

namespace quillmap {

// One row of the entry list: an archive entry as the table holds it and what it turned out to be.
struct archive_entry_row {
    QString name;
    uint64_t size = 0; // bytes, whole sectors
    QString kind;      // "PS2 TXD" and the like, "-" for an entry that is no dictionary
    int textures = -1; // -1 for none
};

// What looking at one entry found, handed to the list in batches.
struct archive_entry_kind {
    int entry = -1;
    QString kind;
    int textures = -1;
};

// How much of the list the window's thread has looked at: cells read through the model, rows
// tried against the filter, pairs of rows compared for the order. A step that re-sorts,
// re-filters or re-measures the whole list shows here as a count near the number of rows or more.
struct archive_list_work {
    uint64_t cells_read = 0;
    uint64_t rows_filtered = 0;
    uint64_t rows_compared = 0;
};

// The archive's entry table as the list shows it, one row per entry, held as plain rows (a game's
// archive has 16,000 entries: no item object per cell). Kinds arrive in batches and each batch
// is one change notice over the rows it covers.
class archive_entry_model : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum column : int { col_name, col_size, col_kind, col_textures, col_count };
    static constexpr int entry_role = Qt::UserRole + 1; // the row's index into the table

    explicit archive_entry_model(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void set_rows(std::vector<archive_entry_row> rows);
    // Applies the kinds of a batch; entries outside the table are left out.
    void set_kinds(const std::vector<archive_entry_kind>& batch);

    const archive_entry_row& row(int entry) const { return rows_[size_t(entry)]; }
    // The name in lower case, the key names sort by.
    const QString& sort_name(int entry) const { return sort_names_[size_t(entry)]; }
    // The size as the list shows it.
    const QString& size_text(int entry) const { return size_texts_[size_t(entry)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    uint64_t cells_read() const { return cells_read_; }

  private:
    std::vector<archive_entry_row> rows_;
    std::vector<QString> sort_names_;
    std::vector<QString> size_texts_;
    mutable uint64_t cells_read_ = 0;
};

// Sorting and filtering read the rows themselves (numbers as numbers, names without case, equal
// keys in table order); a text narrows the list to rows whose name, size, kind or texture count
// holds it, case aside.
class archive_entry_proxy : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    archive_entry_proxy(archive_entry_model* source, QObject* parent = nullptr);

    void set_filter_text(const QString& text);
    const QString& filter_text() const { return filter_; }

    uint64_t rows_filtered() const { return rows_filtered_; }
    uint64_t rows_compared() const { return rows_compared_; }

  protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

  private:
    archive_entry_model* source_;
    QString filter_;
    mutable uint64_t rows_filtered_ = 0;
    mutable uint64_t rows_compared_ = 0;
};

} // namespace quillmap
