// DXT1, DXT3 and DXT5 decoding of a 1024×1024 texture, beside libsquish on the same blocks.
#include "raster/dxt.h"
#include "raster/dxt_8888_kernels.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#if QUILLMAP_HAVE_SQUISH
#include <squish.h>
#endif

namespace quillmap {

namespace {

constexpr uint32_t k_side = 1024;
constexpr uint32_t k_blocks = (k_side / 4) * (k_side / 4);

// Random blocks: both colour orders of DXT1 occur, as in real files.
const std::vector<uint8_t>& blocks(uint32_t block_bytes) {
    static std::vector<uint8_t> dxt1, dxt3_5;
    auto& out = block_bytes == 8 ? dxt1 : dxt3_5;
    if (out.empty()) {
        std::mt19937 rng(99);
        out.resize(size_t(k_blocks) * block_bytes);
        for (auto& b : out)
            b = uint8_t(rng());
    }
    return out;
}

template <bool (*Fn)(uint32_t, uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t,
                     uint32_t)>
void decode(benchmark::State& state, uint32_t block_bytes, uint32_t code) {
    const auto& in = blocks(block_bytes);
    std::vector<uint8_t> out(dxt_output_bytes(k_side, k_side, 1, code));
    for (auto _ : state) {
        const bool done = Fn(k_side, k_side, in, out, 1, code);
        benchmark::DoNotOptimize(done);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * k_side * k_side);
}

void dxt1_to_8888(benchmark::State& state) {
    decode<decode_dxt1>(state, 8, 0x8888);
}
void dxt1_to_565(benchmark::State& state) {
    decode<decode_dxt1>(state, 8, 0x565);
}
void dxt3_to_8888(benchmark::State& state) {
    decode<decode_dxt3>(state, 16, 0x8888);
}
void dxt3_to_565(benchmark::State& state) {
    decode<decode_dxt3>(state, 16, 0x565);
}
void dxt5_to_8888(benchmark::State& state) {
    decode<decode_dxt5>(state, 16, 0x8888);
}

// One instruction set's kernels over the same image, block row by block row.
void kernel_decode(benchmark::State& state, simd_isa isa, uint32_t block_bytes,
                   dxt_8888_row_fn dxt_8888_kernels::*which) {
    const auto* kernels = dxt_8888_kernels_for(isa);
    if (!kernels) return state.SkipWithError("not available on this machine");
    const auto& in = blocks(block_bytes);
    std::vector<uint8_t> out(size_t(k_side) * k_side * 4);
    const uint32_t per_row = k_side / 4;
    for (auto _ : state) {
        for (uint32_t by = 0; by < k_side / 4; ++by)
            (kernels->*which)(in.data() + size_t(by) * per_row * block_bytes, per_row,
                              out.data() + size_t(by) * 4 * k_side * 4, size_t(k_side) * 4);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * k_side * k_side);
}
void dxt1_sse2_to_8888(benchmark::State& state) {
    kernel_decode(state, simd_isa::sse2, 8, &dxt_8888_kernels::dxt1);
}
void dxt3_sse2_to_8888(benchmark::State& state) {
    kernel_decode(state, simd_isa::sse2, 16, &dxt_8888_kernels::dxt3);
}
void dxt5_sse2_to_8888(benchmark::State& state) {
    kernel_decode(state, simd_isa::sse2, 16, &dxt_8888_kernels::dxt5);
}

#if QUILLMAP_HAVE_SQUISH
void squish_decompress(benchmark::State& state, uint32_t block_bytes, int flags) {
    const auto& in = blocks(block_bytes);
    std::vector<uint8_t> out(size_t(k_side) * k_side * 4);
    for (auto _ : state) {
        squish::DecompressImage(out.data(), int(k_side), int(k_side), in.data(), flags);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * k_side * k_side);
}
void squish_dxt1(benchmark::State& state) {
    squish_decompress(state, 8, squish::kDxt1);
}
void squish_dxt3(benchmark::State& state) {
    squish_decompress(state, 16, squish::kDxt3);
}
void squish_dxt5(benchmark::State& state) {
    squish_decompress(state, 16, squish::kDxt5);
}
#endif

} // namespace

BENCHMARK(dxt1_to_8888);
BENCHMARK(dxt1_to_565);
BENCHMARK(dxt1_sse2_to_8888);
#if QUILLMAP_HAVE_SQUISH
BENCHMARK(squish_dxt1);
#endif
BENCHMARK(dxt3_to_8888);
BENCHMARK(dxt3_to_565);
BENCHMARK(dxt3_sse2_to_8888);
#if QUILLMAP_HAVE_SQUISH
BENCHMARK(squish_dxt3);
#endif
BENCHMARK(dxt5_to_8888);
BENCHMARK(dxt5_sse2_to_8888);
#if QUILLMAP_HAVE_SQUISH
BENCHMARK(squish_dxt5);
#endif

} // namespace quillmap
