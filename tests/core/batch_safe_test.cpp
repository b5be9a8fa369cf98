// Batch outputs under attack and under interruption: symlinks planted in the output tree, a run
// stopped after its k-th output (by the write hook, never by timing), a run that crashed
// mid-write, our own temporary files among the inputs, and the messages the runs print.
#include "archive_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "batch/batch_runner.h"
#include "batch/batch_sources.h"
#include "stream/file_name_text.h"
#include "stream/safe_file.h"
#include "stream/stop_request.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

constexpr int k_dictionaries = 3;
constexpr int k_textures_each = 2;

// A folder of dictionaries, each with two small textures of its own pixels.
fs::path make_inputs() {
    const fs::path folder = temp_dir() / "mods";
    fs::create_directories(folder);
    for (int d = 0; d < k_dictionaries; ++d)
        write_file(folder / ("d" + std::to_string(d) + ".txd"),
                   make_dictionary({make_ps2_texture({.name = "a", .fill_seed = uint8_t(d + 1)}),
                                    make_ps2_texture({.name = "b", .fill_seed = uint8_t(d + 7)})})
                       .bytes());
    return folder;
}

// Every file under `out` with its bytes, by relative name.
std::map<std::string, std::vector<uint8_t>> files_under(const fs::path& out) {
    std::map<std::string, std::vector<uint8_t>> files;
    if (!fs::exists(out)) return files;
    for (const auto& item : fs::recursive_directory_iterator(out))
        if (item.is_regular_file() || item.is_symlink())
            files[item.path().lexically_relative(out).generic_string()] =
                item.is_symlink() ? std::vector<uint8_t>{} : read_file(item.path());
    return files;
}

batch_options export_options(const fs::path& out) {
    batch_options options;
    options.action = batch_action::export_textures;
    options.out = out;
    options.jobs = 1;
    return options;
}

// What a run that nobody disturbed writes.
std::map<std::string, std::vector<uint8_t>> reference_outputs(const fs::path& inputs) {
    const fs::path out = temp_dir() / "reference";
    const source_list list = collect_sources({inputs});
    const batch_summary summary = run_batch(list.sources, 0, export_options(out), {});
    EXPECT_EQ(summary.failed, 0u);
    return files_under(out);
}

struct planted_case {
    const char* label;
    bool link_for_folder; // a link where the first dictionary's folder goes, else for a file
    bool dangling;        // the link names nothing
    bool overwrite;
};

TEST(BatchOutputs, APlantedLinkIsNeverFollowed) {
    const fs::path inputs = make_inputs();
    const auto reference = reference_outputs(inputs);
    ASSERT_EQ(reference.size(), size_t(k_dictionaries * k_textures_each));
    const std::string first_file = reference.begin()->first;
    const std::string first_folder = fs::path(first_file).parent_path().generic_string();
    const planted_case cases[] = {
        {"a dangling link at an output file", false, true, false},
        {"a link to an outside file, with --overwrite", false, false, true},
        {"a link to an outside file, without --overwrite", false, false, false},
        {"a link to an outside folder where an output folder goes", true, false, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        const fs::path out = dir / "out";
        const fs::path outside = dir / (row.link_for_folder ? "outside_dir" : "outside.png");
        const fs::path planted = out / (row.link_for_folder ? first_folder : first_file);
        fs::create_directories(planted.parent_path());
        if (row.link_for_folder) {
            fs::create_directory(outside);
            fs::create_directory_symlink(outside, planted);
        } else {
            if (!row.dangling) write_file(outside, {1, 2, 3});
            fs::create_symlink(outside, planted);
        }
        const cli_result result = run_cli({"batch", "export", inputs.string(), "-o", out.string(),
                                           "-j", "1", row.overwrite ? "--overwrite" : "--quiet"});
        EXPECT_EQ(result.exit_code, 1) << result.out << result.err;
        EXPECT_NE(result.out.find("symbolic link"), std::string::npos) << result.out;
        EXPECT_TRUE(fs::is_symlink(planted));
        if (row.link_for_folder) {
            EXPECT_TRUE(fs::is_empty(outside));
        } else {
            EXPECT_EQ(fs::exists(outside), !row.dangling);
            if (!row.dangling) {
                EXPECT_EQ(read_file(outside), (std::vector<uint8_t>{1, 2, 3}));
            }
        }
        // Every other output is written as usual.
        const auto written = files_under(out);
        for (const auto& [name, bytes] : reference) {
            if (name.starts_with(row.link_for_folder ? first_folder + "/" : first_file)) continue;
            EXPECT_EQ(written.count(name) ? written.at(name) : std::vector<uint8_t>{}, bytes)
                << name;
        }
    }
}

// Raises SIGINT just before the k-th output is renamed into place, as Ctrl-C would arrive
// while that output is being written.
uint64_t g_interrupt_at_rename = 0;
uint64_t g_renames = 0;
safe_file::hook_action interrupt_at_rename(safe_file::io_step step, uint64_t) {
    if (step == safe_file::io_step::rename && ++g_renames == g_interrupt_at_rename)
        std::raise(SIGINT);
    return safe_file::hook_action::proceed;
}

// Runs the export in a child that is interrupted at the k-th output; the child's exit status is
// the number of dictionaries it left alone.
int interrupted_run(const fs::path& inputs, const fs::path& out, uint64_t k) {
    const pid_t pid = fork();
    if (pid == 0) {
        stop_request::catch_signals();
        g_interrupt_at_rename = k;
        safe_file::set_io_hook(interrupt_at_rename);
        const source_list list = collect_sources({inputs});
        const batch_summary summary = run_batch(list.sources, 0, export_options(out), {});
        _exit(int(summary.not_started));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BatchOutputs, AnInterruptedRunStopsAfterTheCurrentDictionaryAndARerunCompletesIt) {
    const fs::path inputs = make_inputs();
    const auto reference = reference_outputs(inputs);
    for (uint64_t k = 1; k <= uint64_t(k_dictionaries * k_textures_each); ++k) {
        SCOPED_TRACE("interrupted at output " + std::to_string(k));
        const fs::path out = temp_dir() / "out";
        const int finished = int((k - 1) / k_textures_each) + 1;
        EXPECT_EQ(interrupted_run(inputs, out, k), k_dictionaries - finished);
        // Only complete outputs, and only those of the dictionaries that were worked on.
        const auto written = files_under(out);
        EXPECT_EQ(written.size(), size_t(finished * k_textures_each));
        for (const auto& [name, bytes] : written) {
            ASSERT_TRUE(reference.count(name)) << name;
            EXPECT_EQ(bytes, reference.at(name)) << name;
        }
        // A re-run without --overwrite makes what is missing.
        const source_list list = collect_sources({inputs});
        run_batch(list.sources, 0, export_options(out), {});
        EXPECT_EQ(files_under(out), reference);
    }
}

// The command line stops the same way, says so and exits 130; a crash mid-write leaves a
// temporary file that the next run removes before it completes the outputs.
struct cli_stop_case {
    const char* label;
    const char* hook;
    int exit_code;
    bool leaves_temporary;
};

TEST(BatchOutputs, CommandLineStopsCleanlyAndRecovers) {
    const fs::path inputs = make_inputs();
    const auto reference = reference_outputs(inputs);
    const cli_stop_case cases[] = {
        {"interrupted before the third output's rename", "interrupt:6", 130, false},
        {"crashed at the fourth output's write", "crash:7", 137, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path out = temp_dir() / "out";
        ::setenv("QUILLMAP_IO_HOOK", row.hook, 1);
        const cli_result stopped =
            run_cli({"batch", "export", inputs.string(), "-o", out.string(), "-j", "1", "--quiet"});
        ::unsetenv("QUILLMAP_IO_HOOK");
        EXPECT_EQ(stopped.exit_code, row.exit_code) << stopped.out << stopped.err;
        if (row.exit_code == 130) {
            EXPECT_NE(stopped.out.find("stopped, 1 not started"), std::string::npos) << stopped.out;
        }
        size_t temporaries = 0;
        for (const auto& [name, bytes] : files_under(out)) {
            if (safe_file::is_temporary_name(fs::path(name).filename().string())) {
                ++temporaries;
                continue;
            }
            ASSERT_TRUE(reference.count(name)) << name;
            EXPECT_EQ(bytes, reference.at(name)) << name;
        }
        EXPECT_EQ(temporaries, row.leaves_temporary ? 1u : 0u);
        const cli_result rerun =
            run_cli({"batch", "export", inputs.string(), "-o", out.string(), "--quiet"});
        EXPECT_EQ(files_under(out), reference) << rerun.out;
    }
}

TEST(BatchOutputs, OurTemporaryFilesAreNoInputs) {
    const fs::path inputs = make_inputs();
    const auto bytes = read_file(inputs / "d0.txd");
    write_file(inputs / ".d0.txd.quillmap-Ab12Cd", bytes);
    write_file(inputs / "d0.txd.quillmap-save", bytes);
    const source_list list = collect_sources({inputs});
    ASSERT_EQ(list.sources.size(), size_t(k_dictionaries));
    for (const auto& source : list.sources)
        EXPECT_FALSE(safe_file::is_temporary_name(source.file.filename().string())) << source.file;
}

struct message_case {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* file_name;
    const char* expected; // a part of the failure line
};

TEST(BatchMessages, SayWhatIsWrongAndNameTheFileOnce) {
    const std::vector<uint8_t> absurd_root = u32_bytes({0x16, 0xFFFFFF00, 0x1803FFFF});
    std::vector<uint8_t> broken_ver2 = {'V', 'E', 'R', '2'};
    const auto count = u32_bytes({1000});
    broken_ver2.insert(broken_ver2.end(), count.begin(), count.end());
    const message_case cases[] = {
        {"a file of three bytes", {0x16, 0, 0}, "short.txd", "it holds only 3 bytes"},
        {"a root size past the end", absurd_root, "absurd.txd", "runs past the end of the file"},
        {"a .dir without its .img", std::vector<uint8_t>(32, 0), "lonely.dir",
         "no .img file lies beside the .dir file"},
        {"an archive whose table is cut", broken_ver2, "cut.img",
         "the entry table runs past the end of the file"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path file = write_temp(row.file_name, row.bytes);
        const cli_result result = run_cli({"batch", "list", file.string(), "--quiet"});
        EXPECT_EQ(result.exit_code, 1);
        const size_t at = result.out.find("failed: ");
        ASSERT_NE(at, std::string::npos) << result.out;
        const std::string line = result.out.substr(at, result.out.find('\n', at) - at);
        EXPECT_NE(line.find(row.expected), std::string::npos) << line;
        EXPECT_EQ(line.find(file.string()), line.rfind(file.string())) << line;
    }
}

// A write that fails part-way leaves no file under the output's name and says why.
struct failed_write_case {
    const char* label;
    std::vector<std::string> arguments; // after the dictionary; OUT is the output path
    const char* output_name;
};

TEST(ExportWrites, AFailedWriteLeavesNothingAndSaysWhy) {
    const fs::path dictionary = write_temp(
        "one.txd",
        make_dictionary({make_ps2_texture({.name = "a", .width = 64, .height = 64})}).bytes());
    const failed_write_case cases[] = {
        {"PNG", {"export", "-t", "0", "-o", "OUT"}, "a.png"},
        {"BMP", {"export", "-t", "0", "-o", "OUT"}, "a.bmp"},
        {"TIM2", {"export", "-t", "0", "-o", "OUT"}, "a.tm2"},
        {"section", {"export", "-t", "0", "-o", "OUT"}, "a.rwsect"},
        {"rendered picture", {"render", "-t", "0", "-o", "OUT"}, "a.bmp"},
        {"dictionary", {"rename", "-t", "0", "b", "-o", "OUT"}, "a.txd"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const fs::path dir = temp_dir();
        std::vector<std::string> arguments = {row.arguments[0], dictionary.string()};
        for (size_t i = 1; i < row.arguments.size(); ++i)
            arguments.push_back(row.arguments[i] == "OUT" ? (dir / row.output_name).string()
                                                          : row.arguments[i]);
        ::setenv("QUILLMAP_IO_HOOK", "fail:1", 1);
        const cli_result result = run_cli(arguments);
        ::unsetenv("QUILLMAP_IO_HOOK");
        EXPECT_EQ(result.exit_code, 1) << result.err;
        EXPECT_NE(result.err.find(std::string("Cannot write output file. (") + row.output_name +
                                  ": Input/output error)"),
                  std::string::npos)
            << result.err;
        EXPECT_TRUE(fs::is_empty(dir)) << "a partial or temporary file was left";
    }
}

TEST(ExportMessages, AnOutputFolderThatIsAFileSaysWhy) {
    const fs::path dictionary =
        write_temp("a.txd", make_dictionary({make_ps2_texture({.name = "a"})}).bytes());
    const fs::path file = write_temp("taken", {1});
    const cli_result result =
        run_cli({"export", dictionary.string(), "--all", "-o", file.string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("a file of that name is in the way"), std::string::npos)
        << result.err;
}

TEST(ExportNames, ExportAllCleansNamesTheWayBatchDoes) {
    const fs::path dictionary =
        write_temp("names.txd", make_dictionary({make_ps2_texture({.name = "CON"}),
                                                 make_ps2_texture({.name = "nul.x"}),
                                                 make_ps2_texture({.name = "a\nb\x1b[31m"}),
                                                 make_ps2_texture({.name = "x*?<>|"})})
                                    .bytes());
    const fs::path out = temp_dir() / "out";
    const cli_result result =
        run_cli({"export", dictionary.string(), "--all", "-f", "png", "-o", out.string()});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(out))
        names.insert(item.path().filename().string());
    EXPECT_EQ(names,
              (std::set<std::string>{"CON_.png", "nul_.x.png", "a_b_[31m.png", "x_____.png"}));
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);

    // Text output shows such a name escaped, on one line.
    const cli_result listed = run_cli({"list", dictionary.string()});
    EXPECT_NE(listed.out.find("a\\nb\\x1B[31m"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
}

TEST(FileNames, CleaningTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"grass", "grass"},        {"a/b\\c:d", "a_b_c_d"}, {"*?\"<>|", "______"},
        {"tab\there", "tab_here"}, {"dots...", "dots"},     {"CON", "CON_"},
        {"con.png", "con_.png"},   {"Com7", "Com7_"},       {"COM0", "COM0"},
        {"lpt9.tm2", "lpt9_.tm2"}, {"console", "console"},  {"", "fallback"},
        {" . ", "fallback"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(clean_file_name(name, "fallback"), expected) << name;
}

TEST(FileNames, PrintableTextTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name", "plain name"},
        {"two\nlines", "two\\nlines"},
        {"\x1b[2J", "\\x1B[2J"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"cr\rtab\t", "cr\\rtab\\t"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        // Bytes that are not well-formed UTF-8 (a damaged or single-byte name) are escaped.
        {"caf\xe9", "caf\\xE9"},
        {"\xff\xfe", "\\xFF\\xFE"},
        {"cut \xc3", "cut \\xC3"},
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
        {"stray \x80x", "stray \\x80x"},
        {"\xf0\x9f\x98\x80 ok", "\xf0\x9f\x98\x80 ok"},
        {"past U+10FFFF \xf4\x90\x80\x80", "past U+10FFFF \\xF4\\x90\\x80\\x80"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(printable_text(text), expected);
}

} // namespace

} // namespace quillmap
