#include "views/texture_list.h"

#include "views_support.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct list_fixture : ::testing::Test {
    scripted_ui_host host;
    std::unique_ptr<ps2_txd> txd;
    std::unique_ptr<CTextureList> list;

    void SetUp() override { init_kind_icons(); }

    void load(test_chunk dictionary, int picture_kind = 0) {
        txd = load_as<ps2_txd>(write_dictionary("list.txd", std::move(dictionary)));
        ASSERT_TRUE(txd);
        list = std::make_unique<CTextureList>(host);
        list->resize(240, 400);
        list->set_picture_kind(picture_kind);
        list->set_dictionary(txd.get());
    }
    QPoint item_point(int row) const { return list->visualItemRect(list->item(row)).center(); }
};
} // namespace

TEST_F(list_fixture, item_texts_follow_the_three_formats) {
    auto textures = named_textures({"a", "b", "c", "d"});
    textures.push_back(make_ps2_texture({.name = "wall", .width = 256, .height = 256, .depth = 8}));
    textures.push_back(make_ps2_texture(
        {.name = "glass", .mask = "glassa", .width = 64, .height = 32, .depth = 32}));
    load(make_dictionary(std::move(textures)));
    ASSERT_EQ(list->fill(-1), 1);
    ASSERT_EQ(list->count(), 6);
    EXPECT_EQ(list->item_text(4, 0), "5. wall");
    // No mask name, but the palette holds alpha below opaque.
    EXPECT_EQ(list->item_text(4, 1), "<unnamed alpha channel>");
    EXPECT_EQ(list->item_text(4, 2), "256x256, 8bpp");
    EXPECT_EQ(list->item_text(5, 0), "6. glass");
    EXPECT_EQ(list->item_text(5, 1), "glassa");
    EXPECT_EQ(list->item_text(5, 2), "64x32, 32bpp");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list->item(i)->data(Qt::UserRole).toInt(), i);
}

TEST(texture_list, compressed_textures_show_their_dxt_number) {
    const auto path =
        write_dictionary("dxt.txd", make_dictionary({pc_texture({.platform = 9,
                                                                 .name = "road",
                                                                 .width = 256,
                                                                 .height = 256,
                                                                 .depth = 32,
                                                                 .compression = 9}),
                                                     pc_texture({.platform = 8,
                                                                 .name = "sky",
                                                                 .width = 64,
                                                                 .height = 64,
                                                                 .depth = 16,
                                                                 .compression = 1})}));
    auto txd = load_as<pc_txd>(path);
    ASSERT_TRUE(txd);
    scripted_ui_host host;
    CTextureList list(host);
    list.set_picture_kind(0);
    list.set_dictionary(txd.get());
    list.fill(-1);
    EXPECT_EQ(list.item_text(0, 2), "256x256, DXT3");
    EXPECT_EQ(list.item_text(1, 2), "64x64, DXT1");
}

TEST_F(list_fixture, long_names_are_cut_to_63_characters) {
    const std::string name(80, 'n');
    load(make_dictionary({make_ps2_texture({.name = name})}));
    list->fill(-1);
    EXPECT_EQ(list->item_text(0, 0).size(), 63);
    EXPECT_EQ(list->item_text(0, 0), QString("1. ") + QString(60, 'n'));
}

TEST_F(list_fixture, fill_without_dictionary_leaves_the_list_empty) {
    load(make_dictionary(named_textures({"a", "b"})));
    list->fill(0);
    list->set_dictionary(nullptr);
    QSignalSpy spy(list.get(), &CTextureList::current_texture_changed);
    EXPECT_EQ(list->fill(0), 0);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(list->selected(), -1);
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(list_fixture, fill_reports_a_valid_index_once_and_minus_one_not_at_all) {
    load(make_dictionary(named_textures({"a", "b", "c"})));
    QAbstractItemModelTester tester(list->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy spy(list.get(), &CTextureList::current_texture_changed);
    list->fill(-1);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(list->selected(), -1);
    EXPECT_EQ(list->count(), 3);

    list->fill(2);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(list->selected(), 2);
    EXPECT_EQ(list->first_selected(), 2);

    // A position past the end selects nothing.
    list->fill(3);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(list->selected(), -1);
}

TEST_F(list_fixture, a_second_selected_item_keeps_the_current_texture) {
    load(make_dictionary(named_textures({"a", "b", "c", "d"})));
    list->fill(-1);
    QSignalSpy spy(list.get(), &CTextureList::current_texture_changed);
    list->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(list->selected(), 1);

    // Ctrl+click on a further item: two selected, the preview stays on texture 1.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, item_point(3));
    EXPECT_EQ(list->selectedItems().size(), 2);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(list->selected(), 1);

    // Back to one item: the list reports it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item_point(2));
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(list->selected(), 2);
}

TEST_F(list_fixture, rename_in_place_refuses_an_empty_name) {
    load(make_dictionary(named_textures({"brick", "wood"})));
    list->fill(0);
    QSignalSpy modified(list.get(), &CTextureList::dictionary_modified);
    EXPECT_FALSE(list->finish_rename(0, ""));
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text, "Texture name cannot be empty!");
    EXPECT_EQ(host.log[0].caption, "Error");
    EXPECT_EQ(host.log[0].icon, box_icon::error);
    EXPECT_EQ(txd->texture_name(0, name_kind::texture), "brick");
    EXPECT_EQ(list->item_text(0, 0), "1. brick");
    EXPECT_EQ(modified.count(), 0);
}

TEST_F(list_fixture, rename_in_place_warns_about_a_long_name_and_renames) {
    load(make_dictionary(named_textures({"brick", "wood"})));
    list->fill(0);
    QSignalSpy modified(list.get(), &CTextureList::dictionary_modified);
    const std::string long_name(32, 'x');
    EXPECT_TRUE(list->finish_rename(1, QString::fromStdString(long_name)));
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text,
              "Texture name exceed 31 symbol length.\n\nThis MAY cause an error.");
    EXPECT_EQ(host.log[0].caption, "Rename Texture");
    EXPECT_EQ(host.log[0].icon, box_icon::warning);
    EXPECT_EQ(txd->texture_name(1, name_kind::texture), long_name);
    EXPECT_EQ(list->item_text(1, 0), QString::fromStdString("2. " + long_name));
    EXPECT_EQ(modified.count(), 1);

    // 31 characters pass without the warning.
    host.clear_log();
    EXPECT_TRUE(list->finish_rename(1, QString(31, 'y')));
    EXPECT_TRUE(host.log.empty());
}

TEST_F(list_fixture, the_edit_field_starts_with_the_bare_name_and_commits_through_the_checks) {
    load(make_dictionary(named_textures({"brick", "wood"})));
    list->show();
    list->fill(1);
    list->editItem(list->item(1));
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "wood");
    editor->setText("oak");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(txd->texture_name(1, name_kind::texture), "oak");
    EXPECT_EQ(list->item_text(1, 0), "2. oak");
}

TEST_F(list_fixture, rename_in_place_in_a_mobile_dictionary_writes_the_struct_name) {
    txd = load_as<ios_txd>(
        write_dictionary("m.txd", make_dictionary({mobile_texture({.name = "m"})})));
    ASSERT_TRUE(txd);
    list = std::make_unique<CTextureList>(host);
    list->set_picture_kind(0);
    list->set_dictionary(txd.get());
    list->fill(0);
    EXPECT_TRUE(list->finish_rename(0, "other"));
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(list->item_text(0, 0), "1. other");
    EXPECT_EQ(txd->texture_name(0, name_kind::texture), "other");
}

TEST_F(list_fixture, no_menu_off_the_items) {
    load(make_dictionary(named_textures({"a", "b"})));
    list->show();
    list->fill(0);
    EXPECT_EQ(list->context_menu_at(QPoint(10, 390)), nullptr);
    EXPECT_EQ(list->selected(), 0);
}

TEST_F(list_fixture, single_texture_menu) {
    load(make_dictionary(named_textures({"a", "b"})));
    list->show();
    list->fill(0);
    auto menu = list->context_menu_at(item_point(1));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(list->hit_item(), 1);
    EXPECT_EQ(list->selected(), 1);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, QStringList({"&Export", "&Replace", "&Conversion", "-", "&View\tCtrl+Shift+A",
                                  "-", "&Delete\tDel", "Edi&t in\u2026", "Rena&me"}));
    EXPECT_EQ(menu->defaultAction(), menu->actions().first());
    QStringList exports;
    for (QAction* a : menu->actions().first()->menu()->actions())
        exports << a->text();
    EXPECT_EQ(exports, QStringList({"PNG Picture\t.png", "Windows Bitmap\t.bmp",
                                    "PlayStation 2 TIM2\t.tm2", "RenderWare section \t.rwsect"}));

    QSignalSpy commands(list.get(), &CTextureList::command_requested);
    menu->actions().last()->trigger();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 40008);
}

TEST_F(list_fixture, several_textures_menu) {
    load(make_dictionary(named_textures({"a", "b", "c"})));
    list->show();
    list->fill(0);
    list->item(2)->setSelected(true);
    auto menu = list->context_menu_at(item_point(2));
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, QStringList({"Export Selected", "&Conversion", "-", "Delete\tDel"}));
    QSignalSpy commands(list.get(), &CTextureList::command_requested);
    menu->actions().first()->menu()->actions().at(2)->trigger();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 40023);
}

TEST_F(list_fixture, double_click_asks_for_the_properties) {
    load(make_dictionary(named_textures({"a", "b"})));
    list->show();
    list->fill(0);
    QSignalSpy spy(list.get(), &CTextureList::texture_properties_requested);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item_point(1));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(list->selected(), 1);
}

TEST(texture_list, kind_icon_by_depth_and_compression) {
    EXPECT_EQ(CTextureList::kind_icon(4, 0), 1);
    EXPECT_EQ(CTextureList::kind_icon(8, 0), 2);
    EXPECT_EQ(CTextureList::kind_icon(16, 0), 3);
    EXPECT_EQ(CTextureList::kind_icon(32, 0), 4);
    EXPECT_EQ(CTextureList::kind_icon(16, 1), 5);
    EXPECT_EQ(CTextureList::kind_icon(32, 1), 6);
    EXPECT_EQ(CTextureList::kind_icon(32, 3), 0);
    EXPECT_EQ(CTextureList::kind_icon(24, 0), 0);
}

TEST_F(list_fixture, picture_kinds_change_the_items_pictures) {
    load(make_dictionary(named_textures({"a", "b"})), CTextureList::pictures_kind_icons);
    list->fill(-1);
    EXPECT_TRUE(list->item_has_picture(0));
    EXPECT_FALSE(list->item(0)->icon().pixmap(32, 32).isNull());
    list->set_picture_kind(0);
    list->fill(-1);
    EXPECT_FALSE(list->item_has_picture(0));
    list->set_picture_kind(CTextureList::pictures_thumbnails);
    list->fill(-1);
    EXPECT_TRUE(list->item_has_picture(0));
    EXPECT_TRUE(list->item_has_picture(1));
}

TEST_F(list_fixture, a_thumbnail_that_cannot_be_rendered_leaves_a_gap) {
    // Raw raster data too short for its declared size renders nothing.
    auto broken = make_ps2_texture(
        {.name = "broken", .width = 64, .height = 64, .depth = 32, .headered = false});
    broken.children[3].children[1].data.resize(16);
    load(make_dictionary({make_ps2_texture({.name = "fine"}), broken}),
         CTextureList::pictures_thumbnails);
    list->fill(-1);
    EXPECT_TRUE(list->item_has_picture(0));
    EXPECT_FALSE(list->item_has_picture(1));
    EXPECT_EQ(list->item_text(1, 0), "2. broken");
}

} // namespace quillmap
