// Swizzling and the preview conversion, each beside memcpy of the same bytes.
#include "raster/ps2_bitmap.h"
#include "raster/ps2_preview8.h"
#include "raster/ps2_swizzling.h"
#include "raster/ps2_unswizzle8_kernels.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace quillmap {

namespace {

constexpr uint32_t k_side = 1024;
constexpr uint32_t k_preview_side = 512;

std::vector<uint8_t> random_bytes(size_t n) {
    std::mt19937 rng(1234);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

void copy_bytes(benchmark::State& state, size_t bytes) {
    const auto source = random_bytes(bytes);
    std::vector<uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

template <bool (*Fn)(std::span<uint8_t>, uint32_t, uint32_t)>
void convert(benchmark::State& state, uint32_t depth) {
    auto buffer = random_bytes(size_t(k_side) * k_side * depth / 8);
    for (auto _ : state) {
        const bool done = Fn(buffer, k_side, k_side);
        benchmark::DoNotOptimize(done);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}

void memcpy_8bit_1024(benchmark::State& state) {
    copy_bytes(state, size_t(k_side) * k_side);
}
void unswizzle8_1024(benchmark::State& state) {
    convert<ps2_swizzling::unswizzle8>(state, 8);
}
// Each band kernel on its own (the portable one is what machines without AVX2 would run).
void unswizzle8_kernel(benchmark::State& state, simd_isa isa) {
    const auto kernel = unswizzle8_band_kernel(isa);
    if (!kernel) return state.SkipWithError("not available on this machine");
    auto buffer = random_bytes(size_t(k_side) * k_side);
    for (auto _ : state) {
        const bool done = unswizzle8_in_place(kernel, buffer, k_side, k_side);
        benchmark::DoNotOptimize(done);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
void unswizzle8_portable_1024(benchmark::State& state) {
    unswizzle8_kernel(state, simd_isa::portable);
}
void unswizzle8_avx2_1024(benchmark::State& state) {
    unswizzle8_kernel(state, simd_isa::avx2);
}
void swizzle8_1024(benchmark::State& state) {
    convert<ps2_swizzling::swizzle8>(state, 8);
}
void memcpy_4bit_1024(benchmark::State& state) {
    copy_bytes(state, size_t(k_side) * k_side / 2);
}
void unswizzle4_1024(benchmark::State& state) {
    convert<ps2_swizzling::unswizzle4>(state, 4);
}
void swizzle4_1024(benchmark::State& state) {
    convert<ps2_swizzling::swizzle4>(state, 4);
}

// What one preview of a 512×512 swizzled 8-bit texture costs, as the dictionary renders it: the
// fused pass, and the general path (fill the bitmap, then build the 24-bit picture) beside it.
// Reported per pixel.
void preview_counters(benchmark::State& state) {
    const double pixels = double(k_preview_side) * k_preview_side;
    state.counters["pixels"] = pixels;
    state.counters["time_per_pixel"] = benchmark::Counter(
        pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void preview_8bit_swizzled_512(benchmark::State& state) {
    const auto raster = random_bytes(size_t(k_preview_side) * k_preview_side);
    const auto palette = random_bytes(1024);
    for (auto _ : state) {
        auto picture = preview_swizzled8(k_preview_side, k_preview_side, raster, palette,
                                         view_mode::texture, 24);
        if (!picture) return state.SkipWithError("no fused path on this machine");
        benchmark::DoNotOptimize(picture.get());
    }
    preview_counters(state);
}

// The fused pass as machines with AVX2 but without AVX-512 run it (palette read per pixel).
void preview_8bit_swizzled_avx2_512(benchmark::State& state) {
    const auto raster = random_bytes(size_t(k_preview_side) * k_preview_side);
    const auto palette = random_bytes(1024);
    for (auto _ : state) {
        auto picture = preview_swizzled8(k_preview_side, k_preview_side, raster, palette,
                                         view_mode::texture, 24, simd_isa::avx2);
        if (!picture) return state.SkipWithError("no AVX2 on this machine");
        benchmark::DoNotOptimize(picture.get());
    }
    preview_counters(state);
}

void bitmap_preview_8bit_swizzled_512(benchmark::State& state) {
    const auto raster = random_bytes(size_t(k_preview_side) * k_preview_side);
    const auto palette = random_bytes(1024);
    for (auto _ : state) {
        ps2_bitmap bitmap;
        bitmap.load_raster(k_preview_side, k_preview_side, 8, raster, palette, true,
                           view_mode::texture, 0x1555, 0);
        auto picture = bitmap.to_display_bitmap(24);
        benchmark::DoNotOptimize(picture.get());
    }
    preview_counters(state);
}

void memcpy_preview_input_512(benchmark::State& state) {
    copy_bytes(state, size_t(k_preview_side) * k_preview_side);
}

} // namespace

BENCHMARK(memcpy_8bit_1024);
BENCHMARK(unswizzle8_1024);
BENCHMARK(unswizzle8_portable_1024);
BENCHMARK(unswizzle8_avx2_1024);
BENCHMARK(swizzle8_1024);
BENCHMARK(memcpy_4bit_1024);
BENCHMARK(unswizzle4_1024);
BENCHMARK(swizzle4_1024);
BENCHMARK(memcpy_preview_input_512);
BENCHMARK(preview_8bit_swizzled_512);
BENCHMARK(preview_8bit_swizzled_avx2_512);
BENCHMARK(bitmap_preview_8bit_swizzled_512);

} // namespace quillmap
