// PNG export against libspng's default settings on the same real pixels (decoded PC DXT and
// PS2 8-bit textures from the shared samples), with the file sizes as counters. The other runs
// are the measurements the writer's defaults were chosen by: its levels and filters, and zlib's
// levels, strategies and libspng's filter choices.
#include "dictionary/ps2_txd.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_picture.h"
#include "imageio/texture_png.h"
#include "sample_pictures.h"

#include <benchmark/benchmark.h>
#include <spng.h>

#include <cstdlib>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 512;

// The mosaic with alpha as a PS2 32-bit raster gives it back: the pixels the export writes.
const rgba_image& exported_pixels() {
    static const rgba_image image = [] {
        rgba_image out = sample_mosaic(k_side);
        for (size_t i = 3; i < out.rgba.size(); i += 4)
            out.rgba[i] = alpha_from_ps2(alpha_to_ps2(out.rgba[i]));
        return out;
    }();
    return image;
}

// libspng's encode with the options given (0 = its default for that option); the file size.
size_t spng_encode(const rgba_image& image, int level, int strategy, int filters) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    if (level >= 0) spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, level);
    if (strategy >= 0) spng_set_option(ctx, SPNG_IMG_COMPRESSION_STRATEGY, strategy);
    if (filters >= 0) spng_set_option(ctx, SPNG_FILTER_CHOICE, filters);
    spng_ihdr ihdr{};
    ihdr.width = image.width;
    ihdr.height = image.height;
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    spng_set_ihdr(ctx, &ihdr);
    spng_encode_image(ctx, image.rgba.data(), image.rgba.size(), SPNG_FMT_PNG,
                      SPNG_ENCODE_FINALIZE);
    size_t size = 0;
    int error = 0;
    void* png = spng_get_png_buffer(ctx, &size, &error);
    benchmark::DoNotOptimize(png);
    std::free(png);
    spng_ctx_free(ctx);
    return size;
}

size_t libspng_default_size() {
    static const size_t size = spng_encode(exported_pixels(), -1, -1, -1);
    return size;
}

void sizes(benchmark::State& state, size_t bytes) {
    state.counters["bytes"] = double(bytes);
    state.counters["size_vs_libspng"] = double(bytes) / double(libspng_default_size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(k_side) * k_side * 4);
}

void png_export_512_rgba_libspng_default(benchmark::State& state) {
    const rgba_image& image = exported_pixels();
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    size_t bytes = 0;
    for (auto _ : state)
        bytes = spng_encode(image, -1, -1, -1);
    sizes(state, bytes);
}

// The whole export of a 32-bit PS2 texture holding the mosaic: render, convert, write.
void png_export_512_rgba(benchmark::State& state) {
    const rgba_image& image = sample_mosaic(k_side);
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    ps2_txd txd;
    txd.create_empty(0x1803FFFF);
    const std::vector<uint8_t> pixels = ps2_pixels_from_rgba(image, 32);
    txd.append_texture(
        txd.build_texture_native("", pixels.data(), "bench", k_side, k_side, 32, nullptr, false));
    png_write_options options;
    if (state.range(0) >= 0) options.level = int(state.range(0));
    std::vector<uint8_t> png;
    std::string error;
    for (auto _ : state) {
        if (!texture_png(txd, 0, 0, view_mode::texture, swizzle_mode::as_stored, png, error,
                         options))
            return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(png.data());
    }
    sizes(state, png.size());
}

// The writer alone at level range(0) with filter range(1).
void png_writer_512(benchmark::State& state) {
    const rgba_image& image = exported_pixels();
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    const png_write_options options{int(state.range(0)), png_filter(state.range(1))};
    std::vector<uint8_t> png;
    std::string error;
    for (auto _ : state) {
        png = encode_png_rgba(image, error, options);
        benchmark::DoNotOptimize(png.data());
    }
    sizes(state, png.size());
}

// libspng with zlib level range(0), strategy range(1) and filter choice range(2).
void png_libspng_512(benchmark::State& state) {
    const rgba_image& image = exported_pixels();
    if (image.rgba.empty()) return state.SkipWithError(k_no_samples);
    size_t bytes = 0;
    for (auto _ : state)
        bytes = spng_encode(image, int(state.range(0)), int(state.range(1)), int(state.range(2)));
    sizes(state, bytes);
}
} // namespace

BENCHMARK(png_export_512_rgba_libspng_default)->Unit(benchmark::kMillisecond);
// -1: the writer's default level; the others are what --png-level offers.
BENCHMARK(png_export_512_rgba)
    ->Arg(-1)
    ->Arg(0)
    ->Arg(1)
    ->Arg(6)
    ->Arg(12)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(png_writer_512)
    ->ArgsProduct({{1, 2, 3, 4, 6}, {0, 1, 2, 4, 5, 6}})
    ->ArgNames({"level", "filter"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(png_libspng_512)
    ->ArgsProduct({{1, 3, 6}, {0, 1, 3}, {SPNG_FILTER_CHOICE_UP, SPNG_FILTER_CHOICE_ALL}})
    ->ArgNames({"level", "strategy", "filters"})
    ->Unit(benchmark::kMillisecond);

} // namespace quillmap
