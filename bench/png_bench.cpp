// PNG export and colour quantization against the libraries alone on the same pixels: libspng
// encoding the picture the export writes, libimagequant quantizing and remapping the same
// picture to 256 colours with dithering.
#include "dictionary/ps2_txd.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_picture.h"
#include "imageio/quantize.h"
#include "imageio/texture_png.h"

#include <benchmark/benchmark.h>
#include <libimagequant.h>
#include <spng.h>

#include <cmath>
#include <cstdlib>

namespace {
constexpr uint32_t k_side = 512;

// Smooth fields with fine detail, so neither the deflate nor the quantizer has an easy time.
const rgba_image& picture() {
    static const rgba_image image = [] {
        rgba_image out;
        out.width = out.height = k_side;
        out.rgba.resize(size_t(k_side) * k_side * 4);
        for (uint32_t y = 0; y < k_side; ++y)
            for (uint32_t x = 0; x < k_side; ++x) {
                uint8_t* p = out.pixel(x, y);
                const double u = double(x) / k_side, v = double(y) / k_side;
                const double grain = 12 * std::sin(x * 0.9 + y * 1.3) * std::cos(x * 0.21 - y);
                p[0] = uint8_t(std::clamp(255 * u + grain, 0.0, 255.0));
                p[1] = uint8_t(std::clamp(255 * v * (1 - u) + grain, 0.0, 255.0));
                p[2] = uint8_t(std::clamp(128 + 120 * std::sin(6 * u * v) - grain, 0.0, 255.0));
                // Alpha exactly as the export gives it back from a PS2 raster.
                p[3] = alpha_from_ps2(alpha_to_ps2(uint8_t(x < 64 ? x * 4 : 255)));
            }
        return out;
    }();
    return image;
}

void spng_encode_rgba_512(benchmark::State& state) {
    const rgba_image& image = picture();
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
        spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
        spng_ihdr ihdr{};
        ihdr.width = ihdr.height = k_side;
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
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

void png_export_rgba_512(benchmark::State& state) {
    const rgba_image& image = picture();
    ps2_txd txd;
    txd.create_empty(0x1803FFFF);
    const std::vector<uint8_t> pixels = ps2_pixels_from_rgba(image, 32);
    txd.append_texture(
        txd.build_texture_native("", pixels.data(), "bench", k_side, k_side, 32, nullptr, false));
    std::vector<uint8_t> png;
    std::string error;
    for (auto _ : state) {
        if (!texture_png(txd, 0, 0, view_mode::texture, swizzle_mode::as_stored, png, error))
            state.SkipWithError("export");
        benchmark::DoNotOptimize(png.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.rgba.size()));
}

void liq_quantize_256_512(benchmark::State& state) {
    const rgba_image& image = picture();
    std::vector<uint8_t> indices(size_t(k_side) * k_side);
    for (auto _ : state) {
        liq_attr* attr = liq_attr_create();
        liq_set_max_colors(attr, 256);
        liq_image* input =
            liq_image_create_rgba(attr, image.rgba.data(), int(k_side), int(k_side), 0);
        liq_result* result = nullptr;
        if (liq_image_quantize(input, attr, &result) == LIQ_OK) {
            liq_set_dithering_level(result, 1.0f);
            liq_write_remapped_image(result, input, indices.data(), indices.size());
            benchmark::DoNotOptimize(liq_get_palette(result));
            liq_result_destroy(result);
        }
        liq_image_destroy(input);
        liq_attr_destroy(attr);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * k_side * k_side);
}

void quantize_256_512(benchmark::State& state) {
    const rgba_image& image = picture();
    indexed_image out;
    std::string error;
    for (auto _ : state) {
        if (!quantize(image, 256, true, out, error)) state.SkipWithError("quantize");
        benchmark::DoNotOptimize(out.indices.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * k_side * k_side);
}
} // namespace

BENCHMARK(spng_encode_rgba_512)->Unit(benchmark::kMillisecond);
BENCHMARK(png_export_rgba_512)->Unit(benchmark::kMillisecond);
BENCHMARK(liq_quantize_256_512)->Unit(benchmark::kMillisecond);
BENCHMARK(quantize_256_512)->Unit(benchmark::kMillisecond);
