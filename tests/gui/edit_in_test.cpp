// Texture > Edit in...: the texture goes to the image editor as a PNG in a folder of its own;
// each save there offers to replace the texture as one undo step, and the folder goes with the
// dictionary, as the files of drags out of the list do.
#include "imageio/png_codec.h"
#include "session/edit_history.h"
#include "views/command_table.h"
#include "views/texture_list.h"

#include "views_support.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>

namespace quillmap {

using namespace views_test;

namespace {
// The editor is a program that starts and does nothing: the test saves in its place.
struct edit_in_test : ::testing::Test, window_fixture {
    edit_in_test()
        : window_fixture("[main]\nenable_thumbs=0\nenable_warnings=0\nexternal_editor=true\n") {}
    CMainDialog& w() { return *window; }
    // Events until the host was asked something or `ms` have passed.
    void wait_for_question(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (host.of_kind(ui_event::message).empty() && clock.elapsed() < ms)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

std::vector<uint8_t> red_png(uint32_t side) {
    rgba_image image{side, side, {}};
    for (uint32_t i = 0; i < side * side; ++i)
        image.rgba.insert(image.rgba.end(), {255, 0, 0, 255});
    std::string error;
    return encode_png_rgba(image, error);
}
} // namespace

TEST_F(edit_in_test, each_save_in_the_editor_is_one_undo_step) {
    struct row {
        const char* how;
        std::function<void(const std::filesystem::path&)> save;
    };
    const row rows[] = {
        // Most editors write a new file beside the old one and rename it over it.
        {"renamed over",
         [](const std::filesystem::path& file) {
             write_file(file.string() + ".new", red_png(16));
             std::filesystem::rename(file.string() + ".new", file);
         }},
        {"written in place",
         [](const std::filesystem::path& file) { write_file(file, red_png(16)); }},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.how);
        ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
        w().list_fill(1);
        host.clear_log();
        ASSERT_TRUE(w().run_command(cmd::edit_in));
        ASSERT_TRUE(host.message_texts().empty()) << host.message_texts().front();
        std::vector<uint8_t> before;
        ASSERT_TRUE(w().dictionary()->tree_image(before));
        const auto folders = [&] {
            std::vector<std::filesystem::path> found;
            for (const auto& entry :
                 std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
                if (entry.path().filename().string().rfind("quillmap-edit-", 0) == 0 &&
                    std::filesystem::exists(entry.path() / "b.png"))
                    found.push_back(entry.path());
            return found;
        };
        ASSERT_EQ(folders().size(), 1u);
        const std::filesystem::path file = folders().front() / "b.png";

        host.answer_message(id_yes);
        r.save(file);
        wait_for_question(3000);
        ASSERT_EQ(host.message_texts().size(), 1u);
        EXPECT_EQ(host.message_texts()[0],
                  "'b' was saved in the image editor.\n\nReplace the texture with it?");
        EXPECT_TRUE(w().modified());
        EXPECT_EQ(w().history().undo_steps(), 1u);
        std::vector<uint8_t> after;
        ASSERT_TRUE(w().dictionary()->tree_image(after));
        EXPECT_NE(after, before);
        ASSERT_TRUE(w().run_command(cmd::edit_undo));
        ASSERT_TRUE(w().dictionary()->tree_image(after));
        EXPECT_EQ(after, before);

        // The folder goes with the dictionary.
        w().set_modified(false);
        host.answer_modal([](modal_dialog&) { return int(id_ok); }); // the version of New
        ASSERT_TRUE(w().run_command(cmd::file_new));
        EXPECT_TRUE(folders().empty());
    }
}

// Files dragged out of the list are gone when the window closes.
TEST_F(edit_in_test, drag_out_files_go_with_the_window) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a"}))));
    const std::vector<std::string> files = w().export_for_drag({0});
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(std::filesystem::exists(files[0]));
    window.reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(files[0]).parent_path()));
}

} // namespace quillmap
