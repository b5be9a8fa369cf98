#include "app/qt_ui_host.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpression>

namespace quillmap {

QStringList qt_name_filters(const std::string& filter) {
    QStringList filters;
    for (const auto& [description, pattern] : split_filter(filter)) {
        QString text = QString::fromStdString(description);
        // Qt reads the patterns from the last parenthesis, so ours replaces the one shown.
        text.remove(QRegularExpression("\\s*\\([^()]*\\)\\s*$"));
        QString patterns = QString::fromStdString(pattern);
        patterns.replace(';', ' ');
        filters << QString("%1 (%2)").arg(text, patterns.simplified());
    }
    return filters;
}

QString path_to_qt(const std::string& path) {
    return QFile::decodeName(path.c_str());
}
std::string path_from_qt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

int qt_ui_host::message_box(const std::string& text, const std::string& caption,
                            box_buttons buttons, box_icon icon) {
    QMessageBox box(parent);
    box.setText(QString::fromStdString(text).replace("\r\n", "\n"));
    box.setWindowTitle(QString::fromStdString(caption));
    switch (icon) {
    case box_icon::error:
        box.setIcon(QMessageBox::Critical);
        break;
    case box_icon::warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case box_icon::question:
        box.setIcon(QMessageBox::Question);
        break;
    case box_icon::information:
        box.setIcon(QMessageBox::Information);
        break;
    case box_icon::none:
        break;
    }
    switch (buttons) {
    case box_buttons::ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case box_buttons::ok_cancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case box_buttons::yes_no:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case box_buttons::yes_no_cancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return id_yes;
    case QMessageBox::No:
        return id_no;
    case QMessageBox::Ok:
        return id_ok;
    default:
        // Closing the box counts as its escape answer.
        return buttons == box_buttons::yes_no ? id_no
                                              : (buttons == box_buttons::ok ? id_ok : id_cancel);
    }
}

bool qt_ui_host::file_dialog(const file_request& request, std::vector<std::string>& paths) {
    paths.clear();
    QFileDialog dialog(parent);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.folder     ? QFileDialog::Directory
                       : request.save     ? QFileDialog::AnyFile
                       : request.multiple ? QFileDialog::ExistingFiles
                                          : QFileDialog::ExistingFile);
    if (!request.folder) dialog.setNameFilters(qt_name_filters(request.filter));
    if (!request.default_extension.empty()) {
        std::string suffix = request.default_extension;
        if (suffix.front() == '.') suffix.erase(0, 1);
        dialog.setDefaultSuffix(QString::fromStdString(suffix));
    }
    if (!request.initial_name.empty()) dialog.selectFile(path_to_qt(request.initial_name));
    if (dialog.exec() != QDialog::Accepted) return false;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(path_from_qt(file));
    return !paths.empty();
}

namespace {
class qt_progress : public progress_window {
  public:
    qt_progress(QWidget* parent, const std::string& text, int total)
        : text_(QString::fromStdString(text)), dialog_(text_, "Cancel", 0, total, parent) {
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(500);
        // Reaching the total must not hide the bar before the task says it is done.
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
    }
    bool step(int done, const std::string& next) override {
        dialog_.setLabelText(text_ + "\n" + QString::fromStdString(next));
        // A window-modal dialog takes the pending events here, Cancel clicks among them.
        dialog_.setValue(done);
        return !dialog_.wasCanceled();
    }

  private:
    QString text_;
    QProgressDialog dialog_;
};
} // namespace

std::unique_ptr<progress_window> qt_ui_host::begin_progress(const std::string& text, int total) {
    return std::make_unique<qt_progress>(parent, text, total);
}

} // namespace quillmap
