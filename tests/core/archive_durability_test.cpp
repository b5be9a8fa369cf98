// Archive edits against what other programs, killed runs and cut-short files leave behind: an
// offset where no entry starts is never written, concurrent edits of different rows both land,
// rows past the end of a cut-short file keep their sectors, shared rows are extracted once, a
// killed compaction's leftovers are taken back, hard links are kept or refused with a reason,
// and archives past 4 GiB (sparse files) are read and edited.
#include "archive_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_extract.h"
#include "archive/archive_messages.h"
#include "archive/archive_table.h"
#include "dictionary/ps2_txd.h"
#include "session/editor_session.h"
#include "stream/safe_edit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;

std::vector<uint8_t> bytes_of(size_t size, uint8_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed * 31 + i * 3);
    return out;
}

std::vector<uint8_t> sectors(std::vector<uint8_t> bytes) {
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
    return bytes;
}

game_archive opened(const fs::path& path) {
    game_archive archive;
    std::string error;
    EXPECT_TRUE(open_game_archive(path, archive, error)) << error;
    return archive;
}

std::vector<uint8_t> dictionary(size_t textures) {
    std::vector<test_chunk> list;
    for (size_t i = 0; i < textures; ++i)
        list.push_back(make_ps2_texture(
            {.name = "t" + std::to_string(i), .width = 8, .height = 8, .depth = 4}));
    return make_dictionary(std::move(list)).bytes();
}

char* hex(uint64_t value, char (&out)[32]) {
    std::snprintf(out, sizeof out, "%llx", static_cast<unsigned long long>(value));
    return out;
}

// An offset where no entry starts (the old place of an entry that grew and moved, the middle of
// an entry) is refused by every in-place edit and by the session's open, and nothing is
// written; the offset where the entry starts now is saved through the archive.
TEST(ArchiveDurability, AnOffsetWhereNoEntryStartsIsNeverWritten) {
    const auto dir = temp_dir();
    const auto path = write_file(
        dir / "x.img",
        make_ver2_archive({{"one.txd", dictionary(1)}, {"next.dff", bytes_of(3000, 5)}}));
    game_archive archive = opened(path);
    const uint64_t stale = archive.entries[0].offset;
    std::string error;
    // The entry grows and moves; its old copy stays in the hole it left.
    ASSERT_TRUE(replace_entry(archive, 0, sectors(dictionary(40)), error)) << error;
    ASSERT_NE(archive.entries[0].offset, stale);
    const uint64_t live = archive.entries[0].offset;
    char text[32];
    const struct {
        const char* name;
        uint64_t offset;
        bool written;
    } rows[] = {
        {"where the entry was", stale, false},
        {"inside the entry", live + 2048, false},
        {"inside the table", 8, false},
        {"where the entry starts", live, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto before = read_file(path);
        const auto result = run_cli({"rename", path.string(), "--offset", hex(row.offset, text),
                                     "-t", "0", "renamed", "--in-place"});
        if (!row.written) {
            EXPECT_NE(result.exit_code, 0);
            EXPECT_NE(result.err.find("none of its entries starts at offset"), std::string::npos)
                << result.err;
            EXPECT_EQ(read_file(path), before);
            editor_session session;
            EXPECT_NE(session.open(path.string(), uint32_t(row.offset), k_all_platforms),
                      open_status::opened);
            EXPECT_NE(session.open_reason().find("none of its entries starts"), std::string::npos);
            continue;
        }
        ASSERT_EQ(result.exit_code, 0) << result.err;
        const game_archive after = opened(path);
        ASSERT_EQ(after.entries.size(), 2u);
        ps2_txd txd;
        ASSERT_TRUE(txd.load(path, uint32_t(after.entries[0].offset), 0x16, 0)) << txd.last_error;
        EXPECT_EQ(txd.texture_count(), 40u);
        const auto now = read_file(path);
        const auto next = now.begin() + ptrdiff_t(after.entries[1].offset);
        EXPECT_EQ(std::vector<uint8_t>(next, next + 2048 * 2), sectors(bytes_of(3000, 5)));
    }
    // A session opened on the live entry is linked to it; one whose entry moved since is refused
    // at the save, by the archive.
    editor_session session;
    const uint64_t now = opened(path).entries[0].offset;
    ASSERT_EQ(session.open(path.string(), uint32_t(now), k_all_platforms), open_status::opened)
        << session.open_reason();
    ASSERT_TRUE(session.entry_link());
    game_archive mover = opened(path);
    ASSERT_TRUE(replace_entry(mover, 0, sectors(dictionary(80)), error)) << error;
    const auto before = read_file(path);
    EXPECT_FALSE(session.save());
    EXPECT_EQ(session.last_error(), path.string() + ": " + archive_msg::table_changed);
    EXPECT_EQ(read_file(path), before);
}

// Two programs edit different rows of one archive: the second reads the table again under the
// lock and saves; an edit of a row that the first changed is still refused.
TEST(ArchiveDurability, ConcurrentEditsOfDifferentRowsBothLand) {
    const std::vector<archive_file> files = {
        {"a.txd", bytes_of(100, 1)}, {"b.dff", bytes_of(5000, 2)}, {"c.col", bytes_of(2048, 3)}};
    using edit = std::function<bool(game_archive&, std::string&)>;
    const struct {
        const char* name;
        edit first, second;
        bool second_saves;
        std::vector<std::string> names; // afterwards
    } rows[] = {
        {"rename, then replace another",
         [](auto& a, auto& e) { return rename_entry(a, 0, "x.txd", e); },
         [](auto& a, auto& e) { return replace_entry(a, 1, bytes_of(9000, 7), e); },
         true,
         {"x.txd", "b.dff", "c.col"}},
        {"replace, then rename another",
         [](auto& a, auto& e) { return replace_entry(a, 2, bytes_of(9000, 7), e); },
         [](auto& a, auto& e) { return rename_entry(a, 0, "y.txd", e); },
         true,
         {"y.txd", "b.dff", "c.col"}},
        {"add, then delete another",
         [](auto& a, auto& e) { return add_entry(a, "d.ifp", bytes_of(10, 4), e); },
         [](auto& a, auto& e) { return delete_entries(a, {1}, e); },
         true,
         {"a.txd", "c.col", "d.ifp"}},
        {"add, then add the same name",
         [](auto& a, auto& e) { return add_entry(a, "d.ifp", bytes_of(10, 4), e); },
         [](auto& a, auto& e) { return add_entry(a, "D.IFP", bytes_of(10, 4), e); },
         false,
         {"a.txd", "b.dff", "c.col", "d.ifp"}},
        {"rename, then replace the same",
         [](auto& a, auto& e) { return rename_entry(a, 1, "z.dff", e); },
         [](auto& a, auto& e) { return replace_entry(a, 1, bytes_of(9000, 7), e); },
         false,
         {"a.txd", "z.dff", "c.col"}},
        {"delete, then rename one that moved",
         [](auto& a, auto& e) { return delete_entries(a, {0}, e); },
         [](auto& a, auto& e) { return rename_entry(a, 2, "w.col", e); },
         false,
         {"b.dff", "c.col"}},
    };
    for (const bool ver2 : {true, false})
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(ver2 ? "VER2: " : "pair: ") + row.name);
            const auto dir = temp_dir();
            fs::path path;
            if (ver2) {
                path = write_file(dir / "a.img", make_ver2_archive(files));
            } else {
                const auto pair = make_dir_img_archive(files);
                write_file(dir / "a.img", pair.img);
                path = write_file(dir / "a.dir", pair.dir);
            }
            game_archive one = opened(path), two = opened(path);
            std::string error;
            ASSERT_TRUE(row.first(one, error)) << error;
            EXPECT_EQ(row.second(two, error), row.second_saves) << error;
            if (!row.second_saves) {
                EXPECT_TRUE(error.find(archive_msg::table_changed) != std::string::npos ||
                            error.find(archive_msg::name_taken) != std::string::npos)
                    << error;
            }
            const game_archive after = opened(path);
            std::vector<std::string> names;
            for (const auto& entry : after.entries) {
                names.push_back(entry.name);
                EXPECT_FALSE(entry.overlaps) << entry.name;
            }
            EXPECT_EQ(names, row.names);
        }
}

// A cut-short .img: the last rows lie past its end. An added entry goes after every row's
// sectors, never into sectors such a row still names.
TEST(ArchiveDurability, AnAddToACutShortArchiveLeavesEveryRowItsSectors) {
    for (const bool ver2 : {true, false}) {
        SCOPED_TRACE(ver2 ? "VER2" : "pair");
        const std::vector<archive_file> files = {{"a.txd", bytes_of(100, 1)},
                                                 {"b.dff", bytes_of(5000, 2)},
                                                 {"c.col", bytes_of(9000, 3)}};
        const auto dir = temp_dir();
        fs::path path, img = dir / "a.img";
        if (ver2) {
            path = write_file(img, make_ver2_archive(files));
        } else {
            const auto pair = make_dir_img_archive(files);
            write_file(img, pair.img);
            path = write_file(dir / "a.dir", pair.dir);
        }
        fs::resize_file(img, fs::file_size(img) - 3 * 2048); // cuts c.col short
        game_archive archive = opened(path);
        ASSERT_FALSE(archive.entries[2].inside);
        const uint64_t c_end = archive.entries[2].offset + archive.entries[2].size;
        std::string error;
        ASSERT_TRUE(add_entry(archive, "new.txd", bytes_of(3000, 4), error)) << error;
        const game_archive after = opened(path);
        ASSERT_EQ(after.entries.size(), 4u);
        EXPECT_GE(after.entries[3].offset, c_end);
        for (const auto& entry : after.entries)
            EXPECT_FALSE(entry.overlaps) << entry.name;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(read_entry_bytes(after, 3, bytes, error)) << error;
        EXPECT_EQ(bytes, sectors(bytes_of(3000, 4)));
    }
}

// Rows naming the same sectors: extracting everything writes those bytes once and says how
// many rows were skipped; a shared row named on its own is written.
TEST(ArchiveDurability, SharedRowsAreExtractedOnce) {
    std::vector<uint8_t> img = make_ver2_archive({{"base.txd", bytes_of(3000, 1)}});
    const size_t rows = 2000;
    const size_t table = (8 + 32 * rows + 2047) / 2048 * 2048;
    // The same two sectors, named by every row, after a table of `rows` rows.
    std::vector<uint8_t> out(table, 0);
    std::memcpy(out.data(), "VER2", 4);
    out[4] = uint8_t(rows);
    out[5] = uint8_t(rows >> 8);
    for (size_t i = 0; i < rows; ++i) {
        uint8_t* row = out.data() + 8 + 32 * i;
        const uint32_t sector = uint32_t(table / 2048);
        std::memcpy(row, &sector, 4);
        row[4] = 2;
        std::snprintf(reinterpret_cast<char*>(row + 8), 24, "row%zu.txd", i);
    }
    const auto payload = sectors(bytes_of(3000, 1));
    out.insert(out.end(), payload.begin(), payload.end());
    const auto dir = temp_dir();
    const auto path = write_file(dir / "shared.img", out);
    const game_archive archive = opened(path);
    std::vector<extracted_entry> done;
    std::string error;
    size_t skipped = 0;
    ASSERT_TRUE(extract_entries(archive, {}, dir / "all", {}, done, error, &skipped)) << error;
    EXPECT_EQ(done.size(), 1u);
    EXPECT_EQ(skipped, rows - 1);
    EXPECT_EQ(read_file(dir / "all" / "row0.txd"), payload);
    ASSERT_TRUE(extract_entries(archive, {7}, dir / "one", {}, done, error, &skipped)) << error;
    EXPECT_EQ(read_file(dir / "one" / "row7.txd"), payload);
    EXPECT_EQ(skipped, 0u);

    const auto result =
        run_cli({"archive", "extract", path.string(), "-o", (dir / "cli").string()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("1999 entries share their bytes with another entry and were skipped"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "cli"), fs::directory_iterator()), 1);
}

// A compaction killed after copying the entries to the end leaves the .img grown; the next edit
// takes those sectors back, and repeated killed compactions do not add up.
TEST(ArchiveDurability, AKilledCompactionsLeftoversAreTakenBack) {
    std::vector<archive_file> files;
    for (int i = 0; i < 6; ++i)
        files.push_back({"e" + std::to_string(i), bytes_of(3000 + 500 * size_t(i), uint8_t(i))});
    const auto pair = make_dir_img_archive(files);
    const auto dir = temp_dir();
    write_file(dir / "a.img", pair.img);
    const auto path = write_file(dir / "a.dir", pair.dir);
    const uint64_t packed = pair.img.size();
    {
        game_archive archive = opened(path);
        std::string error;
        ASSERT_TRUE(delete_entries(archive, {1}, error)) << error; // a hole to compact
    }
    const auto expected = [&] {
        std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
        for (size_t i = 0; i < files.size(); ++i)
            if (i != 1) out.emplace_back(files[i].name, sectors(files[i].bytes));
        return out;
    }();
    const auto contents = [&] {
        const game_archive archive = opened(path);
        std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
        std::string error;
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(read_entry_bytes(archive, i, bytes, error)) << error;
            out.emplace_back(archive.entries[i].name, bytes);
        }
        return out;
    };
    // Killed three times just before the .dir of the copies at the end is written (the rename).
    for (int kill = 0; kill < 3; ++kill) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            safe_file::set_io_hook([](safe_file::io_step step, uint64_t) {
                if (step == safe_file::io_step::rename) ::_exit(137);
                return safe_file::hook_action::proceed;
            });
            game_archive archive;
            std::string error;
            if (!open_game_archive(path, archive, error)) ::_exit(2);
            compact_archive(archive, {}, {}, error);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 137);
        EXPECT_EQ(contents(), expected);
        // One leftover copy at most: the killed run reused the last one's sectors.
        EXPECT_LE(fs::file_size(dir / "a.img"), 2 * packed);
    }
    game_archive archive = opened(path);
    std::string error;
    ASSERT_TRUE(rename_entry(archive, 0, "renamed", error)) << error;
    EXPECT_EQ(fs::file_size(dir / "a.img"), packed); // the hole of e1 stays; the copies went
    ASSERT_TRUE(compact_archive(archive, {}, {}, error)) << error;
    EXPECT_EQ(fs::file_size(dir / "a.img"), packed - sectors(files[1].bytes).size());
}

// Compaction keeps hard links where it edits in place (a pair: the .img inside itself, the .dir
// through its own inode) and refuses, saying why, where it would replace the file (VER2).
TEST(ArchiveDurability, CompactionKeepsHardLinksOrSaysWhyItCannot) {
    const std::vector<archive_file> files = {
        {"a.txd", bytes_of(100, 1)}, {"b.dff", bytes_of(5000, 2)}, {"c.col", bytes_of(2048, 3)}};
    for (const bool ver2 : {true, false}) {
        SCOPED_TRACE(ver2 ? "VER2" : "pair");
        const auto dir = temp_dir();
        fs::path path;
        if (ver2) {
            path = write_file(dir / "a.img", make_ver2_archive(files));
        } else {
            const auto pair = make_dir_img_archive(files);
            write_file(dir / "a.img", pair.img);
            path = write_file(dir / "a.dir", pair.dir);
            fs::create_hard_link(path, dir / "linked.dir");
        }
        fs::create_hard_link(dir / "a.img", dir / "linked.img");
        game_archive archive = opened(path);
        std::string error;
        ASSERT_TRUE(delete_entries(archive, {0}, error)) << error;
        const auto before = read_file(dir / "a.img");
        const bool compacted = compact_archive(archive, {}, {}, error);
        EXPECT_EQ(compacted, !ver2) << error;
        if (ver2) {
            EXPECT_EQ(error, (dir / "a.img").string() + ": " + archive_msg::hard_linked);
            EXPECT_EQ(read_file(dir / "a.img"), before);
        }
        EXPECT_TRUE(safe_file::same_file(dir / "a.img", dir / "linked.img"));
        if (!ver2) {
            EXPECT_TRUE(safe_file::same_file(path, dir / "linked.dir"));
        }
        EXPECT_EQ(read_file(dir / "linked.img"), read_file(dir / "a.img"));
    }
}

// A sparse VER2 archive past 4 GiB: an entry beyond it lists, reads, extracts and is replaced;
// offsets stay 64-bit all the way. The file holds only a few sectors on disk.
TEST(ArchiveDurability, ASparseArchivePastFourGibIsReadAndEdited) {
    const auto dir = temp_dir();
    const auto path = dir / "big.img";
    const uint64_t far_sector = (uint64_t(5) << 30) / 2048; // 5 GiB
    std::vector<uint8_t> head(2048, 0);
    std::memcpy(head.data(), "VER2", 4);
    head[4] = 2;
    const auto put_row = [&](size_t i, uint32_t sector, uint16_t count, const char* name) {
        uint8_t* row = head.data() + 8 + 32 * i;
        std::memcpy(row, &sector, 4);
        std::memcpy(row + 4, &count, 2);
        std::memcpy(row + 8, name, std::strlen(name));
    };
    put_row(0, 1, 1, "near.dff");
    put_row(1, uint32_t(far_sector), 2, "far.txd");
    const auto far_bytes = sectors(bytes_of(4000, 9));
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const auto near = sectors(bytes_of(100, 1));
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), ssize_t(head.size()));
        ASSERT_EQ(::pwrite(fd, near.data(), near.size(), 2048), ssize_t(near.size()));
        ASSERT_EQ(::pwrite(fd, far_bytes.data(), far_bytes.size(), off_t(far_sector * 2048)),
                  ssize_t(far_bytes.size()));
        ::close(fd);
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    if (uint64_t(info.st_blocks) * 512 > (uint64_t(64) << 20))
        GTEST_SKIP() << "the file system here does not keep files sparse";
    game_archive archive = opened(path);
    ASSERT_EQ(archive.entries.size(), 2u);
    EXPECT_TRUE(archive.entries[1].inside);
    EXPECT_EQ(archive.entries[1].offset, far_sector * 2048);
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(read_entry_bytes(archive, 1, bytes, error)) << error;
    EXPECT_EQ(bytes, far_bytes);
    const auto listed = run_cli({"archive", "list", path.string()});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_NE(listed.out.find(std::to_string(far_sector * 2048)), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("outside"), std::string::npos) << listed.out;
    // Its row is rewritten with the same far offset.
    ASSERT_TRUE(rename_entry(archive, 1, "far_renamed.txd", error)) << error;
    EXPECT_EQ(opened(path).entries[1].offset, far_sector * 2048);
    std::vector<extracted_entry> done;
    ASSERT_TRUE(extract_entries(opened(path), {1}, dir / "out", {}, done, error)) << error;
    EXPECT_EQ(read_file(dir / "out" / "far_renamed.txd"), far_bytes);

    // A pair whose first entry fills the first 5 GiB: an added entry is written past them.
    const auto pair_img = dir / "pair.img";
    {
        std::vector<uint8_t> table(64, 0);
        const auto put = [&](size_t i, uint32_t sector, uint32_t count, const char* name) {
            std::memcpy(table.data() + 32 * i, &sector, 4);
            std::memcpy(table.data() + 32 * i + 4, &count, 4);
            std::memcpy(table.data() + 32 * i + 8, name, std::strlen(name));
        };
        put(0, 0, uint32_t(far_sector), "huge.bin");
        put(1, uint32_t(far_sector), 2, "far.txd");
        write_file(dir / "pair.dir", table);
        const int fd = ::open(pair_img.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, far_bytes.data(), far_bytes.size(), off_t(far_sector * 2048)),
                  ssize_t(far_bytes.size()));
        ::close(fd);
    }
    game_archive pair = opened(dir / "pair.dir");
    const auto added = bytes_of(9000, 4);
    ASSERT_TRUE(add_entry(pair, "added.txd", added, error)) << error;
    EXPECT_EQ(pair.entries[2].offset, (far_sector + 2) * 2048);
    ASSERT_TRUE(read_entry_bytes(opened(dir / "pair.dir"), 2, bytes, error)) << error;
    EXPECT_EQ(bytes, sectors(added));
    ASSERT_TRUE(read_entry_bytes(opened(dir / "pair.dir"), 1, bytes, error)) << error;
    EXPECT_EQ(bytes, far_bytes);
}
} // namespace

} // namespace quillmap
