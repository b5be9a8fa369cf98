#include "views/mip_strip.h"

#include "views/display_qimage.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quillmap {

namespace {
constexpr int k_gap = 4;
constexpr int k_height = 56;
} // namespace

mip_strip::mip_strip(QWidget* parent) : QWidget(parent) {
    setFixedHeight(k_height);
    setToolTip(QStringLiteral("Mip levels: click one to show it"));
}

void mip_strip::set_levels(std::vector<QImage> levels) {
    levels_ = std::move(levels);
    current_ = 0;
    update();
}

void mip_strip::set_current(int level) {
    if (level < 0 || level >= level_count()) return;
    current_ = level;
    update();
}

QRect mip_strip::level_rect(int level) const {
    if (level < 0 || level >= level_count()) return {};
    // One scale for every level: the one that fits level 0's height and all widths side by side.
    int total_width = 0;
    for (const QImage& image : levels_)
        total_width += std::max(1, image.width());
    const int room_w = std::max(1, width() - k_gap * (level_count() + 1));
    const int room_h = std::max(1, height() - 2 * k_gap);
    const double scale = std::min({double(room_w) / total_width,
                                   double(room_h) / std::max(1, levels_.front().height()), 4.0});
    int x = k_gap;
    for (int i = 0; i < level; ++i)
        x += std::max(1, int(levels_[size_t(i)].width() * scale)) + k_gap;
    const QImage& image = levels_[size_t(level)];
    const int w = std::max(1, int(image.width() * scale));
    const int h = std::max(1, int(image.height() * scale));
    return {x, k_gap + (room_h - h) / 2, w, h};
}

int mip_strip::level_at(QPoint point) const {
    for (int level = 0; level < level_count(); ++level)
        if (level_rect(level).adjusted(-k_gap / 2, -k_gap, k_gap / 2, k_gap).contains(point))
            return level;
    return -1;
}

void mip_strip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int level = 0; level < level_count(); ++level) {
        const QRect rect = level_rect(level);
        draw_checkerboard(painter, rect, 4);
        painter.drawImage(rect, levels_[size_t(level)]);
        if (level == current_) {
            painter.setPen(QPen(palette().highlight(), 2));
            painter.drawRect(rect.adjusted(-2, -2, 1, 1));
        }
    }
}

void mip_strip::mousePressEvent(QMouseEvent* event) {
    const int level = level_at(event->position().toPoint());
    if (level < 0) return;
    set_current(level);
    emit level_chosen(level);
}

} // namespace quillmap
