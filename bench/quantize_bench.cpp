// Quantizing a 1024x1024 picture of real textures to 256 colours with dithering, against
// libimagequant with its default settings on the same pixels; PSNR (all four channels, against
// the picture) as a counter. The other runs are the tables the defaults were chosen from: the
// program's quantization at libimagequant's speeds from fewer pixels,
// libimagequant's speed settings, the palette taken from the half-size level, the cost of
// remapping the mip levels, one after another and in parallel.
// Process CPU time throughout: libimagequant may run OpenMP threads of its own.
#include "imageio/mip_chain.h"
#include "imageio/quantize.h"
#include "sample_pictures.h"

#include <benchmark/benchmark.h>
#include <libimagequant.h>

#include <cmath>
#include <thread>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 1024;

// Over colour weighted by alpha and alpha itself: the colour of a clear texel is never seen.
double psnr(const rgba_image& original, const indexed_image& mapped) {
    double sum = 0;
    for (size_t i = 0; i < mapped.indices.size(); ++i) {
        const uint8_t* p = &original.rgba[i * 4];
        const uint8_t* q = &mapped.palette[size_t(mapped.indices[i]) * 4];
        for (int k = 0; k < 3; ++k) {
            const double d = (p[k] * p[3] - q[k] * q[3]) / 255.0;
            sum += d * d;
        }
        sum += double(p[3] - q[3]) * double(p[3] - q[3]);
    }
    const double mse = sum / (double(mapped.indices.size()) * 4);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

// libimagequant alone at `speed` (0: its default), dithered, into `out`; the palette from
// `source` (the picture itself, or a smaller one).
void liq_alone(const rgba_image& image, int speed, indexed_image& out,
               const rgba_image* source = nullptr) {
    if (!source) source = &image;
    liq_attr* attr = liq_attr_create();
    liq_set_max_colors(attr, 256);
    if (speed) liq_set_speed(attr, speed);
    liq_image* input =
        liq_image_create_rgba(attr, image.rgba.data(), int(image.width), int(image.height), 0);
    liq_image* palette_input =
        source == &image ? input
                         : liq_image_create_rgba(attr, source->rgba.data(), int(source->width),
                                                 int(source->height), 0);
    liq_result* result = nullptr;
    out.width = image.width;
    out.height = image.height;
    out.indices.resize(size_t(image.width) * image.height);
    if (liq_image_quantize(palette_input, attr, &result) == LIQ_OK) {
        liq_set_dithering_level(result, 1.0f);
        liq_write_remapped_image(result, input, out.indices.data(), out.indices.size());
        const liq_palette* palette = liq_get_palette(result);
        out.palette.resize(size_t(palette->count) * 4);
        for (uint32_t i = 0; i < palette->count; ++i) {
            const liq_color& c = palette->entries[i];
            out.palette[i * 4] = c.r;
            out.palette[i * 4 + 1] = c.g;
            out.palette[i * 4 + 2] = c.b;
            out.palette[i * 4 + 3] = c.a;
        }
        liq_result_destroy(result);
    }
    if (palette_input != input) liq_image_destroy(palette_input);
    liq_image_destroy(input);
    liq_attr_destroy(attr);
}

void quantize_1024_liq_default(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image out;
    for (auto _ : state) {
        liq_alone(image, 0, out);
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

void quantize_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image out;
    std::string error;
    for (auto _ : state) {
        if (!quantize(image, 256, true, out, error)) return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

// The table the defaults come from: the program's quantization with libimagequant's palette at
// speed range(0) from every range(1)-th pixel and row.
void quantize_speed_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image out;
    std::string error;
    const quantize_settings settings{int(state.range(0)), uint32_t(state.range(1))};
    for (auto _ : state) {
        if (!quantize(image, 256, true, out, error, settings))
            return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

void liq_speed_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image out;
    for (auto _ : state) {
        liq_alone(image, int(state.range(0)), out);
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

// The palette from the half-size level (made in the loop), the remapping on level 0.
void liq_half_palette_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image out;
    for (auto _ : state) {
        const rgba_image half = half_size(image);
        liq_alone(image, int(state.range(0)), out, &half);
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

// The remapping alone: level 0 onto a palette made beforehand, dithered.
void remap_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    indexed_image palette_source, out;
    liq_alone(image, 0, palette_source);
    std::string error;
    for (auto _ : state) {
        if (!remap(image, palette_source.palette, true, out, error))
            return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.counters["psnr_db"] = psnr(image, out);
}

// Levels 1 .. 6 remapped onto level 0's palette: range(0) 0 one after another, 1 in parallel.
void remap_levels_1024(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    const std::vector<rgba_image> chain = mip_chain(image, renderware_level_count(k_side, k_side));
    indexed_image level0;
    liq_alone(image, 0, level0);
    std::vector<indexed_image> levels(chain.size());
    for (auto _ : state) {
        std::string error;
        if (state.range(0) == 0) {
            for (size_t k = 1; k < chain.size(); ++k)
                remap(chain[k], level0.palette, true, levels[k], error);
        } else {
            std::vector<std::thread> workers;
            for (size_t k = 1; k < chain.size(); ++k)
                workers.emplace_back([&, k] {
                    std::string e;
                    remap(chain[k], level0.palette, true, levels[k], e);
                });
            for (auto& worker : workers)
                worker.join();
        }
        benchmark::DoNotOptimize(levels.back().indices.data());
    }
}
} // namespace

BENCHMARK(quantize_1024_liq_default)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(quantize_1024)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(quantize_speed_1024)
    ->ArgsProduct({{1, 4, 6, 8, 10}, {1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(liq_speed_1024)
    ->DenseRange(1, 10)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(liq_half_palette_1024)
    ->Arg(4)
    ->Arg(6)
    ->Arg(8)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(remap_1024)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(remap_levels_1024)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(remap_levels_1024)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Name("remap_levels_1024_wall");

} // namespace quillmap
