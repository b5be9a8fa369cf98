#include "archive_builders.h"
#include "test_files.h"

#include "archive/archive_messages.h"
#include "archive/game_archive.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmap {

namespace {
const std::vector<archive_file> k_files = {
    {"first.txd", std::vector<uint8_t>(100, 0x11)},
    {"a_name_of_twenty_four_ch", std::vector<uint8_t>(2049, 0x22)}, // fills the name field
    {"empty.col", {}},
};

void expect_entries_hold_files(const game_archive& archive) {
    ASSERT_EQ(archive.entries.size(), k_files.size());
    const auto data = read_file(archive.data_path);
    for (size_t i = 0; i < k_files.size(); ++i) {
        const auto& entry = archive.entries[i];
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(entry.name, k_files[i].name);
        EXPECT_TRUE(entry.inside);
        EXPECT_EQ(entry.offset % 2048, 0u);
        EXPECT_EQ(entry.size, (k_files[i].bytes.size() + 2047) / 2048 * 2048);
        ASSERT_LE(entry.offset + k_files[i].bytes.size(), data.size());
        EXPECT_TRUE(std::equal(k_files[i].bytes.begin(), k_files[i].bytes.end(),
                               data.begin() + long(entry.offset)));
    }
}

TEST(GameArchive, Ver2EntriesPointAtTheirBytes) {
    const auto path = write_temp("models.img", make_ver2_archive(k_files));
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
    EXPECT_EQ(archive.kind, archive_kind::ver2);
    EXPECT_TRUE(is_game_archive(path));
    expect_entries_hold_files(archive);
}

TEST(GameArchive, DirImgPairOpensFromEitherHalfWhateverTheExtensionCase) {
    const auto pair = make_dir_img_archive(k_files);
    const auto dir = temp_dir();
    write_file(dir / "gta3.dir", pair.dir);
    write_file(dir / "gta3.IMG", pair.img);
    write_file(dir / "other.img", pair.img); // same bytes, other stem: not the pair
    for (const char* name : {"gta3.dir", "gta3.IMG"}) {
        SCOPED_TRACE(name);
        game_archive archive;
        std::string error;
        ASSERT_TRUE(open_game_archive(dir / name, archive, error)) << error;
        EXPECT_EQ(archive.kind, archive_kind::dir_img);
        EXPECT_EQ(archive.index_path, dir / "gta3.dir");
        EXPECT_EQ(archive.data_path, dir / "gta3.IMG");
        expect_entries_hold_files(archive);
    }
    EXPECT_FALSE(is_game_archive(dir / "other.img"));
}

TEST(GameArchive, RefusalsNameTheFileAndTheCause) {
    const auto dir = temp_dir();
    game_archive archive;
    std::string error;
    write_file(dir / "lonely.dir", std::vector<uint8_t>(32, 0));
    EXPECT_FALSE(open_game_archive(dir / "lonely.dir", archive, error));
    EXPECT_EQ(error, (dir / "lonely.dir").string() + ": " + archive_msg::no_img);
    write_file(dir / "plain.img", std::vector<uint8_t>(64, 0));
    EXPECT_FALSE(open_game_archive(dir / "plain.img", archive, error));
    EXPECT_EQ(error, (dir / "plain.img").string() + ": " + archive_msg::not_archive);
    EXPECT_FALSE(open_game_archive(dir / "missing.img", archive, error));
    EXPECT_EQ(error, (dir / "missing.img").string() + ": " + archive_msg::cant_open);
}

std::vector<uint8_t> ver2_header(uint32_t count) {
    std::vector<uint8_t> out = {'V', 'E', 'R', '2'};
    const auto words = u32_bytes({count});
    out.insert(out.end(), words.begin(), words.end());
    return out;
}

struct table_case {
    const char* name;
    bool ver2;
    std::vector<uint8_t> bytes;
    const char* error; // none: accepted
};

TEST(GameArchive, DamagedTablesAreRefusedWithTheirMessage) {
    auto cut = ver2_header(2);
    cut.resize(8 + 32 + 31, 0);
    const table_case cases[] = {
        {"no magic", true, {'V', 'E', 'R', '1', 0, 0, 0, 0}, archive_msg::not_archive},
        {"header cut", true, {'V', 'E', 'R', '2', 0}, archive_msg::not_archive},
        {"count beyond the cap", true, ver2_header(k_archive_max_entries + 1),
         archive_msg::too_many_entries},
        {"count of all ones", true, ver2_header(0xFFFFFFFF), archive_msg::too_many_entries},
        {"table cut short", true, cut,
         "the entry table runs past the end of the file (archive entry table at offset 8 needs "
         "64 bytes, only 63 remain)"},
        {"empty VER2", true, ver2_header(0), nullptr},
        {"dir of 33 bytes", false, std::vector<uint8_t>(33, 0), archive_msg::dir_length},
        {"empty dir", false, {}, nullptr},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<archive_entry> entries;
        std::string error;
        const bool ok = row.ver2 ? parse_ver2_table(row.bytes, 1 << 20, entries, error)
                                 : parse_dir_table(row.bytes, 1 << 20, entries, error);
        if (row.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, row.error);
        } else {
            EXPECT_TRUE(ok) << error;
        }
    }
}

TEST(GameArchive, EntriesPastTheImgAreListedButMarkedOutside) {
    std::vector<uint8_t> dir(64, 0);
    const auto rows = u32_bytes({1, 1, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF});
    std::memcpy(dir.data(), rows.data(), 8);           // sector 1, one sector: ends at 4096
    std::memcpy(dir.data() + 32, rows.data() + 32, 8); // far beyond, without overflow
    std::vector<archive_entry> entries;
    std::string error;
    ASSERT_TRUE(parse_dir_table(dir, 4096, entries, error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].inside);
    EXPECT_FALSE(entries[1].inside);
    ASSERT_TRUE(parse_dir_table(dir, 4095, entries, error));
    EXPECT_FALSE(entries[0].inside);
}
} // namespace

} // namespace quillmap
