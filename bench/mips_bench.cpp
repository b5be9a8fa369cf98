// The whole mip chain of a 1024x1024 32-bit picture (RenderWare's seven levels) against one
// memcpy of level 0, the plain one-pixel-at-a-time chain beside it. The chain takes level 0 by
// move, as the importers hand it over; the chain from a picture the caller keeps (one copy of
// level 0 more) is measured beside it, and so are the chain on one thread and with the SSE2
// kernel (for machines without AVX2). Wall time: the chain shares its rows between threads.
#include "imageio/halve_levels.h"
#include "imageio/mip_chain.h"
#include "sample_pictures.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 1024;

void memcpy_1024_rgba(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    std::vector<uint8_t> copy(image.rgba.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), image.rgba.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

void mips_1024_rgba(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    const uint32_t count = renderware_level_count(k_side, k_side);
    rgba_image level0 = image;
    for (auto _ : state) {
        std::vector<rgba_image> chain = mip_chain(std::move(level0), count);
        benchmark::DoNotOptimize(chain.back().rgba.data());
        level0 = std::move(chain.front());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

void mips_1024_rgba_kept(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    const uint32_t count = renderware_level_count(k_side, k_side);
    for (auto _ : state) {
        std::vector<rgba_image> chain = mip_chain(image, count);
        benchmark::DoNotOptimize(chain.back().rgba.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

// Levels 1 .. 6 by one instruction set and thread count, into levels made anew each time.
void mips_1024_rgba_by(benchmark::State& state, simd_isa isa, unsigned threads) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    if (!simd_isa_available(isa)) return state.SkipWithError("the processor lacks this kernel");
    const uint32_t count = renderware_level_count(k_side, k_side);
    for (auto _ : state) {
        std::vector<rgba_image> levels(count - 1);
        halve_levels(image, levels, isa, threads);
        benchmark::DoNotOptimize(levels.back().rgba.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

void mips_1024_rgba_one_thread(benchmark::State& state) {
    mips_1024_rgba_by(state, simd_best_isa(), 1);
}

void mips_1024_rgba_sse2(benchmark::State& state) {
    mips_1024_rgba_by(state, simd_isa::sse2, halving_threads(sample_mosaic(k_side), 6));
}

void mips_1024_rgba_plain(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    const uint32_t count = renderware_level_count(k_side, k_side);
    for (auto _ : state) {
        rgba_image level = image;
        for (uint32_t k = 1; k < count; ++k)
            level = half_size_plain(level);
        benchmark::DoNotOptimize(level.rgba.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}
} // namespace

BENCHMARK(memcpy_1024_rgba)->Unit(benchmark::kMicrosecond);
BENCHMARK(mips_1024_rgba)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(mips_1024_rgba_kept)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(mips_1024_rgba_one_thread)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(mips_1024_rgba_sse2)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(mips_1024_rgba_plain)->Unit(benchmark::kMicrosecond);

} // namespace quillmap
