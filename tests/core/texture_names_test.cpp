// Names as the game stores them: padded name strings, the 31-character limit, no two textures
// of one name (case ignored), and a rename to the same name that is no edit.
#include "run_cli.h"
#include "session_bytes.h"
#include "test_files.h"

#include "imageio/png_codec.h"
#include "session/edit_history.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
struct names_fixture : ::testing::Test {
    std::filesystem::path dir = temp_dir();
    std::filesystem::path path;
    editor_session session;
    std::unique_ptr<edit_history> history;

    void SetUp() override {
        std::vector<test_chunk> textures;
        textures.push_back(make_ps2_texture({.name = "wheel", .mask = "wheela"}));
        textures.push_back(make_ps2_texture({.name = "Body_Paint", .fill_seed = 3}));
        textures.push_back(make_ps2_texture({.name = "glass", .mask = "wheela", .fill_seed = 5}));
        path = write_file(dir / "n.txd", make_dictionary(std::move(textures)).bytes());
        ASSERT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened);
        history = std::make_unique<edit_history>(session);
    }
};
} // namespace

// Every length of name pads its string to a multiple of 4, so renaming there and back gives
// the file's own bytes.
TEST_F(names_fixture, rename_and_back_gives_the_original_bytes) {
    const auto original = read_file(path);
    for (const std::string name :
         {"a", "ab", "abc", "abcd", "abcde", "tyre_wall_15", "x123456789012345678901234567890"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(session.rename(0, name, name_kind::texture)) << session.last_error();
        const auto* chunk = session.dictionary()->texture_chunk(0)->child(1);
        EXPECT_EQ(chunk->size % 4, 0u);
        EXPECT_GT(chunk->size, name.size());
        EXPECT_EQ(session.dictionary()->texture_name(0, name_kind::texture), name);
        ASSERT_TRUE(session.rename(0, "wheel", name_kind::texture));
        EXPECT_EQ(saved_bytes(session, dir), original);
    }
}

TEST_F(names_fixture, refused_names_name_the_cause_and_change_nothing) {
    const auto original = saved_bytes(session, dir);
    const struct {
        uint32_t texture;
        std::string name;
        name_kind which;
        std::string message; // empty: accepted
    } cases[] = {
        {0, std::string(32, 'n'), name_kind::texture, "Texture names hold at most 31 characters."},
        {0, std::string(47, 'n'), name_kind::mask, "Texture names hold at most 31 characters."},
        {0, "body_paint", name_kind::texture,
         "Texture 2 is already named \"Body_Paint\"; names must differ in more than case."},
        {2, "WHEEL", name_kind::texture,
         "Texture 1 is already named \"wheel\"; names must differ in more than case."},
        {1, "BODY_PAINT", name_kind::texture, ""}, // its own name in other case
        {1, "wheela", name_kind::mask, ""},        // masks may repeat
        {0, std::string(31, 'n'), name_kind::texture, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool renamed = session.rename(c.texture, c.name, c.which);
        EXPECT_EQ(renamed, c.message.empty());
        if (!c.message.empty()) {
            EXPECT_EQ(session.last_error(), c.message);
            EXPECT_EQ(saved_bytes(session, dir), original);
        } else {
            EXPECT_EQ(session.dictionary()->texture_name(c.texture, c.which), c.name);
            history->undo();
        }
    }
}

TEST_F(names_fixture, renaming_to_the_same_name_is_no_edit) {
    for (const name_kind which : {name_kind::texture, name_kind::mask}) {
        const std::string current = session.dictionary()->texture_name(0, which);
        ASSERT_TRUE(session.rename(0, current, which));
        EXPECT_FALSE(session.modified());
        EXPECT_FALSE(history->can_undo());
    }
}

// A texture added under a name another one has (case ignored) is refused and leaves the
// dictionary as it was.
TEST_F(names_fixture, an_added_name_that_clashes_is_refused) {
    const auto original = saved_bytes(session, dir);
    rgba_image picture{16, 16, std::vector<uint8_t>(16 * 16 * 4, 200)};
    std::string error;
    const auto clash = write_file(dir / "GLASS.png", encode_png_rgba(picture, error));
    EXPECT_FALSE(session.import_file(clash.string(), swizzle_mode::as_stored));
    EXPECT_EQ(session.last_error(),
              "Texture 3 is already named \"glass\"; names must differ in more than case.");
    EXPECT_EQ(session.dictionary()->texture_count(), 3u);
    EXPECT_EQ(saved_bytes(session, dir), original);
    EXPECT_FALSE(history->can_undo());

    const auto fresh = write_file(dir / "mirror.png", encode_png_rgba(picture, error));
    EXPECT_TRUE(session.import_file(fresh.string(), swizzle_mode::as_stored));
    EXPECT_EQ(session.dictionary()->texture_count(), 4u);
}

TEST_F(names_fixture, the_command_line_refuses_long_and_clashing_names) {
    const auto out = dir / "out.txd";
    const struct {
        std::string name;
        std::string message;
    } cases[] = {
        {std::string(40, 'l'), "Texture names hold at most 31 characters."},
        {"Glass", "already named \"glass\""},
    };
    for (const auto& c : cases) {
        const auto result =
            run_cli({"rename", path.string(), "-t", "0", c.name, "-o", out.string()});
        EXPECT_EQ(result.exit_code, 1) << c.name;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

} // namespace quillmap
