// The window's undo and redo, title mark, filter, zoom and several-texture commands.
#include "app/picture_control.h"
#include "main_fixture.h"
#include "views/texture_details.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include <QLineEdit>
#include <QTest>

namespace quillmap {

namespace {
CTextureList& tiles(CMainDialog& window) {
    return *static_cast<CTextureList*>(texture_list_of(window));
}
} // namespace

TEST_F(MainWindowTest, CtrlZAndCtrlYTakeAnEditBackAndDoItAgain) {
    const std::string path = write_dictionary("u.txd", 3);
    auto window = make_window({path});
    window->show();
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->windowTitle().toStdString(), "u.txd - Quillmap v0.21");
    EXPECT_FALSE(window->command_enabled(cmd::edit_undo));

    tiles(*window).setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(window->run_command(cmd::move_up));
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "tex1");
    EXPECT_EQ(window->windowTitle().toStdString(), "u.txd* - Quillmap v0.21");

    QTest::keyClick(texture_list_of(*window), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "tex0");
    EXPECT_FALSE(window->modified());
    EXPECT_EQ(window->windowTitle().toStdString(), "u.txd - Quillmap v0.21");
    EXPECT_EQ(tiles(*window).item_text(0, 0), "1. tex0");

    QTest::keyClick(texture_list_of(*window), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "tex1");
    QTest::keyClick(texture_list_of(*window), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(window->command_enabled(cmd::edit_redo));
    // Save marks the clean state: undoing past it is a change again.
    ASSERT_TRUE(window->run_command(cmd::file_save));
    EXPECT_FALSE(window->modified());
    ASSERT_TRUE(window->run_command(cmd::edit_undo));
    EXPECT_TRUE(window->modified());
    window->hide();
}

TEST_F(MainWindowTest, DeletingEverySelectedTextureAsksOnceAndGraysTheCommands) {
    auto window = make_window({write_dictionary("d.txd", 3)});
    for (int row = 0; row < 3; ++row)
        tiles(*window).item(row)->setSelected(true);
    host.answer_message(id_yes);
    ASSERT_TRUE(window->run_command(cmd::remove));
    EXPECT_EQ(host.message_texts(),
              std::vector<std::string>{"Do you really want permanently delete 3 textures?"});
    EXPECT_EQ(window->dictionary()->texture_count(), 0u);
    EXPECT_FALSE(window->command_enabled(cmd::remove));
    EXPECT_FALSE(window->command_enabled(cmd::export_bmp));
    EXPECT_TRUE(window->command_enabled(cmd::import_file));
    EXPECT_EQ(status(*window, 1), "Texture not loaded.");
    EXPECT_EQ(picture_of(*window)->bitmap(), nullptr);
    // One undo step per texture brings them back in order.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(window->run_command(cmd::edit_undo));
    EXPECT_EQ(window->dictionary()->texture_count(), 3u);
    EXPECT_EQ(window->dictionary()->texture_name(2, name_kind::texture), "tex2");
    EXPECT_TRUE(window->command_enabled(cmd::remove));
}

TEST_F(MainWindowTest, AFailedOpenAfterAnEditKeepsTheEditedDictionary) {
    auto window = make_window({write_dictionary("k.txd", 2)});
    ASSERT_TRUE(window->run_command(cmd::move_down));
    host.answer_message(id_no); // give up the changes ...
    host.answer_file(write_file(dir / "broken.txd", {9, 9, 9}).string());
    window->run_command(cmd::file_open);
    // ... but the new file did not open, so the window still holds the dictionary.
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "tex1");
    EXPECT_TRUE(window->command_enabled(cmd::edit_undo));
}

TEST_F(MainWindowTest, FilterBoxNarrowsTheListAndTheDetails) {
    auto window = make_window({write_dictionary("f.txd", 12)});
    window->run_command(cmd::details_view);
    EXPECT_TRUE(window->command_checked(cmd::details_view));
    filter_box_of(*window)->setText("tex1");
    EXPECT_EQ(tiles(*window).visible_count(), 3); // tex1, tex10, tex11
    EXPECT_EQ(details_of(*window)->visible_rows(), 3);
    filter_box_of(*window)->clear();
    EXPECT_EQ(tiles(*window).visible_count(), 12);
}

TEST_F(MainWindowTest, ZoomCommandsDriveThePreview) {
    auto window = make_window({write_dictionary("z.txd", 1)});
    window->show();
    CPictureControl& picture = *picture_of(*window);
    EXPECT_EQ(picture.zoom_percent(), 100);
    window->run_command(cmd::zoom_in);
    EXPECT_EQ(picture.zoom_percent(), 150);
    EXPECT_FALSE(window->command_checked(cmd::original_size));
    QTest::keyClick(texture_list_of(*window), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(picture.zoom_percent(), 100);
    EXPECT_TRUE(window->command_checked(cmd::original_size));
    window->run_command(cmd::best_fit);
    EXPECT_TRUE(window->command_checked(cmd::best_fit));
    EXPECT_EQ(picture.picture_rect().width(), 32 * picture.zoom_percent() / 100);
    window->hide();
}

} // namespace quillmap
