#include "app/picture_control.h"

namespace quillmap {

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

CPictureControl::CPictureControl(QWidget* parent) : picture_view(parent) {}

void CPictureControl::set_bitmap(device_bitmap bitmap) {
    bitmap_ = std::move(bitmap);
    set_picture(picture());
}

QImage CPictureControl::picture() const {
    if (!bitmap_) return {};
    const QImage image = image_over(*bitmap_);
    return image.isNull() ? image : image.mirrored(false, true);
}

} // namespace quillmap
