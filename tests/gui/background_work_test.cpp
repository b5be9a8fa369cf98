// Long operations run off the window's thread: the window keeps its events, takes no command
// meanwhile, a cancelled run leaves the dictionary as it was, and a finished one is one undo
// step. And a move that cannot happen is no edit.
#include "imageio/png_codec.h"
#include "session/edit_history.h"
#include "views/command_table.h"
#include "views/texture_list.h"

#include "views_support.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace quillmap {

using namespace views_test;

namespace {
struct background_work_test : ::testing::Test, window_fixture {
    CMainDialog& w() { return *window; }
    CTextureList& list() { return *w().findChild<CTextureList*>("texture_list"); }
    std::vector<uint8_t> tree() {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(w().dictionary()->tree_image(bytes));
        return bytes;
    }
    // A picture of noise, which quantizing cannot take short cuts on.
    std::string noise_png(const std::string& name, uint32_t side) {
        rgba_image image{side, side, std::vector<uint8_t>(size_t(side) * side * 4)};
        uint32_t state = 12345;
        for (uint8_t& byte : image.rgba) {
            state = state * 1103515245u + 12345u;
            byte = uint8_t(state >> 16);
        }
        std::string error;
        return write_file(dir / name, encode_png_rgba(image, error)).string();
    }
};
} // namespace

// The first texture cannot move up nor the last one down: the dictionary stays unmodified.
TEST_F(background_work_test, a_move_that_cannot_happen_leaves_the_dictionary_unmodified) {
    struct row {
        int command;
        int texture;
    };
    for (const row& r : {row{cmd::move_up, 0}, row{cmd::move_down, 2}}) {
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
        list().setCurrentRow(r.texture, QItemSelectionModel::ClearAndSelect);
        const std::vector<uint8_t> before = tree();
        w().run_command(r.command);
        EXPECT_FALSE(w().modified());
        EXPECT_EQ(w().windowTitle().indexOf('*'), -1) << w().windowTitle().toStdString();
        EXPECT_FALSE(w().command_enabled(cmd::edit_undo));
        EXPECT_EQ(tree(), before);
    }
}

// Import, replace, a texture conversion and a conversion into another file, each once
// cancelled and once run to its end. While one runs, a timer of the window's thread fires and
// the window refuses commands; a cancelled one changes nothing (not even the chosen file); a
// finished edit is one undo step that gives the dictionary back byte for byte.
TEST_F(background_work_test, long_operations_keep_the_window_running) {
    struct row {
        const char* what;
        int command;
        std::function<void(background_work_test&)> answers; // the dialogs the command asks
        bool edits;                                         // or writes another file
    };
    const std::string out = (dir / "converted.txd").string();
    const row rows[] = {
        {"import", cmd::import_file,
         [](background_work_test& t) {
             t.host.answer_file({t.noise_png("one.png", 256), t.noise_png("two.png", 128)});
             t.host.answer_modal([](modal_dialog&) { return int(id_ok); }); // depth and levels
         },
         true},
        {"replace", cmd::replace,
         [](background_work_test& t) {
             t.host.answer_file(t.noise_png("a.png", 64));
             t.host.answer_modal([](modal_dialog&) { return int(id_ok); }); // the choices
         },
         true},
        {"conversion to 8 bits", cmd::convert_8bpp, [](background_work_test&) {}, true},
        {"conversion to XBOX", cmd::convert_xbox,
         [out](background_work_test& t) { t.host.answer_file(out); }, false},
    };
    for (const row& r : rows) {
        for (const bool cancel : {true, false}) {
            SCOPED_TRACE(std::string(r.what) + (cancel ? ", cancelled" : ", finished"));
            std::filesystem::remove(out);
            ASSERT_TRUE(open(make_dictionary(
                {make_ps2_texture({.name = "a", .width = 64, .height = 64, .depth = 32})})));
            list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
            const std::vector<uint8_t> before = tree();
            r.answers(*this);
            if (cancel) host.cancel_progress_at(1);
            bool fired_while_busy = false, refused_while_busy = false;
            QTimer::singleShot(0, &w(), [&] {
                fired_while_busy = w().busy();
                refused_while_busy = !w().run_command(cmd::remove);
            });
            ASSERT_TRUE(w().run_command(r.command));
            EXPECT_TRUE(fired_while_busy);
            EXPECT_TRUE(refused_while_busy);
            EXPECT_FALSE(w().busy());
            EXPECT_TRUE(host.all_answers_used());
            const bool changed = !cancel && r.edits;
            EXPECT_EQ(w().modified(), changed);
            EXPECT_EQ(w().history().undo_steps(), changed ? 1u : 0u);
            EXPECT_EQ(tree() != before, changed);
            EXPECT_EQ(std::filesystem::exists(out), !cancel && !r.edits);
            if (changed) {
                ASSERT_TRUE(w().run_command(cmd::edit_undo));
                EXPECT_EQ(tree(), before);
                EXPECT_FALSE(w().modified());
            }
        }
    }
    // A cancelled conversion's part file is gone once its thread has ended.
    window.reset();
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

} // namespace quillmap
