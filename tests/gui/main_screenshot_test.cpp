#include "main_fixture.h"

#include "app/go_mfc.h"

#include <QImage>

#include <set>

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
}

TEST_F(MainWindowTest, ScreenshotOfAFileThatDoesNotOpen) {
    const std::string bad = write_file(dir / "bad.txd", {9, 9, 9}).string();
    const std::string out = (dir / "bad.png").string();
    EXPECT_EQ(run_screenshot({"quillmap", "--screenshot", out, bad}, ini), 1);
    EXPECT_TRUE(std::filesystem::exists(out)); // the empty window is still shown
}

TEST_F(MainWindowTest, ScreenshotWithoutAnOutputIsAUsageError) {
    EXPECT_EQ(run_screenshot({"quillmap", "--screenshot"}, ini), 2);
}

} // namespace
