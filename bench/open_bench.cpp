// Opening a large PS2 dictionary (only headers and leaves of at most 64 bytes are read) beside a
// plain read() of the whole file in the same run.
#include "dictionary/ps2_txd.h"
#include "stream/byte_reader.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace quillmap {

namespace {

void put_chunk(std::vector<uint8_t>& out, uint32_t id, uint32_t size) {
    uint8_t header[12];
    store_u32(header, id);
    store_u32(header + 4, size);
    store_u32(header + 8, 0x1803FFFF);
    out.insert(out.end(), header, header + 12);
}

// 255 swizzled 256x128 8-bit textures with headered raster data: about 8.5 MB.
std::filesystem::path large_dictionary() {
    static const std::filesystem::path path = [] {
        constexpr uint32_t w = 256, h = 128, count = 255;
        constexpr uint32_t data_size = 80 + w * h + 80 + 1024;
        constexpr uint32_t raster_size = 12 + 64 + 12 + data_size;
        constexpr uint32_t texture_size =
            (12 + 8) + (12 + 16) + (12 + 4) + (12 + raster_size) + (12 + 16);
        std::vector<uint8_t> out;
        put_chunk(out, 0x16, (12 + 4) + count * (12 + texture_size) + 12);
        put_chunk(out, 0x01, 4);
        out.insert(out.end(), {uint8_t(count), 0, 0, 0});
        for (uint32_t t = 0; t < count; ++t) {
            put_chunk(out, 0x15, texture_size);
            put_chunk(out, 0x01, 8);
            out.insert(out.end(), {'P', 'S', '2', 0, 2, 0x11, 0, 0});
            put_chunk(out, 0x02, 16);
            std::string name = "texture" + std::to_string(t);
            name.resize(16, '\0');
            out.insert(out.end(), name.begin(), name.end());
            put_chunk(out, 0x02, 4);
            out.insert(out.end(), 4, 0);
            put_chunk(out, 0x01, raster_size);
            put_chunk(out, 0x01, 64);
            std::vector<uint8_t> header(64, 0);
            store_u32(&header[0], w);
            store_u32(&header[4], h);
            store_u32(&header[8], 8);
            store_u32(&header[12], 0x22504);
            store_u32(&header[52], 1104);
            out.insert(out.end(), header.begin(), header.end());
            put_chunk(out, 0x01, data_size);
            std::vector<uint8_t> data(data_size, uint8_t(t));
            const uint32_t gif[20] = {3,    0x10000000, 0x0E,       0,          0, 0, 0x51,
                                      0,    w / 2,      h / 2,      0x52,       0, 0, 0,
                                      0x53, 0,          w * h / 16, 0x08000000, 0, 0};
            for (int i = 0; i < 20; ++i)
                store_u32(&data[i * 4], gif[i]);
            out.insert(out.end(), data.begin(), data.end());
            put_chunk(out, 0x03, 16);
            put_chunk(out, 0x110, 4);
            out.insert(out.end(), {0xC0, 0x0F, 0, 0});
        }
        put_chunk(out, 0x03, 0);
        auto file = std::filesystem::temp_directory_path() / "quillmap-bench-255.txd";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        return file;
    }();
    return path;
}

void open_large_ps2(benchmark::State& state) {
    const auto path = large_dictionary();
    uint64_t bytes_read = 0;
    for (auto _ : state) {
        ps2_txd txd;
        if (!txd.load(path, 0, 0x16, 0)) state.SkipWithError("load failed");
        bytes_read = txd.bytes_read();
        benchmark::DoNotOptimize(txd.root.get());
    }
    state.counters["file_bytes"] = double(std::filesystem::file_size(path));
    state.counters["bytes_read"] = double(bytes_read);
}
BENCHMARK(open_large_ps2)->Unit(benchmark::kMicrosecond);

// The reference: open, read() the whole file into a buffer allocated beforehand, close.
void read_large_ps2(benchmark::State& state) {
    const auto path = large_dictionary();
    std::vector<char> buffer(std::filesystem::file_size(path));
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) return state.SkipWithError("open failed");
        size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        ::close(fd);
        if (done != buffer.size()) return state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.counters["file_bytes"] = double(buffer.size());
}
BENCHMARK(read_large_ps2)->Unit(benchmark::kMicrosecond);

} // namespace

} // namespace quillmap
