// Archive tables written by hand as a hostile or broken tool would: empty entries named like
// dictionaries, a table of many rows over the same bytes, names that would leave a folder.
#include "test_files.h"

#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"
#include "batch/batch_sources.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmap {

namespace {
struct raw_row {
    uint32_t offset_sectors;
    uint16_t size_sectors;
    std::string name; // copied as is, up to 24 bytes
};

// A VER2 file with these rows and `data` from sector 1 on.
std::vector<uint8_t> raw_ver2(const std::vector<raw_row>& rows, const std::vector<uint8_t>& data,
                              size_t table_sectors = 1) {
    std::vector<uint8_t> out(table_sectors * 2048, 0);
    std::memcpy(out.data(), "VER2", 4);
    const auto count = u32_bytes({uint32_t(rows.size())});
    std::copy(count.begin(), count.end(), out.begin() + 4);
    for (size_t i = 0; i < rows.size(); ++i) {
        uint8_t* row = out.data() + 8 + 32 * i;
        const auto offset = u32_bytes({rows[i].offset_sectors});
        std::copy(offset.begin(), offset.end(), row);
        row[4] = uint8_t(rows[i].size_sectors);
        row[5] = uint8_t(rows[i].size_sectors >> 8);
        std::memcpy(row + 8, rows[i].name.data(), std::min<size_t>(rows[i].name.size(), 24));
    }
    out.insert(out.end(), data.begin(), data.end());
    out.resize((out.size() + 2047) / 2048 * 2048, 0);
    return out;
}

std::vector<uint8_t> one_texture_dictionary() {
    return make_dictionary({make_ps2_texture({.name = "t", .width = 8, .height = 8, .depth = 4})})
        .bytes();
}

TEST(ArchiveHostile, EntriesAreDescribedByWhatTheirOwnSectorsHold) {
    // A dictionary at sector 1; the rows around it claim it in several broken ways.
    const std::vector<raw_row> rows = {
        {1, 1, "real.txd"},
        {1, 0, "empty.txd"},   // no sectors: nothing, whatever follows its offset
        {1, 1, "again.txd"},   // the same sectors once more
        {900, 1, "gone.txd"},  // past the end of the file
        {2, 0, "nothing.col"}, // empty and no dictionary name
    };
    const auto path = write_temp("hostile.img", raw_ver2(rows, one_texture_dictionary()));
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
    const struct {
        const char* kind;
        uint32_t textures;
    } expected[] = {{"PS2", 1}, {"empty", 0}, {"shared", 0}, {"outside", 0}, {"empty", 0}};
    ASSERT_EQ(archive.entries.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(archive.entries[i].name);
        const entry_description what = describe_archive_entry(archive, archive.entries[i]);
        EXPECT_EQ(what.kind, expected[i].kind);
        EXPECT_EQ(what.textures, expected[i].textures);
    }
}

// 100,000 rows over the same sector: one dictionary is collected, the rest are reported in one
// line instead of being opened one by one.
TEST(ArchiveHostile, ATableOfManyRowsOverTheSameBytesIsCappedWithOneMessage) {
    const size_t count = 100000;
    const size_t table_sectors = (8 + 32 * count + 2047) / 2048;
    std::vector<raw_row> rows(count, raw_row{uint32_t(table_sectors), 1, "x.txd"});
    const auto path =
        write_temp("same.img", raw_ver2(rows, one_texture_dictionary(), table_sectors));
    const source_list list = collect_sources({path});
    ASSERT_EQ(list.sources.size(), 1u);
    ASSERT_EQ(list.failures.size(), 1u);
    EXPECT_EQ(list.failures[0].reason, std::to_string(count - 1) +
                                           " entries share their bytes with another entry and "
                                           "were skipped");
}

// Entries that each hold their own copy but share one name get output folders x, x_2, x_3 ...
// in table order; the names are planned in linear time (a hash of taken names).
TEST(ArchiveHostile, EntriesOfOneNameGetNumberedFoldersInTableOrder) {
    const auto dictionary = one_texture_dictionary();
    const size_t count = 5000;
    const size_t table_sectors = (8 + 32 * count + 2047) / 2048;
    std::vector<raw_row> rows;
    std::vector<uint8_t> data;
    for (size_t i = 0; i < count; ++i) {
        rows.push_back({uint32_t(table_sectors + i), 1, i == 2 ? "X_2.TXD" : "x.txd"});
        data.insert(data.end(), dictionary.begin(), dictionary.end());
        data.resize((i + 1) * 2048, 0);
    }
    const auto path = write_temp("names.img", raw_ver2(rows, data, table_sectors));
    const source_list list = collect_sources({path});
    ASSERT_EQ(list.sources.size(), count);
    EXPECT_EQ(list.sources[0].out_dir.filename(), "x");
    EXPECT_EQ(list.sources[1].out_dir.filename(), "x_2");
    EXPECT_EQ(list.sources[2].out_dir.filename(), "X_2_2"); // "x_2" is taken without case
    EXPECT_EQ(list.sources[3].out_dir.filename(), "x_3");
    EXPECT_EQ(list.sources[count - 1].out_dir.filename(), "x_" + std::to_string(count - 1));
    std::set<std::string> folders;
    for (const auto& source : list.sources)
        folders.insert(source.out_dir.string());
    EXPECT_EQ(folders.size(), count);
}
} // namespace

} // namespace quillmap
