#pragma once

#include <QAbstractScrollArea>
#include <QImage>

namespace quillmap {

// A zoomable, pannable picture pane. Magnification is nearest-neighbour with every source pixel
// an exact square of whole screen pixels; a grid outlines the pixels from k_grid_percent on.
// The picture always lies on a checkerboard, so transparent pixels and a white picture on the
// pane's background both stay visible.
class picture_view : public QAbstractScrollArea {
    Q_OBJECT

  public:
    static constexpr int k_min_percent = 25;
    static constexpr int k_max_percent = 3200;
    static constexpr int k_grid_percent = 800;

    explicit picture_view(QWidget* parent = nullptr);

    // The picture upright (top row first); a null image empties the pane.
    void set_picture(const QImage& picture);
    const QImage& shown_picture() const { return picture_; }

    // Best Fit follows the pane's size (shrinking below 25 % when the picture needs it); any
    // other zoom is a fixed percentage.
    bool fits() const { return fit_; }
    void best_fit();
    void original_size() { set_zoom(100); }
    // Clamped to 25..3200 %; leaves Best Fit.
    void set_zoom(int percent);
    // The next step of the zoom ladder up or down, kept within the limits.
    void zoom_in();
    void zoom_out();
    // The zoom in effect (in Best Fit, the one the pane's size gives).
    int zoom_percent() const;
    static int next_zoom_step(int percent, bool up);

    // Where the picture lies in viewport coordinates at the current zoom and scroll position.
    QRect picture_rect() const;
    // Pixels to mark over the picture: an image of the picture's size whose opaque pixels are
    // drawn over it (the palette view's hovered colour); a null image marks nothing. A new
    // picture drops the marks.
    void set_highlight(const QImage& marks);
    const QImage& highlight() const { return highlight_; }
    // The picture pixel under a viewport point; (-1, -1) off the picture.
    QPoint picture_pixel_at(QPoint viewport_point) const;
    void set_grid_enabled(bool enabled);
    bool grid_shown() const;

  signals:
    void zoom_changed(int percent);
    // The pointer moved over the pane: the picture pixel under it, (-1, -1) off the picture.
    void pixel_hovered(QPoint pixel);
    // A left click on the picture, at a picture pixel.
    void pixel_clicked(QPoint pixel);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // Screen pixels per picture pixel, in hundredths.
    QSize scaled_size() const;
    void update_scroll_bars();
    // Keeps the picture point under `anchor` (viewport coordinates) in place across a zoom.
    void zoom_about(int percent, QPointF anchor);

    QImage picture_;
    QImage highlight_;
    bool fit_ = false; // the picture starts at its own size
    int percent_ = 100;
    bool grid_enabled_ = true;
    bool dragging_ = false;
    QPoint drag_start_;
    QPoint scroll_start_;
};

} // namespace quillmap
