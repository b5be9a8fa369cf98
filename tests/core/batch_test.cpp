#include "archive_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "batch/batch_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
// write_file into a folder that may not exist yet.
fs::path put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    return write_file(path, bytes);
}

std::vector<uint8_t> sample_bytes(const std::string& name) {
    return read_file(sample(name));
}

// A dictionary cut short: its root still claims the whole size.
std::vector<uint8_t> damaged(const std::string& name) {
    auto bytes = sample_bytes(name);
    bytes.resize(100);
    return bytes;
}

// Every file under `out` (relative, generic form), sorted.
std::vector<std::string> files_under(const fs::path& out) {
    std::vector<std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(out))
        if (item.is_regular_file())
            files.push_back(item.path().lexically_relative(out).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::string last_line(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// A folder the way a mod folder looks: dictionaries in subfolders, one found by its content
// under another extension, two whose names collide without case, one damaged, other files.
fs::path make_game_folder() {
    const fs::path root = temp_dir() / "models";
    put(root / "a" / "VEHICLE2.txd", sample_bytes("VEHICLE2.txd"));
    put(root / "flowerb.txd", sample_bytes("flowerb.txd"));
    put(root / "FLOWERB.chk", sample_bytes("VEHICLE2.txd"));
    put(root / "other" / "buttons.dat", sample_bytes("pcbtns.txd"));
    put(root / "broken.txd", damaged("cspolic.txd"));
    put(root / "readme.txt", {'h', 'i', '\n'});
    // Two textures whose names differ only in case must not land in one file.
    put(root / "twins.txd",
        make_dictionary({make_ps2_texture({.name = "same"}), make_ps2_texture({.name = "SAME"})})
            .bytes());
    return root;
}

TEST(Batch, FolderExportWritesEveryTextureOnceAndReportsTheDamagedFile) {
    SKIP_WITHOUT_SAMPLES();
    const fs::path folder = make_game_folder();
    const fs::path out = temp_dir() / "out";
    auto result = run_cli({"batch", "export", folder.string(), "-o", out.string(), "-j", "2"});
    EXPECT_EQ(result.exit_code, 1) << result.out;
    EXPECT_EQ(last_line(result.out), "6 dictionaries, 10 textures, 1 failed") << result.out;
    EXPECT_NE(result.out.find("failed: " + (folder / "broken.txd").string() + ": "),
              std::string::npos)
        << result.out;

    const std::vector<std::string> expected = {
        "models/FLOWERB/vehmirref32.png", // the .chk came first in name order
        "models/a/VEHICLE2/vehmirref32.png",
        "models/twins/SAME_2.png",
        "models/twins/same.png",
    };
    const auto files = files_under(out);
    EXPECT_EQ(files.size(), 10u);
    for (const auto& file : expected)
        EXPECT_TRUE(std::count(files.begin(), files.end(), file)) << file;
    EXPECT_EQ(
        std::count_if(files.begin(), files.end(),
                      [](const std::string& f) { return f.rfind("models/flowerb_2/", 0) == 0; }),
        2);
    EXPECT_EQ(std::count_if(
                  files.begin(), files.end(),
                  [](const std::string& f) { return f.rfind("models/other/buttons/", 0) == 0; }),
              4);

    // A second run writes nothing over the first, unless asked to.
    auto again = run_cli({"batch", "export", folder.string(), "-o", out.string(), "--quiet"});
    EXPECT_EQ(last_line(again.out), "6 dictionaries, 10 textures, 11 failed") << again.out;
    EXPECT_EQ(count_of(again.out, "--overwrite replaces it"), 10u);
    auto replaced =
        run_cli({"batch", "export", folder.string(), "-o", out.string(), "--overwrite"});
    EXPECT_EQ(last_line(replaced.out), "6 dictionaries, 10 textures, 1 failed");
    EXPECT_EQ(files_under(out), files);
}

struct archive_set {
    fs::path ver2;
    fs::path dir;
};

archive_set make_archives() {
    const fs::path root = temp_dir() / "game";
    archive_set set;
    set.ver2 =
        put(root / "gta3.img", make_ver2_archive({
                                   {"flowerb.txd", sample_bytes("flowerb.txd")},
                                   {"model.dff", u32_bytes({0x10, 4, 0x1803FFFF, 0})},
                                   {"bad.txd", damaged("cspolic.txd")},
                                   {"hidden.dat", sample_bytes("VEHICLE2.txd")}, // found by content
                                   {"flowerb.txd", sample_bytes("mainsc2.txd")}, // same name again
                               }));
    const auto pair = make_dir_img_archive({
        {"cspolic.txd", sample_bytes("cspolic.txd")},
        {"pcbtns.txd", sample_bytes("pcbtns.txd")},
    });
    set.dir = put(root / "cuts.dir", pair.dir);
    put(root / "cuts.img", pair.img);
    return set;
}

TEST(Batch, ArchivesOfBothKindsExportInPlaceWithTheSameReportForAnyJobCount) {
    SKIP_WITHOUT_SAMPLES();
    const archive_set set = make_archives();
    std::string first_report;
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = temp_dir() / "out";
        auto result = run_cli({"batch", "export", set.ver2.string(), set.dir.string(), "-o",
                               out.string(), "-j", jobs, "--json", "-f", "tm2"});
        EXPECT_EQ(result.exit_code, 1);
        // One object per dictionary, the damaged entry among them with its reason.
        EXPECT_EQ(count_of(result.out, "\n"), 6u) << result.out;
        EXPECT_NE(result.out.find("\"entry\":\"bad.txd\",\"offset\":"), std::string::npos);
        EXPECT_EQ(count_of(result.out, "\"error\":"), 1u) << result.out;
        if (first_report.empty()) first_report = result.out;
        EXPECT_EQ(result.out, first_report);

        const auto files = files_under(out);
        EXPECT_EQ(files.size(), 2u + 1 + 1 + 3 + 4) << ::testing::PrintToString(files);
        EXPECT_TRUE(std::count(files.begin(), files.end(), "gta3/hidden/vehmirref32.tm2"));
        EXPECT_EQ(
            std::count_if(files.begin(), files.end(),
                          [](const std::string& f) { return f.rfind("gta3/flowerb_2/", 0) == 0; }),
            1);
        EXPECT_EQ(
            std::count_if(files.begin(), files.end(),
                          [](const std::string& f) { return f.rfind("cuts/pcbtns/", 0) == 0; }),
            4);
    }
}

TEST(Batch, ArchiveListNamesKindAndTextureCount) {
    SKIP_WITHOUT_SAMPLES();
    const archive_set set = make_archives();
    auto result = run_cli({"archive", "list", set.ver2.string(), "--json"});
    ASSERT_EQ(result.exit_code, 0);
    for (const char* row : {"{\"name\":\"flowerb.txd\",\"offset\":2048,\"size\":10240,\"kind\":"
                            "\"PS2\",\"textures\":2}",
                            "\"name\":\"model.dff\",\"offset\":12288,\"size\":2048,\"kind\":"
                            "\"other\",\"textures\":0}",
                            "\"name\":\"bad.txd\",\"offset\":14336,\"size\":2048,\"kind\":"
                            "\"damaged\"",
                            "\"name\":\"hidden.dat\",\"offset\":16384,\"size\":2048,\"kind\":"
                            "\"PS2\",\"textures\":1}"})
        EXPECT_NE(result.out.find(row), std::string::npos) << row << "\n" << result.out;
    auto pair = run_cli({"archive", "list", set.dir.string()});
    ASSERT_EQ(pair.exit_code, 0);
    EXPECT_NE(pair.out.find("(DIR/IMG, 2 entries)"), std::string::npos) << pair.out;
    EXPECT_EQ(run_cli({"archive", "list", sample("flowerb.txd").string()}).exit_code, 1);
}

TEST(Batch, LintAndListRunWithoutAnOutputFolder) {
    SKIP_WITHOUT_SAMPLES();
    const fs::path folder = make_game_folder();
    auto lint = run_cli({"batch", "lint", folder.string()});
    EXPECT_EQ(lint.exit_code, 1);
    EXPECT_NE(lint.out.find("[SAME]: has the name of texture 0"), std::string::npos) << lint.out;
    auto list = run_cli({"batch", "list", (folder / "a").string(), "--json"});
    EXPECT_EQ(list.exit_code, 0) << list.out;
    EXPECT_NE(list.out.find("\"platform\":\"PS2\",\"textures\":[{\"name\":\"vehmirref32\","
                            "\"width\":32,\"height\":32,\"depth\":4}]"),
              std::string::npos)
        << list.out;
    EXPECT_EQ(run_cli({"batch", "export", folder.string()}).exit_code, 2); // no -o
    EXPECT_EQ(run_cli({"batch", "export", folder.string(), "-o", "x", "-f", "gif"}).exit_code, 2);
}

TEST(BatchProgress, PlainLinesOutsideATerminalAndAnEstimateFromTheRateSoFar) {
    dictionary_source source;
    source.shown = "gta3.img:flowerb.txd";
    std::ostringstream lines, quiet;
    batch_progress plain(lines, batch_progress::style::lines);
    batch_progress silent(quiet, batch_progress::style::quiet);
    for (auto* progress : {&plain, &silent}) {
        progress->update(0, 2, source, true);
        progress->update(1, 2, source, false);
        progress->finish();
    }
    EXPECT_EQ(lines.str(), "[1/2] gta3.img:flowerb.txd\n");
    EXPECT_EQ(quiet.str(), "");
    using std::chrono::seconds;
    EXPECT_EQ(batch_progress::estimate(seconds(10), 1, 4), "0:30 left");
    EXPECT_EQ(batch_progress::estimate(seconds(100), 10, 100), "15:00 left");
    EXPECT_EQ(batch_progress::estimate(seconds(10), 0, 4), "");
}
} // namespace

} // namespace quillmap
