// Open from Archive, Save back into the entry (growing it when needed), and the entry dialog's
// buttons that edit the archive.
#include "archive_builders.h"
#include "main_fixture.h"

#include "archive/archive_extract.h"
#include "archive/game_archive.h"
#include "views/archive_entry_dialog.h"
#include "views/one_edit_dialog.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeView>

namespace quillmap {

namespace {

struct MainArchiveTest : MainWindowTest {
    std::filesystem::path img = dir / "gta3.img";
    game_archive archive;
    std::vector<uint8_t> before;

    // flowerb (2 textures, 5 sectors), VEHICLE2 (1 texture, 1 sector), a model and a PC
    // dictionary of 15 sectors.
    void SetUp() override {
        if (!samples_available()) GTEST_SKIP() << "sample folder is absent";
        write_file(img, make_ver2_archive({
                            {"flowerb.txd", read_file(sample("flowerb.txd"))},
                            {"VEHICLE2.txd", read_file(sample("VEHICLE2.txd"))},
                            {"model.dff", std::vector<uint8_t>(3000, 0x5A)},
                            {"AMBULAN.TXD", read_file(sample("AMBULAN.TXD"))},
                        }));
        std::string error;
        ASSERT_TRUE(open_game_archive(img, archive, error)) << error;
        before = read_file(img);
        remember_entries();
    }

    // Opens entry `entry` of `chosen` (the archive by default) through File > Open from
    // Archive, after `check` looked at the list.
    void open_entry(CMainDialog& window, int entry,
                    const std::function<void(CArchiveEntryDialog&)>& check = {},
                    const std::filesystem::path& chosen = {}) {
        host.answer_file(chosen.empty() ? img.string() : chosen.string());
        host.answer_modal([entry, check](modal_dialog& dialog) {
            auto& list = dynamic_cast<CArchiveEntryDialog&>(dialog);
            if (check) check(list);
            EXPECT_TRUE(list.select_entry(entry));
            list.press_ok();
            return id_ok;
        });
        window.run_command(cmd::file_open_from_archive);
    }

    // Every entry but `edited` holds the bytes it held, under its name and in its place in the
    // table; `edited` is where the table now says.
    archive_entry expect_others_unchanged(size_t edited, const std::filesystem::path& path = {}) {
        game_archive after;
        std::string error;
        EXPECT_TRUE(open_game_archive(path.empty() ? img : path, after, error)) << error;
        EXPECT_EQ(after.entries.size(), archive.entries.size());
        for (size_t i = 0; i < archive.entries.size() && i < after.entries.size(); ++i) {
            EXPECT_EQ(after.entries[i].name, archive.entries[i].name);
            if (i == edited) continue;
            std::vector<uint8_t> now;
            EXPECT_TRUE(read_entry_bytes(after, i, now, error)) << error;
            EXPECT_EQ(entry_bytes_before[i], now) << archive.entries[i].name;
        }
        return edited < after.entries.size() ? after.entries[edited] : archive_entry{};
    }

    // Every entry's bytes of `archive` as it is now, for expect_others_unchanged.
    void remember_entries() {
        entry_bytes_before.assign(archive.entries.size(), {});
        std::string error;
        for (size_t i = 0; i < archive.entries.size(); ++i)
            EXPECT_TRUE(read_entry_bytes(archive, i, entry_bytes_before[i], error)) << error;
    }
    std::vector<std::vector<uint8_t>> entry_bytes_before;
};

QString cell(CArchiveEntryDialog& list, int row, int column) {
    const QAbstractItemModel* model = list.list->model();
    return model->index(row, column).data().toString();
}

TEST_F(MainArchiveTest, TheListShowsKindsNarrowsAsTypedAndOpensTheChosenEntry) {
    auto window = make_window();
    open_entry(*window, 1, [](CArchiveEntryDialog& list) {
        ASSERT_EQ(list.shown_rows(), 4);
        const QStringList row0{cell(list, 0, 0), cell(list, 0, 1), cell(list, 0, 2),
                               cell(list, 0, 3)};
        EXPECT_EQ(row0, (QStringList{"flowerb.txd", "10240", "PS2 TXD", "2"}));
        EXPECT_EQ(cell(list, 2, 2), "-");
        EXPECT_EQ(cell(list, 2, 3), "");
        EXPECT_EQ(cell(list, 3, 2), "PC TXD");
        // Sorting by size puts the smallest entry first.
        list.list->sortByColumn(1, Qt::AscendingOrder);
        EXPECT_EQ(list.entry_at(0), 1);
        EXPECT_EQ(list.entry_at(2), 0);
        list.filter_box->setText("VEH");
        ASSERT_EQ(list.shown_rows(), 1);
        EXPECT_EQ(list.entry_at(0), 1);
        EXPECT_FALSE(list.select_entry(0)); // filtered out
    });
    ASSERT_NE(window->dictionary(), nullptr) << testing::PrintToString(host.message_texts());
    EXPECT_EQ(window->dictionary()->texture_count(), 1u);
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "vehmirref32");
    EXPECT_EQ(window->open_offset(), archive.entries[1].offset);
    EXPECT_EQ(window->windowTitle().toStdString(), "gta3.img \u203A VEHICLE2.txd - Quillmap v0.21");
    ASSERT_TRUE(window->session().entry_link());
    EXPECT_EQ(window->session().entry_link()->size, 2048u);
    // A plain file opened afterwards is a file of its own again.
    host.answer_file(sample("flowerb.txd").string());
    window->run_command(cmd::file_open);
    EXPECT_FALSE(window->session().entry_link());
}

TEST_F(MainArchiveTest, RenameAndSaveChangeOnlyTheEntry) {
    auto window = make_window();
    open_entry(*window, 0);
    ASSERT_NE(window->dictionary(), nullptr);
    ASSERT_TRUE(window->session().rename(1, "renamed_in_place", name_kind::texture));
    window->run_command(cmd::file_save);
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    EXPECT_FALSE(window->modified());
    EXPECT_NE(read_file(img), before);
    const archive_entry saved = expect_others_unchanged(0);
    EXPECT_EQ(window->session().entry_link()->offset, saved.offset);
    EXPECT_EQ(status(*window, 0), "gta3.img \u203A flowerb.txd saved into its archive entry.");

    auto again = make_window();
    open_entry(*again, 0);
    ASSERT_NE(again->dictionary(), nullptr);
    EXPECT_EQ(again->dictionary()->texture_name(1, name_kind::texture), "renamed_in_place");
}

TEST_F(MainArchiveTest, ADirChosenOpensItsImgAndSaveWritesIntoTheImg) {
    const auto pair = make_dir_img_archive({
        {"model.dff", std::vector<uint8_t>(100, 0x5A)},
        {"flowerb.txd", read_file(sample("flowerb.txd"))},
    });
    const auto dir_file = write_file(dir / "pair.dir", pair.dir);
    img = write_file(dir / "pair.img", pair.img);
    before = read_file(img);
    std::string error;
    ASSERT_TRUE(open_game_archive(dir_file, archive, error)) << error;
    remember_entries();
    auto window = make_window();
    open_entry(*window, 1, {}, dir_file);
    ASSERT_NE(window->dictionary(), nullptr) << testing::PrintToString(host.message_texts());
    EXPECT_EQ(window->windowTitle().toStdString(), "pair.img \u203A flowerb.txd - Quillmap v0.21");
    ASSERT_TRUE(window->session().rename(0, "paired", name_kind::texture));
    window->run_command(cmd::file_save);
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    const archive_entry saved = expect_others_unchanged(1, dir_file);
    ps2_txd again;
    ASSERT_TRUE(again.load(img, uint32_t(saved.offset), 0x16, 0)) << again.last_error;
    EXPECT_EQ(again.texture_name(0, name_kind::texture), "paired");
}

// A dictionary that outgrew its sectors is saved into new sectors of the archive; the entry
// keeps its name and place in the table and the other entries keep their bytes.
TEST_F(MainArchiveTest, AnEntryThatOutgrowsItsSectorsGrowsOnSave) {
    auto window = make_window();
    open_entry(*window, 1);
    ASSERT_NE(window->dictionary(), nullptr);
    ASSERT_TRUE(
        window->session().import_file(sample("i8c16.tm2").string(), swizzle_mode::as_stored))
        << window->session().last_error();
    host.clear_log();
    window->run_command(cmd::file_save);
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    EXPECT_TRUE(host.of_kind(ui_event::file).empty());
    EXPECT_FALSE(window->modified());
    ASSERT_TRUE(window->session().entry_link());
    const archive_entry grown = expect_others_unchanged(1);
    EXPECT_GT(grown.size, 2048u);
    EXPECT_EQ(window->session().entry_link()->size, grown.size);
    EXPECT_EQ(window->windowTitle().toStdString(), "gta3.img \u203A VEHICLE2.txd - Quillmap v0.21");
    ps2_txd saved;
    ASSERT_TRUE(saved.load(img, uint32_t(grown.offset), 0x16, 0)) << saved.last_error;
    EXPECT_EQ(saved.texture_count(), 2u);
}

TEST_F(MainArchiveTest, ConversionMeasuresTheEntryNotTheArchive) {
    auto window = make_window();
    open_entry(*window, 3);
    ASSERT_NE(window->dictionary(), nullptr);
    host.answer_file((dir / "converted.txd").string());
    host.answer_modal([](modal_dialog&) { return int(id_ok); }); // depth and levels as they are
    window->run_command(cmd::convert_ps2);
    // The dictionary's own 30188 bytes, without the file's padding or the rest of the archive.
    EXPECT_TRUE(
        status(*window, 0).starts_with("Done! 10 textures converted (29.48 kBytes before, "))
        << status(*window, 0);
}

TEST_F(MainArchiveTest, AFailedOpenKeepsTheDictionaryAndItsLink) {
    auto window = make_window();
    open_entry(*window, 1);
    ASSERT_NE(window->dictionary(), nullptr);
    host.clear_log();
    open_entry(*window, 2); // the model is no dictionary
    EXPECT_EQ(host.message_texts().size(), 1u);
    ASSERT_NE(window->dictionary(), nullptr);
    EXPECT_EQ(window->dictionary()->texture_name(0, name_kind::texture), "vehmirref32");
    ASSERT_TRUE(window->session().entry_link());
    EXPECT_EQ(window->session().entry_link()->entry, "VEHICLE2.txd");
}

// Each button of the entry dialog on entry 2 (the model) or on entries 0 and 1: what it asks,
// what the archive then holds, and the list the dialog shows afterwards.
TEST_F(MainArchiveTest, TheEntryDialogButtonsEditTheArchiveAndRefreshTheList) {
    const auto input = write_file(dir / "input.bin", std::vector<uint8_t>(5000, 0x42));
    const auto out_file = dir / "model_out.dff";
    const auto out_folder = dir / "extracted";
    const std::vector<uint8_t> input_sectors = [] {
        std::vector<uint8_t> bytes(5000, 0x42);
        bytes.resize(3 * 2048, 0);
        return bytes;
    }();
    struct row_t {
        const char* name;
        archive_entry_action action;
        std::vector<int> selected;
        std::function<void()> answer; // queued before the button is pressed
        int rows_after;
        std::function<void(const game_archive&)> check;
    };
    const row_t rows[] = {
        {"extract one",
         archive_entry_action::extract,
         {2},
         [&] { host.answer_file(out_file.string()); },
         4,
         [&](const game_archive&) { EXPECT_EQ(read_file(out_file), entry_bytes_before[2]); }},
        {"extract two",
         archive_entry_action::extract,
         {0, 1},
         [&] { host.answer_file(out_folder.string()); },
         4,
         [&](const game_archive&) {
             EXPECT_EQ(read_file(out_folder / "flowerb.txd"), entry_bytes_before[0]);
             EXPECT_EQ(read_file(out_folder / "VEHICLE2.txd"), entry_bytes_before[1]);
         }},
        {"add",
         archive_entry_action::add,
         {},
         [&] { host.answer_file(input.string()); },
         5,
         [&](const game_archive& after) {
             EXPECT_EQ(after.entries[4].name, "input.bin");
             std::vector<uint8_t> bytes;
             std::string error;
             ASSERT_TRUE(read_entry_bytes(after, 4, bytes, error)) << error;
             EXPECT_EQ(bytes, input_sectors);
         }},
        {"replace",
         archive_entry_action::replace,
         {2},
         [&] { host.answer_file(input.string()); },
         4,
         [&](const game_archive& after) {
             std::vector<uint8_t> bytes;
             std::string error;
             ASSERT_TRUE(read_entry_bytes(after, 2, bytes, error)) << error;
             EXPECT_EQ(bytes, input_sectors);
             EXPECT_EQ(after.entries[2].name, "model.dff");
         }},
        {"delete",
         archive_entry_action::remove,
         {2},
         [&] { host.answer_message(id_yes); },
         3,
         [&](const game_archive& after) { EXPECT_EQ(after.entries[2].name, "AMBULAN.TXD"); }},
        {"delete refused",
         archive_entry_action::remove,
         {2},
         [&] { host.answer_message(id_no); },
         4,
         [&](const game_archive&) { EXPECT_EQ(read_file(img), before); }},
        {"rename",
         archive_entry_action::rename,
         {2},
         [&] {
             host.answer_modal([](modal_dialog& dialog) {
                 auto& edit = dynamic_cast<COneEditDialog&>(dialog);
                 edit.initialize();
                 EXPECT_EQ(edit.value, "model.dff");
                 edit.edit->setText("renamed.dff");
                 edit.press_ok();
                 return id_ok;
             });
         },
         4,
         [&](const game_archive& after) { EXPECT_EQ(after.entries[2].name, "renamed.dff"); }},
        {"compact cancelled",
         archive_entry_action::compact,
         {},
         [&] { host.cancel_progress_at(1); },
         4,
         [&](const game_archive&) { EXPECT_EQ(read_file(img), before); }},
        {"compact", archive_entry_action::compact, {}, [] {}, 4, [&](const game_archive&) {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        write_file(img, before); // every row starts from the same archive
        auto window = make_window();
        host.answer_file(img.string());
        host.answer_modal([&](modal_dialog& dialog) {
            auto& list = dynamic_cast<CArchiveEntryDialog&>(dialog);
            list.select_entries(row.selected);
            EXPECT_EQ(list.selected_entries(), row.selected);
            row.answer();
            list.press(row.action);
            EXPECT_EQ(list.shown_rows(), row.rows_after);
            return id_cancel;
        });
        window->run_command(cmd::file_open_from_archive);
        EXPECT_TRUE(host.all_answers_used());
        game_archive after;
        std::string error;
        ASSERT_TRUE(open_game_archive(img, after, error)) << error;
        ASSERT_EQ(after.entries.size(), size_t(row.rows_after));
        row.check(after);
        // Entries the row did not touch keep their bytes.
        for (size_t i = 0; i < after.entries.size(); ++i)
            for (size_t j = 0; j < archive.entries.size(); ++j)
                if (after.entries[i].name == archive.entries[j].name &&
                    !(row.action == archive_entry_action::replace && j == 2)) {
                    std::vector<uint8_t> bytes;
                    ASSERT_TRUE(read_entry_bytes(after, i, bytes, error)) << error;
                    EXPECT_EQ(bytes, entry_bytes_before[j]) << after.entries[i].name;
                }
    }
}

TEST_F(MainArchiveTest, AnEmptyEntryIsNotOpened) {
    write_file(img, make_ver2_archive(
                        {{"empty.txd", {}}, {"VEHICLE2.txd", read_file(sample("VEHICLE2.txd"))}}));
    auto window = make_window();
    open_entry(*window, 0, [](CArchiveEntryDialog& list) { EXPECT_EQ(cell(list, 0, 2), "empty"); });
    EXPECT_EQ(window->dictionary(), nullptr);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(host.message_texts()[0], "The entry empty.txd is empty: it holds no dictionary.");
}

// A game's archive holds thousands of entries: the list shows before every entry was looked at,
// and the kinds past the first ones arrive from a thread while the dialog is open.
TEST_F(MainArchiveTest, KindsOfALargeArchiveFillInAfterTheListShows) {
    std::vector<archive_file> files;
    for (int i = 0; i < 300; ++i)
        files.push_back(i % 2 ? archive_file{"m" + std::to_string(i) + ".dff", {1, 2, 3}}
                              : archive_file{"v" + std::to_string(i) + ".txd",
                                             read_file(sample("VEHICLE2.txd"))});
    write_file(img, make_ver2_archive(files));
    auto window = make_window();
    host.answer_file(img.string());
    host.answer_modal([](modal_dialog& dialog) {
        auto& list = dynamic_cast<CArchiveEntryDialog&>(dialog);
        EXPECT_EQ(list.shown_rows(), 300);
        EXPECT_EQ(cell(list, 0, 2), "PS2 TXD");
        EXPECT_EQ(cell(list, 298, 2), "\u2026"); // not looked at yet
        QElapsedTimer waited;
        waited.start();
        while (cell(list, 298, 2) == "\u2026" && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(cell(list, 298, 2), "PS2 TXD");
        EXPECT_EQ(cell(list, 298, 3), "1");
        EXPECT_EQ(cell(list, 299, 2), "-");
        return id_cancel;
    });
    window->run_command(cmd::file_open_from_archive);
}
} // namespace

} // namespace quillmap
