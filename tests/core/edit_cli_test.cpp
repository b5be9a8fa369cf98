// The editing commands of quillmap-cli: each reads FILE, writes -o OUT or FILE itself, prints
// the system's message and exits 1 on failure, 2 on a usage error.
#include "dictionary/ps2_txd.h"
#include "image_reference.h"
#include "run_cli.h"
#include "test_files.h"
#include "tree_invariants.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

std::filesystem::path two_textures(const std::filesystem::path& dir) {
    return write_file(dir / "two.txd",
                      make_dictionary({make_ps2_texture({.name = "body",
                                                         .mask = "bodya",
                                                         .width = 64,
                                                         .height = 32,
                                                         .depth = 8,
                                                         .swizzled = true}),
                                       make_ps2_texture({.name = "glass", .depth = 4})})
                          .bytes());
}

std::vector<std::string> names_in(const std::filesystem::path& path) {
    ps2_txd txd;
    EXPECT_TRUE(txd.load(path, 0, 0x16, 0)) << txd.last_error;
    EXPECT_EQ(dictionary_invariant_error(txd), "");
    std::vector<std::string> out;
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        out.push_back(txd.texture_name(t, name_kind::texture));
    return out;
}

TEST(EditCli, RenameDeleteMove) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    const auto original = read_file(file);
    const auto out = dir / "out.txd";

    ASSERT_EQ(
        run_cli({"rename", file.string(), "-t", "1", "windscreen", "-o", out.string()}).exit_code,
        0);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"body", "windscreen"}));
    EXPECT_EQ(read_file(file), original); // -o leaves FILE alone

    ASSERT_EQ(
        run_cli({"rename", out.string(), "-t", "0", "newmask", "--mask", "--in-place"}).exit_code,
        0);
    ps2_txd renamed;
    ASSERT_TRUE(renamed.load(out, 0, 0x16, 0));
    EXPECT_EQ(renamed.texture_name(0, name_kind::mask), "newmask");

    ASSERT_EQ(run_cli({"move", out.string(), "-t", "1", "up", "--in-place"}).exit_code, 0);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"windscreen", "body"}));
    ASSERT_EQ(run_cli({"move", out.string(), "-t", "0", "down", "--in-place"}).exit_code, 0);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"body", "windscreen"}));

    ASSERT_EQ(run_cli({"delete", out.string(), "-t", "0", "--in-place"}).exit_code, 0);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"windscreen"}));
}

TEST(EditCli, FailuresLeaveTheFileAndExitOne) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    const auto original = read_file(file);
    EXPECT_EQ(run_cli({"move", file.string(), "-t", "0", "up", "--in-place"}).exit_code, 1);
    EXPECT_EQ(run_cli({"move", file.string(), "-t", "1", "down", "--in-place"}).exit_code, 1);
    EXPECT_EQ(run_cli({"delete", file.string(), "-t", "2", "--in-place"}).exit_code, 1);
    EXPECT_EQ(run_cli({"rename", file.string(), "-t", "0", "", "--in-place"}).exit_code, 1);
    EXPECT_EQ(
        run_cli({"replace", file.string(), "-t", "0", (dir / "missing.bmp").string(), "--in-place"})
            .exit_code,
        1);
    EXPECT_EQ(
        run_cli({"add", file.string(), (dir / "picture.bmp").string(), "--in-place"}).exit_code, 1);
    EXPECT_EQ(
        run_cli({"add", file.string(), (dir / "picture.png").string(), "--in-place"}).exit_code, 1);
    EXPECT_EQ(
        run_cli({"export", file.string(), "-t", "0", "-o", (dir / "x.JPG").string()}).exit_code, 1);
    EXPECT_EQ(read_file(file), original);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.JPG"));
}

TEST(EditCli, UsageErrorsExitTwo) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir).string();
    const auto out = (dir / "o.txd").string();
    const std::vector<std::vector<std::string>> calls = {
        {"rename", file, "-t", "0", "x"},                           // neither -o nor --in-place
        {"rename", file, "-t", "0", "x", "-o", out, "--in-place"},  // both
        {"rename", file, "-t", "zero", "x", "-o", out},             // -t not a number
        {"move", file, "-t", "0", "sideways", "-o", out},           // neither up nor down
        {"delete", file, "-o", out},                                // no -t
        {"set-version", file, "nothex", "-o", out},                 // not hexadecimal
        {"set-version", file, "0", "-o", out},                      // no version chosen
        {"set-version", file, "FFFFFFFF", "-o", out},               // no version chosen
        {"export", file, "-o", out},                                // neither -t nor --all
        {"export", file, "-t", "0", "--all"},                       // both
        {"export", file, "-t", "0", "-f", "jpg"},                   // unknown type
        {"export", file, "-t", "0", "--view", "sideways"},          // unknown view
        {"add", file, "--in-place"},                                // nothing to add
        {"add", file, "a.tm2", "--swizzle", "maybe", "--in-place"}, // unknown swizzle setting
    };
    for (const auto& call : calls) {
        std::string text;
        for (const auto& word : call)
            text += word + " ";
        EXPECT_EQ(run_cli(call).exit_code, 2) << text;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(EditCli, SetVersionStampsEveryChunk) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    for (const char* version : {"0x0401FFFF", "0800ffff"}) {
        const auto out = dir / (std::string(version) + ".txd");
        ASSERT_EQ(run_cli({"set-version", file.string(), version, "-o", out.string()}).exit_code,
                  0);
        const uint32_t expected = std::string(version) == "0x0401FFFF" ? 0x0401FFFF : 0x0800FFFF;
        const auto headers = file_chunk_headers(read_file(out));
        ASSERT_EQ(headers.size(), 1 + 1 + 2 * 9 + 1u);
        for (const auto& header : headers)
            EXPECT_EQ(header.version, expected) << std::hex << header.id;
    }
}

TEST(EditCli, ExportOneAndAllThenAddBack) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);

    // Type from the file's extension, or from -f into a folder.
    const auto bmp = dir / "one.bmp";
    ASSERT_EQ(run_cli({"export", file.string(), "-t", "0", "-o", bmp.string()}).exit_code, 0);
    EXPECT_EQ(read_file(bmp).size(), 54 + 1024 + 64 * 32u);
    const auto folder = dir / "all";
    auto result = run_cli(
        {"export", file.string(), "--all", "-f", "tm2", "--view", "alpha", "-o", folder.string()});
    ASSERT_EQ(result.exit_code, 0);
    // Named as an export without a path names them: the mask name in alpha view, else the name.
    EXPECT_TRUE(std::filesystem::exists(folder / "bodya.tm2"));
    EXPECT_TRUE(std::filesystem::exists(folder / "glass.tm2"));
    ASSERT_EQ(run_cli({"export", file.string(), "--all", "-f", "rwsect", "-o", folder.string()})
                  .exit_code,
              0);
    EXPECT_TRUE(std::filesystem::exists(folder / "body.rwsect"));

    // A texture of a name the dictionary has (case ignored) is refused; the added ones go into
    // a dictionary without it.
    const auto out = dir / "grown.txd";
    const auto clash =
        run_cli({"add", file.string(), (folder / "glass.rwsect").string(), "-o", out.string()});
    EXPECT_EQ(clash.exit_code, 1);
    EXPECT_NE(clash.err.find("already named \"glass\""), std::string::npos) << clash.err;
    const auto without_glass = dir / "without_glass.txd";
    ASSERT_EQ(run_cli({"delete", file.string(), "-t", "1", "-o", without_glass.string()}).exit_code,
              0);
    ASSERT_EQ(run_cli({"add", without_glass.string(), (folder / "bodya.tm2").string(),
                       (folder / "glass.rwsect").string(), "--swizzle", "on", "-o", out.string()})
                  .exit_code,
              0);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"body", "bodya", "glass"}));
    ps2_txd grown;
    ASSERT_TRUE(grown.load(out, 0, 0x16, 0));
    EXPECT_TRUE(grown.is_swizzled(1));
    auto original = grown.render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    auto added = grown.render(1, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(original && added);
    EXPECT_EQ(original->bytes, added->bytes);
}

TEST(EditCli, ExportWithoutOutputWritesIntoTheCurrentDirectory) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    const auto previous = std::filesystem::current_path();
    const auto work = temp_dir();
    std::filesystem::current_path(work);
    const int code = run_cli({"export", file.string(), "-t", "1"}).exit_code;
    std::filesystem::current_path(previous);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::filesystem::exists(work / "glass.bmp"));
}

TEST(EditCli, ReplaceFromAnExportedPicture) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    const auto picture = dir / "glass.tm2";
    ASSERT_EQ(run_cli({"export", file.string(), "-t", "1", "-o", picture.string()}).exit_code, 0);
    const auto out = dir / "replaced.txd";
    // The same picture into the same texture changes nothing.
    ASSERT_EQ(run_cli({"replace", file.string(), "-t", "1", picture.string(), "-o", out.string()})
                  .exit_code,
              0);
    EXPECT_EQ(read_file(out), read_file(file));
    // A 4-bit picture into the 8-bit texture is refused.
    EXPECT_EQ(run_cli({"replace", file.string(), "-t", "0", picture.string(), "-o", out.string()})
                  .exit_code,
              1);
}

TEST(EditCli, InPlaceFailureKeepsTheOriginal) {
    const auto dir = temp_dir();
    const auto file = two_textures(dir);
    const auto original = read_file(file);
    // Adding a missing file fails before anything is written.
    EXPECT_EQ(run_cli({"add", file.string(), (dir / "none.tm2").string(), "--in-place"}).exit_code,
              1);
    EXPECT_EQ(read_file(file), original);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        EXPECT_EQ(entry.path().filename(), "two.txd") << "left behind: " << entry.path();
}

} // namespace

} // namespace quillmap
