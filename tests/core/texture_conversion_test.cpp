// The pop-up menu's conversions through the session: each is one edit that undo takes back to
// the exact bytes, the rebuilt textures carry the words the game's converter writes, and the two
// storage orders convert into each other without loss.
#include "dictionary/ps2_raster_check.h"
#include "session/edit_history.h"
#include "session/editor_session.h"
#include "session_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

struct conversion_fixture : ::testing::Test {
    std::filesystem::path dir = temp_dir();
    editor_session session;
    std::unique_ptr<edit_history> history;

    void open(const std::filesystem::path& path) {
        history.reset(); // the old history would unhook the new one from the session
        ASSERT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened);
        history = std::make_unique<edit_history>(session);
    }
    std::vector<uint8_t> bytes() { return saved_bytes(session, dir); }
    ps2_txd& txd() { return *session.dictionary(); }
    // Level 0 as the preview shows it, colour and alpha.
    std::vector<uint8_t> picture(uint32_t t) {
        device_bitmap image =
            txd().render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        return image ? image->bytes : std::vector<uint8_t>();
    }
    void expect_clean_lint() {
        for (const ps2_problem& p : lint_ps2_textures(txd()))
            ADD_FAILURE() << p.name << ": " << p.what << " found " << p.found << " expected "
                          << p.expected;
    }
};

struct conversion_case {
    texture_conversion conversion;
    uint32_t depth;    // afterwards
    bool swizzled;     // afterwards
    bool keeps_levels; // the old unswizzled layout holds one level
};

TEST_F(conversion_fixture, each_conversion_is_one_step_that_undoes_to_the_exact_bytes) {
    SKIP_WITHOUT_SAMPLES();
    const conversion_case cases[] = {
        {texture_conversion::unswizzle, 8, false, false},
        {texture_conversion::depth4, 4, true, true},
        {texture_conversion::depth32, 32, false, true},
    };
    // cspolic texture 1 is a 128x128 8-bit texture with five levels.
    open(sample("cspolic.txd"));
    const uint32_t t = 1;
    ASSERT_EQ(txd().depth(t), 8u);
    const uint32_t levels = txd().mip_count(t);
    const uint32_t flags = txd().texture_flags(t);
    const std::string name = txd().texture_name(t, name_kind::texture);
    ASSERT_GT(levels, 1u);
    const std::vector<uint8_t> original = bytes();
    for (const conversion_case& c : cases) {
        SCOPED_TRACE(int(c.conversion));
        ASSERT_TRUE(session.convert({t}, c.conversion)) << session.last_error();
        EXPECT_EQ(history->undo_steps(), 1u);
        EXPECT_EQ(history->undo_name(), "Conversion");
        EXPECT_EQ(txd().depth(t), c.depth);
        EXPECT_EQ(txd().is_swizzled(t), c.swizzled);
        EXPECT_EQ(txd().mip_count(t), c.keeps_levels ? levels : 1u);
        EXPECT_EQ(txd().texture_flags(t), flags);
        EXPECT_EQ(txd().texture_name(t, name_kind::texture), name);
        expect_clean_lint();
        const std::vector<uint8_t> converted = bytes();
        EXPECT_NE(converted, original);
        ASSERT_TRUE(history->undo());
        EXPECT_EQ(bytes(), original);
        EXPECT_FALSE(session.modified());
        ASSERT_TRUE(history->redo());
        EXPECT_EQ(bytes(), converted);
        ASSERT_TRUE(history->undo());
        history->clear();
    }
}

TEST_F(conversion_fixture, eight_to_four_to_eight_keeps_levels_and_game_words) {
    SKIP_WITHOUT_SAMPLES();
    open(sample("cspolic.txd"));
    const uint32_t levels = txd().mip_count(1);
    ASSERT_TRUE(session.convert({1}, texture_conversion::depth4));
    ASSERT_TRUE(session.convert({1}, texture_conversion::depth8));
    EXPECT_EQ(txd().depth(1), 8u);
    EXPECT_EQ(txd().mip_count(1), levels);
    EXPECT_TRUE(txd().is_swizzled(1));
    expect_clean_lint();
    // 4 to 8 bits keeps every colour, and back to 4 the 16 colours fit again: the picture
    // stays the same through both.
    ASSERT_TRUE(session.convert({1}, texture_conversion::depth4));
    const std::vector<uint8_t> four = picture(1);
    ASSERT_FALSE(four.empty());
    ASSERT_TRUE(session.convert({1}, texture_conversion::depth8));
    EXPECT_EQ(picture(1), four);
    ASSERT_TRUE(session.convert({1}, texture_conversion::depth4));
    EXPECT_EQ(picture(1), four);
}

TEST_F(conversion_fixture, swizzle_then_unswizzle_returns_the_same_bytes) {
    SKIP_WITHOUT_SAMPLES();
    // VEHICLE2 holds one 32x32 4-bit texture, flowerb 8-bit ones.
    for (const char* file : {"VEHICLE2.txd", "flowerb.txd"}) {
        SCOPED_TRACE(file);
        open(sample(file));
        const auto picture = txd().plain_level(0, 0, true);
        ASSERT_TRUE(session.convert({0}, texture_conversion::unswizzle));
        EXPECT_FALSE(txd().is_swizzled(0));
        EXPECT_FALSE(session.convert({0}, texture_conversion::unswizzle));
        expect_clean_lint();
        const std::vector<uint8_t> unswizzled = bytes();
        ASSERT_TRUE(session.convert({0}, texture_conversion::swizzle));
        EXPECT_TRUE(txd().is_swizzled(0));
        expect_clean_lint();
        EXPECT_EQ(txd().plain_level(0, 0, true), picture);
        ASSERT_TRUE(session.convert({0}, texture_conversion::unswizzle));
        EXPECT_EQ(bytes(), unswizzled);
        EXPECT_EQ(history->undo_steps(), 3u);
    }
}

TEST_F(conversion_fixture, what_does_not_apply_is_left_alone) {
    std::vector<test_chunk> textures;
    textures.push_back(make_ps2_texture({.name = "a", .depth = 8, .swizzled = true}));
    textures.push_back(make_ps2_texture({.name = "b", .depth = 32, .fill_seed = 3}));
    open(write_file(dir / "m.txd", make_dictionary(std::move(textures)).bytes()));
    // The 32-bit texture is skipped inside a selection, and alone it makes no step.
    ASSERT_TRUE(session.convert({0, 1}, texture_conversion::depth32));
    EXPECT_EQ(history->undo_steps(), 1u);
    ASSERT_TRUE(history->undo());
    for (auto c : {texture_conversion::depth32, texture_conversion::swizzle})
        EXPECT_FALSE(session.convert({1}, c));
    EXPECT_FALSE(session.last_error().empty());
    EXPECT_EQ(history->undo_steps(), 0u);
    EXPECT_FALSE(session.modified());
}

} // namespace

} // namespace quillmap
