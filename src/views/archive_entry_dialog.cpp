#include "views/archive_entry_dialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillmap {

namespace {
enum column : int { col_name, col_size, col_kind, col_textures, col_count };
// Sorting reads numbers as numbers and names without case; the shown text may differ.
constexpr int k_sort_role = Qt::UserRole;
constexpr int k_entry_role = Qt::UserRole + 1;

QStandardItem* cell(const QString& text, const QVariant& sort_key, int entry) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(sort_key, k_sort_role);
    item->setData(entry, k_entry_role);
    return item;
}
} // namespace

CArchiveEntryDialog::CArchiveEntryDialog(const QString& archive_name,
                                         std::vector<archive_entry_row> rows, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Open from Archive - " + archive_name);
    model_ = new QStandardItemModel(0, col_count, this);
    model_->setHorizontalHeaderLabels({"Name", "Size", "Kind", "Textures"});
    fill(rows);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(k_sort_role);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setFilterKeyColumn(-1); // a kind ("PS2") narrows the list as well as a name

    filter_box = new QLineEdit(this);
    filter_box->setPlaceholderText("Filter");
    filter_box->setClearButtonEnabled(true);
    list = new QTreeView(this);
    list->setModel(proxy_);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(true);
    list->sortByColumn(-1, Qt::AscendingOrder); // table order until a header is clicked
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->header()->setSectionResizeMode(col_name, QHeaderView::Stretch);
    for (int c = col_size; c < col_count; ++c)
        list->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_button = buttons->button(QDialogButtonBox::Ok);
    ok_button->setDefault(true);
    auto* actions = new QHBoxLayout;
    const char* const captions[] = {"E&xtract...", "&Add...", "&Replace from file...",
                                    "&Delete",     "Re&name", "&Compact"};
    for (int a = 0; a < int(std::size(captions)); ++a) {
        auto* button = new QPushButton(captions[a], this);
        button->setAutoDefault(false);
        action_buttons.push_back(button);
        actions->addWidget(button);
        connect(button, &QPushButton::clicked, this,
                [this, a] { press(static_cast<archive_entry_action>(a)); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_box);
    layout->addWidget(list, 1);
    layout->addLayout(actions);
    layout->addWidget(buttons);
    resize(640, 460);

    connect(filter_box, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setFilterFixedString(text);
        select_first_when_none();
    });
    connect(list, &QTreeView::doubleClicked, this, [this] { press_ok(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &CArchiveEntryDialog::press_ok);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(id_cancel); });
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ok_button->setEnabled(list->currentIndex().isValid()); });
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { update_buttons(); });
    select_first_when_none();
    update_buttons();
}

void CArchiveEntryDialog::fill(const std::vector<archive_entry_row>& rows) {
    model_->removeRows(0, model_->rowCount());
    for (size_t i = 0; i < rows.size(); ++i) {
        const archive_entry_row& row = rows[i];
        const int entry = int(i);
        model_->appendRow({
            cell(row.name, row.name.toLower(), entry),
            cell(QString::number(row.size), QVariant::fromValue<qulonglong>(row.size), entry),
            cell(row.kind, row.kind, entry),
            cell(row.textures >= 0 ? QString::number(row.textures) : QString(), row.textures,
                 entry),
        });
    }
}

void CArchiveEntryDialog::set_rows(std::vector<archive_entry_row> rows) {
    const std::vector<int> kept = selected_entries();
    fill(rows);
    std::vector<int> still;
    for (const int entry : kept)
        if (entry < model_->rowCount()) still.push_back(entry);
    select_entries(still);
    select_first_when_none();
    update_buttons();
}

void CArchiveEntryDialog::set_entry_kind(int entry, const QString& kind, int textures) {
    if (entry < 0 || entry >= model_->rowCount()) return;
    QStandardItem* kind_item = model_->item(entry, col_kind);
    kind_item->setText(kind);
    kind_item->setData(kind, k_sort_role);
    QStandardItem* count_item = model_->item(entry, col_textures);
    count_item->setText(textures >= 0 ? QString::number(textures) : QString());
    count_item->setData(textures, k_sort_role);
}

std::vector<int> CArchiveEntryDialog::selected_entries() const {
    std::vector<int> entries;
    for (const QModelIndex& index : list->selectionModel()->selectedRows(col_name))
        entries.push_back(index.data(k_entry_role).toInt());
    std::sort(entries.begin(), entries.end());
    return entries;
}

void CArchiveEntryDialog::select_entries(const std::vector<int>& entries) {
    list->selectionModel()->clearSelection();
    bool first = true;
    for (int row = 0; row < proxy_->rowCount(); ++row) {
        if (!std::binary_search(entries.begin(), entries.end(), entry_at(row))) continue;
        const QModelIndex index = proxy_->index(row, col_name);
        if (first) list->setCurrentIndex(index);
        list->selectionModel()->select(index,
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        first = false;
    }
    update_buttons();
}

void CArchiveEntryDialog::update_buttons() {
    const size_t selected = selected_entries().size();
    // Extract and Delete take several entries, Replace and Rename one; Add and Compact none.
    const bool enabled[] = {selected > 0, true, selected == 1, selected > 0, selected == 1, true};
    for (size_t a = 0; a < action_buttons.size(); ++a)
        action_buttons[a]->setEnabled(enabled[a]);
}

void CArchiveEntryDialog::press(archive_entry_action action) {
    const auto button = action_buttons[size_t(action)];
    if (!button->isEnabled() || !on_action) return;
    on_action(action, selected_entries());
}

void CArchiveEntryDialog::select_first_when_none() {
    // Enter in the filter box opens the first match, so the first shown row is the current one.
    if (!list->currentIndex().isValid() && proxy_->rowCount() > 0)
        list->setCurrentIndex(proxy_->index(0, col_name));
    ok_button->setEnabled(list->currentIndex().isValid());
}

int CArchiveEntryDialog::shown_rows() const {
    return proxy_->rowCount();
}

int CArchiveEntryDialog::entry_at(int row) const {
    const QModelIndex index = proxy_->index(row, col_name);
    return index.isValid() ? index.data(k_entry_role).toInt() : -1;
}

bool CArchiveEntryDialog::select_entry(int entry) {
    for (int row = 0; row < proxy_->rowCount(); ++row) {
        if (entry_at(row) != entry) continue;
        list->setCurrentIndex(proxy_->index(row, col_name));
        return true;
    }
    return false;
}

void CArchiveEntryDialog::press_ok() {
    const QModelIndex current = list->currentIndex();
    if (!current.isValid()) return;
    chosen = current.data(k_entry_role).toInt();
    done(id_ok);
}

int CArchiveEntryDialog::run_modal() {
    chosen = -1;
    filter_box->setFocus();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
