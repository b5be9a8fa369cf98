// Archive edits on archives built in the tests (with real dictionaries when the samples are
// there): every edit leaves the untouched entries byte for byte, and an edit stopped or failed
// at any write or flush leaves an archive that opens and holds either the old or the new
// entries.
#include "archive_builders.h"
#include "test_files.h"

#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_extract.h"
#include "archive/archive_messages.h"
#include "archive/archive_table.h"
#include "stream/safe_edit.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed + i * 7 + (i >> 9));
    return out;
}

// What an archive holds as its user sees it: names in table order and each entry's bytes (the
// file's bytes, padded to whole sectors).
using contents = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

std::vector<uint8_t> padded(std::vector<uint8_t> bytes) {
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
    return bytes;
}

contents contents_of(const std::vector<archive_file>& files) {
    contents out;
    for (const auto& file : files)
        out.emplace_back(file.name, padded(file.bytes));
    return out;
}

// None when the archive does not open or an entry cannot be read: a damaged archive.
std::optional<contents> read_contents(const fs::path& path) {
    game_archive archive;
    std::string error;
    if (!open_game_archive(path, archive, error)) return std::nullopt;
    contents out;
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        std::vector<uint8_t> bytes;
        if (!read_entry_bytes(archive, i, bytes, error)) return std::nullopt;
        out.emplace_back(archive.entries[i].name, std::move(bytes));
    }
    return out;
}

// The files the tests' archives hold: small and multi-sector entries, an empty one, and two real
// dictionaries when the samples are present.
std::vector<archive_file> base_files(size_t extra = 0) {
    std::vector<archive_file> files = {
        {"first.txd", pattern(100, 1)},
        {"second.dff", pattern(5000, 2)},
        {"empty.col", {}},
        {"fourth.txd", pattern(2048, 4)},
    };
    if (samples_available()) {
        files.push_back({"flowerb.txd", read_file(sample("flowerb.txd"))});
        files.push_back({"VEHICLE2.txd", read_file(sample("VEHICLE2.txd"))});
    }
    for (size_t i = 0; i < extra; ++i)
        files.push_back({"filler" + std::to_string(i) + ".ifp", pattern(10 + i, uint8_t(i))});
    return files;
}

// A fresh folder in memory when the system has one: the edits flush after every step, and the
// crash test makes hundreds of them.
fs::path fast_dir() {
    static int made = 0;
    std::error_code ec;
    if (!fs::is_directory("/dev/shm", ec)) return temp_dir();
    const auto dir = fs::path("/dev/shm") / ("quillmap-archive-test-" + std::to_string(::getpid()) +
                                             "-" + std::to_string(++made));
    fs::create_directories(dir, ec);
    return dir;
}

// Removes the in-memory folders when the tests end.
struct fast_dir_cleanup {
    ~fast_dir_cleanup() {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator("/dev/shm", ec))
            if (item.path().filename().string().starts_with("quillmap-archive-test-" +
                                                            std::to_string(::getpid()) + "-"))
                fs::remove_all(item.path(), ec);
    }
} g_fast_dir_cleanup;

// An archive of `kind` in a fresh folder; returns the path edits open (.img or .dir).
fs::path write_archive(archive_kind kind, const std::vector<archive_file>& files) {
    const auto dir = fast_dir();
    if (kind == archive_kind::ver2) return write_file(dir / "test.img", make_ver2_archive(files));
    const auto pair = make_dir_img_archive(files);
    write_file(dir / "test.img", pair.img);
    return write_file(dir / "test.dir", pair.dir);
}

struct edit_case {
    const char* name;
    size_t extra_entries; // fillers, so a VER2 table needs one more sector on add
    std::function<bool(game_archive&, std::string&)> run;
    // The contents afterwards, from the contents before.
    std::function<contents(contents)> expected;
};

const std::vector<uint8_t> k_grown = pattern(7000, 9);
const std::vector<uint8_t> k_small = pattern(30, 8);

std::vector<edit_case> edit_cases() {
    return {
        {"grow", 0, [](game_archive& a, std::string& e) { return replace_entry(a, 0, k_grown, e); },
         [](contents c) {
             c[0].second = padded(k_grown);
             return c;
         }},
        {"shrink", 0,
         [](game_archive& a, std::string& e) { return replace_entry(a, 1, k_small, e); },
         [](contents c) {
             c[1].second = padded(k_small);
             return c;
         }},
        {"empty", 0, [](game_archive& a, std::string& e) { return replace_entry(a, 3, {}, e); },
         [](contents c) {
             c[3].second.clear();
             return c;
         }},
        {"fill empty", 0,
         [](game_archive& a, std::string& e) { return replace_entry(a, 2, k_small, e); },
         [](contents c) {
             c[2].second = padded(k_small);
             return c;
         }},
        {"add", 0,
         [](game_archive& a, std::string& e) { return add_entry(a, "new.txd", k_grown, e); },
         [](contents c) {
             c.emplace_back("new.txd", padded(k_grown));
             return c;
         }},
        // 8 + 32·64 bytes pass the first sector: the first entries move out of the way.
        {"add past sector", size_t(64 - 4 - (samples_available() ? 2 : 0)),
         [](game_archive& a, std::string& e) { return add_entry(a, "grown_table", k_small, e); },
         [](contents c) {
             c.emplace_back("grown_table", padded(k_small));
             return c;
         }},
        {"delete", 0,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {1, 3}, e);
         },
         [](contents c) {
             c.erase(c.begin() + 3);
             c.erase(c.begin() + 1);
             return c;
         }},
        {"delete the last", 0,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {a.entries.size() - 1, a.entries.size() - 2}, e);
         },
         [](contents c) {
             c.resize(c.size() - 2);
             return c;
         }},
        {"rename", 0,
         [](game_archive& a, std::string& e) { return rename_entry(a, 1, "renamed.dff", e); },
         [](contents c) {
             c[1].first = "renamed.dff";
             return c;
         }},
        {"compact after delete", 0,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {0}, e) && compact_archive(a, {}, {}, e);
         },
         [](contents c) {
             c.erase(c.begin());
             return c;
         }},
    };
}

const archive_kind k_kinds[] = {archive_kind::ver2, archive_kind::dir_img};
const char* kind_name(archive_kind kind) {
    return kind == archive_kind::ver2 ? "VER2" : ".dir/.img";
}

TEST(ArchiveEdit, EveryEditChangesItsEntryAndLeavesEveryOtherByteForByte) {
    for (const archive_kind kind : k_kinds)
        for (const auto& edit : edit_cases()) {
            SCOPED_TRACE(std::string(kind_name(kind)) + ": " + edit.name);
            const auto files = base_files(edit.extra_entries);
            const auto path = write_archive(kind, files);
            game_archive archive;
            std::string error;
            ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
            ASSERT_TRUE(edit.run(archive, error)) << error;
            const auto after = read_contents(path);
            ASSERT_TRUE(after);
            EXPECT_EQ(*after, edit.expected(contents_of(files)));
            // What the edit left in memory is what a fresh read finds.
            game_archive reread;
            ASSERT_TRUE(open_game_archive(path, reread, error)) << error;
            EXPECT_TRUE(same_entries(archive.entries, reread.entries));
            EXPECT_EQ(archive.data_length, reread.data_length);
        }
}

// The fault the hook brings at step g_fault_step of safe_file's writes, flushes and renames: the
// process ends there as a crash would, or that step fails as on a full disk.
uint64_t g_fault_step = 0, g_last_step = 0;
bool g_crash = false;
safe_file::hook_action fault_hook(safe_file::io_step, uint64_t number) {
    g_last_step = number;
    if (number != g_fault_step) return safe_file::hook_action::proceed;
    if (g_crash) ::_exit(137);
    return safe_file::hook_action::fail;
}

// Runs `edit` with the fault at step `at`: in a child process for a crash (true when it ended
// before the step came), in this one for a failure (true when no step failed).
bool finished_before_fault(const edit_case& edit, const fs::path& path, uint64_t at, bool crash) {
    g_fault_step = at;
    g_crash = crash;
    const pid_t pid = crash ? ::fork() : 0;
    if (pid == 0) {
        game_archive archive;
        std::string error;
        if (!open_game_archive(path, archive, error)) {
            if (crash) ::_exit(2);
            ADD_FAILURE() << error;
            return true;
        }
        safe_file::set_io_hook(fault_hook);
        const bool done = edit.run(archive, error);
        safe_file::set_io_hook(nullptr);
        if (crash) ::_exit(done ? 0 : 1);
        return done && g_last_step < at;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1) << "the edit failed on its own";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The promise of the editing order, tried at every step: the process dies (nothing more is
// written, no clean-up runs) or the disk fails that step (the clean-up runs) after k writes,
// flushes or renames.
TEST(ArchiveEdit, AnEditStoppedOrFailedAtAnyWriteLeavesTheOldOrTheNewArchive) {
    size_t tries = 0, damaged = 0, edits = 0, crashes = 0;
    for (const bool crash : {true, false})
        for (const archive_kind kind : k_kinds)
            for (const auto& edit : edit_cases()) {
                const auto files = base_files(edit.extra_entries);
                const contents before = contents_of(files);
                const contents after = edit.expected(before);
                ++edits;
                for (uint64_t at = 1;; ++at) {
                    SCOPED_TRACE(std::string(kind_name(kind)) + ": " + edit.name +
                                 (crash ? ", crashed at step " : ", failed at step ") +
                                 std::to_string(at));
                    const auto path = write_archive(kind, files);
                    if (finished_before_fault(edit, path, at, crash)) break;
                    ++tries;
                    crashes += crash;
                    const auto found = read_contents(path);
                    const bool intact = found && (*found == before || *found == after);
                    damaged += !intact;
                    EXPECT_TRUE(intact);
                    ASSERT_LT(at, 1000u);
                }
            }
    std::printf("archive crash test: %zu edits, %zu stop points tried (%zu crashes, %zu failed "
                "steps), %zu archives damaged\n",
                edits, tries, crashes, tries - crashes, damaged);
    EXPECT_GT(tries, edits);
    EXPECT_EQ(damaged, 0u);
}
} // namespace

namespace {
// A full disk at the first write of the new bytes: nothing of the archive changes, not even its
// length (the append is taken back).
TEST(ArchiveEdit, AFullDiskLeavesTheArchiveFilesByteForByte) {
    for (const archive_kind kind : k_kinds) {
        SCOPED_TRACE(kind_name(kind));
        const auto path = write_archive(kind, base_files());
        const auto img = path.parent_path() / "test.img";
        const auto img_before = read_file(img), index_before = read_file(path);
        game_archive archive;
        std::string error;
        ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
        g_fault_step = 2; // the padding after the first write
        g_crash = false;
        safe_file::set_io_hook(fault_hook);
        EXPECT_FALSE(replace_entry(archive, 0, k_grown, error));
        safe_file::set_io_hook(nullptr);
        EXPECT_EQ(error, "Cannot write output file. (test.img: Input/output error); " +
                             std::string(archive_msg::unchanged));
        EXPECT_EQ(read_file(img), img_before);
        EXPECT_EQ(read_file(path), index_before);
    }
}

// A VER2 delete writes the count word and the rows that move up, nothing else: the rows before
// the first deleted one, the rows past the new count and every entry's sectors keep their bytes.
TEST(ArchiveEdit, AVer2DeleteWritesOnlyTheCountAndTheRowsThatMove) {
    const auto files = base_files();
    const size_t n = files.size();
    const struct {
        const char* name;
        std::vector<size_t> deleted;
        size_t first_changed_row; // rows from here to the new count may change
    } rows[] = {
        {"the last two", {n - 1, n - 2}, n - 2},
        {"the second and fourth", {1, 3}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto path = write_archive(archive_kind::ver2, files);
        const auto before = read_file(path);
        game_archive archive;
        std::string error;
        ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
        ASSERT_TRUE(delete_entries(archive, row.deleted, error)) << error;
        const auto after = read_file(path);
        ASSERT_EQ(after.size(), before.size());
        const size_t changed_from = 8 + 32 * row.first_changed_row;
        const size_t changed_to = 8 + 32 * (n - row.deleted.size());
        for (size_t i = 0; i < before.size(); ++i) {
            if ((i >= 4 && i < 8) || (i >= changed_from && i < changed_to)) continue;
            ASSERT_EQ(after[i], before[i]) << "byte " << i << " changed";
        }
        EXPECT_EQ(after[4], uint8_t(n - row.deleted.size()));
    }
}

TEST(ArchiveEdit, ATableChangedSinceItWasReadOrASecondEditorIsRefused) {
    const auto path = write_archive(archive_kind::ver2, base_files());
    game_archive stale, other;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, stale, error)) << error;
    ASSERT_TRUE(open_game_archive(path, other, error)) << error;
    ASSERT_TRUE(rename_entry(other, 0, "moved.txd", error)) << error;
    const auto before = read_file(path);
    // The row the stale editor changes is no longer the one it read (other rows may be).
    EXPECT_FALSE(replace_entry(stale, 0, k_small, error));
    EXPECT_EQ(error, path.string() + ": " + archive_msg::table_changed);
    EXPECT_EQ(read_file(path), before);

    safe_file::edit_file holder; // another editor holds the archive
    ASSERT_TRUE(holder.open(path, {}, error)) << error;
    safe_file::write_options impatient;
    impatient.lock_wait_ms = 50;
    const safe_file::output_policy waits(impatient);
    EXPECT_FALSE(rename_entry(other, 1, "x.dff", error));
    EXPECT_EQ(error, "Cannot open output file. (test.img: another program is saving into it; try "
                     "again when it has finished)");
    EXPECT_EQ(read_file(path), before);
}

TEST(ArchiveEdit, SavingIntoAnEntryFindsItByNameAndOffsetAndGrowsIt) {
    const auto path = write_archive(archive_kind::ver2, base_files());
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
    const archive_entry opened = archive.entries[0];
    archive_entry moved;
    ASSERT_TRUE(save_into_entry(path, opened.name, opened.offset, k_grown, moved, error)) << error;
    EXPECT_EQ(moved.size, 4u * 2048);
    const auto found = read_contents(path);
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)[0].second, padded(k_grown));
    // The entry is no longer where it was opened: a second save with the old offset is refused.
    EXPECT_FALSE(save_into_entry(path, opened.name, opened.offset, k_small, moved, error));
    EXPECT_EQ(error, path.string() + ": " + archive_msg::table_changed);
}

TEST(ArchiveTable, NewNamesFollowTheTableRules) {
    const std::vector<archive_entry> entries = {{"first.txd"}, {"Second.DFF"}};
    const struct {
        const char* name;
        std::optional<size_t> except;
        const char* problem; // nullptr: accepted
    } rows[] = {
        {"third.txd", {}, nullptr},
        {"a_name_of_twenty_three_", {}, nullptr},
        // 24 characters would fill the field and leave no closing zero byte.
        {"a_name_of_twenty_four_ch", {}, archive_msg::name_too_long},
        {"a_name_of_twenty_five_chr", {}, archive_msg::name_too_long},
        {"", {}, archive_msg::name_empty},
        {"second.dff", {}, "already holds an entry named \"Second.DFF\""},
        {"SECOND.dff", 1, nullptr}, // an entry may change the case of its own name
        {"dir/name", {}, archive_msg::name_bad_character},
        {"dir\\name", {}, archive_msg::name_bad_character},
        {"tab\there", {}, archive_msg::name_bad_character},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto problem = entry_name_problem(entries, row.name, row.except);
        if (row.problem) {
            ASSERT_TRUE(problem);
            EXPECT_EQ(*problem, row.problem);
        } else {
            EXPECT_FALSE(problem) << *problem;
        }
    }
}

TEST(ArchiveTable, EntriesAreFoundByNameWithoutCaseOrByPosition) {
    game_archive archive;
    archive.index_path = "x.img";
    archive.entries = {{"first.txd"}, {"second.dff"}};
    const struct {
        const char* which;
        std::optional<size_t> found;
        const char* error;
    } rows[] = {
        {"FIRST.TXD", 0, ""},
        {"second.dff", 1, ""},
        {"#1", 1, ""},
        {"#0", 0, ""},
        {"#2", {}, "x.img has no entry at position 2"},
        {"#1x", {}, "x.img has no entry at position 1x"},
        {"third", {}, "x.img has no entry named \"third\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.which);
        std::string error;
        EXPECT_EQ(find_entry(archive, row.which, error), row.found);
        EXPECT_EQ(error, row.error);
    }
}

TEST(ArchiveExtract, HostileNamesStayInsideTheFolderAndSayTheyWereRenamed) {
    const struct {
        const char* entry;
        const char* file;
    } rows[] = {
        {"plain.txd", "plain.txd"},
        {"../escape.txd", ".._escape.txd"},
        {"..", "entry_2"},
        {"/etc/passwd", "_etc_passwd"},
        {"c:\\windows.txd", "c__windows.txd"},
        {"bell\x07.txd", "bell_.txd"},
        {"", "entry_6"},
        {"PLAIN.TXD", "PLAIN_2.TXD"}, // differs from an earlier name only in case
        {"a*b?c<d>e|f\"", "a_b_c_d_e_f_"},
    };
    std::vector<archive_file> files;
    for (size_t i = 0; i < std::size(rows); ++i)
        files.push_back({rows[i].entry, pattern(10 + i, uint8_t(i))});
    const auto path = write_archive(archive_kind::ver2, files);
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
    const auto out = temp_dir() / "out";
    std::vector<extracted_entry> done;
    ASSERT_TRUE(extract_entries(archive, {}, out, {}, done, error)) << error;
    ASSERT_EQ(done.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].entry);
        EXPECT_EQ(done[i].file, rows[i].file);
        EXPECT_EQ(done[i].renamed, std::string(rows[i].entry) != rows[i].file);
        EXPECT_EQ(read_file(out / rows[i].file), padded(files[i].bytes));
    }
    // Nothing but those files was written, in the folder or beside it.
    size_t written = 0;
    for (const auto& item : fs::recursive_directory_iterator(out.parent_path())) {
        if (!item.is_regular_file()) continue;
        ++written;
        EXPECT_EQ(item.path().parent_path(), out) << item.path();
    }
    EXPECT_EQ(written, std::size(rows));
}

TEST(ArchiveExtract, ChosenEntriesAreWrittenAndACancelStopsBetweenEntries) {
    const auto files = base_files();
    const auto path = write_archive(archive_kind::dir_img, files);
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(path, archive, error)) << error;
    const auto out = temp_dir();
    std::vector<extracted_entry> done;
    ASSERT_TRUE(extract_entries(archive, {3, 1}, out, {}, done, error)) << error;
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(read_file(out / "fourth.txd"), padded(files[3].bytes));
    EXPECT_EQ(read_file(out / "second.dff"), padded(files[1].bytes));
    EXPECT_FALSE(fs::exists(out / "first.txd"));

    int calls = 0;
    const auto cancel_second = [&](uint64_t, uint64_t) { return ++calls < 2; };
    const auto out2 = temp_dir();
    EXPECT_FALSE(extract_entries(archive, {}, out2, cancel_second, done, error));
    EXPECT_EQ(done.size(), 1u);
    EXPECT_EQ(error, out2.string() + ": " + archive_msg::extract_cancelled);
    EXPECT_EQ(std::distance(fs::directory_iterator(out2), fs::directory_iterator()), 1);
}
} // namespace

namespace {
// A .dir reached through a symbolic link: the edit replaces the file the link names and the
// link stays a link, so the game's folder still sees the archive it links to.
TEST(ArchiveEdit, ALinkedDirIsWrittenThroughAndKeepsItsMode) {
    const auto files = base_files();
    const auto real = write_archive(archive_kind::dir_img, files);
    fs::permissions(real, fs::perms(0640));
    const auto linked_folder = fast_dir();
    fs::create_symlink(real, linked_folder / "test.dir");
    fs::create_symlink(real.parent_path() / "test.img", linked_folder / "test.img");
    game_archive archive;
    std::string error;
    ASSERT_TRUE(open_game_archive(linked_folder / "test.dir", archive, error)) << error;
    ASSERT_TRUE(rename_entry(archive, 0, "linked.txd", error)) << error;
    EXPECT_TRUE(fs::is_symlink(linked_folder / "test.dir"));
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
    const auto found = read_contents(real);
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)[0].first, "linked.txd");
}
} // namespace

} // namespace quillmap
