#include "views/picture_view.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace quillmap {

namespace {
// A 16x16 picture whose every pixel has its own colour, so a misplaced square shows.
QImage numbered_picture(int size = 16) {
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, qRgb(x * 15, y * 15, (x * 7 + y * 3) & 0xFF));
    return image;
}

QImage rendered(picture_view& view) {
    QImage out(view.viewport()->size(), QImage::Format_ARGB32);
    view.viewport()->render(&out);
    return out;
}
} // namespace

TEST(picture_view, eight_hundred_percent_gives_exact_eight_pixel_squares) {
    picture_view view;
    view.resize(400, 300);
    view.show(); // a hidden widget lays its viewport out only when shown
    view.set_picture(numbered_picture());
    view.set_zoom(800);
    const QRect r = view.picture_rect();
    EXPECT_EQ(r.size(), QSize(128, 128));
    ASSERT_TRUE(view.grid_shown());
    const QImage out = rendered(view);
    // Every square is the source pixel's colour, apart from the grid line on its top/left edge.
    for (int py = 0; py < 16; ++py)
        for (int px = 0; px < 16; ++px)
            for (int dy = 1; dy < 8; ++dy)
                for (int dx = 1; dx < 8; ++dx)
                    ASSERT_EQ(out.pixel(r.left() + px * 8 + dx, r.top() + py * 8 + dy),
                              numbered_picture().pixel(px, py))
                        << px << "," << py;
    // The grid marks the inner pixel borders.
    EXPECT_NE(out.pixel(r.left() + 8, r.top() + 3), numbered_picture().pixel(1, 0));
}

TEST(picture_view, below_the_grid_zoom_every_screen_pixel_is_the_source_pixel) {
    picture_view view;
    view.resize(400, 300);
    view.show(); // a hidden widget lays its viewport out only when shown
    view.set_picture(numbered_picture());
    view.set_zoom(400);
    ASSERT_FALSE(view.grid_shown());
    const QRect r = view.picture_rect();
    ASSERT_EQ(r.size(), QSize(64, 64));
    const QImage out = rendered(view);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out.pixel(r.left() + x, r.top() + y), numbered_picture().pixel(x / 4, y / 4));
}

TEST(picture_view, zoom_stays_within_its_limits_and_steps) {
    picture_view view;
    view.resize(200, 200);
    view.set_picture(numbered_picture());
    QSignalSpy spy(&view, &picture_view::zoom_changed);
    view.set_zoom(5);
    EXPECT_EQ(view.zoom_percent(), 25);
    view.zoom_out();
    EXPECT_EQ(view.zoom_percent(), 25);
    view.set_zoom(100000);
    EXPECT_EQ(view.zoom_percent(), 3200);
    view.zoom_in();
    EXPECT_EQ(view.zoom_percent(), 3200);
    view.original_size();
    view.zoom_in();
    EXPECT_EQ(view.zoom_percent(), 150);
    view.zoom_out();
    view.zoom_out();
    EXPECT_EQ(view.zoom_percent(), 67);
    EXPECT_EQ(spy.count(), 8);
}

TEST(picture_view, best_fit_magnifies_by_whole_steps_and_shrinks_to_the_pane) {
    picture_view view;
    view.resize(200, 150);
    view.show();
    view.set_picture(numbered_picture());
    view.best_fit();
    EXPECT_TRUE(view.fits());
    const int percent = view.zoom_percent();
    EXPECT_EQ(percent % 100, 0);
    EXPECT_LE(view.picture_rect().height(), view.viewport()->height());
    EXPECT_GT(view.picture_rect().height() + 16, view.viewport()->height());

    view.set_picture(QImage(1000, 500, QImage::Format_ARGB32));
    EXPECT_LE(view.picture_rect().width(), view.viewport()->width());
    EXPECT_LT(view.zoom_percent(), 100);
}

TEST(picture_view, ctrl_wheel_zooms_about_the_cursor_and_dragging_pans) {
    picture_view view;
    view.resize(200, 200);
    view.show();
    view.set_picture(numbered_picture(64));
    view.set_zoom(800);
    const QPointF at(50, 60);
    const QPoint before = view.picture_rect().topLeft();
    const QPointF under = (at - QPointF(before)) / 8.0;
    QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_EQ(view.zoom_percent(), 1200);
    const QPointF still = (at - QPointF(view.picture_rect().topLeft())) / 12.0;
    EXPECT_NEAR(still.x(), under.x(), 0.2);
    EXPECT_NEAR(still.y(), under.y(), 0.2);

    const QPoint start = view.picture_rect().topLeft();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 100),
                      view.mapToGlobal(QPoint(100, 100)), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(130, 90), view.mapToGlobal(QPoint(130, 90)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(130, 90),
                        view.mapToGlobal(QPoint(130, 90)), Qt::LeftButton, {}, {});
    QApplication::sendEvent(view.viewport(), &release);
    EXPECT_EQ(view.picture_rect().topLeft() - start, QPoint(30, -10));
}

TEST(picture_view, an_opaque_picture_lies_on_the_checkerboard_not_on_white) {
    picture_view view;
    view.resize(100, 100);
    view.show();
    QImage white(10, 10, QImage::Format_RGB32);
    white.fill(Qt::white);
    view.set_picture(white);
    view.set_zoom(100);
    const QImage out = rendered(view);
    const QRect r = view.picture_rect();
    EXPECT_EQ(out.pixel(r.center()), qRgb(255, 255, 255));
    EXPECT_NE(out.pixel(r.left() - 1, r.top()), qRgb(255, 255, 255)); // the pane is not white
}

} // namespace quillmap
