// Open from Archive, Save back into the entry and Save As when it no longer fits.
#include "archive_builders.h"
#include "main_fixture.h"

#include "archive/game_archive.h"
#include "views/archive_entry_dialog.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QTreeView>

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

    void expect_outside_unchanged(const archive_entry& entry) {
        const auto after = read_file(img);
        ASSERT_EQ(after.size(), before.size());
        const auto begin = long(entry.offset), end = long(entry.offset + entry.size);
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + begin, after.begin()));
        EXPECT_TRUE(std::equal(before.begin() + end, before.end(), after.begin() + end));
    }
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

TEST_F(MainArchiveTest, RenameAndSaveRewriteOnlyTheEntry) {
    auto window = make_window();
    open_entry(*window, 0);
    ASSERT_NE(window->dictionary(), nullptr);
    ASSERT_TRUE(window->session().rename(1, "renamed_in_place", name_kind::texture));
    window->run_command(cmd::file_save);
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    EXPECT_FALSE(window->modified());
    EXPECT_NE(read_file(img), before);
    expect_outside_unchanged(archive.entries[0]);
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
    auto window = make_window();
    open_entry(*window, 1, {}, dir_file);
    ASSERT_NE(window->dictionary(), nullptr) << testing::PrintToString(host.message_texts());
    EXPECT_EQ(window->windowTitle().toStdString(), "pair.img \u203A flowerb.txd - Quillmap v0.21");
    ASSERT_TRUE(window->session().rename(0, "paired", name_kind::texture));
    window->run_command(cmd::file_save);
    EXPECT_EQ(read_file(dir_file), pair.dir);
    expect_outside_unchanged(archive.entries[1]);
    ps2_txd again;
    ASSERT_TRUE(again.load(img, uint32_t(archive.entries[1].offset), 0x16, 0)) << again.last_error;
    EXPECT_EQ(again.texture_name(0, name_kind::texture), "paired");
}

TEST_F(MainArchiveTest, AnEntryTooSmallIsLeftAloneAndSaveAsWritesAFileOfItsOwn) {
    auto window = make_window();
    open_entry(*window, 1);
    ASSERT_NE(window->dictionary(), nullptr);
    ASSERT_TRUE(
        window->session().import_file(sample("i8c16.tm2").string(), swizzle_mode::as_stored))
        << window->session().last_error();
    host.clear_log();
    // No: nothing is written and the changes stay unsaved.
    host.answer_message(id_no);
    window->run_command(cmd::file_save);
    ASSERT_EQ(host.message_texts().size(), 1u);
    const std::string question = host.message_texts()[0];
    EXPECT_NE(question.find("VEHICLE2.txd needs "), std::string::npos) << question;
    EXPECT_NE(question.find("holds only 2048 bytes (1 sectors)"), std::string::npos) << question;
    EXPECT_TRUE(host.of_kind(ui_event::file).empty());
    EXPECT_TRUE(window->modified());
    EXPECT_EQ(read_file(img), before);
    // Yes: the Save As dialog, proposing the entry's name beside the archive.
    const auto out = dir / "vehicle_big.txd";
    host.answer_message(id_yes);
    host.answer_file(out.string());
    window->run_command(cmd::file_save);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].request.initial_name, (dir / "VEHICLE2.txd").string());
    EXPECT_EQ(read_file(img), before);
    EXPECT_FALSE(window->modified());
    EXPECT_FALSE(window->session().entry_link());
    EXPECT_EQ(window->current_path(), out.string());
    EXPECT_EQ(window->windowTitle().toStdString(), "vehicle_big.txd - Quillmap v0.21");
    ps2_txd saved;
    ASSERT_TRUE(saved.load(out, 0, 0x16, 0)) << saved.last_error;
    EXPECT_EQ(saved.texture_count(), 2u);
}

TEST_F(MainArchiveTest, ConversionMeasuresTheEntryNotTheArchive) {
    auto window = make_window();
    open_entry(*window, 3);
    ASSERT_NE(window->dictionary(), nullptr);
    host.answer_file((dir / "converted.txd").string());
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
} // namespace
