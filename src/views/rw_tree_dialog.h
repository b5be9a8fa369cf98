#pragma once

#include "platform/ui_host.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <vector>

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillmap {

class rw_stream;
struct rw_chunk;

// "RW Structure": the chunk tree of the open dictionary and a hexadecimal dump of the selected
// chunk. It reads the tree and may load chunk data, and changes nothing else.
class CRWTreeDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    static constexpr uint32_t k_dump_limit = 2048;

    // The stream is not owned; none shows "Firstly load RW resource" (through `host` if given).
    explicit CRWTreeDialog(rw_stream* stream, ui_host* host = nullptr, QWidget* parent = nullptr);

    int run_modal() override;
    const char* dialog_name() const override { return "CRWTreeDialog"; }
    void initialize();
    // The tree's selection moved: dump the chunk of that item.
    void show_dump(QTreeWidgetItem* item);

    // Label of a chunk's item and the dump text ("\r\n" line ends) of a chunk.
    static QString label_of(const rw_chunk& chunk);
    QString dump_of(rw_chunk& chunk);
    const QString& dump_text() const { return dump_; }

    QTreeWidget* tree = nullptr;   // control 1017
    QPlainTextEdit* hex = nullptr; // control 1002

  private:
    void add_items(rw_chunk& chunk, QTreeWidgetItem* parent);
    // Header and payload bytes of `chunk`, at most `limit` of them.
    void collect_bytes(rw_chunk& chunk, std::vector<uint8_t>& out, size_t limit);

    rw_stream* stream_;
    ui_host* host_;
    QString dump_;
};

// The chunk an item of the structure tree stands for.
rw_chunk* chunk_of(const QTreeWidgetItem* item);

} // namespace quillmap
