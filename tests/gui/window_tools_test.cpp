// The modder's tools of the window: the pixel inspector, the mip strip, the palette view and
// Replace All from Folder.
#include "app/picture_control.h"
#include "imageio/png_codec.h"
#include "views/mip_strip.h"
#include "views/palette_view.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct window_tools : ::testing::Test, window_fixture {
    CMainDialog& w() { return *window; }
    std::string status(int pane) { return window->status_text(pane).toStdString(); }
    void hover(QPoint viewport_point) {
        QWidget* viewport = picture_of(w())->viewport();
        QMouseEvent move(QEvent::MouseMove, QPointF(viewport_point),
                         QPointF(viewport->mapToGlobal(viewport_point)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
};

// An 8-bit 16x16 texture whose pixels all use index `index`, with two palette entries set: the
// one the console order stores it at, and the one a plain order would.
test_chunk palette_texture(uint8_t index) {
    auto texture =
        make_ps2_texture({.name = "pal", .width = 16, .height = 16, .depth = 8, .headered = false});
    auto& raster = texture.children[3].children[1].data;
    std::fill(raster.begin(), raster.begin() + 256, index);
    const auto put = [&raster](uint32_t entry, std::array<uint8_t, 4> rgba) {
        std::copy(rgba.begin(), rgba.end(), raster.begin() + 256 + entry * 4);
    };
    put(index, {200, 100, 50, 0x7F});
    put((index & ~0x18u) | ((index & 0x08u) << 1) | ((index & 0x10u) >> 1), {10, 20, 30, 0x40});
    return texture;
}
} // namespace

// The status bar tells the pixel under the pointer: where, its colour as shown, its palette
// index, the alpha as stored and the zoom.
TEST_F(window_tools, the_pixel_inspector_reads_the_stored_pixel) {
    struct row {
        uint8_t index;
        std::string colour;
    };
    for (const row& r : {row{8, "RGBA 10 20 30"}, row{3, "RGBA 10 20 30"}}) {
        ASSERT_TRUE(open(make_dictionary({palette_texture(r.index)})));
        w().resize(900, 600);
        w().show();
        QApplication::processEvents();
        picture_of(w())->set_zoom(400);
        const QRect shown = picture_of(w())->picture_rect();
        hover(shown.topLeft() + QPoint(4 * 5 + 1, 4 * 7 + 2));
        const std::string text = status(0);
        EXPECT_EQ(text.rfind("x 5, y 7: " + r.colour, 0), 0u) << text;
        EXPECT_NE(text.find(", index " + std::to_string(r.index) + ","), std::string::npos) << text;
        EXPECT_NE(text.find("stored alpha 0x40"), std::string::npos) << text;
        EXPECT_NE(text.find("zoom 400%"), std::string::npos) << text;
        // Off the picture nothing changes.
        hover(shown.bottomRight() + QPoint(20, 20));
        EXPECT_EQ(status(0), text);
        w().hide();
    }
}

// The mip strip shows every level at one scale beside the chooser; a click on a level shows it,
// and the chooser follows.
TEST_F(window_tools, the_mip_strip_shows_and_chooses_levels) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "m", .width = 64, .height = 32, .depth = 8, .levels = 3}),
         make_ps2_texture({.name = "one", .width = 16, .height = 16, .depth = 8})})));
    w().resize(900, 600);
    w().show();
    QApplication::processEvents();
    mip_strip& strip = *level_strip_of(w());
    ASSERT_TRUE(strip.isVisible());
    ASSERT_EQ(strip.level_count(), 3);
    // One scale: each level is half as wide as the one before, side by side, none overlapping.
    for (int level = 1; level < 3; ++level) {
        const QRect before = strip.level_rect(level - 1), here = strip.level_rect(level);
        EXPECT_NEAR(here.width() * 2, before.width(), 2) << level;
        EXPECT_GT(here.left(), before.right()) << level;
        EXPECT_TRUE(strip.rect().contains(here)) << level;
    }
    QTest::mouseClick(&strip, Qt::LeftButton, Qt::NoModifier, strip.level_rect(2).center());
    EXPECT_EQ(mip_box_of(w())->currentIndex(), 2);
    EXPECT_EQ(picture_of(w())->bitmap()->width, 16u);
    // The chooser moves the frame as well.
    mip_box_of(w())->setCurrentIndex(1);
    emit mip_box_of(w())->activated(1);
    EXPECT_EQ(strip.current(), 1);
    // A texture of one level has no strip.
    static_cast<CTextureList*>(texture_list_of(w()))
        ->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(strip.isVisible());
    w().hide();
}

// Texture → Replace All from Folder puts back the pictures named after the textures in one
// undo step and tells what it did; the folder asked for starts where the last export went.
TEST_F(window_tools, replace_all_from_folder_is_one_step) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
    const auto folder = dir / "pictures";
    std::filesystem::create_directories(folder);
    host.answer_file((folder / "b.png").string());
    static_cast<CTextureList*>(texture_list_of(w()))
        ->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(w().run_command(cmd::export_png));
    // The exported picture is edited: put back as it came out, it would change nothing.
    png_picture edited;
    std::string error;
    ASSERT_TRUE(read_png_file(folder / "b.png", edited, error)) << error;
    edited.image.rgba[0] = uint8_t(edited.image.rgba[0] ^ 0x40);
    write_file(folder / "b.png", encode_png_rgba(edited.image, error));
    host.clear_log();
    host.answer_file(folder.string());
    ASSERT_TRUE(w().run_command(cmd::replace_all_from_folder));
    const auto asked = host.of_kind(ui_event::file);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].request.folder);
    EXPECT_EQ(asked[0].request.initial_name, folder.string());
    const auto told = host.of_kind(ui_event::message);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].caption, "Replace All from Folder");
    EXPECT_NE(told[0].text.find("Replaced b from b.png"), std::string::npos) << told[0].text;
    EXPECT_NE(told[0].text.find("Skipped a: no picture of this name"), std::string::npos);
    // The report names the folder; the whole path to it stays in the status bar.
    EXPECT_EQ(told[0].text.rfind("1 of 3 textures replaced from pictures.\n\n", 0), 0u)
        << told[0].text;
    EXPECT_EQ(told[0].text.find(dir.string()), std::string::npos) << told[0].text;
    EXPECT_EQ(status(0), "1 of 3 textures replaced from " + folder.string() + ".");
    EXPECT_TRUE(w().modified());
    ASSERT_TRUE(w().run_command(cmd::edit_undo));
    EXPECT_FALSE(w().modified());
    EXPECT_FALSE(w().command_enabled(cmd::edit_undo));
}

// The palette view shows a 4- or 8-bit texture's colours in index order; hovering a swatch
// marks its pixels in the preview, clicking a pixel selects its swatch.
TEST_F(window_tools, the_palette_view_links_swatches_and_pixels) {
    window_fixture shown("[main]\nenable_thumbs=0\nenable_info=1\n");
    auto texture = palette_texture(8);
    auto& raster = texture.children[3].children[1].data;
    std::fill(raster.begin(), raster.begin() + 16, uint8_t(5)); // the top row
    ASSERT_TRUE(shown.open(make_dictionary({texture})));
    CMainDialog& window = *shown.window;
    window.resize(900, 700);
    window.show();
    QApplication::processEvents();
    palette_view& swatches = *palette_panel_of(window);
    ASSERT_TRUE(swatches.isVisible());
    ASSERT_EQ(swatches.colour_count(), 256);

    QMouseEvent over(QEvent::MouseMove, QPointF(swatches.swatch_rect(5).center()),
                     QPointF(swatches.mapToGlobal(swatches.swatch_rect(5).center())), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&swatches, &over);
    const QImage marks = picture_of(window)->highlight();
    ASSERT_EQ(marks.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(qAlpha(marks.pixel(x, y)) != 0, y == 0) << x << "," << y;

    picture_of(window)->set_zoom(400);
    const QRect picture = picture_of(window)->picture_rect();
    QTest::mouseClick(picture_of(window)->viewport(), Qt::LeftButton, Qt::NoModifier,
                      picture.topLeft() + QPoint(4 * 3 + 1, 4 * 4 + 1));
    EXPECT_EQ(swatches.selected(), 8);
    // Index 8 shows the entry the console order keeps at 16: the colour the preview draws.
    EXPECT_EQ(picture_of(window)->shown_picture().pixelColor(3, 4).rgb(), QColor(10, 20, 30).rgb());
    // The marked row is the one drawn at the top.
    EXPECT_NE(picture_of(window)->shown_picture().pixelColor(3, 0).rgb(), QColor(10, 20, 30).rgb());
    window.hide();
}

// A texture without a palette has no palette view.
TEST_F(window_tools, the_palette_view_hides_for_true_colour) {
    window_fixture shown("[main]\nenable_thumbs=0\nenable_info=1\n");
    ASSERT_TRUE(shown.open(
        make_dictionary({make_ps2_texture({.name = "rgba", .depth = 32}), palette_texture(3)})));
    shown.window->show();
    EXPECT_FALSE(palette_panel_of(*shown.window)->isVisible());
    static_cast<CTextureList*>(texture_list_of(*shown.window))
        ->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(palette_panel_of(*shown.window)->isVisible());
    EXPECT_EQ(palette_panel_of(*shown.window)->colour_count(), 256);
    shown.window->hide();
}

// File > Convert TXD to > Mobile Version writes a mobile dictionary of the same textures into
// another file off the window's thread; the open dictionary stays as it was.
TEST_F(window_tools, a_ps2_dictionary_converts_to_a_mobile_one) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "four", .width = 32, .height = 16, .depth = 4}),
         make_ps2_texture({.name = "eight", .width = 16, .height = 16, .depth = 8})})));
    const std::vector<uint8_t> before = read_file(dir / "test.txd");
    const auto out = dir / "mobile.txd";
    host.answer_file(out.string());
    ASSERT_TRUE(w().run_command(cmd::convert_mobile));
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    EXPECT_FALSE(w().modified());
    EXPECT_EQ(w().dictionary()->family(), txd_family::ps2);
    ios_txd converted;
    ASSERT_TRUE(converted.load(out.string(), 0, 0x16, 0)) << converted.last_error;
    EXPECT_EQ(converted.family(), txd_family::mobile);
    ASSERT_EQ(converted.texture_count(), 2u);
    EXPECT_EQ(converted.texture_name(0, name_kind::texture), "four");
    EXPECT_EQ(converted.texture_name(1, name_kind::texture), "eight");
    EXPECT_EQ(converted.width(0), 32u);
    EXPECT_EQ(converted.height(0), 16u);
    EXPECT_EQ(read_file(dir / "test.txd"), before);
}

} // namespace quillmap
