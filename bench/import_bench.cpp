// A 1024x1024 PNG of real textures imported end to end as an 8-bit PS2 texture with
// RenderWare's full mip chain: PNG decode, quantization, mip levels, remapping and the
// game-ready build, as Import does it. Its reference is quantize_1024_liq_default (libimagequant
// quantizing level 0 alone, quantize_bench.cpp). Process CPU time: libimagequant may run OpenMP
// threads of its own.
#include "imageio/png_codec.h"
#include "imageio/texture_png.h"
#include "sample_pictures.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 1024;

void import_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    std::string error;
    const std::vector<uint8_t> png = encode_png_rgba(image, error);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("quillmap-import-bench-" + std::to_string(::getpid()) + ".png");
    if (png.empty() || !write_bytes(path, png, error)) return state.SkipWithError(error.c_str());
    png_add_options options;
    options.depth = 8;
    options.mips = 0; // RenderWare's own count: seven levels
    for (auto _ : state) {
        ps2_txd txd;
        txd.create_empty(0x1803FFFF);
        std::string note;
        if (!add_texture_png(txd, path, options, error, note))
            return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(txd.texture_count());
    }
    std::filesystem::remove(path);
}
} // namespace

BENCHMARK(import_1024)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace quillmap
