// Batch export over a folder of dictionaries: one job against two, on the same files in the same
// run. Each iteration writes every texture anew (--overwrite), so both measure the whole work:
// open, unswizzle, convert and write.
#include "batch/batch_runner.h"
#include "test_files.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
constexpr int k_dictionaries = 24;
constexpr int k_textures_per_dictionary = 8;

// 24 dictionaries of eight swizzled 256x256 textures (8-bit, 32-bit and 4-bit mixed): about
// 11 MB of dictionaries and 50 MB of pictures per export.
const source_list& generated_sources() {
    static const source_list list = [] {
        const fs::path folder = temp_dir() / "dictionaries";
        fs::create_directories(folder);
        for (int d = 0; d < k_dictionaries; ++d) {
            std::vector<test_chunk> textures;
            for (int t = 0; t < k_textures_per_dictionary; ++t) {
                const uint32_t depth = t % 3 == 0 ? 32 : t % 3 == 1 ? 8 : 4;
                textures.push_back(make_ps2_texture({.name = "texture" + std::to_string(t),
                                                     .width = 256,
                                                     .height = 256,
                                                     .depth = depth,
                                                     .swizzled = depth != 32,
                                                     .fill_seed = uint8_t(d * 8 + t)}));
            }
            write_file(folder / ("dictionary" + std::to_string(d) + ".txd"),
                       make_dictionary(std::move(textures)).bytes());
        }
        return collect_sources({folder});
    }();
    return list;
}

void export_with_jobs(benchmark::State& state) {
    const source_list& list = generated_sources();
    batch_options options;
    options.action = batch_action::export_textures;
    // Memory-backed output where there is one: the bench measures the exports, not the disk.
    std::error_code ec;
    options.out =
        fs::is_directory("/dev/shm", ec)
            ? fs::path("/dev/shm") / ("quillmap-batch-bench-" + std::to_string(::getpid()))
            : temp_dir() / "out";
    options.jobs = unsigned(state.range(0));
    options.overwrite = true;
    size_t failed = 0;
    for (auto _ : state) {
        const batch_summary summary = run_batch(list.sources, 0, options, {});
        failed += summary.failed;
        benchmark::DoNotOptimize(summary);
    }
    fs::remove_all(options.out, ec);
    if (failed || list.sources.size() != k_dictionaries)
        state.SkipWithError("the dictionaries were not all exported");
    state.SetItemsProcessed(state.iterations() * k_dictionaries * k_textures_per_dictionary);
}
} // namespace

// Jobs 1 is the reference for jobs 2; real time, since the work happens on other threads.
BENCHMARK(export_with_jobs)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace quillmap
