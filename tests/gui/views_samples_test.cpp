// The views on the real sample dictionaries: every texture listed, described and shown.
#include "app/picture_control.h"
#include "views/rw_tree_dialog.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
const char* const k_all_platforms_settings = "[main]\nenable_thumbs=1\nenable_info=1\nenable_"
                                             "warnings=0\nplatform_priority=PS2,PC,iOS,XBOX,TEX,"
                                             "GameCube\n";

class sample_views : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> sample_dictionaries() {
    std::vector<std::string> names;
    for (const auto& path : sample_files(".txd"))
        names.push_back(path.filename().string());
    if (names.empty()) names.push_back("none");
    return names;
}
} // namespace

TEST_P(sample_views, every_texture_is_listed_described_and_rendered) {
    SKIP_WITHOUT_SAMPLES();
    window_fixture f(k_all_platforms_settings);
    ASSERT_TRUE(f.window->open_dictionary(sample(GetParam()).string(), 0));
    ps2_txd& txd = *f.window->dictionary();
    auto& list = *static_cast<CTextureList*>(texture_list_of(*f.window));
    auto& info = *static_cast<CTextureInfoList*>(info_list_of(*f.window));
    const int count = static_cast<int>(txd.texture_count());
    ASSERT_EQ(list.count(), count);
    for (int t = 0; t < count; ++t) {
        const auto name = txd.texture_name(static_cast<uint32_t>(t), name_kind::texture);
        EXPECT_EQ(list.item_text(t, 0).toStdString(),
                  (std::to_string(t + 1) + ". " + name).substr(0, 63));
        EXPECT_TRUE(list.item_has_picture(t)) << name;
        list.setCurrentRow(t, QItemSelectionModel::ClearAndSelect);
        EXPECT_EQ(list.selected(), t);
        EXPECT_NE(picture_of(*f.window)->bitmap(), nullptr) << name;
        ASSERT_GE(info.rows().size(), 6u);
        EXPECT_EQ(info.rows()[0].label, "Texture Name");
        EXPECT_EQ(info.rows()[0].value.toStdString(), name);
        EXPECT_EQ(f.window->status_text(1).toStdString().substr(0, 1),
                  std::to_string(txd.width(static_cast<uint32_t>(t))).substr(0, 1));
    }
    EXPECT_TRUE(f.host.message_texts().empty()) << f.host.message_texts().front();
}

TEST_P(sample_views, the_structure_view_shows_the_whole_tree) {
    SKIP_WITHOUT_SAMPLES();
    window_fixture f(k_all_platforms_settings);
    ASSERT_TRUE(f.window->open_dictionary(sample(GetParam()).string(), 0));
    ps2_txd& txd = *f.window->dictionary();
    CRWTreeDialog dialog(&txd, &f.host);
    dialog.initialize();
    ASSERT_EQ(dialog.tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = dialog.tree->topLevelItem(0);
    EXPECT_EQ(root->childCount(), static_cast<int>(txd.root->child_count()));
    EXPECT_TRUE(root->text(0).startsWith("0x16 - Texture Dictionary ("));
    dialog.tree->setCurrentItem(root);
    const int rows = static_cast<int>(dialog.dump_text().count("\r\n"));
    EXPECT_EQ(rows, static_cast<int>(std::min<uint32_t>(txd.root->size + 12, 2048) / 16));
}

// Every GameCube header field is in the information panel.
TEST(gamecube_views, the_panel_shows_every_header_field) {
    SKIP_WITHOUT_SAMPLES();
    window_fixture f(k_all_platforms_settings);
    ASSERT_TRUE(f.window->open_dictionary(sample("gc_menu_mips.txd").string(), 0));
    auto& list = *static_cast<CTextureList*>(texture_list_of(*f.window));
    auto& info = *static_cast<CTextureInfoList*>(info_list_of(*f.window));
    list.setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(info.value_of("Texture Name").toStdString(), "gamemenu");
    EXPECT_EQ(info.value_of("Mip Levels").toStdString(), "9");
    EXPECT_EQ(info.value_of("Filter Flags").toStdString(), "0x1103");
    EXPECT_EQ(info.value_of("Raster Flags").toStdString(), "0xA104");
    EXPECT_EQ(info.value_of("GX Format").toStdString(), "C8");
    EXPECT_EQ(info.value_of("Palette Format").toStdString(), "RGB5A3");
    EXPECT_EQ(info.value_of("Palette Entries").toStdString(), "256");
    EXPECT_EQ(info.value_of("Alpha Flag").toStdString(), "1");
    EXPECT_EQ(info.value_of("Data Size").toStdString(), "87456");
    EXPECT_EQ(info.value_of("Words 8-20").toStdString(), "0 1 1 0");
    EXPECT_EQ(info.value_of("RW Platform").toStdString(), "GameCube");
    EXPECT_NE(picture_of(*f.window)->bitmap(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(samples, sample_views, ::testing::ValuesIn(sample_dictionaries()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(sample_import, the_sample_tim2_pictures_import_into_a_new_dictionary) {
    SKIP_WITHOUT_SAMPLES();
    window_fixture f;
    ASSERT_TRUE(f.open(make_dictionary({})));
    std::vector<std::string> files;
    for (const auto& path : sample_files(".tm2"))
        files.push_back(path.string());
    ASSERT_FALSE(files.empty());
    f.host.answer_file(files);
    f.window->run_command(cmd::import_file);
    EXPECT_TRUE(f.host.message_texts().empty()) << f.host.message_texts().front();
    EXPECT_EQ(f.window->dictionary()->texture_count(), files.size());
    EXPECT_EQ(static_cast<CTextureList*>(texture_list_of(*f.window))->count(),
              static_cast<int>(files.size()));
    EXPECT_TRUE(f.window->modified());
}

} // namespace quillmap
