// Saving when the file system says no: a target that is a folder, a folder that cannot be
// written, a file system that runs out of room, and a stale folder where the temporary file goes.
// Each save fails with a message, the original file keeps every byte, and no temporary file is
// left behind.
#include "dictionary/ps2_txd.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

constexpr const char* k_temp_suffix = ".quillmap-save";

std::vector<uint8_t> dictionary_bytes() {
    return make_dictionary(
               {make_ps2_texture({.name = "first", .width = 64, .height = 64, .depth = 8}),
                make_ps2_texture({.name = "second", .depth = 32, .swizzled = true})})
        .bytes();
}

fs::path temp_of(const fs::path& target) {
    fs::path temp = target;
    temp += k_temp_suffix;
    return temp;
}

// Files in the folder other than the ones named: what a failed save may have left there.
std::vector<std::string> leftovers(const fs::path& dir,
                                   std::initializer_list<const char*> expected) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (std::find_if(expected.begin(), expected.end(),
                         [&](const char* e) { return name == e; }) == expected.end())
            found.push_back(name);
    }
    return found;
}

// Runs `save` in a child process prepared by `prepare` and returns the child's verdict: the
// message of a refused save, or one of the markers below.
constexpr const char* k_saved = "<saved>";
constexpr const char* k_cannot_prepare = "<cannot prepare>";

template <class Prepare, class Save> std::string in_child(Prepare prepare, Save save) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return "<no pipe>";
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipe_fds[0]);
        std::string verdict;
        if (!prepare()) {
            verdict = k_cannot_prepare;
        } else {
            std::string message;
            verdict = save(message) ? std::string(k_saved) : message;
        }
        (void)!write(pipe_fds[1], verdict.data(), verdict.size());
        close(pipe_fds[1]);
        _exit(0);
    }
    close(pipe_fds[1]);
    std::string verdict;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0)
        verdict.append(buffer, size_t(n));
    close(pipe_fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "<child died>";
    return verdict;
}

// Gives up root in the child (as nobody), so that folder permissions apply as they do for users.
bool act_as_ordinary_user() {
    if (geteuid() != 0) return true;
    const gid_t nogroup = 65534;
    const uid_t nobody = 65534;
    return setgroups(0, nullptr) == 0 && setresgid(nogroup, nogroup, nogroup) == 0 &&
           setresuid(nobody, nobody, nobody) == 0 && geteuid() == nobody;
}

TEST(SaveFault, TargetThatIsAFolder) {
    const fs::path dir = temp_dir();
    const fs::path source = write_file(dir / "a.txd", dictionary_bytes());
    const fs::path folder = dir / "folder.txd";
    fs::create_directory(folder);

    ps2_txd txd;
    ASSERT_TRUE(txd.load(source, 0, 0x16, 0)) << txd.last_error;
    EXPECT_FALSE(txd.save(folder, 0));
    EXPECT_EQ(txd.last_error, "Cannot open output file. (folder.txd: Is a directory)");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_FALSE(fs::exists(temp_of(folder)));
    EXPECT_EQ(read_file(source), dictionary_bytes());
    EXPECT_EQ(leftovers(dir, {"a.txd", "folder.txd"}), std::vector<std::string>{});
    // The dictionary is still whole after the refusal.
    EXPECT_EQ(txd.texture_name(1, name_kind::texture), "second");
}

// Temporary names are unique (mkstemp), so a folder left under the name older versions used for
// their temporary file no longer stops a save.
TEST(SaveFault, StaleFolderInPlaceOfTheTemporaryFile) {
    const fs::path dir = temp_dir();
    const fs::path source = write_file(dir / "a.txd", dictionary_bytes());
    fs::create_directory(temp_of(source));

    ps2_txd txd;
    ASSERT_TRUE(txd.load(source, 0, 0x16, 0)) << txd.last_error;
    ASSERT_TRUE(txd.rename_texture(0, "renamed", name_kind::texture)) << txd.last_error;
    EXPECT_TRUE(txd.save(source, 0)) << txd.last_error;
    ps2_txd reread;
    ASSERT_TRUE(reread.load(source, 0, 0x16, 0)) << reread.last_error;
    EXPECT_EQ(reread.texture_name(0, name_kind::texture), "renamed");
    // Somebody else's folder is neither used nor removed.
    EXPECT_TRUE(fs::is_directory(temp_of(source)));
    EXPECT_EQ(leftovers(dir, {"a.txd", "a.txd.quillmap-save"}), std::vector<std::string>{});
}

TEST(SaveFault, ReadOnlyFolder) {
    const fs::path dir = temp_dir();
    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    const fs::path source = write_file(locked / "a.txd", dictionary_bytes());
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    fs::permissions(source, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);

    ps2_txd txd;
    ASSERT_TRUE(txd.load(source, 0, 0x16, 0)) << txd.last_error;
    const std::string verdict = in_child(act_as_ordinary_user, [&](std::string& message) {
        const bool ok = txd.save(source, 0);
        message = txd.last_error;
        return ok;
    });
    fs::permissions(locked, fs::perms::owner_all);
    if (verdict == k_cannot_prepare)
        GTEST_SKIP() << "running as root and cannot act as an ordinary user, so a read-only "
                        "folder would not stop the save";
    EXPECT_NE(verdict, k_saved);
    EXPECT_EQ(verdict, "Cannot open output file. (a.txd: Permission denied)");
    EXPECT_EQ(read_file(source), dictionary_bytes());
    EXPECT_EQ(leftovers(locked, {"a.txd"}), std::vector<std::string>{});
}

// The write stops part-way (EFBIG) once the file would pass the limit.
TEST(SaveFault, OutOfSpace) {
    const fs::path dir = temp_dir();
    const std::vector<uint8_t> original = dictionary_bytes();
    ASSERT_GT(original.size(), 4096u);
    const fs::path source = write_file(dir / "a.txd", original);

    ps2_txd txd;
    ASSERT_TRUE(txd.load(source, 0, 0x16, 0)) << txd.last_error;
    ASSERT_TRUE(txd.rename_texture(0, "renamed", name_kind::texture)) << txd.last_error;
    const auto limit_file_size = [] {
        std::signal(SIGXFSZ, SIG_IGN); // a failed write instead of a killed process
        const rlimit limit{1024, 1024};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    const std::string verdict = in_child(limit_file_size, [&](std::string& message) {
        const bool ok = txd.save(source, 0);
        message = txd.last_error;
        return ok;
    });
    ASSERT_NE(verdict, k_cannot_prepare);
    EXPECT_NE(verdict, k_saved);
    EXPECT_FALSE(verdict.empty());
    EXPECT_EQ(read_file(source), original);
    EXPECT_EQ(leftovers(dir, {"a.txd"}), std::vector<std::string>{});
}

// The same limit with room enough: the save goes through, so the limit itself is not what fails.
TEST(SaveFault, SaveWithinTheLimitSucceeds) {
    const fs::path dir = temp_dir();
    const std::vector<uint8_t> original = dictionary_bytes();
    const fs::path source = write_file(dir / "a.txd", original);

    ps2_txd txd;
    ASSERT_TRUE(txd.load(source, 0, 0x16, 0)) << txd.last_error;
    const auto limit_file_size = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t room = original.size() + 4096;
        const rlimit limit{room, room};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    const std::string verdict = in_child(limit_file_size, [&](std::string& message) {
        const bool ok = txd.save(source, 0);
        message = txd.last_error;
        return ok;
    });
    EXPECT_EQ(verdict, k_saved);
    EXPECT_EQ(read_file(source), original);
    EXPECT_EQ(leftovers(dir, {"a.txd"}), std::vector<std::string>{});
}

} // namespace

} // namespace quillmap
