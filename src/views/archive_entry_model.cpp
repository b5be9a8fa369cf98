#include "views/archive_entry_model.h"

#include <algorithm>

namespace quillmap {

namespace {
QString textures_text(int textures) {
    return textures >= 0 ? QString::number(textures) : QString();
}
} // namespace

void archive_entry_model::set_rows(std::vector<archive_entry_row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    sort_names_.clear();
    sort_names_.reserve(rows_.size());
    size_texts_.clear();
    size_texts_.reserve(rows_.size());
    for (const archive_entry_row& row : rows_) {
        sort_names_.push_back(row.name.toLower());
        size_texts_.push_back(QString::number(row.size));
    }
    endResetModel();
}

void archive_entry_model::set_kinds(const std::vector<archive_entry_kind>& batch) {
    int first = int(rows_.size());
    int last = -1;
    for (const archive_entry_kind& found : batch) {
        if (found.entry < 0 || size_t(found.entry) >= rows_.size()) continue;
        archive_entry_row& row = rows_[size_t(found.entry)];
        row.kind = found.kind;
        row.textures = found.textures;
        first = std::min(first, found.entry);
        last = std::max(last, found.entry);
    }
    if (last < 0) return;
    // The filler hands over entries in table order, so the span is the batch itself.
    emit dataChanged(index(first, col_kind), index(last, col_textures), {Qt::DisplayRole});
}

int archive_entry_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int archive_entry_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : col_count;
}

QVariant archive_entry_model::data(const QModelIndex& index, int role) const {
    ++cells_read_;
    if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
    const archive_entry_row& row = rows_[size_t(index.row())];
    if (role == entry_role) return index.row();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case col_name:
        return row.name;
    case col_size:
        return size_texts_[size_t(index.row())];
    case col_kind:
        return row.kind;
    case col_textures:
        return textures_text(row.textures);
    default:
        return {};
    }
}

QVariant archive_entry_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const captions[] = {"Name", "Size", "Kind", "Textures"};
    return section >= 0 && section < col_count ? QString(captions[section]) : QVariant();
}

Qt::ItemFlags archive_entry_model::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemFlags();
}

archive_entry_proxy::archive_entry_proxy(archive_entry_model* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
    // Every column may change what the filter lets through: a kind ("PS2") narrows the list too.
    setFilterKeyColumn(-1);
}

void archive_entry_proxy::set_filter_text(const QString& text) {
    if (text == filter_) return;
    filter_ = text;
    // The rows are mapped anew (filter, then one sort): taking rows out and putting them back
    // where they were costs a pass over the list per run of neighbours that changes, which a
    // text matching every fourth entry makes thousands of.
    invalidate();
}

bool archive_entry_proxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    ++rows_compared_;
    const int a = left.row(), b = right.row();
    const archive_entry_row& x = source_->row(a);
    const archive_entry_row& y = source_->row(b);
    int order = 0;
    switch (left.column()) {
    case archive_entry_model::col_name:
        order = source_->sort_name(a).compare(source_->sort_name(b));
        break;
    case archive_entry_model::col_size:
        order = x.size < y.size ? -1 : x.size > y.size ? 1 : 0;
        break;
    case archive_entry_model::col_kind:
        order = x.kind.compare(y.kind);
        break;
    case archive_entry_model::col_textures:
        order = x.textures < y.textures ? -1 : x.textures > y.textures ? 1 : 0;
        break;
    default:
        break;
    }
    return order != 0 ? order < 0 : a < b;
}

bool archive_entry_proxy::filterAcceptsRow(int source_row, const QModelIndex&) const {
    ++rows_filtered_;
    if (filter_.isEmpty()) return true;
    const archive_entry_row& row = source_->row(source_row);
    return row.name.contains(filter_, Qt::CaseInsensitive) ||
           row.kind.contains(filter_, Qt::CaseInsensitive) ||
           source_->size_text(source_row).contains(filter_) ||
           (row.textures >= 0 && QString::number(row.textures).contains(filter_));
}

} // namespace quillmap
