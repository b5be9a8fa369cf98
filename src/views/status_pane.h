#pragma once

#include <QLabel>

namespace quillmap {

// A status-bar pane that never cuts its text in the middle of a word: a text longer than the
// pane ends in an ellipsis and shows whole in the pane's tooltip.
class status_pane : public QLabel {
    Q_OBJECT

  public:
    explicit status_pane(QWidget* parent = nullptr);

    void set_full_text(const QString& text);
    const QString& full_text() const { return full_text_; }
    // What the pane shows at its present width.
    QString shown_text() const;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void show_fitting();

    QString full_text_;
};

} // namespace quillmap
