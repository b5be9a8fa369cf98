// The whole mip chain of a 1024x1024 32-bit picture (RenderWare's seven levels) against one
// memcpy of level 0, the plain one-pixel-at-a-time chain beside it.
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
    for (auto _ : state) {
        std::vector<rgba_image> chain = mip_chain(image, count);
        benchmark::DoNotOptimize(chain.back().rgba.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
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
BENCHMARK(mips_1024_rgba)->Unit(benchmark::kMicrosecond);
BENCHMARK(mips_1024_rgba_plain)->Unit(benchmark::kMicrosecond);

} // namespace quillmap
