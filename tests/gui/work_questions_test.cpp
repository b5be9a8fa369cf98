// Questions asked while long work runs, on Qt's own dialogs: they sit over the progress window
// and take keys, and the progress window's Cancel stops the work whatever they were answered.
#include "app/main_dialog.h"
#include "app/qt_ui_host.h"
#include "imageio/png_codec.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
// A main window on Qt's own dialogs, with its own settings file.
struct qt_window {
    qt_ui_host host;
    std::filesystem::path dir = temp_dir();
    std::unique_ptr<CMainDialog> window;

    qt_window() {
        const std::string settings = "[main]\nenable_thumbs=0\nenable_warnings=0\n";
        write_file(dir / "Quillmap.ini", std::vector<uint8_t>(settings.begin(), settings.end()));
        startup_options options;
        options.arguments = {(dir / "quillmap").string()};
        options.settings_path = dir / "Quillmap.ini";
        options.window_created = [this](QWidget* w) { host.parent = w; };
        window = std::make_unique<CMainDialog>(host, options);
        host.parent = window.get();
        window->show();
    }
    std::string small_png(const std::string& name) {
        rgba_image image{8, 8, std::vector<uint8_t>(8 * 8 * 4, 0x7F)};
        std::string error;
        return write_file(dir / name, encode_png_rgba(image, error)).string();
    }
};
} // namespace

// A folder dropped with two pictures: the import asks whether to go on after the folder. The
// question is over the shown progress window and Return answers it; a Cancel of the progress
// window before the answer stops the import, and nothing of it is added.
TEST(work_questions, a_question_during_an_import_is_over_the_progress_window_and_takes_keys) {
    struct row {
        const char* what;
        bool cancel_first;
        uint32_t textures_after;
    };
    for (const row& r : {row{"answered Yes", false, 3u}, row{"cancelled, then Yes", true, 1u}}) {
        SCOPED_TRACE(r.what);
        qt_window t;
        const auto path = write_file(t.dir / "one.txd",
                                     make_dictionary({make_ps2_texture({.name = "kept"})}).bytes());
        ASSERT_TRUE(t.window->open_dictionary(path.string(), 0));
        std::filesystem::create_directory(t.dir / "folder");
        const QStringList dropped = {path_to_qt((t.dir / "folder").string()),
                                     path_to_qt(t.small_png("a.png")),
                                     path_to_qt(t.small_png("b.png"))};

        bool over_progress = false, answered_by_key = false;
        int questions = 0, looks = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            // Given up on after two seconds: a box nobody can answer is closed by hand.
            if (++looks > 100) {
                box->done(QMessageBox::No);
                return;
            }
            auto* progress = qobject_cast<QProgressDialog*>(box->parentWidget());
            if (!progress || !progress->isVisible()) return;
            over_progress = true;
            ++questions;
            if (r.cancel_first) progress->cancel();
            // Through the box's window, as the window system delivers keys: a box blocked by
            // another modal window never sees it.
            QTest::keyClick(box->windowHandle(), Qt::Key_Return);
            answered_by_key = answered_by_key || !box->isVisible();
        });
        poll.start(20);
        auto& list = *static_cast<CTextureList*>(texture_list_of(*t.window));
        emit list.files_dropped(dropped, -1);
        poll.stop();
        EXPECT_TRUE(over_progress);
        EXPECT_TRUE(answered_by_key);
        EXPECT_EQ(questions, 1);
        EXPECT_EQ(t.window->dictionary()->texture_count(), r.textures_after);
        EXPECT_EQ(t.window->modified(), r.textures_after != 1);
        EXPECT_FALSE(t.window->busy());
    }
}

// A report of a hundred lines (Replace All on a large dictionary) fits the screen: its text
// scrolls, every line is in it, and Return still gives the box's answer.
TEST(work_questions, a_long_report_scrolls_within_the_screen) {
    qt_window t;
    std::string text = "109 textures replaced\n";
    for (int i = 1; i <= 109; ++i)
        text += "\nReplaced texture_" + std::to_string(i) + " from texture_" + std::to_string(i) +
                ".png";
    int height = 0, scroll_range = 0;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        height = box->frameGeometry().height();
        if (auto* lines = box->findChild<QPlainTextEdit*>()) {
            shown = lines->toPlainText();
            scroll_range = lines->verticalScrollBar()->maximum();
        }
        QTest::keyClick(box->windowHandle(), Qt::Key_Return);
        if (box->isVisible()) box->reject();
    });
    const int answer =
        t.host.message_box(text, "Replace All", box_buttons::ok_cancel, box_icon::information);
    EXPECT_EQ(answer, int(id_ok));
    EXPECT_GT(height, 0);
    EXPECT_LT(height, QGuiApplication::primaryScreen()->availableGeometry().height());
    EXPECT_GT(scroll_range, 0);
    EXPECT_EQ(shown.toStdString(), text);
}

} // namespace quillmap
