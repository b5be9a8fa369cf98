#pragma once

#include "raster/display_image.h"
#include "views/picture_view.h"

#include <QImage>

namespace quillmap {

// The preview picture (control 1016): owns one device bitmap until the next one and shows it
// centred, at its own size until the user zooms.
class CPictureControl : public picture_view {
    Q_OBJECT

  public:
    explicit CPictureControl(QWidget* parent = nullptr);

    void set_bitmap(device_bitmap bitmap);
    void clear() { set_bitmap(nullptr); }
    const display_image* bitmap() const { return bitmap_.get(); }
    // The bitmap as a top-down picture (a copy), null when empty.
    QImage picture() const;

  private:
    device_bitmap bitmap_;
};

// A QImage over the bitmap's own bytes (rows bottom-up, so the picture is upside down); null when
// the bitmap's sizes do not match its bytes.
QImage image_over(const display_image& bitmap);

} // namespace quillmap
