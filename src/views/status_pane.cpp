#include "views/status_pane.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace quillmap {

status_pane::status_pane(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void status_pane::set_full_text(const QString& text) {
    full_text_ = text;
    show_fitting();
    updateGeometry();
}

QString status_pane::shown_text() const {
    const int room = std::max(0, contentsRect().width() - 2 * margin() - 2 * indent() - 2);
    return fontMetrics().elidedText(full_text_, Qt::ElideRight, room);
}

QSize status_pane::minimumSizeHint() const {
    // An ellipsis and a little more: the pane gives way instead of holding the window wide.
    const QSize base = QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("M\u2026")), base.height()};
}

QSize status_pane::sizeHint() const {
    const QSize base = QLabel::sizeHint();
    return {fontMetrics().horizontalAdvance(full_text_) + 2 * margin() + 2 * indent() + 4,
            base.height()};
}

void status_pane::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    show_fitting();
}

void status_pane::show_fitting() {
    const QString shown = shown_text();
    QLabel::setText(shown);
    setToolTip(shown == full_text_ ? QString() : full_text_);
}

} // namespace quillmap
