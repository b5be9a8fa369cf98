// quillmap-cli archive extract, add, replace, delete, rename and compact on archives of both
// kinds, and --offset X --in-place on an archive entry.
#include "archive_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "archive/archive_extract.h"
#include "archive/game_archive.h"
#include "dictionary/ps2_txd.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;

std::vector<uint8_t> bytes_of(size_t size, uint8_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed * 31 + i);
    return out;
}

// `text` as a JSON string holds it: quotes escaped, in quotes.
std::string json_text(const std::string& text) {
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out + "\"";
}

std::vector<uint8_t> sectors(std::vector<uint8_t> bytes) {
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
    return bytes;
}

const std::vector<archive_file> k_files = {
    {"first.txd", bytes_of(100, 1)},
    {"second.dff", bytes_of(5000, 2)},
    {"third.col", bytes_of(2048, 3)},
};

// Both kinds in a fresh folder: the path to name on the command line.
fs::path make(bool ver2) {
    const auto dir = temp_dir();
    if (ver2) return write_file(dir / "a.img", make_ver2_archive(k_files));
    const auto pair = make_dir_img_archive(k_files);
    write_file(dir / "a.img", pair.img);
    return write_file(dir / "a.dir", pair.dir);
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> entries_of(const fs::path& path) {
    game_archive archive;
    std::string error;
    EXPECT_TRUE(open_game_archive(path, archive, error)) << error;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(read_entry_bytes(archive, i, bytes, error)) << error;
        out.emplace_back(archive.entries[i].name, bytes);
    }
    return out;
}

TEST(ArchiveCli, EachEditCommandChangesTheArchiveAndSaysWhatItDid) {
    const auto input = write_temp("input.bin", bytes_of(7000, 9));
    const struct {
        const char* name;
        std::vector<std::string> arguments; // after ARCHIVE; "IN" is the input file
        const char* said;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> expected;
    } rows[] = {
        {"add",
         {"add", "ARCHIVE", "IN", "--name", "new.txd"},
         "added new.txd (4 sectors",
         {{"first.txd", sectors(k_files[0].bytes)},
          {"second.dff", sectors(k_files[1].bytes)},
          {"third.col", sectors(k_files[2].bytes)},
          {"new.txd", sectors(bytes_of(7000, 9))}}},
        {"replace by position",
         {"replace", "ARCHIVE", "#0", "IN"},
         "replaced first.txd (4 sectors",
         {{"first.txd", sectors(bytes_of(7000, 9))},
          {"second.dff", sectors(k_files[1].bytes)},
          {"third.col", sectors(k_files[2].bytes)}}},
        {"delete two",
         {"delete", "ARCHIVE", "FIRST.TXD", "#2"},
         "deleted first.txd\ndeleted third.col\n",
         {{"second.dff", sectors(k_files[1].bytes)}}},
        {"rename",
         {"rename", "ARCHIVE", "second.dff", "model.dff"},
         "renamed second.dff to model.dff\n",
         {{"first.txd", sectors(k_files[0].bytes)},
          {"model.dff", sectors(k_files[1].bytes)},
          {"third.col", sectors(k_files[2].bytes)}}},
        {"compact",
         {"compact", "ARCHIVE"},
         "compacted ",
         {{"first.txd", sectors(k_files[0].bytes)},
          {"second.dff", sectors(k_files[1].bytes)},
          {"third.col", sectors(k_files[2].bytes)}}},
    };
    for (const bool ver2 : {true, false})
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(ver2 ? "VER2 " : "DIR ") + row.name);
            const auto archive = make(ver2);
            std::vector<std::string> arguments = {"archive"};
            for (const auto& argument : row.arguments)
                arguments.push_back(argument == "ARCHIVE" ? archive.string()
                                    : argument == "IN"    ? input.string()
                                                          : argument);
            const auto result = run_cli(arguments);
            EXPECT_EQ(result.exit_code, 0) << result.err;
            EXPECT_NE(result.out.find(row.said), std::string::npos) << result.out;
            EXPECT_EQ(entries_of(archive), row.expected);
        }
}

TEST(ArchiveCli, FailuresExitOneWithTheMessageAndLeaveTheArchive) {
    const auto archive = make(true);
    const auto before = read_file(archive);
    const auto input = write_temp("in.bin", bytes_of(10, 1));
    const struct {
        std::vector<std::string> arguments;
        int code;
        const char* message;
    } rows[] = {
        {{"replace", "ARCHIVE", "missing.txd", "IN"}, 1, "has no entry named \"missing.txd\""},
        {{"delete", "ARCHIVE", "#3"}, 1, "has no entry at position 3"},
        {{"rename", "ARCHIVE", "#0", "SECOND.DFF"},
         1,
         "already holds an entry named \"second.dff\""},
        {{"rename", "ARCHIVE", "#0", "a_name_that_is_far_too_long.txd"},
         1,
         "at most 23 characters"},
        {{"add", "ARCHIVE", "IN", "--name", "../up.txd"}, 1, "cannot hold control characters"},
        {{"add", "ARCHIVE", "/no/such/file"}, 1, "/no/such/file: cannot be opened"},
        {{"add", "ARCHIVE", "IN", "IN", "--name", "x"}, 2, "--name names one added FILE"},
        {{"extract", "ARCHIVE"}, 2, "archive extract takes"},
        {{"frobnicate", "ARCHIVE"}, 2, "archive takes list, extract"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> arguments = {"archive"};
        for (const auto& argument : row.arguments)
            arguments.push_back(argument == "ARCHIVE" ? archive.string()
                                : argument == "IN"    ? input.string()
                                                      : argument);
        SCOPED_TRACE(row.arguments[0] + " " + row.arguments.back());
        const auto result = run_cli(arguments);
        EXPECT_EQ(result.exit_code, row.code);
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(read_file(archive), before);
    }
}

TEST(ArchiveCli, ExtractWritesEachEntryAndSaysWhichNamesWereMadeSafe) {
    const auto dir = temp_dir();
    const auto archive =
        write_file(dir / "h.img", make_ver2_archive({{"ok.txd", bytes_of(10, 1)},
                                                     {"../up.txd", bytes_of(20, 2)},
                                                     {"esc\x1b[2J", bytes_of(30, 3)},
                                                     {"OK.TXD", bytes_of(40, 4)}}));
    const auto out = dir / "out";
    const auto all = run_cli({"archive", "extract", archive.string(), "-o", out.string()});
    ASSERT_EQ(all.exit_code, 0) << all.err;
    EXPECT_EQ(all.out, "ok.txd\n#1 \"../up.txd\" -> \".._up.txd\" (name made safe)\n"
                       "#2 \"esc\\x1B[2J\" -> \"esc_[2J\" (name made safe)\n"
                       "#3 \"OK.TXD\" -> \"OK_2.TXD\" (name already taken)\n");
    EXPECT_EQ(read_file(out / "ok.txd"), sectors(bytes_of(10, 1)));
    EXPECT_EQ(read_file(out / ".._up.txd"), sectors(bytes_of(20, 2)));
    EXPECT_EQ(read_file(out / "OK_2.TXD"), sectors(bytes_of(40, 4)));
    EXPECT_FALSE(fs::exists(dir / "up.txd"));
    const auto one = run_cli({"archive", "extract", archive.string(), "#0", "#1", "-o",
                              (dir / "one").string(), "--json"});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    EXPECT_EQ(one.out, "{\"folder\":\"" + (dir / "one").string() +
                           "\",\"entries\":[{\"index\":0,\"entry\":\"ok.txd\",\"file\":\"ok.txd\","
                           "\"renamed\":false},{\"index\":1,\"entry\":\"../up.txd\",\"file\":"
                           "\".._up.txd\",\"renamed\":true,\"why\":\"name made safe\"}],"
                           "\"complete\":true}\n");
}

// The command line's archive edits obey QUILLMAP_IO_HOOK as every other write does: ended at each
// write, flush or rename of a grow, the archive holds the old or the new entry.
TEST(ArchiveCli, AGrowCrashedAtEveryStepLeavesTheOldOrTheNewArchive) {
    const auto input = write_temp("grown.bin", bytes_of(9000, 7));
    for (const bool ver2 : {true, false}) {
        const auto before = entries_of(make(ver2));
        auto after = before;
        after[0].second = sectors(bytes_of(9000, 7));
        size_t crashes = 0;
        for (int step = 1;; ++step) {
            SCOPED_TRACE(std::string(ver2 ? "VER2" : "DIR") + " step " + std::to_string(step));
            const auto archive = make(ver2);
            ::setenv("QUILLMAP_IO_HOOK", ("crash:" + std::to_string(step)).c_str(), 1);
            const auto result =
                run_cli({"archive", "replace", archive.string(), "#0", input.string()});
            ::unsetenv("QUILLMAP_IO_HOOK");
            const auto found = entries_of(archive);
            EXPECT_TRUE(found == before || found == after);
            if (result.exit_code != 137) {
                EXPECT_EQ(result.exit_code, 0) << result.err;
                EXPECT_EQ(found, after);
                break;
            }
            ++crashes;
            ASSERT_LT(step, 50);
        }
        EXPECT_GE(crashes, 4u); // the bytes, their flush, the row (or .dir) and its flush
    }
}

// A link planted in the output folder is not written through: the entry fails, the file the link
// names keeps its bytes.
TEST(ArchiveCli, ExtractNeverWritesThroughALinkInTheFolder) {
    const auto dir = temp_dir();
    const auto archive =
        write_file(dir / "h.img", make_ver2_archive({{"ok.txd", bytes_of(10, 1)}}));
    const auto victim = write_file(dir / "victim.txt", {1, 2, 3});
    fs::create_directories(dir / "out");
    fs::create_symlink(victim, dir / "out" / "ok.txd");
    const auto result =
        run_cli({"archive", "extract", archive.string(), "-o", (dir / "out").string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("a symbolic link is in the way"), std::string::npos) << result.err;
    EXPECT_EQ(read_file(victim), (std::vector<uint8_t>{1, 2, 3}));
}

// Batch runs over an archive name each output after its entry; the report says which entries'
// outputs are named otherwise, old -> new, and why.
TEST(ArchiveCli, BatchReportSaysWhichEntryNamesWereChanged) {
    const auto dictionary =
        make_dictionary({make_ps2_texture({.name = "a", .width = 8, .height = 8, .depth = 4})})
            .bytes();
    const struct {
        const char* entry;
        const char* output; // the folder of its textures, inside the archive's
        const char* note;   // "" when the name is kept
    } rows[] = {
        {"plain.txd", "plain", ""},
        {"../up.txd", ".._up", "\"../up\" -> \".._up\" (name made safe)"},
        {"a/b.txd", "a_b", "\"a/b\" -> \"a_b\" (name made safe)"},
        {"PLAIN.TXD", "PLAIN_2", "\"PLAIN\" -> \"PLAIN_2\" (name already taken)"},
    };
    std::vector<archive_file> files;
    for (const auto& row : rows)
        files.push_back({row.entry, dictionary});
    const auto dir = temp_dir();
    const auto archive = write_file(dir / "g.img", make_ver2_archive(files));
    for (const char* format : {"", "--json"}) {
        SCOPED_TRACE(*format ? format : "text");
        const auto out = temp_dir();
        std::vector<std::string> args = {"batch", "export",     archive.string(),
                                         "-o",    out.string(), "--quiet"};
        if (*format) args.push_back(format);
        const auto result = run_cli(args);
        ASSERT_EQ(result.exit_code, 0) << result.err;
        for (const auto& row : rows) {
            SCOPED_TRACE(row.entry);
            EXPECT_TRUE(fs::exists(out / "g" / row.output / "a.png"));
            if (!*row.note) continue;
            EXPECT_NE(result.out.find(*format ? json_text(row.note) : row.note), std::string::npos)
                << result.out;
        }
        EXPECT_EQ(result.out.find("\"plain\" ->"), std::string::npos) << result.out;
    }
}

// An edit with --offset X --in-place on a VER2 archive, where X is an entry's offset: the entry
// grows through the archive instead of the dictionary running over the next entry.
TEST(ArchiveCli, AnInPlaceEditAtAnEntryOffsetGrowsTheEntry) {
    SKIP_WITHOUT_SAMPLES(); // the added picture is a sample
    const auto dictionary =
        make_dictionary({make_ps2_texture({.name = "a", .width = 8, .height = 8, .depth = 4})})
            .bytes();
    ASSERT_LT(dictionary.size(), 2048u - 100);
    const auto dir = temp_dir();
    const auto archive =
        write_file(dir / "x.img",
                   make_ver2_archive({{"one.txd", dictionary}, {"next.dff", bytes_of(3000, 5)}}));
    game_archive before;
    std::string error;
    ASSERT_TRUE(open_game_archive(archive, before, error)) << error;
    char offset[32];
    std::snprintf(offset, sizeof offset, "%llx",
                  static_cast<unsigned long long>(before.entries[0].offset));
    const auto result = run_cli(
        {"add", archive.string(), "--offset", offset, sample("i8c16.tm2").string(), "--in-place"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const auto after = entries_of(archive);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].second, sectors(bytes_of(3000, 5)));
    EXPECT_GT(after[0].second.size(), 2048u);
    game_archive grown;
    ASSERT_TRUE(open_game_archive(archive, grown, error)) << error;
    ps2_txd txd;
    ASSERT_TRUE(txd.load(archive, uint32_t(grown.entries[0].offset), 0x16, 0)) << txd.last_error;
    EXPECT_EQ(txd.texture_count(), 2u);
}
} // namespace

} // namespace quillmap
