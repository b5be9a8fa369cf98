#pragma once

#include <QString>

class QApplication;

namespace quillmap {

// The editor's look: the desktop's own style and colours, or Qt's Fusion style in light or dark.
enum class theme { system, light, dark };

// "system", "light", "dark" (any case); anything else is the system theme.
theme theme_from_name(const QString& name);
const char* theme_name(theme which);

// Switches the whole application; the system theme restores the style and palette that were in
// force before the first switch.
void apply_theme(QApplication& application, theme which);

} // namespace quillmap
