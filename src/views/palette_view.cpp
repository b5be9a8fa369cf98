#include "views/palette_view.h"

#include "views/display_qimage.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quillmap {

namespace {
constexpr int k_per_row = 16;
constexpr int k_margin = 2;
} // namespace

palette_view::palette_view(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void palette_view::set_colours(std::vector<QColor> colours) {
    colours_ = std::move(colours);
    selected_ = hovered_ = -1;
    updateGeometry();
    update();
}

void palette_view::set_selected(int index) {
    selected_ = index >= 0 && index < colour_count() ? index : -1;
    update();
}

int palette_view::swatch_size() const {
    return std::max(4, (width() - 2 * k_margin) / k_per_row);
}

QRect palette_view::swatch_rect(int index) const {
    if (index < 0 || index >= colour_count()) return {};
    const int size = swatch_size();
    return {k_margin + (index % k_per_row) * size, k_margin + (index / k_per_row) * size, size,
            size};
}

int palette_view::swatch_at(QPoint point) const {
    for (int i = 0; i < colour_count(); ++i)
        if (swatch_rect(i).contains(point)) return i;
    return -1;
}

QSize palette_view::sizeHint() const {
    const int rows = (colour_count() + k_per_row - 1) / k_per_row;
    const int size = swatch_size();
    return {k_per_row * size + 2 * k_margin, rows * size + 2 * k_margin};
}

void palette_view::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < colour_count(); ++i) {
        const QRect rect = swatch_rect(i);
        draw_checkerboard(painter, rect, std::max(2, rect.width() / 2));
        painter.fillRect(rect.adjusted(0, 0, -1, -1), colours_[size_t(i)]);
        if (i == selected_ || i == hovered_) {
            painter.setPen(
                QPen(i == selected_ ? palette().highlight().color() : palette().text().color(), 2));
            painter.drawRect(rect.adjusted(1, 1, -2, -2));
        }
    }
}

void palette_view::mouseMoveEvent(QMouseEvent* event) {
    const int index = swatch_at(event->position().toPoint());
    if (index == hovered_) return;
    hovered_ = index;
    update();
    setToolTip(index < 0 ? QString()
                         : QStringLiteral("Index %1: RGBA %2 %3 %4 %5")
                               .arg(index)
                               .arg(colours_[size_t(index)].red())
                               .arg(colours_[size_t(index)].green())
                               .arg(colours_[size_t(index)].blue())
                               .arg(colours_[size_t(index)].alpha()));
    emit swatch_hovered(index);
}

void palette_view::mousePressEvent(QMouseEvent* event) {
    const int index = swatch_at(event->position().toPoint());
    if (index < 0) return;
    set_selected(index);
    emit swatch_clicked(index);
}

void palette_view::leaveEvent(QEvent*) {
    if (hovered_ < 0) return;
    hovered_ = -1;
    update();
    emit swatch_hovered(-1);
}

} // namespace quillmap
