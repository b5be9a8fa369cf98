#include "main_fixture.h"

#include "app/go_mfc.h"

#include <QApplication>
#include <QImage>

#include <set>

namespace quillmap {

namespace {

// Distinct colours in a picture, a cheap sign that something was drawn.
size_t colour_count(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

TEST_F(MainWindowTest, ScreenshotOfAnOpenedFile) {
    const std::string file = write_dictionary("shot.txd", 2);
    const std::string out = (dir / "shot.png").string();
    EXPECT_EQ(run_screenshot(
                  {"quillmap", "--screenshot", out, "--select", "1", "--view", "alpha", file}, ini),
              0);
    QImage image(QString::fromStdString(out));
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 400);
    EXPECT_GT(image.height(), 200);
    EXPECT_GT(colour_count(image), 4u);
    // Start-up runs as usual: the file named on the command line joins the recent list.
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), file);
    EXPECT_EQ(settings.read_int("main", "pos_left", 0), 0); // no close request was made

    // The file may come first, as with any other start.
    const std::string second = (dir / "first.png").string();
    EXPECT_EQ(run_screenshot({"quillmap", file, "--zoom", "fit", "--screenshot", second}, ini), 0);
    EXPECT_FALSE(QImage(QString::fromStdString(second)).isNull());
}

TEST_F(MainWindowTest, ScreenshotOfAFileThatDoesNotOpen) {
    const std::string bad = write_file(dir / "bad.txd", {9, 9, 9}).string();
    const std::string out = (dir / "bad.png").string();
    EXPECT_EQ(run_screenshot({"quillmap", "--screenshot", out, bad}, ini), 1);
    EXPECT_TRUE(std::filesystem::exists(out)); // the empty window is still shown
}

TEST_F(MainWindowTest, ScreenshotZoomAndThemeChangeThePicture) {
    const std::string file = write_dictionary("look.txd", 1);
    const auto shot = [&](std::vector<std::string> extra) {
        const std::string out = (dir / ("look" + std::to_string(extra.size()) + ".png")).string();
        std::vector<std::string> arguments{"quillmap", "--screenshot", out};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(file);
        EXPECT_EQ(run_screenshot(arguments, ini), 0);
        return QImage(QString::fromStdString(out));
    };
    const QImage plain = shot({});
    const QImage dark = shot({"--theme", "dark", "--zoom", "800"});
    ASSERT_FALSE(plain.isNull());
    ASSERT_EQ(dark.size(), plain.size());
    // The menu bar's corner takes the dark window colour.
    EXPECT_LT(QColor(dark.pixel(dark.width() - 2, 2)).lightness(),
              QColor(plain.pixel(plain.width() - 2, 2)).lightness());
    EXPECT_NE(dark, plain);
    apply_theme(*qobject_cast<QApplication*>(QCoreApplication::instance()), theme::system);
}

TEST_F(MainWindowTest, ScreenshotWithoutAnOutputIsAUsageError) {
    EXPECT_EQ(run_screenshot({"quillmap", "--screenshot"}, ini), 2);
}

} // namespace

} // namespace quillmap
