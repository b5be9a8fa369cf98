// Undo and redo through the editor session: every edit taken back restores the dictionary byte
// for byte, and done again gives the edited bytes back.
#include "session/edit_history.h"
#include "session/editor_session.h"
#include "session_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

namespace quillmap {

namespace {

struct history_fixture : ::testing::Test {
    std::filesystem::path dir = temp_dir();
    editor_session session;
    std::unique_ptr<edit_history> history;

    void SetUp() override {
        std::vector<test_chunk> textures;
        textures.push_back(make_ps2_texture({.name = "one", .width = 16, .height = 16}));
        textures.push_back(make_ps2_texture(
            {.name = "two", .mask = "two_a", .depth = 4, .swizzled = true, .fill_seed = 7}));
        textures.push_back(make_ps2_texture({.name = "three", .depth = 32, .fill_seed = 9}));
        const auto path = write_file(dir / "h.txd", make_dictionary(std::move(textures)).bytes());
        ASSERT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened);
        history = std::make_unique<edit_history>(session);
    }

    // What Save would write now.
    std::vector<uint8_t> bytes() { return saved_bytes(session, dir); }
};

TEST_F(history_fixture, every_edit_undoes_and_redoes_to_the_exact_bytes) {
    // Files the edits need: a picture of texture 0 with one pixel changed, and a raw section.
    const auto bmp = dir / "one.bmp";
    ASSERT_TRUE(session.export_texture(0, view_mode::texture, export_type::bmp, &bmp,
                                       swizzle_mode::as_stored));
    auto picture = read_file(bmp);
    picture.back() ^= 0x01;
    write_file(bmp, picture);
    const auto section = dir / "three.rwsect";
    ASSERT_TRUE(session.export_texture(2, view_mode::texture, export_type::rwsect, &section,
                                       swizzle_mode::as_stored));
    // Added back under a name of its own: "three" is taken.
    auto section_bytes = read_file(section);
    const std::string taken = "three";
    auto name = std::search(section_bytes.begin(), section_bytes.end(), taken.begin(), taken.end());
    ASSERT_NE(name, section_bytes.end());
    std::copy_n("other", 5, name);
    write_file(section, section_bytes);

    const struct {
        const char* name;
        std::function<bool()> edit;
    } edits[] = {
        {"rename", [&] { return session.rename(1, "renamed", name_kind::texture); }},
        {"rename mask", [&] { return session.rename(1, "mask2", name_kind::mask); }},
        {"replace", [&] { return session.replace(0, bmp.string(), false); }},
        {"move down", [&] { return session.move_down(0); }},
        {"move up", [&] { return session.move_up(2); }},
        {"delete", [&] { return session.remove(0); }},
        {"add", [&] { return session.import_file(section.string(), swizzle_mode::as_stored); }},
        {"set version", [&] { return session.set_version(0x1003FFFF); }},
    };
    for (const auto& e : edits) {
        const std::vector<uint8_t> before = bytes();
        ASSERT_TRUE(e.edit()) << e.name << ": " << session.last_error();
        const std::vector<uint8_t> after = bytes();
        EXPECT_NE(after, before) << e.name;
        ASSERT_TRUE(history->can_undo()) << e.name;
        ASSERT_TRUE(history->undo()) << e.name;
        EXPECT_EQ(bytes(), before) << e.name;
        ASSERT_TRUE(history->redo()) << e.name;
        EXPECT_EQ(bytes(), after) << e.name;
    }
    // All the way back reaches the opened file.
    const size_t steps = history->undo_steps();
    EXPECT_EQ(steps, std::size(edits));
    for (size_t i = 0; i < steps; ++i)
        ASSERT_TRUE(history->undo());
    EXPECT_FALSE(history->can_undo());
    EXPECT_EQ(bytes(), read_file(dir / "h.txd"));
    EXPECT_FALSE(session.modified());
}

TEST_F(history_fixture, a_refused_edit_leaves_no_step) {
    EXPECT_FALSE(session.move_up(0));
    EXPECT_FALSE(session.remove(99));
    EXPECT_FALSE(history->can_undo());
}

TEST_F(history_fixture, the_modified_flag_follows_the_saved_state) {
    ASSERT_TRUE(session.rename(0, "a", name_kind::texture));
    EXPECT_TRUE(session.modified());
    history->undo();
    EXPECT_FALSE(session.modified());
    history->redo();
    EXPECT_TRUE(session.modified());
    ASSERT_TRUE(session.save());
    history->mark_saved();
    EXPECT_FALSE(session.modified());
    history->undo();
    EXPECT_TRUE(session.modified());
    // A new edit here drops the saved state from the redo side: no way back to clean.
    ASSERT_TRUE(session.rename(0, "b", name_kind::texture));
    EXPECT_FALSE(history->can_redo());
    history->undo();
    EXPECT_TRUE(session.modified());
}

TEST_F(history_fixture, more_than_a_hundred_steps_are_kept) {
    const std::vector<uint8_t> opened = bytes();
    for (int i = 0; i < int(edit_history::k_max_steps) + 5; ++i)
        ASSERT_TRUE(session.rename(0, "n" + std::to_string(i), name_kind::texture));
    EXPECT_EQ(history->undo_steps(), edit_history::k_max_steps);
    while (history->undo()) {
    }
    // The oldest steps fell out: the name is the one after the fifth rename, and it is not the
    // saved state.
    EXPECT_EQ(session.dictionary()->texture_name(0, name_kind::texture), "n4");
    EXPECT_TRUE(session.modified());
    EXPECT_NE(bytes(), opened);
}

TEST_F(history_fixture, a_failed_open_keeps_the_dictionary_and_its_history) {
    ASSERT_TRUE(session.rename(0, "kept", name_kind::texture));
    const auto bad = write_file(dir / "bad.txd", {1, 2, 3, 4, 5});
    EXPECT_EQ(session.open(bad.string(), 0, k_all_platforms), open_status::unsupported);
    ASSERT_TRUE(session.is_open());
    EXPECT_EQ(session.dictionary()->texture_name(0, name_kind::texture), "kept");
    EXPECT_EQ(session.path(), (dir / "h.txd").string());
    EXPECT_TRUE(session.modified());
    EXPECT_TRUE(history->can_undo());
}

TEST(session_open, classes_left_out_of_the_priority_are_tried_before_giving_up) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session;
    ASSERT_EQ(session.open(sample("radar00.txd").string(), 0, "PS2,PC,iOS"), open_status::opened);
    EXPECT_STREQ(session.platform_name(), "XBOX");
    EXPECT_TRUE(session.opened_outside_priority());
    ASSERT_EQ(session.open(sample("flowerb.txd").string(), 0, "PS2,PC,iOS"), open_status::opened);
    EXPECT_FALSE(session.opened_outside_priority());
}

} // namespace

} // namespace quillmap
