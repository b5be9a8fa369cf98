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

std::vector<QSize> mip_strip::level_sizes() const {
    std::vector<QSize> sizes;
    if (levels_.empty()) return sizes;
    int total_width = 0;
    for (const QImage& image : levels_)
        total_width += std::max(1, image.width());
    const int room_w = std::max(1, width() - k_gap * (level_count() + 1));
    const int room_h = std::max(1, height() - 2 * k_gap);
    const auto natural = [](const QImage& image) {
        return QSize(std::max(1, image.width()), std::max(1, image.height()));
    };
    // The one scale that fits level 0's height and all widths side by side.
    const double scale = std::min(
        {double(room_w) / total_width, double(room_h) / natural(levels_.front()).height(), 4.0});
    if (scale >= 1) {
        // Whole pixels for every level at once: each texel is n x n screen pixels.
        const int n = int(scale);
        for (const QImage& image : levels_)
            sizes.push_back(natural(image) * n);
        return sizes;
    }
    // Level 0 is shrunk. Levels too tall for the strip are shrunk to its height; the smaller
    // ones keep whole pixels, since a small level drawn at a fraction of a pixel per texel
    // loses its thin lines.
    int used = 0;
    for (const QImage& image : levels_) {
        QSize size = natural(image);
        if (size.height() > room_h)
            size = QSize(std::max(1, int(size.width() * double(room_h) / size.height())), room_h);
        used += size.width();
        sizes.push_back(size);
    }
    if (used <= room_w) return sizes;
    // No room for that: every level at the one scale that fits.
    sizes.clear();
    for (const QImage& image : levels_) {
        const QSize size = natural(image);
        sizes.emplace_back(std::max(1, int(size.width() * scale)),
                           std::max(1, int(size.height() * scale)));
    }
    return sizes;
}

QRect mip_strip::level_rect(int level) const {
    if (level < 0 || level >= level_count()) return {};
    const std::vector<QSize> sizes = level_sizes();
    const int room_h = std::max(1, height() - 2 * k_gap);
    int x = k_gap;
    for (int i = 0; i < level; ++i)
        x += sizes[size_t(i)].width() + k_gap;
    const QSize size = sizes[size_t(level)];
    return {x, k_gap + (room_h - size.height()) / 2, size.width(), size.height()};
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
