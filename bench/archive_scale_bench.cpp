// A game archive shaped like a real one: 16,000 entries, every fourth a texture dictionary of a
// real dictionary's size (the samples' own bytes when they are present), the rest models and
// collisions of 2 to 30 KB, about 550 MB in all. Each edit runs against the plain file work it
// cannot do without, in the same run on the same bytes: listing against reading the table,
// replacing one dictionary against writing its bytes, compacting against copying the file.
#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "archive_builders.h"
#include "batch/archive_entry_kind.h"
#include "test_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;
constexpr size_t k_entries = 16000;
constexpr size_t k_replaced = 8000; // a dictionary in the middle of the table

// The dictionaries the archive holds, in turn: the samples, or made ones of their sizes.
std::vector<std::vector<uint8_t>> dictionaries() {
    std::vector<std::vector<uint8_t>> out;
    if (samples_available())
        for (const char* name : {"AMBULAN.TXD", "crsr_hud.txd", "crsr_misc.txd", "cspolic.txd",
                                 "flowerb.txd", "g3le_MISC.TXD", "pcbtns.txd", "playerh.txd",
                                 "sav4_HUD.TXD", "tdem_tde.txd", "VEHICLE2.txd"})
            out.push_back(read_file(sample(name)));
    if (out.empty())
        for (const uint32_t side : {16u, 64u, 128u, 256u})
            out.push_back(
                make_dictionary({make_ps2_texture({.name = "t", .width = side, .height = side})})
                    .bytes());
    return out;
}

// Bytes of entry i of the archive.
std::vector<uint8_t> entry_bytes(size_t i, const std::vector<std::vector<uint8_t>>& txds) {
    if (i % 4 == 0) return txds[(i / 4) % txds.size()];
    static const size_t sizes[] = {2000, 6000, 14000, 30000, 9000};
    return std::vector<uint8_t>(sizes[i % std::size(sizes)], uint8_t(i));
}

// Written once per run, piece by piece (the whole archive never sits in memory), and removed at
// the end.
struct real_shaped_archive {
    fs::path path =
        fs::temp_directory_path() / ("quillmap-real-shaped-" + std::to_string(::getpid()) + ".img");
    uint64_t table_bytes = 8 + 32 * k_entries;
    std::vector<uint8_t> replaced; // entry k_replaced grown by 16 KB

    real_shaped_archive() {
        const auto txds = dictionaries();
        std::ofstream out(path, std::ios::binary);
        std::vector<uint8_t> table((table_bytes + 2047) / 2048 * 2048, 0);
        std::memcpy(table.data(), "VER2", 4);
        store(table.data() + 4, uint32_t(k_entries));
        uint64_t sector = table.size() / 2048;
        out.seekp(std::streamoff(table.size()));
        for (size_t i = 0; i < k_entries; ++i) {
            auto bytes = entry_bytes(i, txds);
            const uint64_t sectors = (bytes.size() + 2047) / 2048;
            uint8_t* row = table.data() + 8 + 32 * i;
            store(row, uint32_t(sector));
            row[4] = uint8_t(sectors);
            row[5] = uint8_t(sectors >> 8);
            const std::string name =
                (i % 4 ? "model" : "dict") + std::to_string(i) + (i % 4 ? ".dff" : ".txd");
            std::memcpy(row + 8, name.data(), name.size());
            if (i == k_replaced) {
                replaced = bytes;
                replaced.resize(bytes.size() + 16384, 0x5A);
            }
            bytes.resize(sectors * 2048, 0);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            sector += sectors;
        }
        out.seekp(0);
        out.write(reinterpret_cast<const char*>(table.data()), std::streamsize(table.size()));
    }
    ~real_shaped_archive() {
        std::error_code ec;
        fs::remove(path, ec);
        fs::remove(copy_path(), ec);
    }
    fs::path copy_path() const { return path.string() + ".copy"; }
    static void store(uint8_t* at, uint32_t value) {
        for (int b = 0; b < 4; ++b)
            at[b] = uint8_t(value >> (8 * b));
    }
};

const real_shaped_archive& archive() {
    static const real_shaped_archive made;
    return made;
}

void BM_RealShapedReadTable(benchmark::State& state) {
    std::vector<char> bytes(archive().table_bytes);
    for (auto _ : state) {
        std::ifstream in(archive().path, std::ios::binary);
        in.read(bytes.data(), std::streamsize(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_RealShapedReadTable)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the entry dialog waits for: the table and the first 256 entries described.
void BM_RealShapedEntryDialog(benchmark::State& state) {
    for (auto _ : state) {
        game_archive opened;
        std::string error;
        if (!open_game_archive(archive().path, opened, error)) state.SkipWithError(error.c_str());
        size_t found = 0;
        for (size_t i = 0; i < 256; ++i)
            found += describe_archive_entry(opened, opened.entries[i]).is_dictionary();
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_RealShapedEntryDialog)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference of a replace: the new bytes written to a file of their own and flushed.
void BM_RealShapedWriteEntryBytes(benchmark::State& state) {
    const auto& bytes = archive().replaced;
    const auto path = archive().copy_path();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            state.SkipWithError("write failed");
        ::fsync(fd);
        ::close(fd);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RealShapedWriteEntryBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// One dictionary grown by 16 KB: the table read again, the bytes put in free sectors and
// flushed, one row written and flushed.
void BM_RealShapedReplaceDictionary(benchmark::State& state) {
    const auto& bytes = archive().replaced;
    for (auto _ : state) {
        state.PauseTiming();
        game_archive opened;
        std::string error;
        if (!open_game_archive(archive().path, opened, error)) state.SkipWithError(error.c_str());
        state.ResumeTiming();
        if (!replace_entry(opened, k_replaced, bytes, error)) state.SkipWithError(error.c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RealShapedReplaceDictionary)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference of a compaction: the archive's bytes copied to a new file in 1 MiB pieces and
// flushed.
void BM_RealShapedCopyFile(benchmark::State& state) {
    std::vector<char> piece(1 << 20);
    uint64_t copied = 0;
    state.counters["archive_MB"] = double(fs::file_size(archive().path)) / 1e6;
    for (auto _ : state) {
        const int in = ::open(archive().path.c_str(), O_RDONLY);
        const int out = ::open(archive().copy_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (ssize_t got; (got = ::read(in, piece.data(), piece.size())) > 0; copied += got)
            if (::write(out, piece.data(), size_t(got)) != got) state.SkipWithError("write failed");
        ::fsync(out);
        ::close(out);
        ::close(in);
    }
    state.SetBytesProcessed(int64_t(copied));
}
BENCHMARK(BM_RealShapedCopyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Compaction into a new file (the archive itself stays as it is for the next round).
void BM_RealShapedCompact(benchmark::State& state) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        game_archive opened;
        std::string error;
        if (!open_game_archive(archive().path, opened, error) ||
            !compact_archive(opened, archive().copy_path(), {}, error))
            state.SkipWithError(error.c_str());
        bytes += fs::file_size(archive().copy_path());
    }
    state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(BM_RealShapedCompact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
} // namespace

} // namespace quillmap
