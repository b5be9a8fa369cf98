#include "main_fixture.h"
#include "window_parts.h"

#include "app/picture_control.h"
#include "platform/system.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace quillmap {

namespace {

bool has_top_menu(const CMainDialog& window, const QString& title) {
    for (QAction* a : menu_bar_of(window)->actions())
        if (a->text() == title) return true;
    return false;
}

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

TEST_F(MainWindowTest, StartsWithDefaultsWithoutSettingsFile) {
    auto window = make_window();
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Quillmap v0.21 build " + std::to_string(build_number()));
    EXPECT_FALSE(has_top_menu(*window, "DEV"));
    EXPECT_TRUE(has_top_menu(*window, "&Texture"));
    EXPECT_FALSE(window->command_enabled(cmd::file_open_by_offset));
    EXPECT_FALSE(window->info_shown());
    EXPECT_FALSE(window->command_checked(cmd::show_more_info));
    EXPECT_TRUE(window->warnings_enabled());
    EXPECT_EQ(window->dictionary(), nullptr);
    EXPECT_EQ(window->swizzle_mode(), swizzle_mode::as_stored);
    EXPECT_EQ(window->alpha_mode(), view_mode::texture);
    EXPECT_TRUE(window->command_checked(cmd::swizzle_auto));
    EXPECT_TRUE(window->command_checked(cmd::alpha_texture));
    EXPECT_FALSE(window->command_checked(cmd::recent_autoload));
    EXPECT_EQ(status(*window, 0), "Quillmap is ready to win");
    EXPECT_EQ(status(*window, 1), "Texture not loaded.");
    EXPECT_EQ(status(*window, 2), "Swizzling is ON");
    EXPECT_EQ(status(*window, 3), "Unknown RW Version");
    for (int id : {cmd::move_up, cmd::move_down, cmd::remove, cmd::rename, cmd::import_file,
                   cmd::export_bmp, cmd::export_tim2, cmd::export_rwsect, cmd::export_all})
        EXPECT_FALSE(window->command_enabled(id)) << id;
    EXPECT_FALSE(window->command_enabled(cmd::swizzle_invert));
    EXPECT_TRUE(window->command_enabled(cmd::best_fit));
    EXPECT_TRUE(window->command_checked(cmd::brighten_alphas));
    EXPECT_TRUE(window->command_checked(cmd::original_size));
    // The placeholder of the recent list, grayed.
    QAction* placeholder = window->action(cmd::recent_placeholder);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_FALSE(placeholder->isEnabled());
    EXPECT_EQ(placeholder->text(), "(no recent files)");
    EXPECT_TRUE(host.log.empty());
    EXPECT_FALSE(std::filesystem::exists(ini)); // start-up writes nothing
}

TEST_F(MainWindowTest, FileMenuOrderPutsOpenFromArchiveAfterOpenByOffset) {
    auto window = make_window();
    QMenu* file = menu_bar_of(*window)->actions().front()->menu();
    ASSERT_NE(file, nullptr);
    ASSERT_GT(file->actions().size(), 7);
    EXPECT_EQ(file->actions()[2], window->action(cmd::file_open_by_offset));
    EXPECT_EQ(file->actions()[3], window->action(cmd::file_open_from_archive));
    EXPECT_EQ(file->actions()[3]->text().toStdString(), "Open from A&rchive\u2026\tCtrl+Shift+O");
    EXPECT_EQ(file->actions()[7]->menu(), recent_menu_of(*window));
    EXPECT_EQ(window->action(cmd::file_new)->text(), "&New\tCtrl+N");
    EXPECT_EQ(window->action(cmd::file_exit)->text(), "E&xit\tAlt+F4");
    EXPECT_EQ(window->action(cmd::dev_batch_log)->text(), "MainDialog::MenuDEVTest02( void )\tDEV");
}

TEST_F(MainWindowTest, DebugModeKeepsDevMenuAndOpenByOffset) {
    settings.write_int(1, "main", "enable_debug_mode");
    auto window = make_window();
    EXPECT_TRUE(has_top_menu(*window, "DEV"));
    // File, Edit, View, Texture, DEV, Help.
    EXPECT_EQ(menu_bar_of(*window)->actions()[4]->text(), "DEV");
    EXPECT_TRUE(window->command_enabled(cmd::file_open_by_offset));
}

TEST_F(MainWindowTest, BuildNumberOfTheOriginalDateIs445) {
    EXPECT_EQ(build_number_of("Mar 21 2012"), 445);
}

TEST_F(MainWindowTest, StoredRectangleIsRestored) {
    settings.write_int(100, "main", "pos_left");
    settings.write_int(50, "main", "pos_top");
    settings.write_int(700, "main", "pos_right");
    settings.write_int(450, "main", "pos_bottom");
    auto window = make_window();
    EXPECT_EQ(window->pos(), QPoint(100, 50));
    EXPECT_EQ(window->size(), QSize(600, 400));
}

// A stored rectangle is used whenever it is a rectangle, at the screen's left or top edge too;
// one with a side missing or inverted leaves the window where it would be without one.
TEST_F(MainWindowTest, AStoredRectangleIsUsedWheneverItIsOne) {
    auto reference = make_window();
    const QRect default_place = reference->geometry();
    reference.reset();
    struct row {
        const char* what;
        std::vector<std::pair<const char*, int>> stored;
        QRect expected; // empty: the default place
    };
    const row rows[] = {
        {"at the left edge",
         {{"pos_left", 0}, {"pos_top", 50}, {"pos_right", 600}, {"pos_bottom", 450}},
         QRect(0, 50, 600, 400)},
        {"at the top left corner",
         {{"pos_left", 0}, {"pos_top", 0}, {"pos_right", 640}, {"pos_bottom", 480}},
         QRect(0, 0, 640, 480)},
        {"right of the edge",
         {{"pos_left", 30}, {"pos_top", 0}, {"pos_right", 630}, {"pos_bottom", 300}},
         QRect(30, 0, 600, 300)},
        {"no right side", {{"pos_left", 0}, {"pos_top", 50}, {"pos_bottom", 450}}, QRect()},
        {"inverted",
         {{"pos_left", 700}, {"pos_top", 50}, {"pos_right", 100}, {"pos_bottom", 450}},
         QRect()},
        {"none stored", {}, QRect()},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        std::filesystem::remove(ini);
        for (const auto& [key, value] : r.stored)
            settings.write_int(value, "main", key);
        auto window = make_window();
        if (r.expected.isEmpty()) {
            EXPECT_EQ(window->geometry(), default_place);
        } else {
            EXPECT_EQ(window->pos(), r.expected.topLeft());
            EXPECT_EQ(window->size(), r.expected.size());
        }
    }
}

TEST_F(MainWindowTest, EnterAndEscapeNeverCloseTheWindow) {
    auto window = make_window();
    window->show();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        press(window.get(), key, Qt::NoModifier);
        EXPECT_TRUE(window->isVisible()) << key;
    }
    // Through the dialog's own slots as well.
    QMetaObject::invokeMethod(window.get(), "accept");
    QMetaObject::invokeMethod(window.get(), "reject");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(host.log.empty());
    window->hide();
}

TEST_F(MainWindowTest, CtrlShiftSCyclesSwizzleModes) {
    auto window = make_window();
    const swizzle_mode expected[] = {swizzle_mode::off, swizzle_mode::on, swizzle_mode::as_stored,
                                     swizzle_mode::off};
    for (swizzle_mode mode : expected) {
        press(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(window->swizzle_mode(), mode);
        EXPECT_EQ(window->command_checked(cmd::swizzle_auto), mode == swizzle_mode::as_stored);
        EXPECT_EQ(window->command_checked(cmd::swizzle_off), mode == swizzle_mode::off);
        EXPECT_EQ(window->command_checked(cmd::swizzle_on), mode == swizzle_mode::on);
    }
}

TEST_F(MainWindowTest, CtrlShiftACyclesAlphaModes) {
    auto window = make_window();
    const view_mode expected[] = {view_mode::alpha, view_mode::mixed, view_mode::texture,
                                  view_mode::alpha};
    for (view_mode mode : expected) {
        press(window.get(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(window->alpha_mode(), mode);
        EXPECT_EQ(window->command_checked(cmd::alpha_texture), mode == view_mode::texture);
        EXPECT_EQ(window->command_checked(cmd::alpha_alpha), mode == view_mode::alpha);
        EXPECT_EQ(window->command_checked(cmd::alpha_mixed), mode == view_mode::mixed);
    }
}

struct accelerator_row {
    int key;
    Qt::KeyboardModifiers modifiers;
    int command;
};

TEST_F(MainWindowTest, AcceleratorTable) {
    const accelerator_row rows[] = {
        {Qt::Key_N, Qt::ControlModifier, cmd::file_new},
        {Qt::Key_O, Qt::ControlModifier, cmd::file_open},
        {Qt::Key_S, Qt::ControlModifier, cmd::file_save},
        {Qt::Key_1, Qt::ShiftModifier, cmd::swizzle_auto},
        {Qt::Key_Exclam, Qt::ShiftModifier, cmd::swizzle_auto},
        {Qt::Key_2, Qt::ShiftModifier, cmd::swizzle_on},
        {Qt::Key_3, Qt::ShiftModifier, cmd::swizzle_off},
        {Qt::Key_4, Qt::ShiftModifier, cmd::swizzle_invert},
        {Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, cmd::swizzle_next},
        {Qt::Key_1, Qt::ControlModifier, cmd::alpha_texture},
        {Qt::Key_2, Qt::ControlModifier, cmd::alpha_alpha},
        {Qt::Key_3, Qt::ControlModifier, cmd::alpha_mixed},
        {Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, cmd::alpha_next},
        {Qt::Key_Delete, Qt::NoModifier, cmd::remove},
        {Qt::Key_F5, Qt::NoModifier, cmd::reload_list},
        {Qt::Key_I, Qt::ControlModifier, cmd::show_more_info},
        {Qt::Key_Z, Qt::ControlModifier, cmd::edit_undo},
        {Qt::Key_Y, Qt::ControlModifier, cmd::edit_redo},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, cmd::edit_redo},
        {Qt::Key_Plus, Qt::ControlModifier, cmd::zoom_in},
        {Qt::Key_Equal, Qt::ControlModifier, cmd::zoom_in},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier, cmd::zoom_in},
        {Qt::Key_Minus, Qt::ControlModifier, cmd::zoom_out},
        {Qt::Key_A, Qt::NoModifier, 0},
        {Qt::Key_S, Qt::AltModifier, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CMainDialog::accelerator_command(row.key, row.modifiers), row.command) << row.key;
}

TEST_F(MainWindowTest, AcceleratorOfAGrayedItemDoesNothing) {
    auto window = make_window();
    press(window.get(), Qt::Key_2, Qt::ShiftModifier);
    EXPECT_EQ(window->swizzle_mode(), swizzle_mode::on);
    window->action(cmd::swizzle_off)->setEnabled(false);
    press(window.get(), Qt::Key_3, Qt::ShiftModifier);
    EXPECT_EQ(window->swizzle_mode(), swizzle_mode::on);
    EXPECT_TRUE(window->run_command(cmd::swizzle_off)); // the menu path itself still runs
    EXPECT_EQ(window->swizzle_mode(), swizzle_mode::off);
}

TEST_F(MainWindowTest, LayoutRuleHidesInformationPanelBelow401Pixels) {
    settings.write_int(1, "main", "enable_info");
    auto window = make_window();
    window->show();
    ASSERT_TRUE(window->info_shown());
    window->layout_controls(800, 300);
    EXPECT_TRUE(window->info_shown());
    // The panes sit in a splitter: places in the client area, 5-pixel handles between them.
    const auto placed = [&](QWidget* w) {
        return QRect(w->mapTo(client_of(*window), QPoint(0, 0)), w->size());
    };
    // They end 21 pixels above the bottom (276 high here), or above a taller status bar.
    const int h = 300 - std::max(status_bar_of(*window)->sizeHint().height(), 21) - 3;
    EXPECT_EQ(placed(info_list_of(*window)), QRect(575, 3, 222, h));
    EXPECT_EQ(placed(picture_of(*window)), QRect(230, 3, 340, h));
    EXPECT_EQ(placed(filter_box_of(*window)), QRect(3, 3, 222, 22));
    EXPECT_EQ(placed(texture_list_of(*window)), QRect(3, 28, 222, h - 57));
    EXPECT_EQ(placed(mip_box_of(*window)), QRect(3, h - 21, 222, 21));

    window->layout_controls(401, 300);
    EXPECT_TRUE(window->info_shown());
    window->layout_controls(400, 300);
    EXPECT_FALSE(window->info_shown());
    EXPECT_FALSE(info_list_of(*window)->isVisible());
    EXPECT_EQ(settings.read_int("main", "enable_info", 7), 0);
    EXPECT_FALSE(window->command_checked(cmd::show_more_info));
    EXPECT_EQ(picture_of(*window)->geometry().width(), 400 - 233);

    window->layout_controls(900, 300); // widening does not bring it back
    EXPECT_FALSE(window->info_shown());
    EXPECT_EQ(picture_of(*window)->geometry().width(), 900 - 233);
    window->hide();
}

TEST_F(MainWindowTest, ShowMoreInfoTogglesAndStoresAtOnce) {
    auto window = make_window();
    window->resize(900, 500);
    window->show();
    press(window.get(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(window->info_shown());
    EXPECT_TRUE(window->command_checked(cmd::show_more_info));
    EXPECT_EQ(settings.read_int("main", "enable_info", 0), 1);
    EXPECT_TRUE(info_list_of(*window)->isVisible());
    window->run_command(cmd::show_more_info);
    EXPECT_FALSE(window->info_shown());
    EXPECT_EQ(settings.read_int("main", "enable_info", 1), 0);
    window->hide();
}

TEST_F(MainWindowTest, VersionDisplayUsesTheSettingsNames) {
    const std::string path = write_dictionary("a.txd", 1);
    auto window = make_window();
    host.answer_file(path);
    window->run_command(cmd::file_open);
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(status(*window, 3), "RW 0x1803FFFF");

    settings.write_string("rw_version", "0x1803FFFF", "GTA San Andreas");
    settings.write_string("rw_platform", "0x04", "PS2");
    window->update_version_display();
    EXPECT_EQ(status(*window, 3), "GTA San Andreas (PS2)");

    // A hand-edited name in a single-byte code.
    settings.write_string("rw_version", "0x1803FFFF",
                          "Pe\xF1"
                          "a");
    window->update_version_display();
    EXPECT_EQ(window->status_text(3), QString::fromUtf8("Pe\xC3\xB1"
                                                        "a (PS2)"));
}

TEST_F(MainWindowTest, VersionDisplayOfAnEmptyDictionaryHasNoPlatform) {
    settings.write_int(0, "main", "enable_warnings");
    settings.write_string("rw_platform", "0x04", "PS2");
    const std::string path = write_dictionary("empty.txd", 0, 0x0C02FFFF);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    EXPECT_EQ(status(*window, 3), "RW 0x0C02FFFF");
}

TEST_F(MainWindowTest, CommandsFromEverySourceMeetInOneTable) {
    auto window = make_window();
    EXPECT_FALSE(window->run_command(12345));
    window->run_command(cmd::popup_alpha_mixed);
    EXPECT_EQ(window->alpha_mode(), view_mode::mixed);
    EXPECT_TRUE(window->command_checked(cmd::alpha_mixed));
    window->action(cmd::alpha_alpha)->trigger();
    EXPECT_EQ(window->alpha_mode(), view_mode::alpha);
    press(window.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(window->alpha_mode(), view_mode::texture);
}

TEST_F(MainWindowTest, MemoryReportNeedsADictionary) {
    settings.write_int(1, "main", "enable_debug_mode");
    auto window = make_window();
    window->run_command(cmd::dev_memory);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text, "RW stream N/A");
    EXPECT_EQ(host.log[0].caption, "Error");
    EXPECT_EQ(host.log[0].icon, box_icon::error);

    host.clear_log();
    ASSERT_TRUE(window->open_dictionary(write_dictionary("m.txd", 1), 0));
    window->run_command(cmd::dev_memory);
    ASSERT_EQ(host.log.size(), 1u);
    const uint32_t bytes = window->dictionary()->allocated_bytes;
    char expected[128];
    std::snprintf(expected, sizeof expected, "Now allocated %.2f KB (%d bytes). %d", bytes / 1024.0,
                  static_cast<int>(bytes), build_number());
    EXPECT_EQ(host.log[0].text, expected);
    EXPECT_EQ(host.log[0].caption, "RW Memory info");
    EXPECT_EQ(host.log[0].icon, box_icon::information);
}

TEST_F(MainWindowTest, StructureViewNeedsADictionary) {
    settings.write_int(1, "main", "enable_debug_mode");
    auto window = make_window();
    window->run_command(cmd::dev_structure);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text, "Firstly load RW resource.");
    EXPECT_EQ(host.log[0].icon, box_icon::warning);
}

} // namespace

} // namespace quillmap
