// The rules every writer shares, tried on files made in a fresh folder: only regular files are
// replaced (FIFOs, sockets, devices and folders are refused), hard links planted in an output
// folder are replaced rather than written into, a file rewritten around one region goes through
// a complete copy, an in-place update of a hard-linked file that a crash cut short is finished by
// the next open, and a clean-up never removes a temporary file that a live writer holds.
#include "test_files.h"

#include "batch/batch_runner.h"
#include "session/editor_session.h"
#include "session/session_messages.h"
#include "stream/safe_edit.h"
#include "stream/safe_file.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> k_old = {1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<uint8_t> k_new = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t type_of(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & S_IFMT;
}

ino_t inode_of(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_ino;
}

enum class special { fifo, socket, link_to_fifo, link_to_dev_null, folder };

// Makes the special node `name` in `dir`; returns the path a writer is asked to write.
fs::path make_special(const fs::path& dir, special kind) {
    const fs::path target = dir / "out.txd";
    switch (kind) {
    case special::fifo:
        EXPECT_EQ(::mkfifo(target.c_str(), 0600), 0);
        break;
    case special::socket: {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", target.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        break;
    }
    case special::link_to_fifo:
        EXPECT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
        fs::create_symlink("pipe", target);
        break;
    case special::link_to_dev_null:
        fs::create_symlink("/dev/null", target);
        break;
    case special::folder:
        fs::create_directory(target);
        break;
    }
    return target;
}

struct special_case {
    const char* label;
    special kind;
    mode_t type; // what the path names before and after
};

TEST(WriteRules, OnlyRegularFilesAreEverReplaced) {
    const special_case cases[] = {
        {"a FIFO", special::fifo, S_IFIFO},
        {"a socket", special::socket, S_IFSOCK},
        {"a symlink to a FIFO", special::link_to_fifo, S_IFIFO},
        {"a symlink to /dev/null", special::link_to_dev_null, S_IFCHR},
        {"a folder", special::folder, S_IFDIR},
    };
    const std::pair<const char*, safe_file::write_options> policies[] = {
        {"a save over a user's file", safe_file::write_options{}},
        {"an output folder", safe_file::output_folder_options(true, false)},
    };
    for (const auto& row : cases)
        for (const auto& [policy, options] : policies) {
            SCOPED_TRACE(std::string(row.label) + ", " + policy);
            const fs::path dir = temp_dir();
            const fs::path target = make_special(dir, row.kind);
            const auto before = names_in(dir);
            std::string error;
            EXPECT_FALSE(safe_file::write_file(target, k_new, options, error));
            EXPECT_FALSE(error.empty());
            safe_file::partial_file piecewise;
            EXPECT_FALSE(piecewise.create(target, options, error));
            EXPECT_FALSE(safe_file::write_within(target, 0, k_new, options, error));
            // The node is what it was, and no temporary file was left beside it.
            EXPECT_EQ(type_of(target), row.type);
            EXPECT_EQ(names_in(dir), before);
        }
}

TEST(WriteRules, HardLinksInAnOutputFolderAreReplacedNeverWrittenInto) {
    const struct {
        const char* label;
        safe_file::write_options options;
        bool outside_sees_the_write;
    } cases[] = {
        {"a save over a user's hard-linked file keeps the link", safe_file::write_options{}, true},
        {"an output replaces the planted link", safe_file::output_folder_options(true, false),
         false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        const fs::path outside = write_file(dir / "outside.txd", k_old);
        fs::create_directory(dir / "out");
        const fs::path target = dir / "out" / "a.png";
        fs::create_hard_link(outside, target);
        std::string error;
        ASSERT_TRUE(safe_file::write_file(target, k_new, row.options, error)) << error;
        EXPECT_EQ(read_file(target), k_new);
        EXPECT_EQ(read_file(outside), row.outside_sees_the_write ? k_new : k_old);
        EXPECT_EQ(inode_of(target) == inode_of(outside), row.outside_sees_the_write);
        EXPECT_EQ(names_in(dir / "out"), std::vector<std::string>{"a.png"});
    }
}

// The test hook fails step k; a run with no failing step counts the steps.
uint64_t g_fail_at = 0;
uint64_t g_steps_seen = 0;
safe_file::hook_action fail_at_k(safe_file::io_step, uint64_t number) {
    g_steps_seen = number;
    return number == g_fail_at ? safe_file::hook_action::fail : safe_file::hook_action::proceed;
}

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * seed + (i >> 11));
    return bytes;
}

TEST(WriteRules, WritingWithinAFileLeavesTheOldOrTheNewFileAtEveryFault) {
    // Three pieces of a MiB and more, so that writes fail part-way; the region crosses a piece.
    const std::vector<uint8_t> old_file = pattern((3u << 20) + 300, 7);
    const std::vector<uint8_t> region = pattern((1u << 20) + 100, 13);
    const uint64_t offset = (1u << 20) - 50;
    std::vector<uint8_t> new_file = old_file;
    std::copy(region.begin(), region.end(), new_file.begin() + std::ptrdiff_t(offset));
    for (const bool hard_linked : {false, true}) {
        SCOPED_TRACE(hard_linked ? "hard-linked" : "one name");
        g_fail_at = 0;
        uint64_t steps = 0;
        {
            const fs::path dir = temp_dir();
            const fs::path target = write_file(dir / "c.bin", old_file);
            if (hard_linked) fs::create_hard_link(target, dir / "d.bin");
            const ino_t before = inode_of(target);
            safe_file::set_io_hook(fail_at_k);
            std::string error;
            ASSERT_TRUE(safe_file::write_within(target, offset, region, {}, error)) << error;
            safe_file::set_io_hook(nullptr);
            steps = g_steps_seen;
            EXPECT_EQ(read_file(target), new_file);
            // One name: a new file renamed into place; hard links: the same file.
            EXPECT_EQ(inode_of(target) == before, hard_linked);
        }
        ASSERT_GE(steps, 5u);
        size_t finished_on_open = 0;
        for (uint64_t k = 1; k <= steps; ++k) {
            SCOPED_TRACE("step " + std::to_string(k));
            const fs::path dir = temp_dir();
            const fs::path target = write_file(dir / "c.bin", old_file);
            if (hard_linked) fs::create_hard_link(target, dir / "d.bin");
            g_fail_at = k;
            safe_file::set_io_hook(fail_at_k);
            std::string error;
            const bool ok = safe_file::write_within(target, offset, region, {}, error);
            safe_file::set_io_hook(nullptr);
            bool finished = false;
            if (!ok && safe_file::unfinished_update(target)) {
                ASSERT_TRUE(safe_file::finish_unfinished_update(target, error)) << error;
                finished = true;
                ++finished_on_open;
            }
            const auto now = read_file(target);
            EXPECT_TRUE(now == old_file || now == new_file);
            EXPECT_EQ(now == new_file, ok || finished) << error;
            if (hard_linked) {
                EXPECT_EQ(read_file(dir / "d.bin"), now);
            }
            std::vector<std::string> expected{"c.bin"};
            if (hard_linked) expected.push_back("d.bin");
            EXPECT_EQ(names_in(dir), expected);
        }
        // Only the in-place update has states in which the file itself is torn.
        EXPECT_EQ(finished_on_open != 0, hard_linked);
    }
}

std::vector<uint8_t> dictionary_named(const std::string& name, uint8_t seed) {
    // 512 x 512 x 32 bits: a MiB of pixels, so the file is written in two pieces.
    return make_dictionary(
               {make_ps2_texture(
                   {.name = name, .width = 512, .height = 512, .depth = 32, .fill_seed = seed})})
        .bytes();
}

uint64_t g_crash_at = 0;
safe_file::hook_action crash_at_k(safe_file::io_step, uint64_t number) {
    if (number == g_crash_at) ::_exit(137);
    return safe_file::hook_action::proceed;
}

TEST(WriteRules, ACrashDuringAnInPlaceUpdateIsFinishedByTheNextOpen) {
    const auto old_bytes = dictionary_named("before", 1);
    const auto new_bytes = dictionary_named("after", 2);
    // The steps of the whole update.
    g_fail_at = 0;
    {
        const fs::path dir = temp_dir();
        write_file(dir / "a.txd", old_bytes);
        fs::create_hard_link(dir / "a.txd", dir / "b.txd");
        safe_file::set_io_hook(fail_at_k);
        std::string error;
        ASSERT_TRUE(safe_file::write_file(dir / "a.txd", new_bytes, {}, error)) << error;
        safe_file::set_io_hook(nullptr);
    }
    const uint64_t steps = g_steps_seen;
    size_t torn = 0;
    for (uint64_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("crash at step " + std::to_string(k));
        const fs::path dir = temp_dir();
        const fs::path target = write_file(dir / "a.txd", old_bytes);
        fs::create_hard_link(target, dir / "b.txd");
        const pid_t child = fork();
        if (child == 0) {
            g_crash_at = k;
            safe_file::set_io_hook(crash_at_k);
            std::string error;
            safe_file::write_file(target, new_bytes, {}, error);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const auto left = read_file(target);
        torn += left != old_bytes && left != new_bytes;
        // The window and the command line open through the session, which finishes the update.
        editor_session session;
        ASSERT_EQ(session.open(target.string(), 0, "PS2"), open_status::opened)
            << session.open_reason();
        const std::string name = session.dictionary()->texture_name(0, name_kind::texture);
        EXPECT_TRUE(name == "before" || name == "after") << name;
        EXPECT_EQ(read_file(target), name == "after" ? new_bytes : old_bytes);
        EXPECT_EQ(read_file(dir / "b.txd"), read_file(target));
        EXPECT_FALSE(safe_file::unfinished_update(target));
        if (left != read_file(target)) {
            EXPECT_EQ(session.last_note(), session_msg::finished_interrupted_save);
        }
    }
    // The crash points include some that tear the file itself.
    EXPECT_GT(torn, 0u);
}

TEST(WriteRules, ACopyBesideAFileThatWasReplacedSinceIsKeptAndNamed) {
    const fs::path dir = temp_dir();
    const auto bytes = dictionary_named("current", 3);
    const fs::path target = write_file(dir / "a.txd", bytes);
    const fs::path copy = write_file(dir / ".a.txd.quillmap-copy", dictionary_named("older", 4));
    editor_session session;
    ASSERT_EQ(session.open(target.string(), 0, "PS2"), open_status::opened);
    EXPECT_EQ(read_file(target), bytes);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_NE(session.last_note().find(copy.string()), std::string::npos) << session.last_note();
}

TEST(WriteRules, ACleanUpRemovesOnlyTemporariesNobodyHolds) {
    const fs::path dir = temp_dir();
    // A save in progress: its temporary file exists and is held.
    safe_file::partial_file live;
    std::string error;
    ASSERT_TRUE(
        live.create(dir / "live.png", safe_file::output_folder_options(false, false), error))
        << error;
    ASSERT_TRUE(live.write_at(0, k_new, error));
    // What killed runs leave, and the complete copy of an unfinished update.
    write_file(dir / ".dead.png.quillmap-Ab12Cd", k_old);
    write_file(dir / "older.png.quillmap-save", k_old);
    write_file(dir / ".linked.txd.quillmap-copy", k_old);
    ASSERT_EQ(names_in(dir).size(), 4u);
    EXPECT_EQ(remove_stale_temporaries(dir), 2u);
    const auto left = names_in(dir);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], ".linked.txd.quillmap-copy");
    EXPECT_TRUE(safe_file::is_temporary_name(left[1])) << left[1];
    EXPECT_NE(left[1].find("live.png"), std::string::npos) << left[1];
    // The save goes on to its end.
    ASSERT_TRUE(live.commit(error)) << error;
    EXPECT_EQ(read_file(dir / "live.png"), k_new);
}

} // namespace

} // namespace quillmap
