// Export All: one dialog for folder and format, a progress window that can stop the run, names
// that never collide and the failures listed once at the end.
#include "main_fixture.h"

#include "app/qt_ui_host.h"
#include "views/export_all_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>

namespace quillmap {

namespace {

struct ExportAllTest : MainWindowTest {
    std::filesystem::path out = dir / "out";

    // Textures named as given, written and opened.
    std::unique_ptr<CMainDialog> open_named(std::initializer_list<const char*> names) {
        std::vector<test_chunk> textures;
        uint8_t seed = 1;
        for (const char* name : names)
            textures.push_back(make_ps2_texture({.name = name, .fill_seed = seed++}));
        const auto path =
            write_file(dir / "named.txd", make_dictionary(std::move(textures)).bytes());
        auto window = make_window({path.string()});
        EXPECT_NE(window->dictionary(), nullptr);
        host.clear_log();
        return window;
    }

    // Answers the dialog with `folder` and the format shown as `format_text`.
    void answer_dialog(const std::filesystem::path& folder, export_type type) {
        host.answer_modal([folder, type](modal_dialog& dialog) {
            auto& d = dynamic_cast<CExportAllDialog&>(dialog);
            d.initialize();
            d.folder_box->setText(QString::fromStdString(folder.string()));
            d.format_box->setCurrentIndex(d.format_box->findData(export_type_number(type)));
            d.press_ok();
            return id_ok;
        });
    }

    std::vector<std::string> written() const {
        std::vector<std::string> names;
        if (!std::filesystem::exists(out)) return names;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ExportAllTest, PngIsTheFirstChoiceAndEveryTextureGetsAFileOfItsOwnName) {
    auto window = open_named({"sky", "Sky", "road", "sky"});
    host.answer_modal([this](modal_dialog& dialog) {
        auto& d = dynamic_cast<CExportAllDialog&>(dialog);
        d.initialize();
        EXPECT_EQ(d.format_box->currentData().toInt(), export_type_number(export_type::png));
        EXPECT_EQ(d.folder_box->text().toStdString(), dir.string()); // the dictionary's folder
        d.folder_box->setText(QString::fromStdString(out.string()));
        d.press_ok();
        return id_ok;
    });
    window->run_command(cmd::export_all);
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    EXPECT_EQ(written(),
              (std::vector<std::string>{"Sky_2.png", "road.png", "sky.png", "sky_3.png"}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read_file(out / "road.png").data()) + 1, 3),
              "PNG");
    EXPECT_EQ(host.of_kind(ui_event::progress).size(), 1u);
    EXPECT_EQ(status(*window, 0).rfind("4 textures exported to PNG within ", 0), 0u)
        << status(*window, 0);
    EXPECT_EQ(settings.read_string("main", "export_all_format"), "png");
    EXPECT_EQ(settings.read_string("main", "export_all_folder"), out.string());
}

TEST_F(ExportAllTest, TheLastFolderAndFormatAreOfferedAgain) {
    auto window = open_named({"a", "b"});
    answer_dialog(out, export_type::tim2);
    window->run_command(cmd::export_all);
    EXPECT_EQ(written(), (std::vector<std::string>{"a.tm2", "b.tm2"}));
    host.answer_modal([this](modal_dialog& dialog) {
        auto& d = dynamic_cast<CExportAllDialog&>(dialog);
        d.initialize();
        EXPECT_EQ(d.format_box->currentData().toInt(), export_type_number(export_type::tim2));
        EXPECT_EQ(d.folder_box->text().toStdString(), out.string());
        return id_cancel;
    });
    window->run_command(cmd::export_all);
    EXPECT_TRUE(host.all_answers_used());
}

TEST_F(ExportAllTest, CancelStopsAfterTheCurrentTextureAndSaysHowManyWereWritten) {
    auto window = open_named({"t0", "t1", "t2", "t3", "t4"});
    answer_dialog(out, export_type::png);
    host.cancel_progress_at(2);
    window->run_command(cmd::export_all);
    EXPECT_EQ(written(), (std::vector<std::string>{"t0.png", "t1.png"}));
    EXPECT_EQ(status(*window, 0),
              "Export cancelled: 2 of 5 textures exported to " + out.string() + ".");
    EXPECT_TRUE(host.message_texts().empty());
}

TEST_F(ExportAllTest, FailuresAreCollectedAndShownOnceAtTheEnd) {
    auto window = open_named({"a", "b", "c", "d"});
    // A folder where a picture should go makes those two textures fail.
    std::filesystem::create_directories(out / "b.bmp");
    std::filesystem::create_directories(out / "d.bmp");
    answer_dialog(out, export_type::bmp);
    window->run_command(cmd::export_all);
    const auto texts = host.message_texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("2 of 4 textures could not be exported:\n\nb.bmp: ", 0), 0u)
        << texts[0];
    EXPECT_NE(texts[0].find("\nd.bmp: "), std::string::npos) << texts[0];
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "a.bmp"));
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "c.bmp"));
    EXPECT_EQ(status(*window, 0).rfind("2 textures exported to BMP within ", 0), 0u)
        << status(*window, 0);
}

TEST(QtProgress, ACancelClickIsAnsweredAtTheNextStep) {
    qt_ui_host host;
    auto progress = host.begin_progress("Exporting 3 textures", 3);
    EXPECT_TRUE(progress->step(1, "second"));
    QProgressDialog* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QProgressDialog*>(widget)) dialog = found;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->value(), 1);
    EXPECT_EQ(dialog->labelText().toStdString(), "Exporting 3 textures\nsecond");
    dialog->cancel();
    EXPECT_FALSE(progress->step(2, "third"));
}
} // namespace

} // namespace quillmap
