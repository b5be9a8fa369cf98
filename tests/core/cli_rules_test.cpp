// The command line's shared rules: a command refuses any option its usage line does not name,
// `batch convert` writes exactly what `convert` writes for every target platform, a stopped batch
// goes on with --skip-existing, every writer keeps to the output folder rule, and a target that
// is no regular file is refused.
#include "archive_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "stream/stop_request.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

fs::path make_dictionary_file(const fs::path& path, uint8_t seed) {
    return write_file(path, make_dictionary({make_ps2_texture({.name = "a", .fill_seed = seed}),
                                             make_ps2_texture({.name = "b",
                                                               .width = 16,
                                                               .height = 16,
                                                               .depth = 32,
                                                               .fill_seed = uint8_t(seed + 3)})})
                                .bytes());
}

struct option_case {
    const char* label;
    std::vector<std::string> arguments; // FILE stands for a dictionary, OUT for a new path
    const char* refused;                // the option the message must name
};

TEST(CommandLine, RefusesAnOptionTheCommandDoesNotTake) {
    const fs::path dir = temp_dir();
    const std::string file = make_dictionary_file(dir / "d.txd", 1).string();
    const std::string out = (dir / "out").string();
    const option_case cases[] = {
        {"a flag nobody takes", {"list", file, "--bogus"}, "--bogus"},
        {"an option nobody takes, with a value", {"list", file, "--bogus", "1"}, "--bogus"},
        {"another command's option", {"export", file, "--all", "--to", "d3d9"}, "--to"},
        {"batch before the fix took any option",
         {"batch", "convert", file, "-o", out, "--colour", "red"},
         "--colour"},
        {"a flag of batch given to save", {"save", file, "-o", out, "--overwrite"}, "--overwrite"},
        {"archive commands too", {"archive", "list", file, "--fsync"}, "--fsync"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const cli_result result = run_cli(row.arguments);
        EXPECT_EQ(result.exit_code, 2) << result.out << result.err;
        EXPECT_TRUE(contains(result.err, "does not take the option " + std::string(row.refused)))
            << result.err;
        EXPECT_FALSE(fs::exists(out));
    }
    // Options the usage line names still work, whatever their order.
    const cli_result listed = run_cli({"list", "--json", file, "--platforms", "PS2"});
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
}

struct target_case {
    const char* label;
    std::vector<std::string> options; // given to convert and to batch convert alike
    const char* listed;               // a part of what `list --json` says of the output
};

TEST(BatchConvert, WritesWhatConvertWritesForEveryTarget) {
    const fs::path dir = temp_dir();
    const fs::path inputs = dir / "in";
    fs::create_directories(inputs);
    const fs::path input = make_dictionary_file(inputs / "d.txd", 5);
    const target_case cases[] = {
        {"PS2 by default", {}, "\"platform\":\"PS2\""},
        {"PS2 at 4 bits",
         {"--to", "ps2", "--depth", "4", "--dither", "off"},
         "\"platform\":\"PS2\""},
        {"D3D8 in 8888", {"--to", "d3d8", "--format", "8888"}, "\"platform_id\":8}"},
        {"D3D9 in DXT5 with mips",
         {"--to", "d3d9", "--format", "dxt5", "--mips", "regenerate"},
         "\"platform_id\":9}"},
        {"XBOX", {"--to", "xbox"}, "\"platform\":\"XBOX\""},
        {"mobile in 4444", {"--to", "mobile", "--format", "4444"}, "\"platform\":\"iOS\""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path single = temp_dir() / "single.txd";
        std::vector<std::string> convert = {"convert", input.string(), "-o", single.string()};
        convert.insert(convert.end(), row.options.begin(), row.options.end());
        const cli_result converted = run_cli(convert);
        ASSERT_EQ(converted.exit_code, 0) << converted.err;

        const fs::path out = temp_dir() / "out";
        std::vector<std::string> batch = {"batch", "convert",    inputs.string(),
                                          "-o",    out.string(), "--quiet"};
        batch.insert(batch.end(), row.options.begin(), row.options.end());
        const cli_result batched = run_cli(batch);
        ASSERT_EQ(batched.exit_code, 0) << batched.out << batched.err;
        const fs::path written = out / "in" / "d.txd";
        ASSERT_TRUE(fs::exists(written)) << batched.out;
        EXPECT_EQ(read_file(written), read_file(single));
        const cli_result listed = run_cli({"list", written.string(), "--json"});
        EXPECT_TRUE(contains(listed.out, row.listed)) << listed.out;
    }
    // Options wrong for the target are usage errors, as convert's are.
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--to", "gamecube2"},
                                                  {"--to", "ps2", "--format", "dxt1"},
                                                  {"--to", "d3d9", "--depth", "8"},
                                                  {"--to", "d3d9", "--format", "tga"}}) {
        std::vector<std::string> batch = {"batch", "convert", inputs.string(), "-o",
                                          (temp_dir() / "o").string()};
        batch.insert(batch.end(), wrong.begin(), wrong.end());
        const cli_result result = run_cli(batch);
        EXPECT_EQ(result.exit_code, 2) << wrong[1] << result.err;
    }
    const cli_result listed = run_cli({"batch", "list", inputs.string(), "--to", "d3d9"});
    EXPECT_EQ(listed.exit_code, 2) << listed.err;
}

// Every file under `out` with its bytes, by relative name.
std::map<std::string, std::vector<uint8_t>> files_under(const fs::path& out) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& item : fs::recursive_directory_iterator(out))
        if (item.is_regular_file())
            files[item.path().lexically_relative(out).generic_string()] = read_file(item.path());
    return files;
}

TEST(BatchOutputs, SkipExistingGoesOnWhereAStoppedRunEnded) {
    const fs::path inputs = temp_dir() / "in";
    fs::create_directories(inputs);
    for (int d = 0; d < 3; ++d)
        make_dictionary_file(inputs / ("d" + std::to_string(d) + ".txd"), uint8_t(10 + d));
    const fs::path reference = temp_dir() / "reference";
    ASSERT_EQ(run_cli({"batch", "export", inputs.string(), "-o", reference.string()}).exit_code, 0);
    const auto expected = files_under(reference);
    ASSERT_EQ(expected.size(), 6u);

    const fs::path out = temp_dir() / "out";
    ::setenv("QUILLMAP_IO_HOOK", "interrupt:2", 1);
    const cli_result stopped =
        run_cli({"batch", "export", inputs.string(), "-o", out.string(), "-j", "1"});
    ::unsetenv("QUILLMAP_IO_HOOK");
    EXPECT_EQ(stopped.exit_code, 130) << stopped.out << stopped.err;
    EXPECT_TRUE(contains(stopped.out, "run again with --skip-existing")) << stopped.out;
    const size_t made = files_under(out).size();
    ASSERT_EQ(made, 2u);

    // Without it, each output already there is a failure; with it, a count of what was kept.
    const fs::path second = temp_dir() / "second";
    fs::create_directories(second);
    fs::copy(out, second, fs::copy_options::recursive);
    const cli_result plain = run_cli({"batch", "export", inputs.string(), "-o", out.string()});
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_TRUE(contains(plain.out, "--skip-existing keeps it")) << plain.out;
    const cli_result resumed =
        run_cli({"batch", "export", inputs.string(), "-o", second.string(), "--skip-existing"});
    EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
    EXPECT_TRUE(contains(resumed.out, "0 failed, 2 kept (already there)")) << resumed.out;
    EXPECT_EQ(files_under(second), expected);
    // Kept means kept: a convert run leaves an existing dictionary's bytes alone.
    const fs::path converted = temp_dir() / "converted";
    fs::create_directories(converted);
    fs::create_directories(converted / "in");
    write_file(converted / "in" / "d1.txd", {1, 2, 3});
    const cli_result kept =
        run_cli({"batch", "convert", inputs.string(), "-o", converted.string(), "--skip-existing"});
    EXPECT_EQ(kept.exit_code, 0) << kept.out;
    EXPECT_EQ(read_file(converted / "in" / "d1.txd"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(fs::exists(converted / "in" / "d0.txd"));
    EXPECT_EQ(run_cli({"batch", "export", inputs.string(), "-o", out.string(), "--skip-existing",
                       "--overwrite"})
                  .exit_code,
              2);
}

enum class planted { symlink_out, dangling_symlink, hard_link_out };

TEST(ExportAll, KeepsToTheOutputFolderRule) {
    const struct {
        const char* label;
        planted what;
        int exit_code;
    } cases[] = {
        {"a symlink to a file outside", planted::symlink_out, 1},
        {"a dangling symlink", planted::dangling_symlink, 1},
        {"a hard link to a file outside", planted::hard_link_out, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        const fs::path file = make_dictionary_file(dir / "d.txd", 7);
        const fs::path out = dir / "out";
        fs::create_directories(out);
        const fs::path outside = write_file(dir / "precious.bin", {4, 5, 6});
        const fs::path planted_at = out / "a.png";
        if (row.what == planted::symlink_out) fs::create_symlink(outside, planted_at);
        if (row.what == planted::dangling_symlink)
            fs::create_symlink(dir / "nothing.bin", planted_at);
        if (row.what == planted::hard_link_out) fs::create_hard_link(outside, planted_at);
        const cli_result result =
            run_cli({"export", file.string(), "--all", "-f", "png", "-o", out.string()});
        EXPECT_EQ(result.exit_code, row.exit_code) << result.out << result.err;
        EXPECT_EQ(read_file(outside), (std::vector<uint8_t>{4, 5, 6}));
        EXPECT_FALSE(fs::exists(dir / "nothing.bin"));
        EXPECT_TRUE(fs::exists(out / "b.png"));
        if (row.what == planted::hard_link_out) {
            EXPECT_NE(read_file(planted_at), read_file(outside));
        }
    }
}

TEST(CommandLine, AnOutputThatIsNoRegularFileIsRefused) {
    const fs::path dir = temp_dir();
    const fs::path file = make_dictionary_file(dir / "d.txd", 9);
    const fs::path fifo = dir / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path to_null = dir / "null.txd";
    fs::create_symlink("/dev/null", to_null);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"save", file.string(), "-o", fifo.string()},
          {"convert", file.string(), "-o", fifo.string(), "--to", "d3d9"},
          {"export", file.string(), "-t", "0", "-o", fifo.string()},
          {"render", file.string(), "-t", "0", "-o", fifo.string()},
          {"save", file.string(), "-o", to_null.string()}}) {
        SCOPED_TRACE(arguments[0] + " -o " + arguments.back());
        const cli_result result = run_cli(arguments);
        EXPECT_EQ(result.exit_code, 1) << result.out << result.err;
        EXPECT_TRUE(contains(result.err, "not a regular file")) << result.err;
    }
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(fs::is_symlink(to_null));
}

TEST(ArchiveStops, ExtractAndCompactStopBetweenEntriesAndLeaveTheArchive) {
    std::vector<archive_file> files;
    for (int i = 0; i < 4; ++i)
        files.push_back(
            {"e" + std::to_string(i) + ".txd", std::vector<uint8_t>(2048, uint8_t(i + 1))});
    const struct {
        const char* label;
        std::vector<std::string> arguments; // ARCHIVE and OUT stand for the paths
        const char* said;
    } cases[] = {
        {"extract",
         {"archive", "extract", "ARCHIVE", "-o", "OUT"},
         "1 of 4 entries were written; stopped, the archive is unchanged"},
        {"compact",
         {"archive", "compact", "ARCHIVE"},
         "stopped: nothing was compacted, the archive is as it was"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        const auto bytes = make_ver2_archive(files);
        const fs::path archive = write_file(dir / "a.img", bytes);
        const fs::path out = dir / "out";
        std::vector<std::string> arguments;
        for (const auto& word : row.arguments)
            arguments.push_back(word == "ARCHIVE" ? archive.string()
                                : word == "OUT"   ? out.string()
                                                  : word);
        // A Ctrl-C that arrives while the first entry is being written.
        ::setenv("QUILLMAP_IO_HOOK", "interrupt:2", 1);
        const cli_result stopped = run_cli(arguments);
        ::unsetenv("QUILLMAP_IO_HOOK");
        EXPECT_EQ(stopped.exit_code, 130) << stopped.out << stopped.err;
        EXPECT_TRUE(contains(stopped.err, row.said)) << stopped.err;
        EXPECT_EQ(read_file(archive), bytes);
        size_t left = 0;
        for (const auto& item : fs::directory_iterator(dir))
            left += item.path().filename().string().find(".quillmap-") != std::string::npos;
        EXPECT_EQ(left, 0u);
        if (fs::exists(out)) {
            size_t written = 0;
            for (const auto& item : fs::directory_iterator(out)) {
                EXPECT_EQ(read_file(item.path()), files[0].bytes) << item.path();
                ++written;
            }
            EXPECT_EQ(written, 1u);
        }
    }
}

// In a child: SIGINT `count` times; the exit status says whether the second one ended it.
int status_after_signals(int count) {
    const pid_t child = fork();
    if (child == 0) {
        stop_request::catch_signals();
        struct sigaction installed {};
        sigaction(SIGINT, nullptr, &installed);
        if (!(installed.sa_flags & SA_RESTART)) ::_exit(3);
        for (int i = 0; i < count; ++i)
            std::raise(SIGINT);
        ::_exit(stop_request::requested() ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StopRequest, TheFirstSignalAsksTheSecondEnds) {
    EXPECT_EQ(status_after_signals(1), 0); // asked to stop, and went on to its end
    EXPECT_EQ(status_after_signals(2), 128 + SIGINT);
}

} // namespace

} // namespace quillmap
