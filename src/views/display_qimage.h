#pragma once

#include "raster/display_image.h"

#include <QImage>

class QPainter;

namespace quillmap {

// A QImage over the bytes of a display image, without copying. The rows are bottom-up, so the
// result is upside down: draw it with draw_display_image, or copy it with mirrored().
// The display image must outlive the returned QImage.
QImage wrap_display_image(const display_image& image);

// Draws a display image upright with its top-left corner at (x, y).
void draw_display_image(QPainter& painter, const display_image& image, int x, int y);

// A 32x32 picture for the texture list: copied as it is when the image is already 32x32,
// stretched (nearest pixel, as a plain stretched copy does) otherwise.
QImage thumbnail_of(const display_image& image, int size = 32);

// A light/dark checkerboard of `cell` pixels, the usual backdrop for transparent pictures.
void draw_checkerboard(QPainter& painter, const QRect& area, int cell = 8);

} // namespace quillmap
