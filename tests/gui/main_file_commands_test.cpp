#include "main_fixture.h"

#include "dictionary/txd_probe.h"
#include "pc_builders.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace quillmap {

namespace {

const char* const k_unsaved =
    "You have unsaved changes in the TXD.\n\nDo you want to save the changes?";

// Answers the version dialog with the list's own choice.
int pick_listed_version(modal_dialog& dialog) {
    auto& select = dynamic_cast<CRWSelect&>(dialog);
    select.initialize();
    select.press_ok();
    return id_ok;
}

std::function<int(modal_dialog&)> type_offset(const std::string& text) {
    return [text](modal_dialog& dialog) {
        auto& edit = dynamic_cast<COneEditDialog&>(dialog);
        edit.initialize();
        EXPECT_EQ(edit.edit->text().toStdString(), "0x00");
        EXPECT_EQ(edit.windowTitle().toStdString(), "Type a hexademical offset");
        edit.edit->setText(QString::fromStdString(text));
        edit.press_ok();
        return id_ok;
    };
}

TEST_F(MainWindowTest, OpenReportsTheLoadedFile) {
    const std::string path = write_dictionary("a.txd", 3);
    auto window = make_window();
    host.answer_file(path);
    window->run_command(cmd::file_open);
    ASSERT_NE(window->dictionary(), nullptr);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(files[0].request.save);
    EXPECT_EQ(files[0].request.default_extension, ".txd");
    EXPECT_EQ(files[0].request.filter,
              "PlayStation2 TXD (*.txd)|*.txd|PlayStation2 / PSP TEX (*.tex; *.xtx; *.chk)|*.tex; "
              "*.xtx; *.chk|");
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "File a.txd loaded, 3 textures found (%0.2f kBytes allocated)",
                  window->dictionary()->allocated_bytes / 1024.0);
    EXPECT_EQ(status(*window, 0), expected);
    EXPECT_EQ(window->windowTitle().toStdString(), "a.txd - Quillmap v0.21");
    EXPECT_EQ(window->current_path(), path);
    EXPECT_EQ(window->restriction_mask(), 0u);
    EXPECT_FALSE(window->modified());
    EXPECT_TRUE(window->command_enabled(cmd::move_up));
    EXPECT_TRUE(window->command_enabled(cmd::export_all));
    EXPECT_FALSE(window->command_enabled(cmd::convert_ps2)); // already PS2
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), path);
    EXPECT_EQ(host.message_texts().size(), 0u);
}

TEST_F(MainWindowTest, OpenProposesTheNewestRecentFile) {
    settings.write_string("recent_files", "recent_00", "/x/last.txd");
    auto window = make_window();
    window->run_command(cmd::file_open); // cancelled
    ASSERT_EQ(host.of_kind(ui_event::file).size(), 1u);
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.initial_name, "/x/last.txd");
}

TEST_F(MainWindowTest, OpenOfAnUnsupportedFileKeepsTheOpenDictionary) {
    const std::string good = write_dictionary("good.txd", 1);
    const std::string bad = write_file(dir / "bad.txd", {1, 2, 3, 4, 5}).string();
    auto window = make_window();
    host.answer_file(good);
    window->run_command(cmd::file_open);
    ASSERT_NE(window->dictionary(), nullptr);
    ps2_txd* before = window->dictionary();
    const QString title = window->windowTitle();
    host.answer_file(bad);
    window->run_command(cmd::file_open);
    EXPECT_EQ(window->dictionary(), before);
    EXPECT_EQ(window->current_path(), good);
    EXPECT_EQ(window->windowTitle(), title);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(host.log.back().text,
              "Unsupported TXD file type.\nbad.txd: not a RenderWare file: it holds only 5 bytes");
    EXPECT_EQ(host.log.back().caption, "Error");
    EXPECT_EQ(host.log.back().icon, box_icon::error);
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), good);
    EXPECT_EQ(window->restriction_mask() & restrict_opening, 0u);
    EXPECT_TRUE(window->command_enabled(cmd::move_up));
    EXPECT_EQ(window->list_selected(), 0);
}

TEST_F(MainWindowTest, PlatformPriorityWithoutPs2StillOpensAPs2FileAndSaysSo) {
    settings.write_string("main", "platform_priority", "PC,iOS");
    auto window = make_window();
    EXPECT_TRUE(window->open_dictionary(write_dictionary("p.txd", 1), 0));
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_TRUE(
        status(*window, 0).ends_with(" Opened as PS2, which platform_priority does not list."));
}

TEST_F(MainWindowTest, OpenPromptCancelKeepsEverything) {
    const std::string path = write_dictionary("a.txd", 1);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    host.answer_message(id_cancel);
    window->run_command(cmd::file_open);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text, k_unsaved);
    EXPECT_EQ(host.log[0].caption, "Open?");
    EXPECT_EQ(host.log[0].buttons, box_buttons::yes_no_cancel);
    EXPECT_EQ(host.log[0].icon, box_icon::warning);
    EXPECT_NE(window->dictionary(), nullptr);
    EXPECT_TRUE(window->modified());
}

TEST_F(MainWindowTest, OpenPromptNoThenCancelledDialogKeepsTheDictionary) {
    const std::string path = write_dictionary("a.txd", 1);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    ps2_txd* before = window->dictionary();
    window->set_modified(true);
    host.answer_message(id_no);
    window->run_command(cmd::file_open); // the file dialog is cancelled
    EXPECT_EQ(host.of_kind(ui_event::file).size(), 1u);
    // Nothing else was opened, so nothing was thrown away: the changes are still unsaved.
    EXPECT_EQ(window->dictionary(), before);
    EXPECT_TRUE(window->modified());
    EXPECT_EQ(window->current_path(), path);
}

TEST_F(MainWindowTest, OpenPromptYesSavesFirst) {
    const std::string path = write_dictionary("a.txd", 1);
    const auto before = read_file(path);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    std::filesystem::remove(path);
    host.answer_message(id_yes);
    window->run_command(cmd::file_open);
    EXPECT_EQ(read_file(path), before); // Save wrote the dictionary back before the dialog
    EXPECT_EQ(host.of_kind(ui_event::file).size(), 1u);
}

TEST_F(MainWindowTest, SaveNeedsADictionary) {
    auto window = make_window();
    for (int id : {cmd::file_save, cmd::file_save_as}) {
        host.clear_log();
        window->run_command(id);
        ASSERT_EQ(host.log.size(), 1u);
        EXPECT_EQ(host.log[0].text, "TXD file is NOT loaded!");
        EXPECT_EQ(host.log[0].caption, "Error");
        EXPECT_EQ(host.log[0].icon, box_icon::error);
    }
}

struct refusal_row {
    uint32_t mask;
    int command;
    bool refused;
};

TEST_F(MainWindowTest, SavingRefusedByRestrictionMask) {
    const refusal_row rows[] = {
        {58, cmd::file_save, true},  {58, cmd::file_save_as, true},
        {16, cmd::file_save, true},  {16, cmd::file_save_as, false},
        {32, cmd::file_save, false}, {32, cmd::file_save_as, true},
        {10, cmd::file_save, false}, {10, cmd::file_save_as, false},
    };
    const std::string path = write_dictionary("r.txd", 1);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    for (const auto& row : rows) {
        host.clear_log();
        window->set_restriction_mask(row.mask);
        window->run_command(row.command);
        const auto texts = host.message_texts();
        if (row.refused) {
            ASSERT_EQ(texts.size(), 1u) << row.mask << " " << row.command;
            EXPECT_EQ(texts[0], "File saving is disabled for this file format.");
            EXPECT_EQ(host.log[0].caption, "Error");
            EXPECT_TRUE(host.of_kind(ui_event::file).empty());
        } else {
            EXPECT_TRUE(texts.empty()) << row.mask << " " << row.command;
        }
    }
}

TEST_F(MainWindowTest, SaveOfAnOpenedFileNeverAsks) {
    const std::string path = write_dictionary("s.txd", 2);
    const auto before = read_file(path);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    window->run_command(cmd::file_save);
    EXPECT_TRUE(host.log.empty());
    EXPECT_FALSE(window->modified());
    EXPECT_EQ(status(*window, 0), "File " + path + " successfully saved.");
    EXPECT_EQ(read_file(path), before);
}

TEST_F(MainWindowTest, FailedSaveShowsTheErrorAndKeepsTheFlag) {
    const std::string path = write_dictionary("f.txd", 1);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    host.answer_file((dir / "missing_folder" / "out.txd").string());
    window->run_command(cmd::file_save_as);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(host.log.back().text, window->dictionary()->last_error);
    EXPECT_FALSE(host.log.back().text.empty());
    EXPECT_EQ(host.log.back().caption, "Error");
    EXPECT_TRUE(window->modified());
    EXPECT_EQ(window->current_path(), path);
    EXPECT_EQ(window->windowTitle().toStdString(), "f.txd* - Quillmap v0.21");
}

TEST_F(MainWindowTest, NewAsksForVersionAndSaveAsksForAName) {
    auto window = make_window();
    host.answer_modal(pick_listed_version);
    window->run_command(cmd::file_new);
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->dictionary()->root_version(), 0x1803FFFFu);
    EXPECT_EQ(window->windowTitle().toStdString(), "Untitled* - Quillmap v0.21");
    EXPECT_TRUE(window->modified());
    EXPECT_TRUE(window->current_path().empty());
    EXPECT_FALSE(window->command_enabled(cmd::move_up)); // New leaves the enable list alone
    EXPECT_EQ(status(*window, 3), "RW 0x1803FFFF");

    const std::string out = (dir / "new.txd").string();
    host.answer_file(out);
    window->run_command(cmd::file_save);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].request.save);
    EXPECT_EQ(files[0].request.filter, "PlayStation2 TXD (*.txd)|*.txd|");
    EXPECT_TRUE(files[0].request.initial_name.empty());
    EXPECT_FALSE(window->modified());
    EXPECT_EQ(window->current_path(), out);
    EXPECT_EQ(window->windowTitle().toStdString(), "new.txd - Quillmap v0.21");
    EXPECT_EQ(status(*window, 0), "new.txd saved.");
    // The written file opens again as an empty PS2 dictionary.
    settings.write_int(0, "main", "enable_warnings");
    auto again = make_window();
    ASSERT_TRUE(again->open_dictionary(out, 0));
    EXPECT_EQ(again->dictionary()->texture_count(), 0u);
}

TEST_F(MainWindowTest, NewOnAModifiedDictionaryAsks) {
    const std::string path = write_dictionary("a.txd", 1);
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    ps2_txd* old = window->dictionary();

    host.answer_message(id_no);
    window->run_command(cmd::file_new);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text, "Do you really want to close currently opened file?");
    EXPECT_EQ(host.log[0].caption, "Create new TXD");
    EXPECT_EQ(host.log[0].buttons, box_buttons::yes_no);
    EXPECT_EQ(host.log[0].icon, box_icon::question);
    EXPECT_EQ(window->dictionary(), old);
    EXPECT_TRUE(host.of_kind(ui_event::modal).empty());

    // Yes gives the dictionary up; a cancelled version dialog leaves none.
    host.answer_message(id_yes);
    window->run_command(cmd::file_new);
    EXPECT_EQ(host.of_kind(ui_event::modal).size(), 1u);
    EXPECT_EQ(window->dictionary(), nullptr);
    EXPECT_FALSE(window->modified());
    EXPECT_EQ(window->windowTitle().toStdString().rfind("Quillmap v0.21 build ", 0), 0u);
}

TEST_F(MainWindowTest, OpenByOffsetSavesAtTheOffsetAndSaveAsAtZero) {
    settings.write_int(1, "main", "enable_debug_mode");
    const auto dictionary = dictionary_bytes(1);
    std::vector<uint8_t> container(0x40, 0xAB);
    container.insert(container.end(), dictionary.begin(), dictionary.end());
    container.insert(container.end(), 16, 0xCD);
    const std::string path = write_file(dir / "container.bin", container).string();

    auto window = make_window();
    host.answer_file(path);
    host.answer_modal(type_offset("0x40"));
    window->run_command(cmd::file_open_by_offset);
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->open_offset(), 0x40u);
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.filter, "All Files (*.*)|*.*|");
    EXPECT_TRUE(settings.read_string("recent_files", "recent_00").empty());

    window->set_modified(true);
    window->run_command(cmd::file_save);
    const auto saved = read_file(path);
    ASSERT_GE(saved.size(), 0x40 + dictionary.size());
    EXPECT_TRUE(std::equal(container.begin(), container.begin() + 0x40, saved.begin()));
    EXPECT_TRUE(std::equal(dictionary.begin(), dictionary.end(), saved.begin() + 0x40));

    const std::string copy = (dir / "copy.txd").string();
    host.answer_file(copy);
    window->run_command(cmd::file_save_as);
    EXPECT_EQ(read_file(copy), dictionary);
    // The copy is now the current file, held at its start.
    window->set_modified(true);
    window->run_command(cmd::file_save);
    EXPECT_EQ(read_file(copy), dictionary);
}

// A dictionary that grew past the bytes it took inside a larger file is not written there; the
// window offers Save As, and No leaves every file as it was.
TEST_F(MainWindowTest, OpenByOffsetThatNoLongerFitsOffersSaveAs) {
    settings.write_int(1, "main", "enable_debug_mode");
    const auto dictionary = dictionary_bytes(1);
    std::vector<uint8_t> container(0x40, 0xAB);
    container.insert(container.end(), dictionary.begin(), dictionary.end());
    container.insert(container.end(), 16, 0xCD);
    const std::string path = write_file(dir / "container.bin", container).string();
    const std::string copy = (dir / "copy.txd").string();

    for (const int answer : {id_no, id_yes}) {
        SCOPED_TRACE(answer == id_yes ? "Yes" : "No");
        auto window = make_window();
        host.answer_file(path);
        host.answer_modal(type_offset("0x40"));
        window->run_command(cmd::file_open_by_offset);
        ASSERT_NE(window->dictionary(), nullptr);
        ASSERT_TRUE(window->dictionary()->rename_texture(0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234",
                                                         name_kind::texture));
        window->set_modified(true);
        host.log.clear();
        host.answer_message(answer);
        if (answer == id_yes) host.answer_file(copy);
        window->run_command(cmd::file_save);
        const auto messages = host.message_texts();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("would overwrite what follows"), std::string::npos);
        EXPECT_NE(messages[0].find("Save it as a separate file instead?"), std::string::npos);
        EXPECT_EQ(host.log[0].buttons, box_buttons::yes_no);
        EXPECT_EQ(read_file(path), container);
        EXPECT_EQ(std::filesystem::exists(copy), answer == id_yes);
        EXPECT_EQ(window->modified(), answer == id_no);
    }
}

TEST_F(MainWindowTest, OpenByOffsetAsksBeforeDroppingUnsavedChanges) {
    settings.write_int(1, "main", "enable_debug_mode");
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(write_dictionary("a.txd", 1), 0));
    window->set_modified(true);
    host.answer_message(id_cancel);
    window->run_command(cmd::file_open_by_offset);
    EXPECT_EQ(host.message_texts(), std::vector<std::string>{k_unsaved});
    EXPECT_TRUE(host.of_kind(ui_event::file).empty());
    EXPECT_NE(window->dictionary(), nullptr);
}

TEST_F(MainWindowTest, OffsetThatIsNotHexKeepsThePreviousOffset) {
    settings.write_int(1, "main", "enable_debug_mode");
    const auto dictionary = dictionary_bytes(1);
    std::vector<uint8_t> container(0x20, 0);
    container.insert(container.end(), dictionary.begin(), dictionary.end());
    const std::string path = write_file(dir / "c.bin", container).string();
    auto window = make_window();
    host.answer_file(path);
    host.answer_modal(type_offset("20"));
    window->run_command(cmd::file_open_by_offset);
    ASSERT_EQ(window->open_offset(), 0x20u);
    host.answer_file(path);
    host.answer_modal(type_offset("zz"));
    window->run_command(cmd::file_open_by_offset);
    EXPECT_EQ(window->open_offset(), 0x20u);
    EXPECT_NE(window->dictionary(), nullptr);
}

TEST_F(MainWindowTest, CompressionWarningAndItsCancel) {
    // A texture of the Adreno compression shows no picture.
    mobile_texture_desc atc;
    atc.platform = 11;
    atc.data.assign(64, 0x22);
    const std::string path = write_file(dir / "atc.txd", mobile_dictionary_bytes({atc})).string();
    auto window = make_window();
    host.answer_message(id_cancel);
    EXPECT_FALSE(window->open_dictionary(path, 0));
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].text,
              "Unsupported compression: \r\n Some textures will not be rendered.");
    EXPECT_EQ(host.log[0].caption, "Warning!");
    EXPECT_EQ(host.log[0].buttons, box_buttons::ok_cancel);
    EXPECT_EQ(host.log[0].icon, box_icon::warning);
    EXPECT_EQ(window->dictionary(), nullptr);
    EXPECT_EQ(window->restriction_mask() & restrict_opening, 0u);

    host.answer_message(id_ok);
    EXPECT_TRUE(window->open_dictionary(path, 0));
    EXPECT_NE(window->dictionary(), nullptr);
}

TEST_F(MainWindowTest, NoCompressionWarningWhenWarningsAreOff) {
    settings.write_int(0, "main", "enable_warnings");
    auto window = make_window();
    mobile_texture_desc pvr;
    pvr.platform = 10;
    pvr.data.assign(64, 0x22);
    EXPECT_TRUE(window->open_dictionary(
        write_file(dir / "pvr.txd", mobile_dictionary_bytes({pvr})).string(), 0));
    EXPECT_TRUE(host.log.empty());
}

TEST_F(MainWindowTest, RealSamplesOpenWithTheirStatusText) {
    SKIP_WITHOUT_SAMPLES();
    auto window = make_window();
    ASSERT_TRUE(window->open_dictionary(sample("VEHICLE2.txd").string(), 0));
    EXPECT_EQ(window->dictionary()->texture_count(), 1u);
    EXPECT_EQ(status(*window, 0).rfind("File VEHICLE2.txd loaded, 1 textures found (", 0), 0u);
    EXPECT_EQ(status(*window, 3), "RW 0x1803FFFF");
    EXPECT_TRUE(host.log.empty());
}

TEST_F(MainWindowTest, CloseWithUnsavedChangesAsks) {
    const std::string path = write_dictionary("a.txd", 1);
    auto window = make_window();
    window->show();
    window->move(120, 80);
    ASSERT_TRUE(window->open_dictionary(path, 0));
    window->set_modified(true);
    host.answer_message(id_cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(host.log.back().text, k_unsaved);
    // Cancelling still stores the rectangle.
    const QRect outer = window->frameGeometry();
    EXPECT_EQ(settings.read_int("main", "pos_left", -1), outer.left());
    EXPECT_EQ(settings.read_int("main", "pos_top", -1), outer.top());
    EXPECT_EQ(settings.read_int("main", "pos_right", -1), outer.left() + outer.width());
    EXPECT_EQ(settings.read_int("main", "pos_bottom", -1), outer.top() + outer.height());

    host.answer_message(id_no);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ExitWithoutChangesEndsAtOnce) {
    auto window = make_window();
    window->show();
    window->run_command(cmd::file_exit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(host.log.empty());
    EXPECT_NE(settings.read_int("main", "pos_right", 0), 0);
}

TEST_F(MainWindowTest, DroppedFileOpensAsOpenDoes) {
    const std::string path = write_dictionary("dropped.txd", 1);
    auto window = make_window();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    EXPECT_TRUE(window->acceptDrops());
    EXPECT_TRUE(window->open_dropped(&mime));
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->current_path(), path);
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), path);

    // With unsaved changes the prompt comes first; Cancel keeps the dictionary.
    window->set_modified(true);
    ps2_txd* before = window->dictionary();
    host.answer_message(id_cancel);
    EXPECT_FALSE(window->open_dropped(&mime));
    EXPECT_EQ(window->dictionary(), before);
    EXPECT_EQ(host.message_texts(), std::vector<std::string>{k_unsaved});
}

TEST_F(MainWindowTest, ConversionNeedsADictionaryAndAName) {
    auto window = make_window();
    window->run_command(cmd::convert_ps2);
    EXPECT_TRUE(host.log.empty());
}

class MainConversion : public MainWindowTest {
  protected:
    std::unique_ptr<CMainDialog> open_pc_sample() {
        settings.write_int(0, "main", "enable_warnings");
        auto window = make_window();
        if (!window->open_dictionary(sample("AMBULAN.TXD").string(), 0)) return nullptr;
        return window;
    }
};

TEST_F(MainConversion, PcDictionaryBecomesAPs2One) {
    SKIP_WITHOUT_SAMPLES();
    auto window = open_pc_sample();
    ASSERT_TRUE(window) << "AMBULAN.TXD does not open";
    EXPECT_TRUE(window->command_enabled(cmd::convert_ps2));
    const std::string before_path = window->current_path();
    const std::string out = (dir / "converted.txd").string();
    host.answer_file(out);
    host.answer_modal([](modal_dialog&) { return int(id_ok); }); // depth and levels as they are
    window->run_command(cmd::convert_ps2);
    // The status says what was done: the count and both files' sizes.
    EXPECT_TRUE(
        status(*window, 0).starts_with("Done! 10 textures converted (30.00 kBytes before, "))
        << status(*window, 0);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(window->current_path(), before_path);
    EXPECT_FALSE(window->modified());
    ps2_txd converted;
    ASSERT_TRUE(converted.load(out, 0, 0x16, 0)) << converted.last_error;
    EXPECT_EQ(converted.texture_count(), window->dictionary()->texture_count());
    EXPECT_TRUE(converted.is_ps2(0));
}

TEST_F(MainConversion, FailedWriteIsReportedNotDone) {
    SKIP_WITHOUT_SAMPLES();
    auto window = open_pc_sample();
    ASSERT_TRUE(window) << "AMBULAN.TXD does not open";
    const QString before = window->status_text(0);
    host.answer_file((dir / "no_folder" / "converted.txd").string());
    host.answer_modal([](modal_dialog&) { return int(id_ok); });
    window->run_command(cmd::convert_ps2);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_FALSE(host.log.back().text.empty());
    EXPECT_EQ(host.log.back().caption, "Error");
    EXPECT_EQ(host.log.back().icon, box_icon::error);
    EXPECT_NE(status(*window, 0), "Done!");
    EXPECT_EQ(window->status_text(0), before);
}

std::string first_bytes(const std::filesystem::path& path, size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), std::streamsize(count));
    return bytes.substr(0, size_t(in.gcount()));
}

// File-type extensions name a picture's kind in any case: the window's Export writes car.BMP as a
// Windows bitmap and x.PNG as a PNG, and the same files replace a texture; a name that only
// looks like one is refused as an unknown extension.
TEST_F(MainWindowTest, FileTypeExtensionsAreReadInAnyCase) {
    struct row {
        const char* file;
        std::optional<export_type> kind;
        const char* magic; // the written file's first bytes
        bool replaces;     // the written file replaces the texture again
    };
    const row rows[] = {
        {"car.BMP", export_type::bmp, "BM", true},
        {"car2.Bmp", export_type::bmp, "BM", true},
        {"x.PNG", export_type::png, "\x89PNG", true},
        {"y.pNg", export_type::png, "\x89PNG", true},
        {"tim.TM2", export_type::tim2, "TIM2", true},
        {"raw.RWSECT", export_type::rwsect, "\x15", false},
        {"photo.JPG", std::nullopt, nullptr, false},
        {"x.PNGX", std::nullopt, nullptr, false},
    };
    const std::string dictionary = write_dictionary("cars.txd", 2);
    auto window = make_window();
    host.answer_file(dictionary);
    window->run_command(cmd::file_open);
    ASSERT_NE(window->dictionary(), nullptr);
    for (const row& r : rows) {
        SCOPED_TRACE(r.file);
        const std::filesystem::path out = dir / r.file;
        EXPECT_EQ(editor_session::export_type_for(editor_session::import_extension(out.string())),
                  r.kind);
        host.clear_log();
        host.answer_file(out.string());
        window->run_command(cmd::export_button);
        if (!r.kind) {
            ASSERT_EQ(host.message_texts().size(), 1u);
            EXPECT_EQ(host.message_texts()[0],
                      out.extension().string().substr(1) + " is unknown extension!");
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
        EXPECT_EQ(first_bytes(out, std::strlen(r.magic)), r.magic);
        if (!r.replaces) continue;
        EXPECT_TRUE(window->session().replace(0, out.string(), false))
            << window->session().last_error();
    }
}

} // namespace

} // namespace quillmap
