#include "views/texture_list.h"

#include "dictionary/ps2_txd.h"
#include "platform/ui_host.h"
#include "views/command_table.h"
#include "views/display_qimage.h"
#include "views/texture_details.h"
#include "views/texture_platform.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QUrl>

#include <algorithm>

namespace quillmap {

namespace {
// The mark a drag out of the list carries: the process id, so that a drag from another running
// copy of the program still imports.
const QString k_own_drag_format = QStringLiteral("application/x-quillmap-texture-drag");

QByteArray own_drag_mark() {
    return QByteArray::number(QCoreApplication::applicationPid());
}

const char* const k_kind_icon_paths[7] = {
    ":/kind_icons/kind_general.xpm", ":/kind_icons/kind_4bpp.xpm",  ":/kind_icons/kind_8bpp.xpm",
    ":/kind_icons/kind_16bpp.xpm",   ":/kind_icons/kind_32bpp.xpm", ":/kind_icons/kind_16dxt1.xpm",
    ":/kind_icons/kind_32dxt1.xpm",
};

// Names are bytes of the file: Latin-1 keeps every byte as it is, both ways.
QString numbered(int row, const std::string& name) {
    return QString::number(row + 1) + QStringLiteral(". ") + QString::fromLatin1(name);
}

// Draws the tile: picture at the left, the item text and the two further lines beside it.
class tile_delegate : public QStyledItemDelegate {
  public:
    explicit tile_delegate(CTextureList* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {list_->tile_width(), CTextureList::k_tile_height};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.state &= ~QStyle::State_HasFocus; // focus rectangles stay hidden
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        if (selected) painter->fillRect(opt.rect, opt.palette.highlight());
        const int picture = CTextureList::k_picture_size;
        const QRect icon_rect(opt.rect.left() + 4,
                              opt.rect.top() + (opt.rect.height() - picture) / 2, picture, picture);
        if (!opt.icon.isNull()) opt.icon.paint(painter, icon_rect);
        painter->setPen(selected ? opt.palette.color(QPalette::HighlightedText)
                                 : opt.palette.color(QPalette::Text));
        const int line = opt.fontMetrics.height();
        const int left = icon_rect.right() + 6;
        const int width = std::max(0, opt.rect.right() - left);
        const int top = opt.rect.top() + std::max(0, (opt.rect.height() - 3 * line) / 2);
        painter->drawText(QRect(left, top, width, line), Qt::AlignLeft | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(opt.text, Qt::ElideMiddle, width));
        if (!selected) painter->setPen(opt.palette.color(QPalette::PlaceholderText));
        for (int i = 1; i <= 2; ++i) {
            const QString text =
                index.data(i == 1 ? CTextureList::k_alpha_role : CTextureList::k_info_role)
                    .toString();
            painter->drawText(QRect(left, top + i * line, width, line),
                              Qt::AlignLeft | Qt::AlignVCenter,
                              opt.fontMetrics.elidedText(text, Qt::ElideMiddle, width));
        }
        painter->restore();
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        // The numbered text gives way to the bare name: only the name is edited.
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(list_->rename_start_text(index.row()));
            edit->selectAll();
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        // The list applies the name itself, after its checks.
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            list_->finish_rename(index.row(), edit->text());
    }

  private:
    CTextureList* list_;
};
} // namespace

CTextureList::CTextureList(ui_host& host, QWidget* parent) : QListWidget(parent), host_(host) {
    // Tile view: tiles of 100 x 43 pixels flow left to right and wrap with the list's width.
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Only the edit key renames in place; a click on the selected tile only selects (a rename
    // that starts on its own after a second click is easily taken for a failed double-click).
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setIconSize(QSize(k_picture_size, k_picture_size));
    setUniformItemSizes(true);
    setItemDelegate(new tile_delegate(this));
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // Textures drag out as files; files dropped from outside add or replace textures. The list
    // never reorders its own items by dragging: the order is the dictionary's.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    connect(this, &QListWidget::itemSelectionChanged, this, &CTextureList::on_selection_changed);
}

CTextureList::~CTextureList() = default;

int CTextureList::kind_icon(uint32_t depth, uint32_t compression) {
    switch (depth) {
    case 4:
        return 1;
    case 8:
        return 2;
    case 16:
        return compression == 0 ? 3 : compression == 1 ? 5 : 0;
    case 32:
        return compression == 0 ? 4 : compression == 1 ? 6 : 0;
    default:
        return 0;
    }
}

QString CTextureList::column_text(const QString& text) const {
    return text.left(k_max_column_chars);
}

QIcon CTextureList::picture_for(uint32_t t) {
    if (picture_kind_ == pictures_thumbnails) {
        device_bitmap picture =
            dictionary_->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
        if (!picture) return {}; // a failed thumbnail leaves a gap
        return QIcon(QPixmap::fromImage(thumbnail_of(*picture, k_picture_size)));
    }
    if (picture_kind_ == pictures_kind_icons) {
        if (kind_icons_.empty())
            for (const char* path : k_kind_icon_paths)
                kind_icons_.emplace_back(QString(path));
        return kind_icons_[static_cast<size_t>(
            kind_icon(dictionary_->depth(t), dictionary_->compression(t)))];
    }
    return {};
}

int CTextureList::fill(int index) {
    filling_ = true;
    selected_ = -1;
    clear();
    if (!dictionary_) {
        filling_ = false;
        return 0;
    }
    const uint32_t count = dictionary_->texture_count();
    if (index >= 0 && static_cast<uint32_t>(index) >= count) index = -1;
    if (index != -1) selected_ = index;

    setUpdatesEnabled(false);
    for (uint32_t t = 0; t < count; ++t) {
        auto* item = new QListWidgetItem;
        item->setText(column_text(
            numbered(static_cast<int>(t), dictionary_->texture_name(t, name_kind::texture))));
        const std::string mask = dictionary_->texture_name(t, name_kind::mask);
        // A texture with alpha but no mask name is not said to have none.
        item->setData(k_alpha_role, column_text(!mask.empty() ? QString::fromLatin1(mask)
                                                : texture_has_alpha(*dictionary_, t)
                                                    ? QStringLiteral("<unnamed alpha channel>")
                                                    : QStringLiteral("<no alpha channel>")));
        const uint32_t w = dictionary_->width(t), h = dictionary_->height(t);
        const uint32_t compression = dictionary_->compression(t);
        item->setData(
            k_info_role,
            column_text(compression != 0
                            ? QString::asprintf("%ux%u, DXT%u", w, h, compression)
                            : QString::asprintf("%ux%u, %ubpp", w, h, dictionary_->depth(t))));
        item->setData(Qt::UserRole, static_cast<int>(t));
        item->setToolTip(QString::fromLatin1(dictionary_->texture_name(t, name_kind::texture)) +
                         '\n' + item->data(k_alpha_role).toString() + '\n' +
                         item->data(k_info_role).toString());
        item->setIcon(picture_for(t));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        addItem(item);
        if (static_cast<int>(t) == index) {
            setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
        }
    }
    update_tile_width();
    apply_filter();
    setUpdatesEnabled(true);
    filling_ = false;

    selected_ = index;
    if (index != -1) emit current_texture_changed();
    return 1;
}

int CTextureList::first_selected() const {
    int first = -1;
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        if (first == -1 || i.row() < first) first = i.row();
    return first;
}

QString CTextureList::item_text(int row, int column) const {
    const QListWidgetItem* it = item(row);
    if (!it) return {};
    switch (column) {
    case 0:
        return it->text();
    case 1:
        return it->data(k_alpha_role).toString();
    case 2:
        return it->data(k_info_role).toString();
    default:
        return {};
    }
}

bool CTextureList::item_has_picture(int row) const {
    const QListWidgetItem* it = item(row);
    return it && !it->icon().isNull();
}

void CTextureList::on_selection_changed() {
    if (filling_) return;
    const int first = first_selected();
    if (first == -1 || first == selected_) return;
    if (selectionModel()->selectedRows().size() >= 2) return; // the preview keeps its texture
    selected_ = first;
    emit current_texture_changed();
}

QString CTextureList::rename_start_text(int row) const {
    if (!dictionary_ || row < 0) return {};
    return QString::fromLatin1(
        dictionary_->texture_name(static_cast<uint32_t>(row), name_kind::texture));
}

bool CTextureList::finish_rename(int row, const QString& text) {
    if (!dictionary_ || row < 0 || static_cast<uint32_t>(row) >= dictionary_->texture_count())
        return false;
    if (text.isEmpty()) {
        host_.message_box("Texture name cannot be empty!", "Error", box_buttons::ok,
                          box_icon::error);
        return false;
    }
    const std::string name = text.toLatin1().toStdString();
    if (name.size() > static_cast<size_t>(k_max_name_chars))
        host_.message_box("Texture name exceed 31 symbol length.\n\nThis MAY cause an error.",
                          "Rename Texture", box_buttons::ok, box_icon::warning);
    if (renamer_) {
        if (!renamer_(static_cast<uint32_t>(row), name)) return false;
    } else if (!dictionary_->rename_texture(static_cast<uint32_t>(row), name, name_kind::texture)) {
        host_.message_box(dictionary_->last_error, "Error", box_buttons::ok, box_icon::error);
        return false;
    }
    if (QListWidgetItem* it = item(row)) it->setText(column_text(numbered(row, name)));
    emit dictionary_modified();
    return true;
}

std::unique_ptr<QMenu> CTextureList::context_menu_at(const QPoint& viewport_point) {
    QListWidgetItem* hit = itemAt(viewport_point);
    if (!hit || hit->text().isEmpty()) return nullptr;
    hit_item_ = row(hit);
    selected_ = hit->data(Qt::UserRole).toInt();

    auto menu = std::make_unique<QMenu>(this);
    const bool several = selectionModel()->selectedRows().size() >= 2;
    build_popup(*menu, several ? menu_id::popup_many : menu_id::popup_one,
                [this](QAction* action, const command_row& row) {
                    const int id = row.id;
                    connect(action, &QAction::triggered, this,
                            [this, id] { emit command_requested(id); });
                    if (row.rule != enabled_when::own_rule || !action->isCheckable()) return;
                    // The conversion items follow the selected textures; without a judge they
                    // keep the classic look.
                    bool checked = id == cmd::convert_8bpp;
                    if (command_state_) action->setEnabled(command_state_(id, checked));
                    action->setChecked(checked);
                });
    menu->setDefaultAction(menu->actions().first());
    return menu;
}

void CTextureList::contextMenuEvent(QContextMenuEvent* event) {
    QPoint point = event->pos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QModelIndex current = currentIndex();
        if (!current.isValid()) return;
        point = visualRect(current).center();
    }
    std::unique_ptr<QMenu> menu = context_menu_at(point);
    if (menu) menu->exec(viewport()->mapToGlobal(point));
    event->accept();
}

void CTextureList::mouseDoubleClickEvent(QMouseEvent* event) {
    emit texture_properties_requested();
    QListWidget::mouseDoubleClickEvent(event);
}

void CTextureList::update_tile_width() {
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int row = 0; row < count(); ++row)
        for (int column = 0; column < 3; ++column)
            widest = std::max(widest, metrics.horizontalAdvance(item_text(row, column)));
    wanted_tile_width_ = std::max(k_tile_width, widest + k_picture_size + k_tile_padding);
    resizeEvent(nullptr);
}

void CTextureList::resizeEvent(QResizeEvent* event) {
    if (event) QListWidget::resizeEvent(event);
    // One tile never gets wider than the list, so a long name elides instead of being cut.
    const int room = std::max(k_tile_width, viewport()->width() - 2);
    const int width = std::min(wanted_tile_width_, room);
    if (width != tile_width_) {
        tile_width_ = width;
        doItemsLayout();
    }
}

void CTextureList::set_filter(const QString& text) {
    filter_ = text;
    apply_filter();
}

void CTextureList::apply_filter() {
    if (!dictionary_) return;
    for (int row = 0; row < count(); ++row) {
        const uint32_t t = static_cast<uint32_t>(item(row)->data(Qt::UserRole).toInt());
        item(row)->setHidden(!texture_matches_filter(
            QString::fromLatin1(dictionary_->texture_name(t, name_kind::texture)),
            QString::fromLatin1(dictionary_->texture_name(t, name_kind::mask)), filter_));
    }
}

int CTextureList::visible_count() const {
    int shown = 0;
    for (int row = 0; row < count(); ++row)
        shown += item(row)->isHidden() ? 0 : 1;
    return shown;
}

std::vector<int> CTextureList::selected_textures() const {
    std::vector<int> textures;
    // A tile the filter hides is out of reach of every command, selected or not.
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        if (!isRowHidden(i.row())) textures.push_back(i.data(Qt::UserRole).toInt());
    std::sort(textures.begin(), textures.end());
    textures.erase(std::unique(textures.begin(), textures.end()), textures.end());
    return textures;
}

void CTextureList::select_textures(const std::vector<int>& textures) {
    for (int t : textures)
        if (QListWidgetItem* it = item(t)) it->setSelected(true);
}

bool CTextureList::texture_shown(int t) const {
    for (int row = 0; row < count(); ++row)
        if (item(row)->data(Qt::UserRole).toInt() == t) return !item(row)->isHidden();
    return false;
}

int CTextureList::texture_at(const QPoint& viewport_point) const {
    const QListWidgetItem* hit = itemAt(viewport_point);
    return hit && !hit->isHidden() ? hit->data(Qt::UserRole).toInt() : -1;
}

void CTextureList::startDrag(Qt::DropActions) {
    const std::vector<int> textures = selected_textures();
    if (textures.empty() || !drag_export_) return;
    QList<QUrl> urls;
    for (const QString& path : drag_export_(textures))
        urls << QUrl::fromLocalFile(path);
    if (urls.isEmpty()) return;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    mime->setData(k_own_drag_format, own_drag_mark());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    if (const QListWidgetItem* first = item(textures.front()); first && !first->icon().isNull())
        drag->setPixmap(first->icon().pixmap(k_picture_size, k_picture_size));
    drag->exec(Qt::CopyAction);
}

namespace {
bool carries_outside_files(const QDropEvent* event, const QObject* list) {
    return event->source() != list && event->mimeData()->hasUrls() &&
           !is_own_texture_drag(event->mimeData());
}
} // namespace

bool is_own_texture_drag(const QMimeData* mime) {
    return mime && mime->hasFormat(k_own_drag_format) &&
           mime->data(k_own_drag_format) == own_drag_mark();
}

void CTextureList::dragEnterEvent(QDragEnterEvent* event) {
    if (carries_outside_files(event, this))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CTextureList::dragMoveEvent(QDragMoveEvent* event) {
    if (carries_outside_files(event, this))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CTextureList::dropEvent(QDropEvent* event) {
    if (!carries_outside_files(event, this)) {
        event->ignore();
        return;
    }
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    event->acceptProposedAction();
    if (!files.isEmpty()) emit files_dropped(files, texture_at(event->position().toPoint()));
}

} // namespace quillmap
