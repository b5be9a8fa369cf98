// The file-output primitive every writer goes through: links, modes, new outputs that must not
// follow a planted link, a fault at every step, and a second writer while the first holds the
// lock. Everything happens on files made in a fresh temporary folder.
#include "stream/safe_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> k_old = {1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<uint8_t> k_new = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

struct stat stat_of(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// How the target is reached, and what must hold once the new bytes are written through it.
enum class target_kind {
    plain_0600,
    plain_0640,
    absolute_link,
    relative_link,
    chained_links,
    hard_link
};

struct replace_case {
    const char* label;
    target_kind kind;
};

TEST(SafeFile, ReplacingKeepsWhatTheTargetIs) {
    const replace_case cases[] = {
        {"mode 600 stays 600", target_kind::plain_0600},
        {"mode 640 stays 640", target_kind::plain_0640},
        {"an absolute symlink is written through", target_kind::absolute_link},
        {"a relative symlink in another folder is written through", target_kind::relative_link},
        {"a chain of two links is written through", target_kind::chained_links},
        {"a hard link keeps sharing the file", target_kind::hard_link},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        fs::create_directory(dir / "real");
        const fs::path real = write_file(dir / "real" / "a.txd", k_old);
        fs::path asked = real;
        fs::path other_name; // a second name that must see the new bytes too
        mode_t mode = 0644;
        switch (row.kind) {
        case target_kind::plain_0600:
            mode = 0600;
            break;
        case target_kind::plain_0640:
            mode = 0640;
            break;
        case target_kind::absolute_link:
            asked = dir / "link.txd";
            fs::create_symlink(real, asked);
            break;
        case target_kind::relative_link:
            asked = dir / "link.txd";
            fs::create_symlink("real/a.txd", asked);
            break;
        case target_kind::chained_links:
            fs::create_symlink(real, dir / "first.txd");
            asked = dir / "second.txd";
            fs::create_symlink("first.txd", asked);
            break;
        case target_kind::hard_link:
            other_name = dir / "other.txd";
            fs::create_hard_link(real, other_name);
            break;
        }
        ASSERT_EQ(::chmod(real.c_str(), mode), 0);
        const ino_t inode = stat_of(real).st_ino;

        std::string error;
        ASSERT_TRUE(safe_file::write_file(asked, k_new, {}, error)) << error;
        EXPECT_EQ(read_file(real), k_new);
        EXPECT_EQ(stat_of(real).st_mode & 07777, mode);
        if (asked != real) {
            EXPECT_TRUE(fs::is_symlink(asked)) << "the link was replaced";
        }
        if (!other_name.empty()) {
            EXPECT_EQ(read_file(other_name), k_new);
            EXPECT_EQ(stat_of(real).st_ino, inode);
            EXPECT_EQ(stat_of(real).st_nlink, 2u);
        }
        EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>{"a.txd"});
    }
}

// Outputs made in an output folder: nothing existing is replaced unless asked, and no link in
// the way is followed, even when asked to replace.
struct new_output_case {
    const char* label;
    bool replace;
    bool link_to_outside; // else a plain file at the target
    bool dangling;        // the link names a file that does not exist
    const char* message_part;
};

TEST(SafeFile, NewOutputsNeverFollowALinkOrReplaceUnasked) {
    const new_output_case cases[] = {
        {"an existing file is kept", false, false, false, "File exists"},
        {"a dangling link is not followed", false, true, true, "symbolic link"},
        {"a link to an outside file is not followed", false, true, false, "symbolic link"},
        {"a link is not followed even when replacing", true, true, false, "symbolic link"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        fs::create_directory(dir / "out");
        const fs::path outside = dir / "outside.bin";
        const fs::path target = dir / "out" / "a.png";
        if (row.link_to_outside) {
            if (!row.dangling) write_file(outside, k_old);
            fs::create_symlink(outside, target);
        } else {
            write_file(target, k_old);
        }
        safe_file::write_options options;
        options.replace = row.replace;
        options.follow_links = false;
        std::string error;
        EXPECT_FALSE(safe_file::write_file(target, k_new, options, error));
        EXPECT_NE(error.find(row.message_part), std::string::npos) << error;
        EXPECT_NE(error.find("a.png"), std::string::npos) << error;
        if (row.link_to_outside) {
            EXPECT_TRUE(fs::is_symlink(target));
            EXPECT_EQ(fs::exists(outside), !row.dangling);
            if (!row.dangling) {
                EXPECT_EQ(read_file(outside), k_old);
            }
        } else {
            EXPECT_EQ(read_file(target), k_old);
        }
        EXPECT_EQ(names_in(dir / "out"), std::vector<std::string>{"a.png"});
    }
}

// The test hook fails step k; the count of steps comes from a run with a hook that only counts.
uint64_t g_fail_at = 0;
uint64_t g_steps_seen = 0;
safe_file::hook_action fail_at_k(safe_file::io_step, uint64_t number) {
    g_steps_seen = number;
    return number == g_fail_at ? safe_file::hook_action::fail : safe_file::hook_action::proceed;
}

struct fault_case {
    const char* label;
    bool existing;
    bool hard_linked;
    bool durable;
};

TEST(SafeFile, AFaultAtEveryStepLeavesTheOldFileOrNone) {
    const fault_case cases[] = {
        {"replacing, flushed", true, false, true},
        {"replacing, not flushed", true, false, false},
        {"a new file", false, false, true},
        {"a hard-linked file, updated in place", true, true, true},
    };
    std::vector<uint8_t> big(3u << 20); // three pieces, so writes fail part-way
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        safe_file::write_options options;
        options.durable = row.durable;
        // Count the steps of a successful write.
        g_fail_at = 0;
        {
            const fs::path dir = temp_dir();
            if (row.existing) write_file(dir / "a.txd", k_old);
            if (row.hard_linked) fs::create_hard_link(dir / "a.txd", dir / "b.txd");
            safe_file::set_io_hook(fail_at_k);
            std::string error;
            ASSERT_TRUE(safe_file::write_file(dir / "a.txd", big, options, error)) << error;
            safe_file::set_io_hook(nullptr);
        }
        const uint64_t steps = g_steps_seen;
        ASSERT_GE(steps, row.durable ? 5u : 4u);
        for (uint64_t k = 1; k <= steps; ++k) {
            SCOPED_TRACE("step " + std::to_string(k));
            const fs::path dir = temp_dir();
            const fs::path target = dir / "a.txd";
            if (row.existing) write_file(target, k_old);
            if (row.hard_linked) fs::create_hard_link(target, dir / "b.txd");
            g_fail_at = k;
            safe_file::set_io_hook(fail_at_k);
            std::string error;
            const bool ok = safe_file::write_file(target, big, options, error);
            safe_file::set_io_hook(nullptr);
            // The folder's flush after the rename may fail without undoing the rename.
            if (ok) {
                EXPECT_EQ(read_file(target), big);
                EXPECT_EQ(k, steps);
                continue;
            }
            EXPECT_FALSE(error.empty());
            std::vector<std::string> expected;
            if (row.existing) expected.push_back("a.txd");
            if (row.hard_linked) expected.push_back("b.txd");
            if (!row.hard_linked) {
                EXPECT_EQ(names_in(dir), expected);
                if (row.existing) {
                    EXPECT_EQ(read_file(target), k_old);
                }
                continue;
            }
            // In place: the target is old, or the complete new bytes wait in the kept copy.
            if (read_file(target) == k_old) {
                EXPECT_EQ(names_in(dir), expected);
            } else {
                const auto names = names_in(dir);
                ASSERT_EQ(names.size(), 3u);
                EXPECT_TRUE(safe_file::is_temporary_name(names[0])) << names[0];
                EXPECT_EQ(read_file(dir / names[0]), big);
                EXPECT_NE(error.find(names[0]), std::string::npos) << error;
            }
        }
    }
}

// A child process that holds the lock on `path` until the parent writes a byte to `go`, then
// (when `replace_first`) puts new bytes under the name as another saving program would.
struct lock_holder {
    pid_t pid = -1;
    int go = -1;
};

lock_holder hold_lock(const fs::path& path, bool replace_first) {
    int ready[2], go[2];
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(go), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        close(go[1]);
        safe_file::file_lock lock;
        std::string error;
        const char state = lock.acquire(path, 1000, error) ? 'L' : 'E';
        (void)!write(ready[1], &state, 1);
        char byte;
        (void)!read(go[0], &byte, 1);
        if (replace_first) {
            const fs::path temp = path.string() + ".other";
            write_file(temp, {7, 7, 7});
            fs::rename(temp, path);
        }
        _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    char state = 0;
    EXPECT_EQ(read(ready[0], &state, 1), 1);
    EXPECT_EQ(state, 'L');
    close(ready[0]);
    return {pid, go[1]};
}

void release(lock_holder& holder) {
    (void)!write(holder.go, "x", 1);
    close(holder.go);
    int status = 0;
    waitpid(holder.pid, &status, 0);
}

TEST(SafeFile, ASecondWriterWaitsForTheLockAndGivesUpWithAMessage) {
    const fs::path dir = temp_dir();
    const fs::path target = write_file(dir / "a.img", k_old);
    lock_holder holder = hold_lock(target, false);
    safe_file::write_options options;
    options.lock_wait_ms = 100;
    std::string error;
    EXPECT_FALSE(safe_file::write_file(target, k_new, options, error));
    EXPECT_NE(error.find("another program is saving into it"), std::string::npos) << error;
    EXPECT_FALSE(safe_file::write_at(target, 2, k_new, options, error));
    EXPECT_EQ(read_file(target), k_old);
    release(holder);
    // Once the first writer is done, the second goes through.
    EXPECT_TRUE(safe_file::write_file(target, k_new, options, error)) << error;
    EXPECT_EQ(read_file(target), k_new);
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"a.img"});
}

TEST(SafeFile, AWriterThatWaitedNeverOverwritesTheFirstWritersWork) {
    const fs::path dir = temp_dir();
    const fs::path target = write_file(dir / "a.img", k_old);
    const auto read_stamp = safe_file::stamp_of(target);
    ASSERT_TRUE(read_stamp);
    lock_holder holder = hold_lock(target, true);
    safe_file::write_options options;
    options.unchanged_since = read_stamp;
    bool ok = true;
    std::string error;
    std::thread second([&] { ok = safe_file::write_file(target, k_new, options, error); });
    release(holder); // the first writer replaces the file and lets go
    second.join();
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("changed the file since it was read"), std::string::npos) << error;
    EXPECT_EQ(read_file(target), (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"a.img"});
}

TEST(SafeFile, WriteAtChangesOnlyTheBytesItIsGiven) {
    const fs::path dir = temp_dir();
    const fs::path real = write_file(dir / "a.img", k_old);
    fs::create_symlink("a.img", dir / "link.img");
    std::string error;
    ASSERT_TRUE(safe_file::write_at(dir / "link.img", 2, std::vector<uint8_t>{0, 0, 0}, {}, error))
        << error;
    EXPECT_EQ(read_file(real), (std::vector<uint8_t>{1, 2, 0, 0, 0, 6, 7, 8}));
    EXPECT_TRUE(fs::is_symlink(dir / "link.img"));
}

struct folder_case {
    const char* label;
    const char* folder;
    const char* planted;      // "link:NAME", "file:NAME" or empty
    const char* message_part; // empty when the folders are made
};

TEST(SafeFile, OutputFoldersAreRealFoldersUnderTheRoot) {
    const folder_case cases[] = {
        {"nested folders are made", "a/b/c", "", ""},
        {"an existing folder is used", "a/b", "dir:a", ""},
        {"a link to a folder outside is refused", "a/b", "link:a", "a symbolic link is in the way"},
        {"a dangling link is refused", "a/b", "dangling:a", "a symbolic link is in the way"},
        {"a file in the way is named", "a/b", "file:a", "a file of that name is in the way"},
        {"a parent step is refused", "../b", "", "leaves the output folder"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        const fs::path root = dir / "out";
        fs::create_directories(root);
        fs::create_directories(dir / "elsewhere");
        const std::string planted = row.planted;
        const std::string name = planted.substr(planted.find(':') + 1);
        if (planted.starts_with("link:"))
            fs::create_directory_symlink(dir / "elsewhere", root / name);
        if (planted.starts_with("dangling:"))
            fs::create_directory_symlink(dir / "nowhere", root / name);
        if (planted.starts_with("file:")) write_file(root / name, k_old);
        if (planted.starts_with("dir:")) fs::create_directory(root / name);
        std::string error;
        const bool ok = safe_file::make_folders(root, row.folder, error);
        if (*row.message_part == 0) {
            EXPECT_TRUE(ok) << error;
            EXPECT_TRUE(fs::is_directory(root / row.folder));
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(row.message_part), std::string::npos) << error;
        }
        EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
        EXPECT_FALSE(fs::exists(dir / "nowhere"));
        EXPECT_FALSE(fs::exists(dir / "b"));
    }
}

TEST(SafeFile, RootThatIsAFileSaysSo) {
    const fs::path file = write_temp("out.png", k_old);
    std::string error;
    EXPECT_FALSE(safe_file::make_folders(file, {}, error));
    EXPECT_EQ(error,
              "cannot create folder " + file.string() + ": a file of that name is in the way");
}

TEST(SafeFile, TemporaryNamesAreToldApart) {
    const std::pair<const char*, bool> cases[] = {
        {".a.txd.quillmap-Ab12Cd", true},
        {".gta3.img.quillmap-000000", true},
        {"a.txd.quillmap-save", true}, // what older versions left
        {"a.txd", false},
        {".quillmap-Ab12Cd", false},      // no name before the marker
        {"a.txd.quillmap-Ab12Cd", false}, // not hidden: somebody's own file
        {".a.txd.quillmap-Ab12", false},
        {".hidden.txd", false},
        {".a.txd.quillmap-copy", true}, // the complete copy of an in-place update
        {"a.txd.quillmap-copy", false},
        {".quillmap-copy", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(safe_file::is_temporary_name(name), expected) << name;
}

TEST(SafeFile, NewFilesGetTheModeTheUmaskAllows) {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const fs::path dir = temp_dir();
    std::string error;
    ASSERT_TRUE(safe_file::write_file(dir / "new.png", k_new, {}, error)) << error;
    // Not the 0600 of a bare temporary file: what any other new file would get.
    EXPECT_EQ(stat_of(dir / "new.png").st_mode & 07777, mode_t(0666 & ~mask));
}

} // namespace

} // namespace quillmap
