// A file that cannot be opened says why: the system's reason, that it is no RenderWare file, or
// which chunk is damaged; the command-line tool puts the file's name in front.
#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"

#include <gtest/gtest.h>

namespace quillmap {

TEST(OpenMessages, ReasonNamesTheCause) {
    const auto dir = temp_dir();
    auto good = make_dictionary({make_ps2_texture({.name = "a"})}).bytes();
    auto cut = good;
    // The texture native at offset 28 claims 100 bytes more than the file holds.
    cut[28 + 4] = uint8_t(cut[28 + 4] + 100);
    struct row {
        std::filesystem::path file;
        std::string reason;
    };
    const row rows[] = {
        {dir / "missing.txd", "No such file or directory"},
        {dir, "Is a directory"},
        {write_file(dir / "png.txd", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I'}),
         "not a RenderWare file: it starts with 89 50 4E 47"},
        {write_file(dir / "tiny.txd", {1, 2}), "not a RenderWare file: it holds only 2 bytes"},
        {write_file(dir / "cut.txd", cut), "chunk 0x15 at offset 28 runs past the end of the file"},
    };
    for (const auto& r : rows) {
        auto result = probe_dictionary(r.file, 0, "PS2,PC");
        EXPECT_FALSE(result.dictionary);
        EXPECT_EQ(result.reason, r.reason) << r.file;
    }
}

TEST(OpenMessages, CliPrefixesTheFile) {
    const auto missing = (temp_dir() / "missing.txd").string();
    auto result = run_cli({"list", missing});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, missing + ": No such file or directory\n");
}

// When every class refuses a file, the reason is that of the class that got furthest: a class
// that reads any chunk file and then finds no texture of its own does not hide the damaged
// chunk the strict walk found.
TEST(OpenMessages, TheClassThatGotFurthestGivesTheReason) {
    const auto dir = temp_dir();
    const auto good = make_dictionary({make_ps2_texture({.name = "a"})}).bytes();
    const std::vector<uint8_t> truncated(good.begin(), good.end() - 40);
    const std::string walk = "chunk 0x16 at offset 0 runs past the end of the file";
    struct row {
        const char* priority;
        std::string reason;
    };
    const row rows[] = {
        {"PS2", walk},
        {"PS2,PC,iOS", walk},
        {"iOS,PS2", walk},
        // A class that only knows other textures, alone, still says what it found.
        {"iOS", "no class reads its textures: iOS: texture 0 is no iOS / Android texture "
                "(platform id 4)"},
    };
    const auto file = write_file(dir / "truncated.txd", truncated);
    for (const row& r : rows) {
        const auto result = probe_dictionary(file, 0, r.priority);
        EXPECT_FALSE(result.dictionary) << r.priority;
        EXPECT_EQ(result.reason, r.reason) << r.priority;
    }
}

} // namespace quillmap
