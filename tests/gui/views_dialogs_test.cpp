#include "views/rw_tree_dialog.h"
#include "views/texture_dialog.h"

#include "stream/rw_stream.h"
#include "views_support.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

TEST(texture_dialog, shows_the_names_and_the_locked_swizzle_state) {
    CTextureDialog dialog(L"wall", L"walla", 1);
    dialog.initialize();
    EXPECT_EQ(dialog.frame->title(), "'wall' Properties");
    EXPECT_EQ(dialog.name_edit->text(), "wall");
    EXPECT_EQ(dialog.alpha_edit->text(), "walla");
    EXPECT_TRUE(dialog.swizzle_check->isChecked());
    EXPECT_FALSE(dialog.swizzle_check->isEnabled());
    EXPECT_EQ(dialog.windowTitle(), "Texture Properties");
    EXPECT_STREQ(dialog.dialog_name(), "CTextureDialog");
}

TEST(texture_dialog, missing_strings_count_as_empty) {
    CTextureDialog dialog(nullptr, nullptr, 0);
    dialog.initialize();
    EXPECT_EQ(dialog.frame->title(), "'' Properties");
    EXPECT_TRUE(dialog.name_edit->text().isEmpty());
    EXPECT_FALSE(dialog.swizzle_check->isChecked());
}

TEST(texture_dialog, ok_reads_the_fields_and_cancel_reads_nothing) {
    CTextureDialog dialog(L"wall", L"walla", 0);
    dialog.initialize();
    dialog.name_edit->setText("brick");
    dialog.alpha_edit->setText("");
    dialog.press_ok();
    EXPECT_EQ(dialog.result(), id_ok);
    EXPECT_EQ(dialog.name, L"brick");
    EXPECT_EQ(dialog.alpha_name, L"");

    CTextureDialog cancelled(L"wall", L"walla", 0);
    cancelled.initialize();
    cancelled.name_edit->setText("other");
    cancelled.press_cancel();
    EXPECT_EQ(cancelled.result(), id_cancel);
    EXPECT_EQ(cancelled.name, L"wall");
    EXPECT_EQ(cancelled.alpha_name, L"walla");
}

namespace {
QTreeWidgetItem* find_item(QTreeWidgetItem* item, const QString& prefix) {
    if (item->text(0).startsWith(prefix)) return item;
    for (int i = 0; i < item->childCount(); ++i)
        if (QTreeWidgetItem* found = find_item(item->child(i), prefix)) return found;
    return nullptr;
}
} // namespace

TEST(rw_tree_dialog, labels_follow_the_tree) {
    const auto path =
        write_dictionary("tree.txd", make_dictionary({make_ps2_texture({.name = "first"}),
                                                      make_ps2_texture({.name = "second"})}));
    auto txd = load_as<ps2_txd>(path);
    ASSERT_TRUE(txd);
    scripted_ui_host host;
    CRWTreeDialog dialog(txd.get(), &host);
    dialog.initialize();
    EXPECT_EQ(dialog.hex->toPlainText(), "Click on section title for preview.");
    ASSERT_EQ(dialog.tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = dialog.tree->topLevelItem(0);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(root->text(0),
              QString::asprintf("0x16 - Texture Dictionary (%u bytes @ 0xc)", txd->root->size));
    ASSERT_EQ(root->childCount(), 4);
    EXPECT_TRUE(root->child(0)->text(0).startsWith("0x01 - Struct (4 bytes @ 0x18)"));
    QTreeWidgetItem* texture = root->child(1);
    ASSERT_EQ(texture->childCount(), 5);
    EXPECT_TRUE(texture->child(1)->text(0).startsWith("0x02 - String \"first\" (8 bytes @ 0x"))
        << texture->child(1)->text(0).toStdString();
    EXPECT_EQ(texture->child(3)->childCount(), 2);
    QTreeWidgetItem* sky = find_item(texture->child(4), "0x110");
    ASSERT_NE(sky, nullptr);
    EXPECT_TRUE(sky->text(0).startsWith("0x110 - Sky Mipmap Val (4 bytes"));
    EXPECT_EQ(chunk_of(root), txd->root.get());
    EXPECT_TRUE(host.log.empty());
}

TEST(rw_tree_dialog, unknown_ids_show_na_and_a_missing_stream_its_message) {
    rw_chunk chunk;
    chunk.id = 0x7777;
    chunk.size = 3;
    chunk.data_offset = 0x40;
    EXPECT_EQ(CRWTreeDialog::label_of(chunk), "0x7777 - N/A (3 bytes @ 0x40)");

    scripted_ui_host host;
    CRWTreeDialog dialog(nullptr, &host);
    dialog.initialize();
    EXPECT_EQ(dialog.tree->topLevelItemCount(), 0);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(host.message_texts()[0], "Firstly load RW resource");
}

TEST(rw_tree_dialog, dump_of_a_5000_byte_chunk_stops_after_2048_positions) {
    std::vector<uint8_t> payload(5000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 7);
    const auto path = write_temp(
        "big.rws",
        node(0x16, {leaf(0x01, u32_bytes({0})), leaf(0x01, payload), node(0x03, {})}).bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0));
    rw_chunk* big = stream.root->child(1);
    ASSERT_EQ(big->size, 5000u);
    EXPECT_FALSE(big->has_data());

    scripted_ui_host host;
    CRWTreeDialog dialog(&stream, &host);
    dialog.initialize();
    QTreeWidgetItem* item = dialog.tree->topLevelItem(0)->child(1);
    dialog.tree->setCurrentItem(item);
    const QString dump = dialog.dump_text();
    const QStringList lines = dump.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 128);
    // Addresses count from the header: the chunk starts at byte 28 of the file.
    EXPECT_EQ(lines[0], "0000001C:  01 00 00 00 88 13 00 00 FF FF 03 18 00 07 0E 15 ");
    EXPECT_TRUE(lines[1].startsWith("0000002C:  1C 23 2A 31 "));
    EXPECT_TRUE(lines[127].startsWith(QString::asprintf("%08X:  ", 28 + 127 * 16)));
    // Position 2047 is payload byte 2035.
    EXPECT_TRUE(lines[127].endsWith(QString::asprintf("%02X ", uint8_t(2035 * 7))));
    EXPECT_TRUE(big->has_data());
    EXPECT_EQ(dialog.hex->toPlainText().count('\n'), 128);
}

TEST(rw_tree_dialog, a_small_chunk_shows_its_header_and_every_payload_byte) {
    const auto path = write_temp(
        "small.rws", node(0x16, {leaf(0x01, u32_bytes({0x04030201, 0x08070605}))}).bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0));
    CRWTreeDialog dialog(&stream);
    const QString dump = dialog.dump_of(*stream.root->child(0));
    EXPECT_EQ(dump, "0000000C:  01 00 00 00 08 00 00 00 FF FF 03 18 01 02 03 04 \r\n"
                    "0000001C:  05 06 07 08 ");
}

TEST(rw_tree_dialog, a_container_dump_follows_its_children_in_memory) {
    const auto path = write_dictionary("tree.txd", make_dictionary(named_textures({"abc"})));
    auto txd = load_as<ps2_txd>(path);
    ASSERT_TRUE(txd);
    CRWTreeDialog dialog(txd.get());
    rw_chunk* texture = txd->texture_chunk(0);
    const QString before = dialog.dump_of(*texture);
    ASSERT_TRUE(txd->rename_texture(0, "abcdefgh", name_kind::texture));
    const QString after = dialog.dump_of(*texture);
    EXPECT_NE(before, after);
    // 'a' 'b' 'c' 'd' of the new name appear after the Struct and the String's header.
    EXPECT_TRUE(after.contains("FF FF 03 18 61 62 63 64 \r\n0000004C:  65 66 67 68 00"))
        << after.toStdString();
    // The container itself keeps no copy of its payload, so saving still writes its children.
    EXPECT_FALSE(texture->has_data());
}

} // namespace quillmap
