#include "views/picture_view.h"

#include "views/display_qimage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace quillmap {

namespace {
// The steps image viewers commonly offer; whole multiples from 100 % on keep pixels square.
constexpr std::array<int, 16> k_zoom_steps = {25,  33,  50,  67,   100,  150,  200,  300,
                                              400, 600, 800, 1200, 1600, 2000, 2400, 3200};
} // namespace

picture_view::picture_view(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::OpenHandCursor);
    viewport()->setMouseTracking(true); // the pixel under the pointer, without a button held
}

void picture_view::set_picture(const QImage& picture) {
    picture_ = picture;
    highlight_ = QImage();
    update_scroll_bars();
    viewport()->update();
}

int picture_view::next_zoom_step(int percent, bool up) {
    if (up) {
        for (int step : k_zoom_steps)
            if (step > percent) return step;
        return k_max_percent;
    }
    for (auto it = k_zoom_steps.rbegin(); it != k_zoom_steps.rend(); ++it)
        if (*it < percent) return *it;
    return k_min_percent;
}

int picture_view::zoom_percent() const {
    if (!fit_ || picture_.isNull()) return percent_;
    const QSize pane = viewport()->size();
    const double scale = std::min(double(pane.width()) / picture_.width(),
                                  double(pane.height()) / picture_.height());
    // Magnify by whole multiples only, so that every pixel stays a square of equal size.
    const int percent =
        scale >= 1.0 ? int(std::floor(scale)) * 100 : int(std::floor(scale * 100.0));
    // A picture larger than the pane may shrink below the zoom limit, so that it still fits.
    return std::clamp(percent, 1, k_max_percent);
}

void picture_view::best_fit() {
    fit_ = true;
    update_scroll_bars();
    viewport()->update();
    emit zoom_changed(zoom_percent());
}

void picture_view::set_zoom(int percent) {
    zoom_about(percent, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void picture_view::zoom_in() {
    set_zoom(next_zoom_step(zoom_percent(), true));
}

void picture_view::zoom_out() {
    set_zoom(next_zoom_step(zoom_percent(), false));
}

void picture_view::zoom_about(int percent, QPointF anchor) {
    percent = std::clamp(percent, k_min_percent, k_max_percent);
    const QRect before = picture_rect();
    const double old_scale = zoom_percent() / 100.0;
    const QPointF picture_point = (anchor - QPointF(before.topLeft())) / old_scale;
    fit_ = false;
    percent_ = percent;
    update_scroll_bars();
    const QPointF target = picture_point * (percent / 100.0);
    horizontalScrollBar()->setValue(int(std::lround(target.x() - anchor.x())));
    verticalScrollBar()->setValue(int(std::lround(target.y() - anchor.y())));
    viewport()->update();
    emit zoom_changed(percent_);
}

QSize picture_view::scaled_size() const {
    if (picture_.isNull()) return {0, 0};
    const int64_t percent = zoom_percent();
    return {int(std::max<int64_t>(1, picture_.width() * percent / 100)),
            int(std::max<int64_t>(1, picture_.height() * percent / 100))};
}

QRect picture_view::picture_rect() const {
    const QSize size = scaled_size();
    const QSize pane = viewport()->size();
    const int x = size.width() <= pane.width() ? (pane.width() - size.width()) / 2
                                               : -horizontalScrollBar()->value();
    const int y = size.height() <= pane.height() ? (pane.height() - size.height()) / 2
                                                 : -verticalScrollBar()->value();
    return {QPoint(x, y), size};
}

void picture_view::set_highlight(const QImage& marks) {
    highlight_ = marks;
    viewport()->update();
}

void picture_view::set_grid_enabled(bool enabled) {
    grid_enabled_ = enabled;
    viewport()->update();
}

bool picture_view::grid_shown() const {
    return grid_enabled_ && !picture_.isNull() && zoom_percent() >= k_grid_percent;
}

void picture_view::update_scroll_bars() {
    const QSize size = scaled_size();
    const QSize pane = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, size.width() - pane.width()));
    verticalScrollBar()->setRange(0, std::max(0, size.height() - pane.height()));
    horizontalScrollBar()->setPageStep(pane.width());
    verticalScrollBar()->setPageStep(pane.height());
    horizontalScrollBar()->setSingleStep(std::max(1, zoom_percent() / 100) * 8);
    verticalScrollBar()->setSingleStep(std::max(1, zoom_percent() / 100) * 8);
}

void picture_view::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (picture_.isNull()) return;
    const QRect target = picture_rect();
    const QRect visible = target.intersected(viewport()->rect());
    draw_checkerboard(painter, visible);
    // Without smoothing Qt picks the nearest source pixel: magnified pixels stay hard squares.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, picture_);
    if (highlight_.size() == picture_.size()) painter.drawImage(target, highlight_);
    if (!grid_shown()) return;
    painter.setPen(QColor(0x80, 0x80, 0x80, 0x90));
    const int cell = zoom_percent() / 100;
    const int first_x = std::max(1, (visible.left() - target.left()) / cell);
    const int last_x = std::min(picture_.width() - 1, (visible.right() - target.left()) / cell);
    for (int i = first_x; i <= last_x; ++i) {
        const int x = target.left() + i * cell;
        painter.drawLine(x, visible.top(), x, visible.bottom());
    }
    const int first_y = std::max(1, (visible.top() - target.top()) / cell);
    const int last_y = std::min(picture_.height() - 1, (visible.bottom() - target.top()) / cell);
    for (int i = first_y; i <= last_y; ++i) {
        const int y = target.top() + i * cell;
        painter.drawLine(visible.left(), y, visible.right(), y);
    }
}

void picture_view::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    update_scroll_bars();
    if (fit_) emit zoom_changed(zoom_percent());
}

void picture_view::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const int delta = event->angleDelta().y();
    if (delta != 0) zoom_about(next_zoom_step(zoom_percent(), delta > 0), event->position());
    event->accept();
}

void picture_view::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const QPoint pixel = picture_pixel_at(event->position().toPoint());
        if (pixel.x() >= 0) emit pixel_clicked(pixel);
    }
    dragging_ = true;
    drag_start_ = event->position().toPoint();
    scroll_start_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    viewport()->setCursor(Qt::ClosedHandCursor);
    event->accept();
}

QPoint picture_view::picture_pixel_at(QPoint viewport_point) const {
    const QRect rect = picture_rect();
    if (picture_.isNull() || !rect.contains(viewport_point) || rect.width() <= 0 ||
        rect.height() <= 0)
        return {-1, -1};
    const int64_t x = int64_t(viewport_point.x() - rect.left()) * picture_.width() / rect.width();
    const int64_t y = int64_t(viewport_point.y() - rect.top()) * picture_.height() / rect.height();
    return {int(std::min<int64_t>(x, picture_.width() - 1)),
            int(std::min<int64_t>(y, picture_.height() - 1))};
}

void picture_view::mouseMoveEvent(QMouseEvent* event) {
    emit pixel_hovered(picture_pixel_at(event->position().toPoint()));
    if (!dragging_) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint moved = event->position().toPoint() - drag_start_;
    horizontalScrollBar()->setValue(scroll_start_.x() - moved.x());
    verticalScrollBar()->setValue(scroll_start_.y() - moved.y());
    event->accept();
}

void picture_view::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    viewport()->setCursor(Qt::OpenHandCursor);
    event->accept();
}

void picture_view::scrollContentsBy(int, int) {
    viewport()->update();
}

} // namespace quillmap
