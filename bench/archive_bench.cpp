// Game archives at the size of a real game's (16,000 entries): reading the table as the entry
// dialog and `archive list` do, against reading the table's bytes; replacing one entry, against
// writing (and flushing) the entry's bytes. Each pair runs in the same process on the same file.
#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "archive_builders.h"
#include "batch/archive_entry_kind.h"
#include "batch/batch_sources.h"
#include "test_files.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace quillmap {

namespace {
constexpr size_t k_entries = 16000;
constexpr size_t k_entry_bytes = 64 * 1024; // the replaced entry

// A VER2 archive of 16,000 one-sector entries, every tenth a small dictionary, written once.
const std::filesystem::path& big_archive() {
    static const std::filesystem::path path = [] {
        const auto dictionary =
            make_dictionary({make_ps2_texture({.name = "t", .width = 8, .height = 8, .depth = 4})})
                .bytes();
        std::vector<archive_file> files;
        files.reserve(k_entries);
        for (size_t i = 0; i < k_entries; ++i)
            files.push_back(i % 10 == 0
                                ? archive_file{"dict" + std::to_string(i) + ".txd", dictionary}
                                : archive_file{"model" + std::to_string(i) + ".dff",
                                               std::vector<uint8_t>(100, uint8_t(i))});
        return write_temp("gta3_bench.img", make_ver2_archive(files));
    }();
    return path;
}

void BM_ReadTableBytes(benchmark::State& state) {
    const auto& path = big_archive();
    const size_t table = 8 + 32 * k_entries;
    std::vector<char> bytes(table);
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        in.read(bytes.data(), std::streamsize(table));
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ReadTableBytes)->Unit(benchmark::kMillisecond);

// What the entry dialog does before it shows: the table, and the kinds of the first 256 entries
// (the rest are filled in from a thread).
void BM_EntryDialogRows(benchmark::State& state) {
    const auto& path = big_archive();
    for (auto _ : state) {
        game_archive archive;
        std::string error;
        if (!open_game_archive(path, archive, error)) state.SkipWithError(error.c_str());
        size_t dictionaries = 0;
        for (size_t i = 0; i < 256 && i < archive.entries.size(); ++i)
            dictionaries += describe_archive_entry(archive, archive.entries[i]).is_dictionary();
        benchmark::DoNotOptimize(dictionaries);
    }
}
BENCHMARK(BM_EntryDialogRows)->Unit(benchmark::kMillisecond);

// `archive list`: the table and every entry's kind.
void BM_ArchiveListAllKinds(benchmark::State& state) {
    const auto& path = big_archive();
    for (auto _ : state) {
        game_archive archive;
        std::string error;
        if (!open_game_archive(path, archive, error)) state.SkipWithError(error.c_str());
        size_t dictionaries = 0;
        for (const auto& entry : archive.entries)
            dictionaries += describe_archive_entry(archive, entry).is_dictionary();
        benchmark::DoNotOptimize(dictionaries);
    }
}
BENCHMARK(BM_ArchiveListAllKinds)->Unit(benchmark::kMillisecond);

// The reference for a replace: the entry's bytes written beside and flushed.
void BM_WriteEntryBytes(benchmark::State& state) {
    const auto path = big_archive().parent_path() / "entry_reference.bin";
    const std::vector<uint8_t> bytes(k_entry_bytes, 0x5A);
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            state.SkipWithError("write failed");
        ::fsync(fd);
        ::close(fd);
    }
}
BENCHMARK(BM_WriteEntryBytes)->Unit(benchmark::kMillisecond);

// One entry of the 16,000 replaced by 64 KiB (it grows from one sector to 32): the table read
// again, the bytes written into free sectors and flushed, one row written and flushed.
void BM_ReplaceOneEntry(benchmark::State& state) {
    const auto& path = big_archive();
    std::vector<uint8_t> bytes(k_entry_bytes, 0);
    uint8_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        game_archive archive;
        std::string error;
        if (!open_game_archive(path, archive, error)) state.SkipWithError(error.c_str());
        bytes[0] = ++round;
        state.ResumeTiming();
        if (!replace_entry(archive, 5001, bytes, error)) state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_ReplaceOneEntry)->Unit(benchmark::kMillisecond);
} // namespace

namespace {
// Planning batch outputs for 40,000 entries of one name, against 40,000 distinct names.
const std::filesystem::path& named_archive(bool same) {
    static std::filesystem::path paths[2];
    auto& path = paths[same];
    if (path.empty()) {
        std::vector<archive_file> files;
        for (size_t i = 0; i < 40000; ++i)
            files.push_back({same ? "x.txd" : "x" + std::to_string(i) + ".txd", {1}});
        path = write_temp(same ? "same_names.img" : "distinct_names.img", make_ver2_archive(files));
    }
    return path;
}

void BM_CollectDistinctNames(benchmark::State& state) {
    const auto& path = named_archive(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(collect_sources({path}).sources.size());
}
BENCHMARK(BM_CollectDistinctNames)->Unit(benchmark::kMillisecond);

void BM_CollectSameNames(benchmark::State& state) {
    const auto& path = named_archive(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(collect_sources({path}).sources.size());
}
BENCHMARK(BM_CollectSameNames)->Unit(benchmark::kMillisecond);
} // namespace

} // namespace quillmap
