// Replays every stored input under tests/corpus/<target>/ through the code of the fuzz target
// that found it, so that inputs which once broke a reader (a crash, or memory far beyond the
// file's size) keep being run under the sanitizers.
#include "../../fuzz/fuzz_drivers.h"
#include "../../fuzz/heap_watch.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace quillmap {

namespace fs = std::filesystem;

namespace {

using driver = std::function<void(std::span<const uint8_t>)>;

const std::map<std::string, driver>& drivers() {
    static const std::map<std::string, driver> table = [] {
        std::map<std::string, driver> t;
        t["stream"] = qm_fuzz::drive_stream;
        t["ps2_txd"] = qm_fuzz::drive_dictionary<ps2_txd>;
        t["bmp"] = qm_fuzz::drive_bmp;
        t["tim2"] = qm_fuzz::drive_tim2;
        t["dds"] = qm_fuzz::drive_dds;
        t["ini"] = qm_fuzz::drive_ini;
        t["archive"] = qm_fuzz::drive_archive;
        t["archive_edit"] = qm_fuzz::drive_archive_edit;
        t["pc_txd"] = qm_fuzz::drive_dictionary<pc_txd>;
        t["xbox_txd"] = qm_fuzz::drive_dictionary<xbox_txd>;
        t["ios_txd"] = qm_fuzz::drive_dictionary<ios_txd>;
        t["gc_txd"] = qm_fuzz::drive_dictionary<gc_txd>;
        t["tex"] = qm_fuzz::drive_tex;
        return t;
    }();
    return table;
}

fs::path corpus_dir() {
    return fs::path(QUILLMAP_SOURCE_DIR) / "tests" / "corpus";
}

std::string context;
void record_broken(const char* what) {
    ADD_FAILURE() << what << " (" << context << ")";
}

TEST(CorpusReplay, EveryStoredInputRunsCleanly) {
    if (!fs::is_directory(corpus_dir())) GTEST_SKIP() << "no stored inputs in " << corpus_dir();
    size_t replayed = 0;
    qm_fuzz::on_broken = record_broken;
    for (const auto& folder : fs::directory_iterator(corpus_dir())) {
        if (!folder.is_directory()) continue;
        const std::string target = folder.path().filename().string();
        const auto found = drivers().find(target);
        if (found == drivers().end()) {
            // An input for a reader this build does not have.
            std::printf("skipping %s: no such reader in this build\n", target.c_str());
            continue;
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            context = target + "/" + file.filename().string();
            const std::vector<uint8_t> bytes = read_file(file);
            qm_fuzz::heap_watch heap;
            heap.start();
            found->second(bytes);
            EXPECT_LE(heap.stop(), qm_fuzz::heap_budget(bytes.size())) << context;
            ++replayed;
        }
    }
    qm_fuzz::on_broken = qm_fuzz::abort_on_broken;
    if (replayed == 0) GTEST_SKIP() << "the corpus folders hold no inputs";
    std::printf("%zu stored inputs replayed\n", replayed);
}

// Every folder is named after a target the replay has a driver for, so that no stored input is
// silently ignored.
TEST(CorpusReplay, FoldersAreNamedAfterTargets) {
    if (!fs::is_directory(corpus_dir())) GTEST_SKIP() << "no stored inputs in " << corpus_dir();
    for (const auto& folder : fs::directory_iterator(corpus_dir())) {
        const std::string name = folder.path().filename().string();
        EXPECT_TRUE(folder.is_directory()) << name << " should be a folder named after a target";
        EXPECT_TRUE(drivers().count(name)) << name << " is not a fuzz target";
    }
}

} // namespace

} // namespace quillmap
