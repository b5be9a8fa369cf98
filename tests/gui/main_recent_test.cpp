#include "main_fixture.h"
#include "window_parts.h"

#include "views/one_edit_dialog.h"

#include <QAction>
#include <QMenu>

#include <cstdio>

namespace quillmap {

namespace {

std::string key(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "recent_%02d", n);
    return text;
}

std::vector<std::string> entries_in_menu(const CMainDialog& window) {
    std::vector<std::string> entries;
    for (QAction* a : recent_menu_of(window)->actions()) {
        const int id = a->data().toInt();
        if (id >= cmd::recent_first && id <= cmd::recent_last && a->isVisible())
            entries.push_back(a->text().toStdString());
    }
    return entries;
}

TEST_F(MainWindowTest, RecentAThenBThenAKeepsOneAbsoluteCopyOfA) {
    const std::string a = write_dictionary("A.txd", 1);
    const std::string b = write_dictionary("B.txd", 1);
    auto window = make_window();
    for (const std::string& path : {a, b, a}) {
        host.answer_file(path);
        window->run_command(cmd::file_open);
    }
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), a);
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), b);
    EXPECT_EQ(settings.read_string("recent_files", "recent_02"), "");
    EXPECT_EQ(entries_in_menu(*window), (std::vector<std::string>{a, b}));
    EXPECT_FALSE(window->action(cmd::recent_placeholder)->isVisible());
}

TEST_F(MainWindowTest, RecentSameFileTwiceChangesNothing) {
    const std::string a = write_dictionary("A.txd", 1);
    auto window = make_window();
    window->add_recent(a);
    window->add_recent(a);
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), a);
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), "");
}

TEST_F(MainWindowTest, RecentLimitOfTwoKeepsThreeEntries) {
    settings.write_int(2, "main", "recent_limit");
    auto window = make_window();
    for (const char* path : {"/p/A.txd", "/p/B.txd", "/p/C.txd", "/p/D.txd"})
        window->add_recent(path);
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), "/p/D.txd");
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), "/p/C.txd");
    EXPECT_EQ(settings.read_string("recent_files", "recent_02"), "/p/B.txd");
    EXPECT_EQ(settings.read_string("recent_files", "recent_03"), "");
}

TEST_F(MainWindowTest, RecentGapEndsTheMenu) {
    settings.write_string("recent_files", "recent_00", "/p/A.txd");
    settings.write_string("recent_files", "recent_02", "/p/C.txd");
    settings.write_string("recent_files", "recent_03", "/p/D.txd");
    auto window = make_window();
    EXPECT_EQ(entries_in_menu(*window), std::vector<std::string>{"/p/A.txd"});
}

TEST_F(MainWindowTest, RecentLimitOf250CountsAs100) {
    settings.write_int(250, "main", "recent_limit");
    for (int n = 0; n <= 102; ++n)
        settings.write_string("recent_files", key(n), "/p/" + std::to_string(n));
    auto window = make_window();
    EXPECT_EQ(entries_in_menu(*window).size(), 100u);
    window->add_recent("/p/new");
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), "/p/new");
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), "/p/0");
    EXPECT_EQ(settings.read_string("recent_files", "recent_100"), "/p/99");
    // Positions above the limit stay where they are.
    EXPECT_EQ(settings.read_string("recent_files", "recent_101"), "/p/101");
    EXPECT_EQ(settings.read_string("recent_files", "recent_102"), "/p/102");
}

TEST_F(MainWindowTest, RecentEntryWithAmpersandIsShownAsItIs) {
    settings.write_string("recent_files", "recent_00", "/p/R&D.txd");
    auto window = make_window();
    ASSERT_EQ(entries_in_menu(*window).size(), 1u);
    EXPECT_EQ(entries_in_menu(*window)[0], "/p/R&&D.txd");
}

TEST_F(MainWindowTest, RecentEntryAsksBeforeDroppingUnsavedChanges) {
    const std::string a = write_dictionary("A.txd", 1);
    const std::string b = write_dictionary("B.txd", 1);
    auto window = make_window();
    window->add_recent(a);
    window->add_recent(b);
    ASSERT_TRUE(window->open_dictionary(b, 0));
    window->run_command(cmd::recent_first + 1);
    EXPECT_TRUE(host.log.empty()); // nothing to lose: no question
    EXPECT_EQ(window->current_path(), a);

    window->set_modified(true);
    host.answer_message(id_cancel);
    window->run_command(cmd::recent_first);
    EXPECT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(host.log.back().caption, "Open?");
    EXPECT_EQ(window->current_path(), a);
    EXPECT_TRUE(window->modified());

    host.answer_message(id_no);
    window->run_command(cmd::recent_first);
    EXPECT_EQ(window->current_path(), b);
    EXPECT_FALSE(window->modified());
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), b); // not reordered
    window->run_command(cmd::recent_first + 5);                      // empty position
    EXPECT_EQ(window->current_path(), b);
}

TEST_F(MainWindowTest, RecentEntryAfterOpenByOffsetSavesAtZero) {
    settings.write_int(1, "main", "enable_debug_mode");
    const auto dictionary = dictionary_bytes(1);
    std::vector<uint8_t> container(0x10, 0x11);
    container.insert(container.end(), dictionary.begin(), dictionary.end());
    const std::string offset_file = write_file(dir / "c.bin", container).string();
    const std::string plain = write_dictionary("plain.txd", 1);
    auto window = make_window();
    window->add_recent(plain);
    host.answer_file(offset_file);
    host.answer_modal([](modal_dialog& dialog) {
        auto& edit = dynamic_cast<COneEditDialog&>(dialog);
        edit.initialize();
        edit.value = "10";
        return id_ok;
    });
    window->run_command(cmd::file_open_by_offset);
    ASSERT_EQ(window->open_offset(), 0x10u);
    window->run_command(cmd::recent_first);
    EXPECT_EQ(window->open_offset(), 0u);
    window->set_modified(true);
    window->run_command(cmd::file_save);
    EXPECT_EQ(read_file(plain), dictionary);
}

TEST_F(MainWindowTest, AutoloadOpensTheNewestWithoutTouchingTheList) {
    const std::string a = write_dictionary("A.txd", 1);
    settings.write_int(1, "main", "recent_autoload");
    settings.write_string("recent_files", "recent_00", a);
    settings.write_string("recent_files", "recent_01", "/p/other.txd");
    auto window = make_window();
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->current_path(), a);
    EXPECT_TRUE(window->command_checked(cmd::recent_autoload));
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), "/p/other.txd");
    EXPECT_EQ(settings.read_string("recent_files", "recent_02"), "");
}

TEST_F(MainWindowTest, AutoloadToggleWritesTheSetting) {
    auto window = make_window();
    window->run_command(cmd::recent_autoload);
    EXPECT_EQ(settings.read_int("main", "recent_autoload", 0), 1);
    EXPECT_TRUE(window->command_checked(cmd::recent_autoload));
    window->run_command(cmd::recent_autoload);
    EXPECT_EQ(settings.read_int("main", "recent_autoload", 1), 0);
    EXPECT_FALSE(window->command_checked(cmd::recent_autoload));
}

TEST_F(MainWindowTest, FileArgumentIsAddedOnlyWhenItOpens) {
    const std::string a = write_dictionary("A.txd", 1);
    const std::string bad = write_file(dir / "bad.txd", {0, 1, 2}).string();
    const std::string autoload = write_dictionary("auto.txd", 1);
    settings.write_int(1, "main", "recent_autoload");
    settings.write_string("recent_files", "recent_00", autoload);
    {
        auto window = make_window({bad, a});
        EXPECT_EQ(window->dictionary(), nullptr); // only the first argument counts
        EXPECT_EQ(host.message_texts(),
                  std::vector<std::string>{"Unsupported TXD file type.\nbad.txd: not a "
                                           "RenderWare file: it holds only 3 bytes"});
        EXPECT_FALSE(window->command_checked(cmd::recent_autoload));
        EXPECT_EQ(settings.read_string("recent_files", "recent_00"), autoload);
    }
    auto window = make_window({a});
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->current_path(), a);
    EXPECT_FALSE(window->command_checked(cmd::recent_autoload));
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), a);
    EXPECT_EQ(settings.read_string("recent_files", "recent_01"), autoload);
}

} // namespace

} // namespace quillmap
