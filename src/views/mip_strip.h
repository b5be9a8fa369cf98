#pragma once

#include <QImage>
#include <QWidget>

#include <vector>

namespace quillmap {

// Every mip level of the selected texture side by side, each at the same whole-pixel scale (a
// pixel of level 0 and a pixel of level 3 are the same size). When level 0 is taller than the
// strip, the levels too tall for it are shrunk to its height and the smaller ones stay at one
// screen pixel per texel; only a strip too narrow for that shrinks every level together. The
// chosen level is framed and a click chooses another.
class mip_strip : public QWidget {
    Q_OBJECT

  public:
    explicit mip_strip(QWidget* parent = nullptr);

    // Upright pictures of levels 0, 1, ...; none empties the strip.
    void set_levels(std::vector<QImage> levels);
    int level_count() const { return int(levels_.size()); }
    void set_current(int level);
    int current() const { return current_; }
    // Where level `level` is drawn; empty when there is no such level.
    QRect level_rect(int level) const;
    // The level under a point, -1 for none.
    int level_at(QPoint point) const;

  signals:
    void level_chosen(int level);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // The drawn size of every level, in order.
    std::vector<QSize> level_sizes() const;

    std::vector<QImage> levels_;
    int current_ = 0;
};

} // namespace quillmap
