#include "app/picture_control.h"

#include <QPainter>

#include <algorithm>

QImage image_over(const display_image& bitmap) {
    if (bitmap.width == 0 || bitmap.height == 0) return {};
    if (bitmap.bits != 24 && bitmap.bits != 32) return {};
    const uint64_t row = uint64_t{bitmap.width} * (bitmap.bits / 8);
    if (bitmap.stride < row || bitmap.width > 0x7FFF || bitmap.height > 0x7FFF) return {};
    if (uint64_t{bitmap.stride} * bitmap.height > bitmap.bytes.size()) return {};
    // B,G,R bytes are BGR888; B,G,R,A bytes are ARGB32 on a little-endian machine.
    const auto format = bitmap.bits == 32 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
    return QImage(bitmap.bytes.data(), static_cast<int>(bitmap.width),
                  static_cast<int>(bitmap.height), static_cast<qsizetype>(bitmap.stride), format);
}

CPictureControl::CPictureControl(QWidget* parent) : QWidget(parent) {}

void CPictureControl::set_bitmap(device_bitmap bitmap) {
    bitmap_ = std::move(bitmap);
    update();
}

QImage CPictureControl::picture() const {
    if (!bitmap_) return {};
    const QImage image = image_over(*bitmap_);
    return image.isNull() ? image : image.mirrored(false, true);
}

void CPictureControl::paintEvent(QPaintEvent*) {
    if (!bitmap_) return;
    const QImage image = image_over(*bitmap_);
    if (image.isNull()) return;
    QPainter painter(this);
    const int x = (width() - image.width()) / 2;
    const int y = (height() - image.height()) / 2;
    if (bitmap_->bits == 32) {
        // Transparency shows over a checkerboard of 8-pixel cells from the picture's corner.
        constexpr int cell = 8;
        for (int cy = 0; cy < image.height(); cy += cell) {
            for (int cx = 0; cx < image.width(); cx += cell) {
                const bool dark = ((cx / cell) + (cy / cell)) % 2 == 0;
                painter.fillRect(x + cx, y + cy, std::min(cell, image.width() - cx),
                                 std::min(cell, image.height() - cy),
                                 dark ? QColor(0xCC, 0xCC, 0xCC) : QColor(0xFF, 0xFF, 0xFF));
            }
        }
    }
    // Rows are stored bottom-up: draw the bytes mirrored instead of copying them.
    painter.translate(x, y + image.height());
    painter.scale(1, -1);
    painter.drawImage(0, 0, image);
}
