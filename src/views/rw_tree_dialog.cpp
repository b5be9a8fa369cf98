#include "views/rw_tree_dialog.h"

#include "stream/rw_stream.h"
#include "stream/section_name.h"
#include "views/dialog_buttons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

namespace quillmap {

namespace {
constexpr uint32_t k_string_id = 0x02;
constexpr int k_chunk_role = Qt::UserRole;

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
} // namespace

rw_chunk* chunk_of(const QTreeWidgetItem* item) {
    return item ? static_cast<rw_chunk*>(item->data(0, k_chunk_role).value<void*>()) : nullptr;
}

CRWTreeDialog::CRWTreeDialog(rw_stream* stream, ui_host* host, QWidget* parent)
    : QDialog(parent), stream_(stream), host_(host) {
    setWindowTitle("RW Structure");
    resize(675, 509);
    tree = new QTreeWidget(this);
    tree->setHeaderHidden(true);
    hex = new QPlainTextEdit(this);
    hex->setReadOnly(true);
    hex->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    hex->setFont(mono);
    const auto [ok, cancel, buttons] = make_ok_cancel_row(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree, 3);
    layout->addWidget(new QLabel("HEX data (2KB max):", this));
    layout->addWidget(hex, 2);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { done(id_ok); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { show_dump(current); });
}

int CRWTreeDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

void CRWTreeDialog::initialize() {
    hex->setPlainText("Click on section title for preview.");
    tree->clear();
    if (!stream_) {
        if (host_)
            host_->message_box("Firstly load RW resource", "", box_buttons::ok, box_icon::none);
        else
            QMessageBox::information(this, QString(), "Firstly load RW resource");
        return;
    }
    if (stream_->root) add_items(*stream_->root, nullptr);
}

QString CRWTreeDialog::label_of(const rw_chunk& chunk) {
    QString quoted;
    if (chunk.id == k_string_id && chunk.data && !chunk.data->empty()) {
        const auto* text = reinterpret_cast<const char*>(chunk.data->data());
        const size_t length = strnlen(text, chunk.data->size());
        quoted = QStringLiteral("\"%1\" ").arg(
            QString::fromLatin1(text, static_cast<qsizetype>(length)));
    }
    return QString::asprintf("0x%02x - %s ", chunk.id, section_name(chunk.id)) + quoted +
           QString::asprintf("(%d bytes @ 0x%x)", static_cast<int>(chunk.size), chunk.data_offset);
}

void CRWTreeDialog::add_items(rw_chunk& chunk, QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, label_of(chunk));
    item->setData(0, k_chunk_role, QVariant::fromValue(static_cast<void*>(&chunk)));
    if (!parent) {
        item->setExpanded(true);
        tree->scrollToItem(item);
    }
    for (const auto& child : chunk.children)
        if (child) add_items(*child, item);
}

void CRWTreeDialog::collect_bytes(rw_chunk& chunk, std::vector<uint8_t>& out, size_t limit) {
    if (out.size() >= limit) return;
    put_u32(out, chunk.id);
    put_u32(out, chunk.size);
    put_u32(out, chunk.version);
    if (!chunk.children.empty()) {
        // A container's payload is its children as they stand in memory: this keeps edits
        // visible and never stores a stale copy of the payload in the container.
        for (const auto& child : chunk.children)
            if (child) collect_bytes(*child, out, limit);
        return;
    }
    const std::vector<uint8_t>* data = stream_ ? stream_->load_data(&chunk) : nullptr;
    if (!data) return;
    const size_t bytes =
        std::min<size_t>({data->size(), chunk.size, limit - std::min(limit, out.size())});
    out.insert(out.end(), data->begin(), data->begin() + static_cast<ptrdiff_t>(bytes));
}

QString CRWTreeDialog::dump_of(rw_chunk& chunk) {
    std::vector<uint8_t> bytes;
    collect_bytes(chunk, bytes, k_dump_limit);
    // The header is followed by the whole payload; both never go past the chunk's own bytes.
    const size_t positions = std::min<size_t>(
        {bytes.size(), static_cast<size_t>(chunk.size) + 12, static_cast<size_t>(k_dump_limit)});
    const uint32_t start = chunk.data_offset >= 12 ? chunk.data_offset - 12 : 0;
    QString text;
    text.reserve(static_cast<qsizetype>(positions / 16 * 61 + 64));
    for (size_t i = 0; i < positions; ++i) {
        if (i % 16 == 0) text += QString::asprintf("%08X:  ", static_cast<unsigned>(start + i));
        text += QString::asprintf("%02X ", bytes[i]);
        if (i % 16 == 15) text += QStringLiteral("\r\n");
    }
    return text;
}

void CRWTreeDialog::show_dump(QTreeWidgetItem* item) {
    rw_chunk* chunk = chunk_of(item);
    if (!chunk) return;
    dump_ = dump_of(*chunk);
    QString shown = dump_;
    shown.remove(QLatin1Char('\r'));
    hex->setPlainText(shown);
}

} // namespace quillmap
