#include "main_fixture.h"

#include "platform/system.h"
#include "views/about_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace quillmap {

namespace {

TEST(MainOneEdit, EmptyTextsKeepTheResourceTexts) {
    COneEditDialog dialog("", "", "");
    dialog.initialize();
    EXPECT_EQ(dialog.windowTitle(), "Rename some shit");
    EXPECT_EQ(dialog.label_control->text(), "New name:");
    EXPECT_TRUE(dialog.edit->text().isEmpty());
    dialog.press_ok();
    EXPECT_EQ(dialog.value, "");
    EXPECT_EQ(dialog.result(), id_ok);
}

TEST(MainOneEdit, TextsAndPresetValue) {
    COneEditDialog dialog("Type a hexademical offset", "Offset:", "0x00");
    dialog.initialize();
    EXPECT_EQ(dialog.windowTitle(), "Type a hexademical offset");
    EXPECT_EQ(dialog.label_control->text(), "Offset:");
    EXPECT_EQ(dialog.edit->text(), "0x00");

    COneEditDialog rename("", "", "");
    rename.value = "wall";
    rename.initialize();
    EXPECT_EQ(rename.edit->text(), "wall");
    rename.edit->setText("floor");
    rename.done(id_cancel); // Cancel leaves the value as it was
    EXPECT_EQ(rename.value, "wall");
}

class MainRwSelect : public MainWindowTest {};

TEST_F(MainRwSelect, EmptySectionOffersSanAndreasOnly) {
    CRWSelect dialog(0x1803FFFF);
    dialog.settings_path = ini;
    dialog.initialize();
    ASSERT_EQ(dialog.list->count(), 1);
    EXPECT_EQ(dialog.list->itemText(0), "GTA San Andreas");
    EXPECT_EQ(dialog.edit->text(), "0x1803FFFF");
    EXPECT_TRUE(dialog.edit->isReadOnly());
    EXPECT_TRUE(dialog.list->isEnabled());
    dialog.press_ok();
    EXPECT_EQ(dialog.result, 0x1803FFFFu);
}

TEST_F(MainRwSelect, ListsTheSectionAndSelectsTheInitialVersion) {
    settings.write_string("rw_version", "0x0C02FFFF", "GTA Vice City");
    settings.write_string("rw_version", "0x1803FFFF", "GTA San Andreas");
    CRWSelect dialog(0x1803FFFF);
    dialog.settings_path = ini;
    dialog.initialize();
    ASSERT_EQ(dialog.list->count(), 2);
    EXPECT_EQ(dialog.list->itemText(0), "0x0C02FFFF - GTA Vice City");
    EXPECT_EQ(dialog.list->currentIndex(), 1);
    EXPECT_EQ(dialog.edit->text(), "0x1803FFFF");
    dialog.list->setCurrentIndex(0);
    EXPECT_EQ(dialog.edit->text(), "0x0C02FFFF");

    CRWSelect other(0x12345678);
    other.settings_path = ini;
    other.initialize();
    EXPECT_EQ(other.list->currentIndex(), 0);
}

TEST_F(MainRwSelect, TypedValues) {
    struct row {
        const char* text;
        uint32_t result;
    };
    const row rows[] = {{"1803ffff", 0x1803FFFF}, {"0x1803FFFF", 0x1803FFFF},
                        {"  0x10", 0x10},         {"zz", 0xFFFFFFFF},
                        {"0x", 0xFFFFFFFF},       {"123456789", 0xFFFFFFFF}};
    for (const auto& r : rows) {
        CRWSelect dialog(0);
        dialog.settings_path = ini;
        dialog.initialize();
        dialog.set_mode(0);
        EXPECT_FALSE(dialog.edit->isReadOnly());
        EXPECT_FALSE(dialog.list->isEnabled());
        dialog.edit->setText(r.text);
        dialog.press_ok();
        EXPECT_EQ(dialog.result, r.result) << r.text;
    }
}

TEST(MainAbout, VersionLineAndBuildNumber) {
    CAboutDialog dialog;
    dialog.initialize();
    EXPECT_EQ(dialog.windowTitle(), "About this shit");
    EXPECT_EQ(dialog.label->text().toStdString(), std::string("Quillmap v0.21 build ") +
                                                      build_date() + " " + build_time() +
                                                      " (W2K-Zozev)");
    EXPECT_EQ(dialog.group->title().toStdString(),
              "Quillmap build " + std::to_string(build_number()) + "  // Spring 2012");
    EXPECT_TRUE(dialog.note->isReadOnly());
    EXPECT_FALSE(dialog.note->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, AboutRunsThroughTheHost) {
    auto window = make_window();
    window->run_command(cmd::about);
    const auto modals = host.of_kind(ui_event::modal);
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].text, "CAboutDialog");
}

} // namespace

} // namespace quillmap
