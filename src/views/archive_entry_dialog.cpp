#include "views/archive_entry_dialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillmap {

namespace {
constexpr int col_name = archive_entry_model::col_name;
constexpr int col_kind = archive_entry_model::col_kind;
constexpr int col_count = archive_entry_model::col_count;
// Rows whose texts size the columns when the list is filled.
constexpr int k_sample_rows = 256;
} // namespace

CArchiveEntryDialog::CArchiveEntryDialog(const QString& archive_name,
                                         std::vector<archive_entry_row> rows, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Open from Archive - " + archive_name);
    model_ = new archive_entry_model(this);
    model_->set_rows(std::move(rows));
    proxy_ = new archive_entry_proxy(model_, this);

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
    list->header()->setSectionResizeMode(QHeaderView::Interactive);
    list->header()->setSectionResizeMode(col_name, QHeaderView::Stretch);
    list->header()->setStretchLastSection(false);
    size_columns();

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
        proxy_->set_filter_text(text);
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

void CArchiveEntryDialog::size_columns() {
    const QFontMetrics metrics(list->font());
    // The cell's own margins on both sides, and a little air.
    const int margin =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 8;
    QHeaderView* header = list->header();
    const int rows = model_->rowCount();
    // The largest size is found among all rows as a number; only its text is measured.
    uint64_t largest = 0;
    for (int entry = 0; entry < rows; ++entry)
        largest = std::max(largest, model_->row(entry).size);
    int size_width = metrics.horizontalAdvance(QString::number(largest));
    int textures_width = 0;
    measured_kinds_.clear();
    int kind_width = 0;
    for (int entry = 0; entry < rows && entry < k_sample_rows; ++entry) {
        const archive_entry_row& row = model_->row(entry);
        if (row.textures >= 0)
            textures_width =
                std::max(textures_width, metrics.horizontalAdvance(QString::number(row.textures)));
        if (!measured_kinds_.contains(row.kind)) {
            measured_kinds_.insert(row.kind);
            kind_width = std::max(kind_width, metrics.horizontalAdvance(row.kind));
        }
    }
    const int widths[] = {0, size_width, kind_width, textures_width};
    for (int c = col_name + 1; c < col_count; ++c)
        header->resizeSection(c, std::max(header->sectionSizeHint(c), widths[c] + margin));
}

void CArchiveEntryDialog::widen_kind_column(const QString& kind) {
    if (measured_kinds_.contains(kind)) return;
    measured_kinds_.insert(kind);
    const int margin =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 8;
    const int wanted = QFontMetrics(list->font()).horizontalAdvance(kind) + margin;
    if (wanted > list->header()->sectionSize(col_kind))
        list->header()->resizeSection(col_kind, wanted);
}

void CArchiveEntryDialog::set_rows(std::vector<archive_entry_row> rows) {
    const std::vector<int> kept = selected_entries();
    model_->set_rows(std::move(rows));
    size_columns();
    std::vector<int> still;
    for (const int entry : kept)
        if (entry < model_->rowCount()) still.push_back(entry);
    select_entries(still);
    select_first_when_none();
    update_buttons();
}

void CArchiveEntryDialog::set_entry_kinds(const std::vector<archive_entry_kind>& batch) {
    for (const archive_entry_kind& found : batch)
        widen_kind_column(found.kind);
    model_->set_kinds(batch);
}

archive_list_work CArchiveEntryDialog::work_done() const {
    return {model_->cells_read(), proxy_->rows_filtered(), proxy_->rows_compared()};
}

std::vector<int> CArchiveEntryDialog::selected_entries() const {
    std::vector<int> entries;
    for (const QModelIndex& index : list->selectionModel()->selectedRows(col_name))
        entries.push_back(proxy_->mapToSource(index).row());
    std::sort(entries.begin(), entries.end());
    return entries;
}

void CArchiveEntryDialog::select_entries(const std::vector<int>& entries) {
    // One selection of runs of shown rows, set at once: a notice per row would cost a pass over
    // the selection each.
    QItemSelection selection;
    QModelIndex first;
    int run_start = -1;
    const int shown = proxy_->rowCount();
    for (int row = 0; row <= shown; ++row) {
        const bool chosen =
            row < shown && std::binary_search(entries.begin(), entries.end(), entry_at(row));
        if (chosen && run_start < 0) run_start = row;
        if (chosen && !first.isValid()) first = proxy_->index(row, col_name);
        if (!chosen && run_start >= 0) {
            selection.select(proxy_->index(run_start, col_name),
                             proxy_->index(row - 1, col_count - 1));
            run_start = -1;
        }
    }
    if (first.isValid())
        list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    list->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
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
    return index.isValid() ? proxy_->mapToSource(index).row() : -1;
}

bool CArchiveEntryDialog::select_entry(int entry) {
    if (entry < 0 || entry >= model_->rowCount()) return false;
    const QModelIndex shown = proxy_->mapFromSource(model_->index(entry, col_name));
    if (!shown.isValid()) return false;
    list->setCurrentIndex(shown);
    return true;
}

void CArchiveEntryDialog::press_ok() {
    const QModelIndex current = list->currentIndex();
    if (!current.isValid()) return;
    chosen = proxy_->mapToSource(current).row();
    done(id_ok);
}

int CArchiveEntryDialog::run_modal() {
    chosen = -1;
    filter_box->setFocus();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
