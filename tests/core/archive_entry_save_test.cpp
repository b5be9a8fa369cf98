// Saving a dictionary back into the archive entry it was opened from: through the session, which
// reads the archive's table again and writes into free sectors before switching the entry's row.
#include "archive_builders.h"
#include "test_files.h"

#include "archive/archive_edit.h"
#include "archive/archive_extract.h"
#include "archive/game_archive.h"
#include "batch/archive_entry_save.h"
#include "session/edit_history.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
struct opened_entry {
    std::filesystem::path path;
    game_archive archive;
    std::vector<uint8_t> second_before;
};

// An archive of two small dictionaries; the first entry is the one edited.
opened_entry make_archive() {
    opened_entry out;
    out.path = write_temp(
        "edit.img",
        make_ver2_archive({
            {"first.txd", make_dictionary({make_ps2_texture({.name = "a", .depth = 4})}).bytes()},
            {"second.txd", make_dictionary({make_ps2_texture({.name = "b"})}).bytes()},
        }));
    std::string error;
    EXPECT_TRUE(open_game_archive(out.path, out.archive, error)) << error;
    EXPECT_TRUE(read_entry_bytes(out.archive, 1, out.second_before, error)) << error;
    return out;
}

// Opens the first entry in a session linked to it, as Open from Archive does.
void open_first(editor_session& session, const opened_entry& opened) {
    const archive_entry& entry = opened.archive.entries[0];
    ASSERT_EQ(session.open(opened.path.string(), uint32_t(entry.offset), k_all_platforms),
              open_status::opened);
    session.set_entry_link({opened.path.string(), entry.name, entry.offset, entry.size});
}

TEST(ArchiveEntrySave, AnEditThatFitsOrOutgrowsTheEntryIsSavedAndTheOtherEntryKeepsItsBytes) {
    const struct {
        const char* name;
        uint32_t big_textures; // 64x64 8-bit textures added: more than the entry's one sector
    } rows[] = {{"fits", 0}, {"grows", 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto opened = make_archive();
        editor_session session;
        edit_history history(session);
        open_first(session, opened);
        ASSERT_TRUE(session.rename(0, "a_longer_name", name_kind::texture));
        for (uint32_t i = 0; i < row.big_textures; ++i)
            ASSERT_TRUE(
                session.dictionary()->append_texture(session.dictionary()->build_texture_native(
                    "", nullptr, "big" + std::to_string(i), 64, 64, 8, nullptr, false)));
        const uint64_t size = written_size(*session.dictionary());
        ASSERT_TRUE(session.save()) << session.last_error();
        EXPECT_FALSE(session.modified());
        EXPECT_FALSE(history.can_redo());

        game_archive after;
        std::string error;
        ASSERT_TRUE(open_game_archive(opened.path, after, error)) << error;
        ASSERT_EQ(after.entries.size(), 2u);
        EXPECT_EQ(after.entries[0].size, (size + 2047) / 2048 * 2048);
        EXPECT_EQ(session.entry_link()->offset, after.entries[0].offset);
        EXPECT_EQ(session.entry_link()->size, after.entries[0].size);
        std::vector<uint8_t> second;
        ASSERT_TRUE(read_entry_bytes(after, 1, second, error)) << error;
        EXPECT_EQ(second, opened.second_before);
        ps2_txd again;
        ASSERT_TRUE(again.load(opened.path, uint32_t(after.entries[0].offset), 0x16, 0));
        EXPECT_EQ(again.texture_name(0, name_kind::texture), "a_longer_name");
        EXPECT_EQ(again.texture_count(), 1 + row.big_textures);
        // A second save goes where the link now points.
        ASSERT_TRUE(session.rename(0, "third", name_kind::texture));
        ASSERT_TRUE(session.save()) << session.last_error();
    }
}

// Another program changed the table after the entry was opened: the save is refused and the
// archive is left as that program made it.
TEST(ArchiveEntrySave, ATableChangedSinceTheEntryWasOpenedIsNoticed) {
    auto opened = make_archive();
    editor_session session;
    open_first(session, opened);
    ASSERT_TRUE(session.rename(0, "mine", name_kind::texture));
    std::string error;
    ASSERT_TRUE(rename_entry(opened.archive, 0, "other.txd", error)) << error;
    const auto before = read_file(opened.path);
    EXPECT_FALSE(session.save());
    EXPECT_NE(session.last_error().find("the entry table changed"), std::string::npos)
        << session.last_error();
    EXPECT_TRUE(session.modified());
    EXPECT_EQ(read_file(opened.path), before);
}
} // namespace

} // namespace quillmap
