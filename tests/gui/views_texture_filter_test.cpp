#include "views/pane_splitter.h"
#include "views/texture_details.h"
#include "views/texture_list.h"
#include "views/theme.h"

#include "views_support.h"

#include <QApplication>
#include <QSignalSpy>
#include <QSplitter>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
std::unique_ptr<ps2_txd> filter_dictionary() {
    std::vector<test_chunk> textures;
    textures.push_back(
        make_ps2_texture({.name = "radar_north", .width = 64, .height = 64, .depth = 8}));
    textures.push_back(make_ps2_texture(
        {.name = "wheel", .mask = "wheel_a", .width = 32, .height = 32, .depth = 4}));
    textures.push_back(
        make_ps2_texture({.name = "radar_south", .width = 128, .height = 16, .depth = 32}));
    textures.push_back(make_ps2_texture(
        {.name = "glass", .mask = "RADARmask", .width = 16, .height = 16, .depth = 8}));
    return load_as<ps2_txd>(write_dictionary("filter.txd", make_dictionary(std::move(textures))));
}
} // namespace

TEST(texture_filter, typing_narrows_the_tiles_and_the_details_alike) {
    scripted_ui_host host;
    auto txd = filter_dictionary();
    ASSERT_TRUE(txd);
    CTextureList list(host);
    list.set_picture_kind(0);
    list.set_dictionary(txd.get());
    list.fill(-1);
    texture_details details;
    details.fill(txd.get());
    const struct {
        const char* text;
        int shown;
    } steps[] = {{"", 4},        {"r", 3},        {"ra", 3},      {"radar", 3}, {"radar_", 2},
                 {"radar_s", 1}, {"radar_sx", 0}, {"WHEEL_A", 1}, {"  ", 4}};
    for (const auto& step : steps) {
        list.set_filter(step.text);
        details.set_filter(step.text);
        EXPECT_EQ(list.visible_count(), step.shown) << step.text;
        EXPECT_EQ(details.visible_rows(), step.shown) << step.text;
    }
    // A refill keeps the filter in force.
    list.set_filter("glass");
    list.fill(0);
    EXPECT_EQ(list.visible_count(), 1);
    EXPECT_FALSE(list.item(3)->isHidden());
}

TEST(texture_filter, details_sort_by_number_and_keep_each_rows_texture) {
    auto txd = filter_dictionary();
    ASSERT_TRUE(txd);
    texture_details details;
    details.fill(txd.get());
    ASSERT_EQ(details.topLevelItemCount(), 4);
    EXPECT_EQ(details.cell_text(2, texture_details::col_size), "128x16");
    EXPECT_EQ(details.cell_text(1, texture_details::col_depth), "4");
    details.sortByColumn(texture_details::col_size, Qt::AscendingOrder);
    // 16x16 < 32x32 < 128x16 (2048) < 64x64 (4096): by pixel count, not by text.
    EXPECT_EQ(details.texture_at(0), 3);
    EXPECT_EQ(details.texture_at(1), 1);
    EXPECT_EQ(details.texture_at(2), 2);
    EXPECT_EQ(details.texture_at(3), 0);
    QSignalSpy chosen(&details, &texture_details::texture_chosen);
    details.select_texture(2);
    EXPECT_EQ(chosen.count(), 0);
    details.setCurrentItem(details.topLevelItem(0));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 3);
}

TEST(texture_list_tiles, long_names_widen_the_tile_up_to_the_list_and_carry_a_tooltip) {
    scripted_ui_host host;
    const std::string long_name = "a_rather_long_texture_name_31ch";
    auto txd = load_as<ps2_txd>(write_dictionary(
        "tiles.txd", make_dictionary({make_ps2_texture({.name = long_name, .depth = 8})})));
    ASSERT_TRUE(txd);
    CTextureList list(host);
    list.set_picture_kind(0);
    list.resize(900, 300);
    list.show();
    list.set_dictionary(txd.get());
    list.fill(-1);
    const int wanted = QFontMetrics(list.font()).horizontalAdvance(list.item_text(0, 0));
    EXPECT_GE(list.tile_width(), wanted + CTextureList::k_picture_size);
    EXPECT_TRUE(list.item(0)->toolTip().startsWith(QString::fromStdString(long_name)));
    list.resize(120, 300);
    QApplication::processEvents();
    EXPECT_LE(list.tile_width(), list.viewport()->width());
}

TEST(pane_splitter, sizes_read_back_and_bad_texts_leave_the_default) {
    EXPECT_EQ(splitter_sizes_text({220, 900, 260}), "220,900,260");
    EXPECT_EQ(splitter_sizes_from_text("220, 900,260", 3), (QList<int>{220, 900, 260}));
    for (const char* bad : {"", "220,900", "220,x,260", "-1,2,3", "1,2,3,4"})
        EXPECT_TRUE(splitter_sizes_from_text(bad, 3).isEmpty()) << bad;
    const settings_file settings(temp_dir() / "splitter.ini");
    QSplitter splitter;
    for (int i = 0; i < 3; ++i)
        splitter.addWidget(new QWidget);
    splitter.resize(600, 100);
    splitter.setSizes({100, 300, 200});
    save_splitter(settings, "splitter_main", splitter);
    QSplitter again;
    for (int i = 0; i < 3; ++i)
        again.addWidget(new QWidget);
    again.resize(600, 100);
    ASSERT_TRUE(restore_splitter(settings, "splitter_main", again));
    EXPECT_EQ(again.sizes(), splitter.sizes());
}

TEST(theme, dark_and_light_switch_the_palette_and_system_restores_it) {
    auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
    const QColor original = QApplication::palette().color(QPalette::Window);
    apply_theme(app, theme::dark);
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    apply_theme(app, theme::light);
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 180);
    apply_theme(app, theme::system);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), original);
    EXPECT_EQ(theme_from_name("Dark"), theme::dark);
    EXPECT_EQ(theme_from_name("bogus"), theme::system);
}

} // namespace quillmap
