#include "app/qt_ui_host.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>

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

namespace {
// A text of more lines than this shows in a box that scrolls, never taller than the screen.
constexpr int k_box_lines_shown = 24;

QMessageBox::Icon qt_icon(box_icon icon) {
    switch (icon) {
    case box_icon::error:
        return QMessageBox::Critical;
    case box_icon::warning:
        return QMessageBox::Warning;
    case box_icon::question:
        return QMessageBox::Question;
    case box_icon::information:
        return QMessageBox::Information;
    case box_icon::none:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qt_buttons(box_buttons buttons) {
    switch (buttons) {
    case box_buttons::ok:
        return QMessageBox::Ok;
    case box_buttons::ok_cancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case box_buttons::yes_no:
        return QMessageBox::Yes | QMessageBox::No;
    case box_buttons::yes_no_cancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

int answer_of(int button, box_buttons buttons) {
    switch (button) {
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

// A long text (a report of a hundred lines) in a box of a fixed height whose text scrolls.
int scrolling_box(QWidget* parent, const QString& text, const std::string& caption,
                  box_buttons buttons, box_icon icon) {
    QDialog box(parent);
    box.setObjectName("scrolling_message_box");
    box.setWindowTitle(QString::fromStdString(caption));
    auto* layout = new QGridLayout(&box);
    if (icon != box_icon::none) {
        const QStyle::StandardPixmap shown =
            icon == box_icon::error      ? QStyle::SP_MessageBoxCritical
            : icon == box_icon::warning  ? QStyle::SP_MessageBoxWarning
            : icon == box_icon::question ? QStyle::SP_MessageBoxQuestion
                                         : QStyle::SP_MessageBoxInformation;
        auto* picture = new QLabel(&box);
        const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        picture->setPixmap(box.style()->standardIcon(shown, nullptr, &box).pixmap(side, side));
        layout->addWidget(picture, 0, 0, Qt::AlignTop);
    }
    auto* lines = new QPlainTextEdit(text, &box);
    lines->setReadOnly(true);
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    lines->setFocusPolicy(Qt::ClickFocus);
    const QFontMetrics metrics(lines->font());
    int widest = 0;
    for (const QString& line : text.split('\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    lines->setMinimumSize(std::min(widest + 40, 900),
                          metrics.lineSpacing() * k_box_lines_shown + 12);
    layout->addWidget(lines, 0, 1);
    auto* choices =
        new QDialogButtonBox(QDialogButtonBox::StandardButtons(int(qt_buttons(buttons))), &box);
    layout->addWidget(choices, 1, 0, 1, 2);
    int clicked = QMessageBox::NoButton;
    QObject::connect(choices, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* button) {
        clicked = int(choices->standardButton(button));
        box.accept();
    });
    if (QPushButton* first = choices->buttons().isEmpty()
                                 ? nullptr
                                 : qobject_cast<QPushButton*>(choices->buttons().front())) {
        for (QAbstractButton* b : choices->buttons())
            if (choices->buttonRole(b) == QDialogButtonBox::AcceptRole ||
                choices->buttonRole(b) == QDialogButtonBox::YesRole)
                first = qobject_cast<QPushButton*>(b);
        if (first) {
            first->setDefault(true);
            first->setFocus();
        }
    }
    box.exec();
    return answer_of(clicked, buttons);
}
} // namespace

int message_box_over(QWidget* parent, const std::string& text, const std::string& caption,
                     box_buttons buttons, box_icon icon) {
    const QString shown = QString::fromStdString(text).replace("\r\n", "\n");
    if (shown.count('\n') >= k_box_lines_shown)
        return scrolling_box(parent, shown, caption, buttons, icon);
    QMessageBox box(parent);
    box.setText(shown);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setIcon(qt_icon(icon));
    box.setStandardButtons(qt_buttons(buttons));
    return answer_of(box.exec(), buttons);
}

int qt_ui_host::message_box(const std::string& text, const std::string& caption,
                            box_buttons buttons, box_icon icon) {
    return message_box_over(parent, text, caption, buttons, icon);
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
    int ask(ui_host&, const std::string& text, const std::string& caption, box_buttons buttons,
            box_icon icon) override {
        // The question goes over the progress window, shown now if it was still waiting for
        // its moment: under it, or under one that shows later, it could not be answered.
        if (!dialog_.wasCanceled() && !dialog_.isVisible()) dialog_.show();
        return message_box_over(&dialog_, text, caption, buttons, icon);
    }
    bool cancelled() const override { return dialog_.wasCanceled(); }

  private:
    QString text_;
    QProgressDialog dialog_;
};
} // namespace

std::unique_ptr<progress_window> qt_ui_host::begin_progress(const std::string& text, int total) {
    return std::make_unique<qt_progress>(parent, text, total);
}

} // namespace quillmap
