#pragma once

#include "platform/ui_host.h"

#include <QString>

class QWidget;

namespace quillmap {

// Message boxes and file dialogs of Qt, parented to the main window once it exists.
class qt_ui_host : public ui_host {
  public:
    int message_box(const std::string& text, const std::string& caption, box_buttons buttons,
                    box_icon icon) override;
    bool file_dialog(const file_request& request, std::vector<std::string>& paths) override;
    int run(modal_dialog& dialog) override { return dialog.run_modal(); }
    // A window-modal QProgressDialog, shown once the task has run for half a second.
    std::unique_ptr<progress_window> begin_progress(const std::string& text, int total) override;

    QWidget* parent = nullptr;
};

// A message box over `parent` (a text of many lines scrolls); the answer as message_box gives it.
int message_box_over(QWidget* parent, const std::string& text, const std::string& caption,
                     box_buttons buttons, box_icon icon);
// A "description|pattern|..." filter as Qt name filters ("description (p1 p2)").
QStringList qt_name_filters(const std::string& filter);
// Paths between the file system's bytes and Qt.
QString path_to_qt(const std::string& path);
std::string path_from_qt(const QString& path);

} // namespace quillmap
