// The undo history's memory: a step holds what its edit changed, not a copy of the dictionary;
// undo and redo share the steps' nodes; a byte budget drops the oldest steps.
#include "session/edit_history.h"
#include "session/editor_session.h"
#include "session_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillmap {

namespace {

// Four 32-bit 128x128 textures: 256 KB of raster data, 64 KB each.
constexpr size_t k_texture_bytes = 128 * 128 * 4;

struct UndoMemory : ::testing::Test {
    std::filesystem::path dir = temp_dir();
    std::filesystem::path file;
    editor_session session;
    std::unique_ptr<edit_history> history;

    void SetUp() override {
        std::vector<test_chunk> textures;
        for (int t = 0; t < 4; ++t)
            textures.push_back(make_ps2_texture({.name = "t" + std::to_string(t),
                                                 .width = 128,
                                                 .height = 128,
                                                 .depth = 32,
                                                 .fill_seed = uint8_t(t + 1)}));
        file = write_file(dir / "u.txd", make_dictionary(std::move(textures)).bytes());
        ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
        history = std::make_unique<edit_history>(session);
    }

    // A BMP of texture 0 with the blue of its first stored pixel changed by `flip` (a colour
    // byte: alpha is halved on the way in, so a flipped low alpha bit may not show).
    std::string changed_picture(uint8_t flip) {
        const auto bmp = dir / ("p" + std::to_string(flip) + ".bmp");
        EXPECT_TRUE(session.export_texture(0, view_mode::texture, export_type::bmp, &bmp,
                                           swizzle_mode::as_stored));
        auto picture = read_file(bmp);
        const uint32_t pixels = uint32_t(picture.at(10)) | uint32_t(picture.at(11)) << 8 |
                                uint32_t(picture.at(12)) << 16 | uint32_t(picture.at(13)) << 24;
        picture.at(pixels) ^= flip;
        write_file(bmp, picture);
        return bmp.string();
    }
};

TEST_F(UndoMemory, OneStepHoldsWhatItsEditChanged) {
    const std::string picture = changed_picture(0x10);
    // Nodes cost a few hundred bytes each; only a replace holds leaf bytes of its own.
    const struct {
        const char* name;
        std::function<bool()> edit;
        size_t at_most;
    } rows[] = {
        {"rename", [&] { return session.rename(1, "renamed", name_kind::texture); }, 8 << 10},
        {"move down", [&] { return session.move_down(0); }, 8 << 10},
        // The step keeps the deleted texture, which the live tree no longer holds.
        {"delete", [&] { return session.remove(2); }, k_texture_bytes + (8 << 10)},
        {"set version", [&] { return session.set_version(0x1003FFFF); }, 8 << 10},
        {"replace", [&] { return session.replace(0, picture, false); },
         k_texture_bytes + (8 << 10)},
    };
    for (const auto& row : rows) {
        history->clear();
        ASSERT_TRUE(row.edit()) << row.name << ": " << session.last_error();
        ASSERT_EQ(history->undo_steps(), 1u) << row.name;
        EXPECT_LE(history->held_bytes(), row.at_most) << row.name;
        EXPECT_GT(history->held_bytes(), 0u) << row.name;
    }
}

TEST_F(UndoMemory, ManyRenamesHoldLessThanTheDictionaryAndUndoExactly) {
    const std::vector<uint8_t> opened = saved_bytes(session, dir);
    for (int i = 0; i < 128; ++i)
        ASSERT_TRUE(session.rename(0, "name" + std::to_string(i), name_kind::texture));
    // A deep copy per step would hold 128 dictionaries; shared steps hold a fraction of one.
    const size_t dictionary_bytes = std::filesystem::file_size(file);
    EXPECT_LT(history->held_bytes(), dictionary_bytes / 2);
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(history->undo());
    EXPECT_LT(history->held_bytes(), dictionary_bytes / 2) << "undo and redo share the steps";
    EXPECT_EQ(session.dictionary()->texture_name(0, name_kind::texture), "name63");
    while (history->undo()) {
    }
    EXPECT_EQ(saved_bytes(session, dir), opened);
    EXPECT_FALSE(session.modified());
}

TEST_F(UndoMemory, AnEditAfterUndoLeavesTheRedoneStateAlone) {
    const std::string first = changed_picture(0x01);
    const std::string second = changed_picture(0x02);
    const std::vector<uint8_t> opened = saved_bytes(session, dir);
    ASSERT_TRUE(session.replace(0, first, false));
    const std::vector<uint8_t> after_first = saved_bytes(session, dir);
    ASSERT_TRUE(history->undo());
    ASSERT_TRUE(history->redo());
    // The raster now shares its bytes with the undo step; the next replace writes in place.
    ASSERT_TRUE(session.replace(0, second, false));
    ASSERT_NE(saved_bytes(session, dir), after_first);
    ASSERT_TRUE(history->undo());
    EXPECT_EQ(saved_bytes(session, dir), after_first);
    ASSERT_TRUE(history->undo());
    EXPECT_EQ(saved_bytes(session, dir), opened);
}

TEST_F(UndoMemory, TheByteBudgetDropsTheOldestSteps) {
    const std::string pictures[] = {changed_picture(0x01), changed_picture(0x02),
                                    changed_picture(0x04)};
    // Each replace step holds one texture's former raster.
    const struct {
        size_t budget;
        size_t steps_kept;
    } rows[] = {
        {0, 1},
        {k_texture_bytes / 2, 1},
        {k_texture_bytes * 3 / 2 + (16 << 10), 1},
        {k_texture_bytes * 2 + (16 << 10), 2},
        {edit_history::k_default_byte_budget, 3},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
        history->clear();
        history->set_byte_budget(row.budget);
        for (const auto& picture : pictures)
            ASSERT_TRUE(session.replace(0, picture, false)) << session.last_error();
        EXPECT_EQ(history->undo_steps(), row.steps_kept) << "budget " << row.budget;
        EXPECT_LE(history->held_bytes(), std::max(row.budget, k_texture_bytes + (16 << 10)))
            << "budget " << row.budget;
        // With steps dropped the opened file is out of reach: still modified at the oldest step.
        while (history->undo()) {
        }
        EXPECT_EQ(session.modified(), row.steps_kept < 3) << "budget " << row.budget;
    }
}

} // namespace

} // namespace quillmap
