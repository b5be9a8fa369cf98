#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

namespace quillmap {

// The palette of a 4- or 8-bit texture as swatches, 16 to a row, in index order. Hovering a
// swatch tells which (so the preview can mark its pixels); one swatch can be selected.
class palette_view : public QWidget {
    Q_OBJECT

  public:
    explicit palette_view(QWidget* parent = nullptr);

    void set_colours(std::vector<QColor> colours);
    int colour_count() const { return int(colours_.size()); }
    void set_selected(int index);
    int selected() const { return selected_; }
    QRect swatch_rect(int index) const;
    // The swatch under a point, -1 for none.
    int swatch_at(QPoint point) const;
    QSize sizeHint() const override;

  signals:
    void swatch_hovered(int index); // -1 when the pointer leaves the swatches
    void swatch_clicked(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    int swatch_size() const;

    std::vector<QColor> colours_;
    int selected_ = -1;
    int hovered_ = -1;
};

} // namespace quillmap
