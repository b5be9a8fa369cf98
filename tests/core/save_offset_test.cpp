// Saving a dictionary that lies inside a larger file, and saving over files that are links,
// hard links, read-only for others, or changed by another program meanwhile. The larger file is
// built in the test: bytes before the dictionary, the dictionary, and bytes after it.
#include "dictionary/ps2_txd.h"
#include "run_cli.h"
#include "session/editor_session.h"
#include "stream/safe_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t k_offset = 0x100;
constexpr size_t k_after = 300;

std::vector<uint8_t> dictionary_bytes() {
    return make_dictionary({make_ps2_texture({.name = "tex", .width = 16, .height = 16}),
                            make_ps2_texture({.name = "second", .depth = 32, .fill_seed = 5})})
        .bytes();
}

// The dictionary at k_offset between two runs of other bytes, as in a game archive.
std::vector<uint8_t> container_bytes() {
    std::vector<uint8_t> bytes(k_offset, 0xAA);
    const auto dictionary = dictionary_bytes();
    bytes.insert(bytes.end(), dictionary.begin(), dictionary.end());
    bytes.insert(bytes.end(), k_after, 0xBB);
    return bytes;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    return {bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(from + count)};
}

struct offset_case {
    const char* label;
    std::vector<std::string> names; // texture 0 renamed and saved in place, one save each
    bool fits;                      // whether the last save fits
};

TEST(SaveAtOffset, WritesInPlaceOnlyWhatFitsTheOldBytes) {
    const std::string long_name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";
    const offset_case cases[] = {
        {"a shorter name", {"t"}, true},
        {"a name as long", {"abc"}, true},
        {"a longer name", {long_name}, false},
        {"shorter, then back to the old length", {"t", "abc"}, true},
        {"shorter, then longer than the old tree", {"t", long_name}, false},
    };
    const size_t dictionary_size = dictionary_bytes().size();
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path file = write_temp("x.img", container_bytes());
        editor_session session;
        ASSERT_EQ(session.open(file.string(), k_offset, "PS2"), open_status::opened)
            << session.last_error();
        bool saved = false;
        std::vector<uint8_t> before_last;
        struct stat first {};
        ASSERT_EQ(::stat(file.c_str(), &first), 0);
        // Held open, the first file keeps its inode number from being given to a new one.
        const int held = ::open(file.c_str(), O_RDONLY);
        for (const auto& name : row.names) {
            before_last = read_file(file);
            ASSERT_TRUE(session.rename(0, name, name_kind::texture)) << session.last_error();
            saved = session.save();
        }
        // A save is never made in place: a complete new copy of the container replaced it.
        struct stat last {};
        ASSERT_EQ(::stat(file.c_str(), &last), 0);
        EXPECT_EQ(last.st_ino != first.st_ino, saved || row.names.size() > 1);
        ::close(held);
        const auto after = read_file(file);
        ASSERT_EQ(after.size(), container_bytes().size());
        EXPECT_EQ(slice(after, 0, k_offset), std::vector<uint8_t>(k_offset, 0xAA));
        EXPECT_EQ(slice(after, k_offset + dictionary_size, k_after),
                  std::vector<uint8_t>(k_after, 0xBB));
        EXPECT_EQ(saved, row.fits) << session.last_error();
        EXPECT_EQ(session.save_needs_new_file(), !row.fits);
        if (row.fits) {
            ps2_txd reread;
            ASSERT_TRUE(reread.load(file, k_offset, 0x16, 0)) << reread.last_error;
            EXPECT_EQ(reread.texture_name(0, name_kind::texture), row.names.back());
            EXPECT_EQ(reread.texture_name(1, name_kind::texture), "second");
        } else {
            // Refused before a byte was written, naming both sizes.
            EXPECT_EQ(after, before_last);
            const std::string message = session.last_error();
            EXPECT_NE(message.find(std::to_string(session.dictionary()->tree_bytes())),
                      std::string::npos)
                << message;
            EXPECT_NE(message.find(std::to_string(dictionary_size) + " bytes at offset 256"),
                      std::string::npos)
                << message;
        }
    }
}

TEST(SaveAtOffset, NeverWritesTheDictionaryOverItsContainerAtOffsetZero) {
    const fs::path dir = temp_dir();
    const fs::path file = write_file(dir / "x.img", container_bytes());
    fs::create_symlink("x.img", dir / "link.img");
    const std::pair<const char*, fs::path> targets[] = {
        {"the file itself", file},
        {"a link to it", dir / "link.img"},
    };
    for (const auto& [label, target] : targets) {
        SCOPED_TRACE(label);
        editor_session session;
        ASSERT_EQ(session.open(file.string(), k_offset, "PS2"), open_status::opened);
        EXPECT_FALSE(session.save_as(target.string()));
        EXPECT_TRUE(session.save_needs_new_file());
        EXPECT_NE(session.last_error().find("would replace everything else the file holds"),
                  std::string::npos)
            << session.last_error();
        EXPECT_EQ(read_file(file), container_bytes());
        // Another file takes it at its start.
        EXPECT_TRUE(session.save_as((dir / "alone.txd").string())) << session.last_error();
        EXPECT_EQ(read_file(dir / "alone.txd"), dictionary_bytes());
    }
}

struct cli_offset_case {
    const char* label;
    std::vector<std::string> arguments; // after the file; "OUT" becomes the container's path
    int exit_code;
    const char* message_part; // on stderr; empty when the command succeeds
};

TEST(SaveAtOffset, CommandLineRefusesWhatWouldDamageTheContainer) {
    const cli_offset_case cases[] = {
        {"rename that grows, in place",
         {"rename", "--offset", "100", "-t", "0", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "--in-place"},
         1,
         "would overwrite what follows"},
        {"save over the container at offset 0",
         {"save", "--offset", "100", "-o", "OUT"},
         1,
         "would replace everything else"},
        {"rename over the container at offset 0",
         {"rename", "--offset", "100", "-t", "0", "t", "-o", "OUT"},
         1,
         "would replace everything else"},
        {"rename that fits, in place",
         {"rename", "--offset", "100", "-t", "0", "t", "--in-place"},
         0,
         ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path file = write_temp("x.img", container_bytes());
        std::vector<std::string> arguments = {row.arguments[0], file.string()};
        for (size_t i = 1; i < row.arguments.size(); ++i)
            arguments.push_back(row.arguments[i] == "OUT" ? file.string() : row.arguments[i]);
        const cli_result result = run_cli(arguments);
        EXPECT_EQ(result.exit_code, row.exit_code) << result.err;
        const auto after = read_file(file);
        if (*row.message_part) {
            EXPECT_NE(result.err.find(row.message_part), std::string::npos) << result.err;
            EXPECT_EQ(after, container_bytes());
        } else {
            ASSERT_EQ(after.size(), container_bytes().size());
            EXPECT_EQ(slice(after, after.size() - k_after, k_after),
                      std::vector<uint8_t>(k_after, 0xBB));
        }
    }
}

TEST(SaveAtOffset, UsageNamesEveryCommandThatTakesAnOffset) {
    const cli_result result = run_cli({"--help"});
    ASSERT_EQ(result.exit_code, 0);
    for (const char* command :
         {"list", "tree", "save", "convert", "export", "add", "replace", "rename", "delete", "move",
          "set-version", "lint", "repair", "render"}) {
        const std::string head = "quillmap-cli " + std::string(command) + " ";
        const size_t at = result.out.find(head);
        ASSERT_NE(at, std::string::npos) << command;
        const std::string line = result.out.substr(at, result.out.find('\n', at) - at);
        EXPECT_NE(line.find("[--offset HEX]"), std::string::npos) << line;
    }
}

// Saves over a user's file keep what the file is: its mode, its links, its other names.
enum class shape { mode_600, symlink, hard_link };

TEST(SaveOverAFile, KeepsModeLinksAndOtherNames) {
    const std::pair<const char*, shape> cases[] = {
        {"mode 600", shape::mode_600},
        {"a symlink to the dictionary", shape::symlink},
        {"a second hard link", shape::hard_link},
    };
    for (const auto& [label, kind] : cases) {
        SCOPED_TRACE(label);
        const fs::path dir = temp_dir();
        const fs::path real = write_file(dir / "a.txd", dictionary_bytes());
        fs::path opened = real;
        if (kind == shape::mode_600)
            fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
        if (kind == shape::symlink) {
            opened = dir / "link.txd";
            fs::create_symlink("a.txd", opened);
        }
        if (kind == shape::hard_link) fs::create_hard_link(real, dir / "b.txd");
        struct stat before {};
        ASSERT_EQ(::stat(real.c_str(), &before), 0);

        editor_session session;
        ASSERT_EQ(session.open(opened.string(), 0, "PS2"), open_status::opened);
        ASSERT_TRUE(session.rename(0, "renamed", name_kind::texture));
        ASSERT_TRUE(session.save()) << session.last_error();

        struct stat after {};
        ASSERT_EQ(::stat(real.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        ps2_txd reread;
        ASSERT_TRUE(reread.load(real, 0, 0x16, 0));
        EXPECT_EQ(reread.texture_name(0, name_kind::texture), "renamed");
        if (kind == shape::symlink) {
            EXPECT_TRUE(fs::is_symlink(opened));
        }
        if (kind == shape::hard_link) {
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(read_file(dir / "b.txd"), read_file(real));
        }
    }
}

TEST(SaveOverAFile, TwoEditsOfOneFileNeverLoseTheFirst) {
    const fs::path file = write_temp("a.txd", dictionary_bytes());
    editor_session first, second;
    ASSERT_EQ(first.open(file.string(), 0, "PS2"), open_status::opened);
    ASSERT_EQ(second.open(file.string(), 0, "PS2"), open_status::opened);
    ASSERT_TRUE(first.rename(0, "first", name_kind::texture));
    ASSERT_TRUE(second.rename(1, "second_edit", name_kind::texture));
    ASSERT_TRUE(first.save()) << first.last_error();
    EXPECT_FALSE(second.save());
    EXPECT_NE(second.last_error().find("another program changed the file"), std::string::npos)
        << second.last_error();
    ps2_txd reread;
    ASSERT_TRUE(reread.load(file, 0, 0x16, 0));
    EXPECT_EQ(reread.texture_name(0, name_kind::texture), "first");
    EXPECT_EQ(reread.texture_name(1, name_kind::texture), "second");
    // The first session goes on saving over its own work.
    ASSERT_TRUE(first.rename(0, "again", name_kind::texture));
    EXPECT_TRUE(first.save()) << first.last_error();
}

} // namespace

} // namespace quillmap
