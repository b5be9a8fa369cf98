// Filling the texture list of a 255-texture PS2 dictionary on the offscreen platform, and the
// parts of that fill: decoding (the dictionary's render), thumbnail scaling and list items.
#include "dictionary/ps2_txd.h"
#include "views/display_qimage.h"
#include "views/texture_list.h"

#include "platform/ui_host.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace quillmap {

namespace {
constexpr uint32_t k_textures = 255;
constexpr uint32_t k_size_px = 128;
constexpr uint32_t k_depth = 8;
constexpr uint32_t k_version = 0x1803FFFF;

void put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One chunk: header then payload.
std::vector<uint8_t> chunk(uint32_t id, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    put32(out, id);
    put32(out, static_cast<uint32_t>(payload.size()));
    put32(out, k_version);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<uint8_t> transfer_header(uint32_t w, uint32_t h, uint32_t qwc) {
    std::vector<uint8_t> out;
    for (uint32_t word : {3u,    0x10000000u, 0x0Eu, 0u, 0u,    0u, 0x51u, 0u,          w,  h,
                          0x52u, 0u,          0u,    0u, 0x53u, 0u, qwc,   0x08000000u, 0u, 0u})
        put32(out, word);
    return out;
}

std::vector<uint8_t> name_chunk(const std::string& name) {
    std::vector<uint8_t> data(name.begin(), name.end());
    data.resize((name.size() + 4) / 4 * 4, 0);
    return chunk(0x02, data);
}

// An 8-bit, 128x128 PS2 texture with its palette, headered as the console tools write it.
std::vector<uint8_t> texture(uint32_t t) {
    const uint32_t pixel_bytes = k_size_px * k_size_px * k_depth / 8;
    std::vector<uint8_t> raster = transfer_header(k_size_px, k_size_px, pixel_bytes / 16);
    uint8_t value = static_cast<uint8_t>(t);
    for (uint32_t i = 0; i < pixel_bytes; ++i)
        raster.push_back(value = uint8_t(value * 31 + 7));
    const std::vector<uint8_t> palette_header = transfer_header(16, 16, 1024 / 16);
    raster.insert(raster.end(), palette_header.begin(), palette_header.end());
    for (uint32_t i = 0; i < 256; ++i)
        for (uint8_t c : {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), uint8_t(0x80)})
            raster.push_back(c);

    std::vector<uint8_t> header;
    for (uint32_t word : {k_size_px, k_size_px, k_depth, 0x2504u})
        put32(header, word);
    header.resize(64, 0);
    header[52] = (1024 + 80) & 0xFF;
    header[53] = (1024 + 80) >> 8;

    const std::vector<uint8_t> platform = {'P', 'S', '2', 0, 0x02, 0x11, 0, 0};
    std::vector<uint8_t> sky;
    put32(sky, 4032);
    return chunk(
        0x15, join({chunk(0x01, platform), name_chunk("texture_" + std::to_string(t)),
                    name_chunk(""), chunk(0x01, join({chunk(0x01, header), chunk(0x01, raster)})),
                    chunk(0x03, chunk(0x110, sky))}));
}

const std::filesystem::path& dictionary_file() {
    static const std::filesystem::path path = [] {
        std::vector<uint8_t> body;
        std::vector<uint8_t> count;
        put32(count, k_textures);
        body = chunk(0x01, count);
        for (uint32_t t = 0; t < k_textures; ++t) {
            const auto native = texture(t);
            body.insert(body.end(), native.begin(), native.end());
        }
        const auto extension = chunk(0x03, {});
        body.insert(body.end(), extension.begin(), extension.end());
        const auto file = std::filesystem::temp_directory_path() /
                          ("quillmap-fill-bench-" + std::to_string(getpid()) + ".txd");
        std::ofstream out(file, std::ios::binary);
        const auto bytes = chunk(0x16, body);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }();
    return path;
}

std::unique_ptr<ps2_txd> open_dictionary() {
    auto txd = std::make_unique<ps2_txd>();
    if (!txd->load(dictionary_file(), 0, 0x16, 0) || txd->texture_count() != k_textures)
        return nullptr;
    return txd;
}

// The whole fill with thumbnails: what opening a dictionary costs the list.
void BM_fill_thumbnails(benchmark::State& state) {
    auto txd = open_dictionary();
    if (!txd) return state.SkipWithError("dictionary did not open");
    scripted_ui_host host;
    CTextureList list(host);
    list.set_picture_kind(CTextureList::pictures_thumbnails);
    list.set_dictionary(txd.get());
    for (auto _ : state)
        benchmark::DoNotOptimize(list.fill(0));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * k_textures);
}
BENCHMARK(BM_fill_thumbnails)->Unit(benchmark::kMillisecond);

// Decoding only: the dictionary's render of level 0 for every texture, as the fill asks it.
void BM_render_only(benchmark::State& state) {
    auto txd = open_dictionary();
    if (!txd) return state.SkipWithError("dictionary did not open");
    for (auto _ : state)
        for (uint32_t t = 0; t < k_textures; ++t)
            benchmark::DoNotOptimize(
                txd->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * k_textures);
}
BENCHMARK(BM_render_only)->Unit(benchmark::kMillisecond);

// Thumbnail scaling and the pixmap for the item, from pictures rendered beforehand.
void BM_thumbnails_only(benchmark::State& state) {
    auto txd = open_dictionary();
    if (!txd) return state.SkipWithError("dictionary did not open");
    std::vector<device_bitmap> pictures;
    for (uint32_t t = 0; t < k_textures; ++t)
        pictures.push_back(txd->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
    for (auto _ : state)
        for (const auto& picture : pictures)
            benchmark::DoNotOptimize(QIcon(QPixmap::fromImage(thumbnail_of(*picture, 32))));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * k_textures);
}
BENCHMARK(BM_thumbnails_only)->Unit(benchmark::kMillisecond);

// The list items alone: texts, columns and item data, no pictures.
void BM_fill_without_pictures(benchmark::State& state) {
    auto txd = open_dictionary();
    if (!txd) return state.SkipWithError("dictionary did not open");
    scripted_ui_host host;
    CTextureList list(host);
    list.set_picture_kind(0);
    list.set_dictionary(txd.get());
    for (auto _ : state)
        benchmark::DoNotOptimize(list.fill(0));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * k_textures);
}
BENCHMARK(BM_fill_without_pictures)->Unit(benchmark::kMillisecond);
} // namespace

// The program's work, inside the project's namespace; main() only calls it.
int run_main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(dictionary_file());
    return 0;
}

} // namespace quillmap

int main(int argc, char** argv) {
    return quillmap::run_main(argc, argv);
}
