#include "archive_builders.h"
#include "test_files.h"

#include "archive/game_archive.h"
#include "batch/archive_entry_save.h"

#include <gtest/gtest.h>

namespace {
struct opened_entry {
    std::filesystem::path path;
    archive_entry entry;
    std::vector<uint8_t> before;
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
    game_archive archive;
    std::string error;
    EXPECT_TRUE(open_game_archive(out.path, archive, error)) << error;
    out.entry = archive.entries.at(0);
    out.before = read_file(out.path);
    return out;
}

// Every byte before and after the entry is as it was.
void expect_outside_unchanged(const opened_entry& opened) {
    const auto after = read_file(opened.path);
    ASSERT_EQ(after.size(), opened.before.size());
    const auto begin = long(opened.entry.offset),
               end = long(opened.entry.offset + opened.entry.size);
    EXPECT_TRUE(std::equal(opened.before.begin(), opened.before.begin() + begin, after.begin()));
    EXPECT_TRUE(std::equal(opened.before.begin() + end, opened.before.end(), after.begin() + end));
}

TEST(ArchiveEntrySave, AnEditThatFitsIsWrittenInsideTheEntryOnly) {
    auto opened = make_archive();
    ps2_txd txd;
    ASSERT_TRUE(txd.load(opened.path, uint32_t(opened.entry.offset), 0x16, 0)) << txd.last_error;
    ASSERT_TRUE(txd.rename_texture(0, "a_longer_name", name_kind::texture)) << txd.last_error;
    std::string error;
    ASSERT_TRUE(
        save_into_archive_entry(txd, opened.path, opened.entry.offset, opened.entry.size, error))
        << error;
    expect_outside_unchanged(opened);
    EXPECT_NE(read_file(opened.path), opened.before);
    ps2_txd again;
    ASSERT_TRUE(again.load(opened.path, uint32_t(opened.entry.offset), 0x16, 0));
    EXPECT_EQ(again.texture_name(0, name_kind::texture), "a_longer_name");
}

TEST(ArchiveEntrySave, AnEditThatOutgrowsTheEntryIsRefusedAndNothingIsWritten) {
    auto opened = make_archive();
    ps2_txd txd;
    ASSERT_TRUE(txd.load(opened.path, uint32_t(opened.entry.offset), 0x16, 0)) << txd.last_error;
    ASSERT_TRUE(txd.append_texture(
        txd.build_texture_native("", nullptr, "big", 64, 64, 8, nullptr, false)));
    ASSERT_GT(written_size(txd), opened.entry.size);
    std::string error;
    EXPECT_FALSE(
        save_into_archive_entry(txd, opened.path, opened.entry.offset, opened.entry.size, error));
    EXPECT_NE(error.find("archive entry holds 2048"), std::string::npos) << error;
    EXPECT_EQ(read_file(opened.path), opened.before);
}
} // namespace
