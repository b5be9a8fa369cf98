// The entry list of a game's archive of 16,000 entries while the kinds fill in from a thread, as
// the window fills it: every pass of the window's thread looks at a bounded part of the list
// (counted in cells read, rows filtered and rows compared), in every order and filter shown, and
// the list ends with every kind in, in the order and under the filter asked.
#include "app/archive_entry_kinds.h"
#include "archive_builders.h"
#include "test_files.h"

#include "archive/game_archive.h"
#include "views/archive_entry_dialog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeView>

#include <gtest/gtest.h>

namespace quillmap {

namespace {
constexpr int k_entries = 16000;
using model = archive_entry_model;

// Entry i: a dictionary of one texture, a model, an empty entry or a damaged dictionary.
struct expected_row {
    QString kind;
    int textures;
};
expected_row expected(int i) {
    switch (i % 4) {
    case 0:
        return {"PS2 TXD", 1};
    case 1:
        return {"-", -1};
    case 2:
        return {"empty", -1};
    default:
        return {"damaged", -1};
    }
}
std::string name_of(int i) {
    static const char* const stems[] = {"dict", "model", "col", "broken"};
    static const char* const extensions[] = {".txd", ".dff", ".col", ".txd"};
    return stems[i % 4] + std::to_string(i) + extensions[i % 4];
}

const std::filesystem::path& big_archive() {
    static const std::filesystem::path path = [] {
        const auto dictionary =
            make_dictionary({make_ps2_texture({.name = "t", .width = 8, .height = 8, .depth = 4})})
                .bytes();
        std::vector<archive_file> files;
        files.reserve(k_entries);
        for (int i = 0; i < k_entries; ++i) {
            std::vector<uint8_t> bytes;
            if (i % 4 == 0) bytes = dictionary;
            if (i % 4 == 1) bytes.assign(3, 0x11);
            if (i % 4 == 3) bytes.assign(100, 0xEE);
            files.push_back({name_of(i), std::move(bytes)});
        }
        return write_temp("entry_list_16000.img", make_ver2_archive(files));
    }();
    return path;
}

QString shown_text(const CArchiveEntryDialog& dialog, int row, int column) {
    return dialog.list->model()->index(row, column).data().toString();
}

// The most a single pass may look at. A batch holds at most k_batch_entries entries; placing
// them in a sorted list costs about log2(16,000) comparisons each. Re-filtering, re-sorting or
// measuring the whole list in one pass would go past these: the filter would see 16,000 rows,
// a sort about 200,000 pairs, measuring a column 16,000 cells or at least the 1,000 rows Qt
// samples, with several roles each.
constexpr uint64_t k_batch = entry_kind_filler::k_batch_entries;
constexpr uint64_t k_most_filtered = 2 * k_batch;
constexpr uint64_t k_most_compared = 32 * k_batch;
constexpr uint64_t k_most_cells_read = 3000;

TEST(archive_entry_list, every_pass_stays_bounded_while_16000_kinds_fill_in) {
    struct row {
        const char* name;
        int column; // -1: table order
        Qt::SortOrder order;
        QString filter;
    };
    const row rows[] = {
        {"table order", -1, Qt::AscendingOrder, ""},
        {"by kind", model::col_kind, Qt::AscendingOrder, ""},
        {"by texture count, falling", model::col_textures, Qt::DescendingOrder, ""},
        {"by name, narrowed to TXD", model::col_name, Qt::AscendingOrder, "TXD"},
        {"by kind, falling, narrowed to a kind", model::col_kind, Qt::DescendingOrder, "ps2"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        game_archive archive;
        std::string error;
        ASSERT_TRUE(open_game_archive(big_archive(), archive, error)) << error;
        ASSERT_EQ(archive.entries.size(), size_t(k_entries));
        CArchiveEntryDialog dialog("entry_list_16000.img", entry_rows(archive));
        dialog.show();
        dialog.list->sortByColumn(r.column, r.order);
        dialog.filter_box->setText(r.filter);
        QCoreApplication::processEvents();
        EXPECT_EQ(shown_text(dialog, 0, model::col_kind).isEmpty(), false);

        const archive_list_work start = dialog.work_done();
        archive_list_work most;
        int passes = 0;
        entry_kind_filler filler(archive, dialog);
        QElapsedTimer guard;
        guard.start();
        while (!filler.finished() && guard.elapsed() < 120000) {
            const archive_list_work before = dialog.work_done();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            const archive_list_work after = dialog.work_done();
            most.cells_read = std::max(most.cells_read, after.cells_read - before.cells_read);
            most.rows_filtered =
                std::max(most.rows_filtered, after.rows_filtered - before.rows_filtered);
            most.rows_compared =
                std::max(most.rows_compared, after.rows_compared - before.rows_compared);
            ++passes;
        }
        QCoreApplication::processEvents(); // the last layout and paint
        ASSERT_TRUE(filler.finished());
        // The kinds came in batches of bounded size, not all at once and not one by one.
        const size_t left = size_t(k_entries) - k_described_before_showing;
        EXPECT_GE(filler.batches(), (left + k_batch - 1) / k_batch);
        EXPECT_LE(filler.batches(), left);
        EXPECT_LE(most.rows_filtered, k_most_filtered);
        EXPECT_LE(most.rows_compared, k_most_compared);
        EXPECT_LE(most.cells_read, k_most_cells_read);
        // The passes did look at the list: each batch went through the filter.
        const archive_list_work all = dialog.work_done();
        EXPECT_GE(all.rows_filtered - start.rows_filtered, left);
        // Kinds and counts change their rows' places in a list sorted by them.
        if (r.column == model::col_kind || r.column == model::col_textures) {
            EXPECT_GT(all.rows_compared, start.rows_compared);
        }
        EXPECT_GT(passes, 0);

        // Every kind is in, the filter lets exactly the matching entries through, in order.
        int matching = 0;
        for (int i = 0; i < k_entries; ++i) {
            const QString name = QString::fromStdString(name_of(i));
            matching += r.filter.isEmpty() || name.contains(r.filter, Qt::CaseInsensitive) ||
                        expected(i).kind.contains(r.filter, Qt::CaseInsensitive);
        }
        ASSERT_EQ(dialog.shown_rows(), matching);
        for (int shown = 0; shown < dialog.shown_rows(); ++shown) {
            const int entry = dialog.entry_at(shown);
            ASSERT_GE(entry, 0);
            ASSERT_EQ(shown_text(dialog, shown, model::col_kind), expected(entry).kind) << entry;
            const QString count = shown_text(dialog, shown, model::col_textures);
            ASSERT_EQ(count, expected(entry).textures >= 0
                                 ? QString::number(expected(entry).textures)
                                 : QString())
                << entry;
            if (shown == 0) continue;
            const int before = dialog.entry_at(shown - 1);
            if (r.column < 0) {
                ASSERT_LT(before, entry);
                continue;
            }
            const QString a = shown_text(dialog, shown - 1, r.column);
            const QString b = shown_text(dialog, shown, r.column);
            int order = 0;
            if (r.column == model::col_name) order = a.toLower().compare(b.toLower());
            if (r.column == model::col_kind) order = a.compare(b);
            if (r.column == model::col_textures)
                order = (a.isEmpty() ? -1 : a.toInt()) - (b.isEmpty() ? -1 : b.toInt());
            if (r.order == Qt::DescendingOrder) order = -order;
            ASSERT_LE(order, 0) << shown;
            // Equal keys keep the table's order.
            if (order == 0 && r.order == Qt::AscendingOrder) {
                ASSERT_LT(before, entry) << shown;
            }
        }
        dialog.hide();
    }
}

// A selection survives the kinds filling in and a refresh of the rows; selecting and opening
// work by entry whatever the order shown.
TEST(archive_entry_list, selection_follows_entries_across_sorting_and_refresh) {
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(big_archive(), archive, error)) << error;
    CArchiveEntryDialog dialog("entry_list_16000.img", entry_rows(archive));
    dialog.list->sortByColumn(model::col_size, Qt::DescendingOrder);
    const std::vector<int> chosen = {3, 4, 5, 7999, 15999};
    dialog.select_entries(chosen);
    EXPECT_EQ(dialog.selected_entries(), chosen);
    {
        entry_kind_filler filler(archive, dialog);
        QElapsedTimer guard;
        guard.start();
        while (!filler.finished() && guard.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    EXPECT_EQ(dialog.selected_entries(), chosen);
    dialog.set_rows(entry_rows(archive));
    EXPECT_EQ(dialog.selected_entries(), chosen);
    ASSERT_TRUE(dialog.select_entry(15999));
    dialog.filter_box->setText("broken15999");
    ASSERT_EQ(dialog.shown_rows(), 1);
    EXPECT_FALSE(dialog.select_entry(0));
    dialog.press_ok();
    EXPECT_EQ(dialog.chosen, 15999);
}
} // namespace

} // namespace quillmap
