#include "app/picture_control.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QAction>
#include <QComboBox>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct preview : ::testing::Test, window_fixture {
    CMainDialog& w() { return *window; }
    CTextureList& list() { return *static_cast<CTextureList*>(texture_list_of(*window)); }
    std::string status(int pane) { return window->status_text(pane).toStdString(); }
    QStringList mip_entries() {
        QStringList out;
        for (int i = 0; i < mip_box_of(w())->count(); ++i)
            out << mip_box_of(w())->itemText(i);
        return out;
    }
};
} // namespace

TEST_F(preview, the_mip_list_of_an_8x2_texture_with_four_levels) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "small", .width = 8, .height = 2, .depth = 8, .levels = 4}),
         make_ps2_texture({.name = "one", .depth = 32})})));
    EXPECT_EQ(mip_entries(), QStringList({"Mip level #00 (8x2)", "Mip level #01 (4x1)",
                                          "Mip level #02 (2x0)", "Mip level #03 (1x0)"}));
    EXPECT_EQ(mip_box_of(w())->currentIndex(), 0);
    EXPECT_TRUE(mip_box_of(w())->isEnabled());
    // 4 and 8 bits: the two replace items are grayed.
    EXPECT_FALSE(w().action(cmd::replace_texture)->isEnabled());
    EXPECT_FALSE(w().action(cmd::replace_alpha)->isEnabled());

    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(mip_entries(), QStringList({"Mip level #00 (32x32)"}));
    EXPECT_FALSE(mip_box_of(w())->isEnabled());
    EXPECT_TRUE(w().action(cmd::replace_texture)->isEnabled());
    EXPECT_TRUE(w().action(cmd::replace_alpha)->isEnabled());
}

TEST_F(preview, a_level_renders_at_its_size_while_the_panes_describe_the_texture) {
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture(
        {.name = "big", .width = 256, .height = 128, .depth = 8, .levels = 3})})));
    ASSERT_EQ(w().render_preview(0, 2), 1);
    const display_image* picture = picture_of(w())->bitmap();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 64u);
    EXPECT_EQ(picture->height, 32u);
    EXPECT_EQ(picture->bits, 24u);
    EXPECT_EQ(status(1), "256x128, 8bpp, Texture");
    EXPECT_TRUE(QRegularExpression(R"(^Texture 'big' rendered within \d+\.\d\d seconds\.$)")
                    .match(w().status_text(0))
                    .hasMatch())
        << status(0);
    EXPECT_EQ(status(2), "Texture have no swizzling");

    // Choosing a level in the box renders that level.
    emit mip_box_of(w())->activated(1);
    EXPECT_EQ(picture_of(w())->bitmap()->width, 128u);
}

TEST_F(preview, swizzle_and_view_modes_in_the_panes) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "sw", .width = 32, .height = 32, .depth = 8, .swizzled = true}),
         make_ps2_texture({.name = "plain", .width = 32, .height = 32, .depth = 32})})));
    EXPECT_EQ(status(2), "Texture unswizzled");
    w().set_swizzle_mode(swizzle_mode::on);
    EXPECT_EQ(status(2), "Swizzling is ON");
    w().set_swizzle_mode(swizzle_mode::off);
    EXPECT_EQ(status(2), "Swizzling is OFF");
    w().set_swizzle_mode(swizzle_mode::as_stored);
    w().set_alpha_mode(view_mode::mixed);
    EXPECT_EQ(status(1), "32x32, 8bpp, Mixed");
    EXPECT_EQ(picture_of(w())->bitmap()->bits, 32u);
    w().set_alpha_mode(view_mode::alpha);
    EXPECT_EQ(status(1), "32x32, 8bpp, Alpha");
    EXPECT_EQ(picture_of(w())->bitmap()->bits, 24u);
}

TEST_F(preview, index_minus_one_empties_the_picture_and_keeps_the_panes) {
    open(make_dictionary(named_textures({"a"})));
    ASSERT_NE(picture_of(w())->bitmap(), nullptr);
    const std::string panes[3] = {status(0), status(1), status(2)};
    EXPECT_EQ(w().render_preview(-1, 0), 0);
    EXPECT_EQ(picture_of(w())->bitmap(), nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(status(i), panes[i]);
}

TEST_F(preview, a_second_selected_texture_keeps_the_preview) {
    open(make_dictionary(named_textures({"a", "b", "c"})));
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(status(0).substr(0, 11), "Texture 'b'");
    list().item(2)->setSelected(true);
    EXPECT_EQ(status(0).substr(0, 11), "Texture 'b'");
    EXPECT_EQ(list().selected(), 1);
}

TEST_F(preview, the_information_view_follows_the_rendering_when_shown) {
    window_fixture shown("[main]\nenable_thumbs=0\nenable_info=1\n");
    ASSERT_TRUE(shown.open(make_dictionary(named_textures({"a", "b"}))));
    auto& info = *static_cast<CTextureInfoList*>(info_list_of(*shown.window));
    EXPECT_EQ(info.value_of("Texture Name"), "a");
    static_cast<CTextureList*>(texture_list_of(*shown.window))
        ->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(info.value_of("Texture Name"), "b");
}

TEST_F(preview, mixed_view_shows_transparency_over_a_checkerboard) {
    auto clear = make_ps2_texture(
        {.name = "clear", .width = 16, .height = 16, .depth = 32, .headered = false});
    auto& raster = clear.children[3].children[1].data;
    std::fill(raster.begin(), raster.end(), 0);
    ASSERT_TRUE(open(make_dictionary({clear})));
    w().set_alpha_mode(view_mode::mixed);
    ASSERT_EQ(picture_of(w())->bitmap()->bits, 32u);
    const QImage shot = picture_of(w())->grab().toImage();
    // The 16x16 picture is centred; the board has cells of 8 pixels from its corner.
    const int x = (picture_of(w())->width() - 16) / 2, y = (picture_of(w())->height() - 16) / 2;
    EXPECT_EQ(shot.pixelColor(x + 2, y + 2), QColor(0xCC, 0xCC, 0xCC));
    EXPECT_EQ(shot.pixelColor(x + 10, y + 2), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(shot.pixelColor(x + 2, y + 10), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(shot.pixelColor(x + 10, y + 10), QColor(0xCC, 0xCC, 0xCC));

    // The texture view draws no backdrop.
    w().set_alpha_mode(view_mode::texture);
    const QImage plain = picture_of(w())->grab().toImage();
    EXPECT_EQ(plain.pixelColor(x + 10, y + 2), plain.pixelColor(x + 2, y + 2));
}

TEST_F(preview, thumbnails_are_made_when_the_setting_asks_for_them) {
    window_fixture thumbs("[main]\nenable_thumbs=1\n");
    ASSERT_TRUE(thumbs.open(make_dictionary(named_textures({"a", "b"}))));
    auto& l = *static_cast<CTextureList*>(texture_list_of(*thumbs.window));
    EXPECT_EQ(l.picture_kind(), 1);
    EXPECT_TRUE(l.item_has_picture(0));
    EXPECT_TRUE(l.item_has_picture(1));
}

} // namespace quillmap
