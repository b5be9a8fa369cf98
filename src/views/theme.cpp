#include "views/theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace quillmap {

namespace {
// What the desktop gave us, kept so that "System" can go back to it.
struct system_look {
    QString style;
    QPalette palette;
};

const system_look& original_look(QApplication& application) {
    static const system_look look{application.style()->name(), application.palette()};
    return look;
}

QPalette dark_palette() {
    const QColor window(0x2D, 0x2D, 0x30);
    const QColor base(0x1E, 0x1E, 0x1E);
    const QColor text(0xE6, 0xE6, 0xE6);
    const QColor disabled(0x80, 0x80, 0x80);
    const QColor highlight(0x2A, 0x82, 0xDA);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0xA0, 0xA0, 0xA0));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(0x50, 0x50, 0x55));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x44));
    p.setColor(QPalette::Mid, QColor(0x35, 0x35, 0x38));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1A));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Link, highlight.lighter(130));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, disabled);
    // Check marks and radio dots are drawn in a darker shade of the text colour: grayed items
    // that are checked (the Conversion items that would change nothing) need a lighter gray to
    // show their mark on the dark base.
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0xA8, 0xA8, 0xA8));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x50));
    return p;
}
} // namespace

theme theme_from_name(const QString& name) {
    const QString lower = name.trimmed().toLower();
    if (lower == QLatin1String("dark")) return theme::dark;
    if (lower == QLatin1String("light")) return theme::light;
    return theme::system;
}

const char* theme_name(theme which) {
    switch (which) {
    case theme::light:
        return "light";
    case theme::dark:
        return "dark";
    case theme::system:
        break;
    }
    return "system";
}

void apply_theme(QApplication& application, theme which) {
    const system_look& look = original_look(application);
    if (which == theme::system) {
        QApplication::setStyle(QStyleFactory::create(look.style));
        QApplication::setPalette(look.palette);
        return;
    }
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    QApplication::setStyle(fusion);
    QApplication::setPalette(which == theme::dark ? dark_palette() : fusion->standardPalette());
}

} // namespace quillmap
