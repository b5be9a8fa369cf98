// Lists the window fills from a whole dictionary, at more textures than the game's tools write:
// typing a filter or sorting narrows and orders the rows without measuring every row again.
#include "views/ps2_problems_dialog.h"
#include "views/texture_details.h"

#include "views_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
constexpr int k_textures = 300;

// Counts what the view asks of its rows: a measure per sizeHint, a drawing per paint.
class counting_delegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        ++measured;
        return QStyledItemDelegate::sizeHint(option, index);
    }
    mutable int measured = 0;
};

std::unique_ptr<ps2_txd> many_textures() {
    std::vector<test_chunk> textures;
    for (int t = 0; t < k_textures; ++t) {
        char name[16];
        std::snprintf(name, sizeof name, "tex_%03d", t);
        textures.push_back(make_ps2_texture({.name = name,
                                             .mask = t % 7 == 0 ? "a_rather_long_mask_name" : "",
                                             .width = 16u << (t % 3),
                                             .height = 16,
                                             .depth = t % 2 ? 4u : 8u,
                                             .fill_seed = uint8_t(t)}));
    }
    return load_as<ps2_txd>(write_dictionary("many.txd", make_dictionary(std::move(textures))));
}

// The most sizeHint calls one keystroke or one sort may cost: a row's height and a few more,
// far below one measure per row (ResizeToContents measures every row of every column).
constexpr int k_most_measured = 40;

TEST(large_lists, the_details_of_300_textures_are_sized_once_per_fill) {
    auto txd = many_textures();
    ASSERT_TRUE(txd);
    texture_details details;
    auto* counter = new counting_delegate(&details);
    details.setItemDelegate(counter);
    details.resize(700, 400);
    details.show();
    details.fill(txd.get());
    QApplication::processEvents();
    // The widths hold every text of every row.
    for (int column = 0; column < details.columnCount(); ++column)
        for (int row = 0; row < k_textures; ++row)
            ASSERT_LE(details.fontMetrics().horizontalAdvance(details.cell_text(row, column)),
                      details.header()->sectionSize(column))
                << row << " " << column;

    struct step {
        const char* what;
        QString filter;
        int sort_column; // -1: left as it is
        int shown;
    };
    const step steps[] = {
        {"t", "t", -1, k_textures},
        {"tex_2", "tex_2", -1, 100},
        {"tex_29", "tex_29", -1, 10},
        {"tex_299", "tex_299", -1, 1},
        {"a mask", "A_RATHER", -1, (k_textures + 6) / 7},
        {"cleared", "", -1, k_textures},
        {"sorted by size", "", texture_details::col_size, k_textures},
        {"sorted by name, narrowed", "tex_1", texture_details::col_name, 100},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(s.what);
        counter->measured = 0;
        details.set_filter(s.filter);
        if (s.sort_column >= 0) details.sortByColumn(s.sort_column, Qt::AscendingOrder);
        QApplication::processEvents();
        EXPECT_EQ(details.visible_rows(), s.shown);
        EXPECT_LE(counter->measured, k_most_measured);
    }
    // Sorting kept each row's texture.
    for (int row = 0; row < k_textures; ++row) {
        const int t = details.texture_at(row);
        ASSERT_GE(t, 0);
        EXPECT_EQ(details.cell_text(row, texture_details::col_name).toStdString(),
                  txd->texture_name(uint32_t(t), name_kind::texture));
    }
}

// The problems list of a large dictionary: columns wide enough for their texts, set once.
TEST(large_lists, the_problems_list_is_sized_once) {
    std::vector<ps2_problem> problems;
    for (int t = 0; t < 3 * k_textures; ++t)
        problems.push_back({uint32_t(t / 3), "tex_" + std::to_string(t / 3),
                            "Level " + std::to_string(t % 3) + " size",
                            std::to_string(t * 37) + " bytes",
                            "a much longer expected value " + std::to_string(t)});
    CPs2ProblemsDialog dialog(problems, nullptr);
    auto* counter = new counting_delegate(dialog.list);
    dialog.list->setItemDelegate(counter);
    dialog.show();
    QApplication::processEvents();
    counter->measured = 0;
    dialog.resize(dialog.width() + 40, dialog.height() + 40);
    dialog.list->scrollToBottom();
    QApplication::processEvents();
    EXPECT_LE(counter->measured, k_most_measured);
    for (int column = 0; column < 5; ++column)
        EXPECT_LE(dialog.list->fontMetrics().horizontalAdvance(
                      dialog.list->topLevelItem(3 * k_textures - 1)->text(column)),
                  dialog.list->header()->sectionSize(column))
            << column;
}
} // namespace

} // namespace quillmap
