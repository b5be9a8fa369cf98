#include "views/display_qimage.h"

#include <QPainter>

namespace quillmap {

QImage wrap_display_image(const display_image& image) {
    if (image.width == 0 || image.height == 0 || image.bytes.empty()) return {};
    const uint64_t needed = static_cast<uint64_t>(image.stride) * image.height;
    if (image.bytes.size() < needed) return {};
    // Bytes B,G,R (24 bits) and B,G,R,A (32 bits) are Qt's BGR888 and, little-endian, ARGB32.
    const QImage::Format format = image.bits == 32 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
    if (image.bits != 32 && image.bits != 24) return {};
    return QImage(image.bytes.data(), static_cast<int>(image.width), static_cast<int>(image.height),
                  static_cast<qsizetype>(image.stride), format);
}

void draw_display_image(QPainter& painter, const display_image& image, int x, int y) {
    const QImage wrapped = wrap_display_image(image);
    if (wrapped.isNull()) return;
    // Flip in the painter instead of copying the rows.
    painter.save();
    painter.translate(x, y + static_cast<int>(image.height));
    painter.scale(1, -1);
    painter.drawImage(0, 0, wrapped);
    painter.restore();
}

QImage thumbnail_of(const display_image& image, int size) {
    QImage out(size, size, QImage::Format_RGB32);
    out.fill(Qt::white);
    if (image.width == 0 || image.height == 0 || (image.bits != 24 && image.bits != 32) ||
        image.bytes.size() < static_cast<uint64_t>(image.stride) * image.height)
        return out;
    const uint32_t pixel_bytes = image.bits / 8;
    for (int y = 0; y < size; ++y) {
        const uint32_t sy = static_cast<uint32_t>(static_cast<uint64_t>(y) * image.height / size);
        const uint8_t* row = image.top_row(sy);
        auto* target = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const uint32_t sx =
                static_cast<uint32_t>(static_cast<uint64_t>(x) * image.width / size);
            const uint8_t* p = row + static_cast<size_t>(sx) * pixel_bytes;
            target[x] = qRgb(p[2], p[1], p[0]);
        }
    }
    return out;
}

void draw_checkerboard(QPainter& painter, const QRect& area, int cell) {
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, QColor(0xFF, 0xFF, 0xFF));
    const QColor dark(0xCC, 0xCC, 0xCC);
    for (int y = area.top(); y <= area.bottom(); y += cell)
        for (int x = area.left() + (((y - area.top()) / cell) % 2) * cell; x <= area.right();
             x += 2 * cell)
            painter.fillRect(QRect(x, y, cell, cell), dark);
    painter.restore();
}

} // namespace quillmap
