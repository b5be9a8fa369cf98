// The panes that share the window's width, and the list's conversion items as the window runs
// them: splitter widths kept across a restart, the preview taking a hidden panel's space, no
// overlap at the smallest size, and each conversion one undoable step.
#include "app/picture_control.h"
#include "main_fixture.h"
#include "session/edit_history.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTest>

namespace quillmap {

namespace {
CTextureList& tiles(CMainDialog& window) {
    return *static_cast<CTextureList*>(texture_list_of(window));
}

QRect placed(CMainDialog& window, QWidget* widget) {
    return QRect(widget->mapTo(client_of(window), QPoint(0, 0)), widget->size());
}

// The pop-up conversion items of a list menu, by text.
std::map<QString, QAction*> conversion_items(QMenu& menu) {
    std::map<QString, QAction*> items;
    for (QAction* a : menu.actions())
        if (a->text() == "&Conversion")
            for (QAction* item : a->menu()->actions())
                if (!item->isSeparator()) items[item->text()] = item;
    return items;
}

std::vector<uint8_t> saved_bytes(CMainDialog& window, const std::filesystem::path& path) {
    EXPECT_TRUE(window.dictionary()->save(path, 0));
    return read_file(path);
}
} // namespace

TEST_F(MainWindowTest, PaneWidthsSurviveARestart) {
    settings.write_int(1, "main", "enable_info");
    {
        auto window = make_window();
        window->resize(1000, 500);
        window->show();
        QApplication::processEvents();
        // First start: the classic 222-pixel columns.
        EXPECT_EQ(pane_splitter_of(*window)->sizes().at(0), CMainDialog::k_column_width);
        EXPECT_EQ(pane_splitter_of(*window)->sizes().at(2), CMainDialog::k_column_width);
        QSplitter& splitter = *pane_splitter_of(*window);
        const int preview = splitter.sizes().at(1);
        splitter.setSizes({300, preview - 78 + 42, 180});
        emit splitter.splitterMoved(300, 1); // as a drag of the handles reports it
        window->close();
    }
    EXPECT_EQ(settings.read_string("main", "pane_sizes").substr(0, 4), "300,");
    auto window = make_window();
    window->resize(1000, 500);
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(pane_splitter_of(*window)->sizes().at(0), 300);
    EXPECT_EQ(pane_splitter_of(*window)->sizes().at(2), 180);
    EXPECT_EQ(placed(*window, texture_list_of(*window)).width(), 300);
    // A wider window widens the preview only.
    window->resize(1100, 500);
    QApplication::processEvents();
    EXPECT_EQ(pane_splitter_of(*window)->sizes().at(0), 300);
    window->hide();
}

TEST_F(MainWindowTest, HidingTheInformationPanelGivesItsSpaceToThePreview) {
    settings.write_int(1, "main", "enable_info");
    auto window = make_window();
    window->resize(900, 500);
    window->show();
    QApplication::processEvents();
    const int with_panel = picture_of(*window)->width();
    ASSERT_TRUE(window->run_command(cmd::show_more_info));
    QApplication::processEvents();
    EXPECT_FALSE(info_list_of(*window)->isVisible());
    EXPECT_EQ(picture_of(*window)->width(), with_panel + 222 + 5);
    ASSERT_TRUE(window->run_command(cmd::show_more_info));
    QApplication::processEvents();
    EXPECT_EQ(picture_of(*window)->width(), with_panel);
    window->hide();
}

TEST_F(MainWindowTest, NothingOverlapsAtTheSmallestSize) {
    settings.write_int(1, "main", "enable_info");
    auto window = make_window({write_dictionary("s.txd", 2)});
    window->show();
    window->resize(1, 1);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), window->minimumSize());
    ASSERT_TRUE(window->info_shown());
    const QRect column =
        placed(*window, texture_list_of(*window)).united(placed(*window, mip_box_of(*window)));
    const QRect preview = placed(*window, picture_of(*window));
    const QRect info = placed(*window, info_list_of(*window));
    const QRect client = client_of(*window)->rect();
    for (const QRect& pane : {column, preview, info}) {
        EXPECT_TRUE(client.contains(pane)) << pane.x() << "," << pane.width();
        EXPECT_GT(pane.width(), 0);
    }
    EXPECT_FALSE(column.intersects(preview));
    EXPECT_FALSE(preview.intersects(info));
    EXPECT_FALSE(preview.intersects(status_bar_of(*window)->geometry()));
    // Every status pane shows its text in full, beside the others.
    QList<QLabel*> panes = status_bar_of(*window)->findChildren<QLabel*>();
    for (QLabel* pane : panes) {
        // The first pane takes what is left and may cut a long message; the others never.
        if (pane->text() != window->status_text(0)) {
            EXPECT_GE(pane->width(), pane->fontMetrics().horizontalAdvance(pane->text()))
                << pane->text().toStdString();
        }
        for (QLabel* other : panes) {
            if (other == pane) continue;
            EXPECT_FALSE(pane->geometry().intersects(other->geometry()));
        }
    }
    window->hide();
}

TEST_F(MainWindowTest, ConversionItemsShowTheTextureAndUndoRestoresTheBytes) {
    auto window = make_window({write_dictionary("c.txd", 3)});
    window->show();
    tiles(*window).setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    const std::vector<uint8_t> original = saved_bytes(*window, dir / "before.txd");
    {
        auto menu = tiles(*window).context_menu_at(
            tiles(*window).visualItemRect(tiles(*window).item(1)).center());
        ASSERT_NE(menu, nullptr);
        auto items = conversion_items(*menu);
        ASSERT_EQ(items.size(), 6u);
        // An unswizzled 8-bit texture: "8 bpp" and "Unswizzle" checked and grayed.
        EXPECT_TRUE(items["8 bpp"]->isChecked());
        EXPECT_FALSE(items["8 bpp"]->isEnabled());
        EXPECT_TRUE(items["Unswizzle"]->isChecked());
        EXPECT_FALSE(items["Unswizzle"]->isEnabled());
        EXPECT_TRUE(items["Swizzle"]->isEnabled());
        EXPECT_FALSE(items["4 bpp"]->isChecked());
        EXPECT_TRUE(items["4 bpp"]->isEnabled());
        EXPECT_TRUE(items["32bpp RGBA"]->isEnabled());
        EXPECT_FALSE(items["16 bpp Grayscale"]->isEnabled());
        items["32bpp RGBA"]->trigger();
    }
    EXPECT_EQ(window->dictionary()->depth(1), 32u);
    EXPECT_EQ(window->dictionary()->depth(0), 8u);
    EXPECT_EQ(tiles(*window).item_text(1, 2), "32x32, 32bpp"); // the tile follows
    EXPECT_TRUE(window->modified());
    EXPECT_EQ(status(*window, 0), "1 textures converted.");
    ASSERT_TRUE(window->run_command(cmd::edit_undo));
    EXPECT_EQ(saved_bytes(*window, dir / "undone.txd"), original);
    EXPECT_FALSE(window->modified());
    window->hide();
}

TEST_F(MainWindowTest, SeveralSelectedTexturesConvertInOneStep) {
    auto window = make_window({write_dictionary("m.txd", 3)});
    window->show();
    for (int row = 0; row < 3; ++row)
        tiles(*window).item(row)->setSelected(true);
    ASSERT_TRUE(window->run_command(cmd::convert_4bpp));
    for (uint32_t t = 0; t < 3; ++t) {
        EXPECT_EQ(window->dictionary()->depth(t), 4u);
        EXPECT_TRUE(window->dictionary()->is_swizzled(t));
    }
    EXPECT_EQ(window->history().undo_steps(), 1u);
    ASSERT_TRUE(window->run_command(cmd::edit_undo));
    for (uint32_t t = 0; t < 3; ++t)
        EXPECT_EQ(window->dictionary()->depth(t), 8u);
    // Grayed items do nothing from any source: 16-bit grayscale, and every item where the
    // format refuses replacing.
    ASSERT_TRUE(window->run_command(cmd::convert_16bpp_gray));
    window->set_restriction_mask(restrict_replace);
    bool checked = false;
    EXPECT_FALSE(window->conversion_state(cmd::convert_4bpp, checked));
    ASSERT_TRUE(window->run_command(cmd::convert_4bpp)); // refused with its message
    EXPECT_EQ(window->history().undo_steps(), 0u);
    EXPECT_EQ(host.message_texts().size(), 1u);
    window->hide();
}

} // namespace quillmap
