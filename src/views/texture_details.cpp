#include "views/texture_details.h"

#include "dictionary/ps2_txd.h"
#include "views/texture_info_list.h"

#include <QHeaderView>
#include <QStyle>

#include <algorithm>

namespace quillmap {

namespace {
constexpr int k_texture_role = Qt::UserRole;
constexpr int k_sort_role = Qt::UserRole + 1;
constexpr int k_mask_role = Qt::UserRole + 2;

// Sizes, depths and counts sort by number, the rest by text.
class details_item : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant mine = data(column, k_sort_role);
        const QVariant theirs = other.data(column, k_sort_role);
        if (mine.isValid() && theirs.isValid()) return mine.toLongLong() < theirs.toLongLong();
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }
};

QString format_text(ps2_txd& d, uint32_t t) {
    if (const uint32_t compression = d.compression(t); compression != 0)
        return QStringLiteral("DXT%1").arg(compression);
    const uint32_t format = d.raster_format(t);
    QString text =
        QString::fromLatin1(CTextureInfoList::colour_format_names[((format >> 8) & 0xF) % 11])
            .simplified();
    if (format & 0x2000) text += QStringLiteral(", 256 colours");
    if (format & 0x4000) text += QStringLiteral(", 16 colours");
    return text;
}
} // namespace

bool texture_matches_filter(const QString& name, const QString& mask, const QString& filter) {
    const QString wanted = filter.trimmed();
    return wanted.isEmpty() || name.contains(wanted, Qt::CaseInsensitive) ||
           mask.contains(wanted, Qt::CaseInsensitive);
}

texture_details::texture_details(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHeaderLabels({"Name", "Size", "Depth", "Format", "Mip levels", "Swizzled"});
    // Columns are sized when the rows are filled (size_columns), never by measuring every row
    // again at each layout: typing a filter or sorting leaves the widths alone.
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(false);
    setSortingEnabled(true);
    sortByColumn(-1, Qt::AscendingOrder); // dictionary order until a header is clicked
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (announcing_ && current) emit texture_chosen(current->data(0, k_texture_role).toInt());
    });
}

void texture_details::fill(ps2_txd* dictionary) {
    announcing_ = false;
    const bool sorting = isSortingEnabled();
    setSortingEnabled(false);
    clear();
    if (dictionary) {
        const uint32_t count = dictionary->texture_count();
        for (uint32_t t = 0; t < count; ++t) {
            auto* item = new details_item(this);
            const QString name =
                QString::fromLatin1(dictionary->texture_name(t, name_kind::texture));
            const QString mask = QString::fromLatin1(dictionary->texture_name(t, name_kind::mask));
            const uint32_t w = dictionary->width(t), h = dictionary->height(t);
            item->setText(col_name, name);
            item->setToolTip(col_name, mask.isEmpty() ? name : name + QStringLiteral(" / ") + mask);
            item->setData(0, k_texture_role, int(t));
            item->setData(0, k_mask_role, mask);
            item->setText(col_size, QStringLiteral("%1x%2").arg(w).arg(h));
            item->setData(col_size, k_sort_role, qlonglong(w) * h);
            item->setText(col_depth, QString::number(dictionary->depth(t)));
            item->setData(col_depth, k_sort_role, qlonglong(dictionary->depth(t)));
            item->setText(col_format, format_text(*dictionary, t));
            item->setText(col_mips, QString::number(dictionary->mip_count(t)));
            item->setData(col_mips, k_sort_role, qlonglong(dictionary->mip_count(t)));
            item->setText(col_swizzled, dictionary->is_swizzled(t) ? "yes" : "no");
            for (int c : {col_size, col_depth, col_mips})
                item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    size_columns();
    setSortingEnabled(sorting);
    announcing_ = true;
}

void texture_details::size_columns() {
    const QFontMetrics metrics(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
                       8 + (rootIsDecorated() ? indentation() : 0);
    const int rows = std::min(topLevelItemCount(), k_sized_rows);
    for (int column = 0; column < columnCount(); ++column) {
        int widest = header()->sectionSizeHint(column);
        for (int row = 0; row < rows; ++row)
            widest = std::max(widest,
                              metrics.horizontalAdvance(topLevelItem(row)->text(column)) + margin);
        header()->resizeSection(column, widest);
    }
}

void texture_details::set_filter(const QString& text) {
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        item->setHidden(!texture_matches_filter(item->text(col_name),
                                                item->data(0, k_mask_role).toString(), text));
    }
}

int texture_details::visible_rows() const {
    int shown = 0;
    for (int row = 0; row < topLevelItemCount(); ++row)
        shown += topLevelItem(row)->isHidden() ? 0 : 1;
    return shown;
}

int texture_details::texture_at(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, k_texture_role).toInt() : -1;
}

void texture_details::select_texture(int t) {
    announcing_ = false;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        if (texture_at(row) == t) {
            setCurrentItem(topLevelItem(row));
            break;
        }
    }
    announcing_ = true;
}

std::vector<int> texture_details::selected_textures() const {
    std::vector<int> textures;
    for (const QTreeWidgetItem* item : selectedItems())
        textures.push_back(item->data(0, k_texture_role).toInt());
    std::sort(textures.begin(), textures.end());
    return textures;
}

QString texture_details::cell_text(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

} // namespace quillmap
