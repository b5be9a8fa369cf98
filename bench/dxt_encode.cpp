// DXT1 and DXT5 encoding of 1024x1024 pictures: the program's parallel encoder against libsquish's
// cluster fit on one thread, on the same pictures in the same run, with the PSNR of each result.
#include "dictionary/txd_probe.h"
#include "imageio/dxt_compress.h"
#include "imageio/mip_chain.h"
#include "imageio/texture_rgba.h"
#include "raster/dxt.h"

#include <benchmark/benchmark.h>
#include <squish.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

namespace quillmap {

namespace {

constexpr uint32_t k_side = 1024;

enum class subject { photo, cutout };

// A real texture scaled up to 1024x1024: the largest opaque picture of the samples for the
// photograph, the largest one with graded alpha for the cut-out.
rgba_image sample_picture(subject which) {
    const std::filesystem::path folder = QUILLMAP_SAMPLES_DIR;
    rgba_image best;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return best;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        auto probe = probe_dictionary(entry.path(), 0, k_all_platforms);
        if (!probe.dictionary) continue;
        for (uint32_t t = 0; t < probe.dictionary->texture_count(); ++t) {
            std::string error;
            rgba_image picture = texture_rgba(*probe.dictionary, t, 0, error);
            if (picture.rgba.empty()) continue;
            uint32_t graded = 0;
            for (size_t i = 3; i < picture.rgba.size(); i += 4)
                graded += picture.rgba[i] != 0 && picture.rgba[i] != 255;
            const bool cutout = graded * 20 >= picture.rgba.size() / 4; // 5% partly transparent
            if (cutout != (which == subject::cutout)) continue;
            if (uint64_t(picture.width) * picture.height > uint64_t(best.width) * best.height)
                best = std::move(picture);
        }
    }
    return best.rgba.empty() ? best : resized(best, k_side, k_side);
}

// Without samples: a landscape-like picture (sky gradient, hills, textured ground) and a round
// leaf cut-out with soft edges and veins.
rgba_image synthetic_picture(subject which) {
    rgba_image image;
    image.width = image.height = k_side;
    image.rgba.resize(size_t(k_side) * k_side * 4);
    for (uint32_t y = 0; y < k_side; ++y)
        for (uint32_t x = 0; x < k_side; ++x) {
            const double u = double(x) / k_side, v = double(y) / k_side;
            const double ridge = 0.5 + 0.1 * std::sin(u * 9) + 0.05 * std::sin(u * 31 + 1);
            const double grain = 0.06 * std::sin(x * 0.71 + std::sin(y * 0.13) * 5) *
                                 std::cos(y * 0.57 + std::sin(x * 0.09) * 4);
            double r, g, b, a = 1;
            if (which == subject::photo) {
                if (v < ridge) {
                    r = 0.45 + 0.3 * v;
                    g = 0.6 + 0.3 * v;
                    b = 0.95;
                } else {
                    r = 0.3 + grain + 0.2 * (v - ridge);
                    g = 0.45 + grain * 1.3 - 0.1 * (v - ridge);
                    b = 0.15 + grain * 0.5;
                }
            } else {
                const double dx = u - 0.5, dy = (v - 0.5) * 1.6;
                const double edge = 0.42 - std::sqrt(dx * dx + dy * dy);
                a = std::clamp(edge * 40, 0.0, 1.0);
                const double vein = std::exp(-std::abs(dx * 40 + std::sin(dy * 12) * 2));
                r = 0.2 + grain + 0.3 * vein;
                g = 0.55 + grain + 0.3 * vein;
                b = 0.1 + 0.2 * v;
            }
            uint8_t* p = image.pixel(x, y);
            p[0] = uint8_t(std::clamp(r, 0.0, 1.0) * 255);
            p[1] = uint8_t(std::clamp(g, 0.0, 1.0) * 255);
            p[2] = uint8_t(std::clamp(b, 0.0, 1.0) * 255);
            p[3] = uint8_t(a * 255);
        }
    return image;
}

const rgba_image& picture(subject which, dxt_kind kind) {
    static std::map<std::pair<subject, dxt_kind>, rgba_image> cache;
    auto& slot = cache[{which, kind}];
    if (slot.rgba.empty()) {
        slot = sample_picture(which);
        if (slot.rgba.empty()) slot = synthetic_picture(which);
        // DXT1 without 1-bit alpha is opaque: both encoders see the same opaque picture.
        if (kind == dxt_kind::dxt1)
            for (size_t i = 3; i < slot.rgba.size(); i += 4)
                slot.rgba[i] = 255;
    }
    return slot;
}

// PSNR over red, green and blue as a viewer sees them (weighted by alpha, so that colours under
// transparent pixels, which neither encoder tries to keep, do not count) and alpha.
double psnr(const rgba_image& source, std::span<const uint8_t> blocks, dxt_kind kind) {
    std::vector<uint8_t> bgra(source.rgba.size());
    if (kind == dxt_kind::dxt1)
        decode_dxt1(source.width, source.height, blocks, bgra, 1, 0x8888);
    else
        decode_dxt5(source.width, source.height, blocks, bgra, 1, 0x8888);
    double sum = 0;
    for (size_t i = 0; i < bgra.size(); i += 4) {
        const double a = source.rgba[i + 3] / 255.0, b = bgra[i + 3] / 255.0;
        const double d[4] = {
            source.rgba[i] * a - bgra[i + 2] * b, source.rgba[i + 1] * a - bgra[i + 1] * b,
            source.rgba[i + 2] * a - bgra[i] * b, double(source.rgba[i + 3]) - bgra[i + 3]};
        for (double c : d)
            sum += c * c;
    }
    const double mse = sum / double(bgra.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

void report(benchmark::State& state, const rgba_image& source, std::span<const uint8_t> blocks,
            dxt_kind kind) {
    state.counters["PSNR"] = psnr(source, blocks, kind);
    state.SetItemsProcessed(int64_t(state.iterations()) * source.width * source.height);
}

void quillmap_encode(benchmark::State& state, subject which, dxt_kind kind) {
    const rgba_image& source = picture(which, kind);
    std::vector<uint8_t> blocks;
    for (auto _ : state) {
        blocks = compress_dxt(source.rgba, source.width, source.height, kind);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, source, blocks, kind);
}

// The reference: libsquish's own whole-picture loop, cluster fit, one thread.
void squish_cluster_fit(benchmark::State& state, subject which, dxt_kind kind) {
    const rgba_image& source = picture(which, kind);
    const int flags =
        squish::kColourClusterFit |
        (kind == dxt_kind::dxt1 ? squish::kDxt1 : squish::kDxt5 | squish::kWeightColourByAlpha);
    std::vector<uint8_t> blocks(size_t(k_side / 4) * (k_side / 4) * dxt_block_bytes(kind));
    for (auto _ : state) {
        squish::CompressImage(source.rgba.data(), int(source.width), int(source.height),
                              blocks.data(), flags);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, source, blocks, kind);
}

void run_all() {
    struct row {
        const char* name;
        subject which;
        dxt_kind kind;
    };
    for (const row r : {row{"photo_dxt1", subject::photo, dxt_kind::dxt1},
                        row{"photo_dxt5", subject::photo, dxt_kind::dxt5},
                        row{"cutout_dxt1", subject::cutout, dxt_kind::dxt1},
                        row{"cutout_dxt5", subject::cutout, dxt_kind::dxt5}}) {
        benchmark::RegisterBenchmark((std::string("squish_cluster_fit/") + r.name).c_str(),
                                     squish_cluster_fit, r.which, r.kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("compress_dxt/") + r.name).c_str(),
                                     quillmap_encode, r.which, r.kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

} // namespace

// The program's work, inside the project's namespace; main() only calls it.
int run_main(int argc, char** argv) {
    run_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace quillmap

int main(int argc, char** argv) {
    return quillmap::run_main(argc, argv);
}
