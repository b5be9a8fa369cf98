#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <unistd.h>

namespace quillmap {

uint32_t test_chunk::size() const {
    if (!container) return static_cast<uint32_t>(data.size());
    uint32_t total = 0;
    for (const auto& child : children)
        total += child.size() + 12;
    return total;
}

void test_chunk::append_to(std::vector<uint8_t>& out) const {
    for (uint32_t word : {id, size(), version})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(word >> (8 * i)));
    if (container)
        for (const auto& child : children)
            child.append_to(out);
    else
        out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> test_chunk::bytes() const {
    std::vector<uint8_t> out;
    append_to(out);
    return out;
}

test_chunk leaf(uint32_t id, std::vector<uint8_t> data, uint32_t version) {
    test_chunk chunk;
    chunk.id = id;
    chunk.version = version;
    chunk.data = std::move(data);
    return chunk;
}

test_chunk node(uint32_t id, std::vector<test_chunk> children, uint32_t version) {
    test_chunk chunk;
    chunk.id = id;
    chunk.version = version;
    chunk.children = std::move(children);
    chunk.container = true;
    return chunk;
}

test_chunk string_chunk(const std::string& text, uint32_t padded_size) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    const size_t size = padded_size ? padded_size : (data.size() + 3) / 4 * 4;
    data.resize(std::max(size, data.size()), 0);
    return leaf(0x02, data);
}

std::vector<uint8_t> u32_bytes(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t word : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(word >> (8 * i)));
    return out;
}

namespace {
std::vector<uint8_t> transfer_header(uint32_t w, uint32_t h, uint32_t qwc) {
    return u32_bytes({3,    0x10000000, 0x0E, 0, 0,    0, 0x51, 0,          w, h,
                      0x52, 0,          0,    0, 0x53, 0, qwc,  0x08000000, 0, 0});
}

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}
} // namespace

test_chunk make_ps2_texture(const ps2_texture_desc& desc) {
    const uint32_t w = desc.width, h = desc.height, d = desc.depth;
    const bool palettised = d == 4 || d == 8;
    const uint32_t palette_bytes = palettised ? 4u << d : 0;
    const uint32_t swizzle_extra = (desc.swizzled && d == 4) ? 32 : 0;

    std::vector<uint8_t> data;
    uint8_t value = desc.fill_seed;
    for (uint32_t level = 0; level < desc.levels; ++level) {
        // Hostile rasters may store more levels than a side has bits.
        const uint32_t lw = level < 32 ? std::max(1u, w >> level) : 1u;
        const uint32_t lh = level < 32 ? std::max(1u, h >> level) : 1u;
        uint32_t bytes = lw * lh * d / 8;
        if (lw < 16 && lh < 16) bytes += desc.small_level_padding;
        if (desc.headered) bytes = (bytes + 15) / 16 * 16;
        if (desc.headered) {
            const bool half = desc.swizzled && level == 0;
            append(data, transfer_header(half ? lw / 2 : lw, half ? lh / 2 : lh, bytes / 16));
        }
        for (uint32_t i = 0; i < bytes; ++i)
            data.push_back(value = uint8_t(value * 31 + 7));
    }
    if (palettised) {
        if (desc.headered) {
            const uint32_t pw = d == 8 ? 16 : 8, ph = d == 8 ? 16 : (desc.swizzled ? 3 : 2);
            append(data, transfer_header(pw, ph, (palette_bytes + swizzle_extra) / 16));
        }
        for (uint32_t i = 0; i < palette_bytes; ++i)
            data.push_back(value = uint8_t(value * 13 + 5));
        data.resize(data.size() + swizzle_extra, 0);
    }

    uint32_t format = desc.raster_format;
    if (format == 0) {
        format = d == 16 ? 0x100 : d == 24 ? 0x600 : 0x500;
        if (d == 4) format |= 0x4000;
        if (d == 8) format |= 0x2000;
        if (desc.swizzled) format |= 0x20000;
        format |= 0x4;
        if (desc.levels > 1) format |= 0x8000;
    }
    std::vector<uint8_t> header(64, 0);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = uint8_t(v >> (8 * i));
    };
    put(0, w);
    put(4, h);
    put(8, d);
    put(12, format);
    put(52, palettised ? palette_bytes + 80 + swizzle_extra : 0);

    std::vector<uint8_t> platform = {'P', 'S', '2', 0, 0x02, 0x11, 0, 0};
    return node(0x15, {leaf(0x01, platform), string_chunk(desc.name), string_chunk(desc.mask),
                       node(0x01, {leaf(0x01, header), leaf(0x01, data)}),
                       node(0x03, {leaf(0x110, u32_bytes({4032}))})});
}

test_chunk make_dictionary(std::vector<test_chunk> textures, uint32_t version) {
    std::vector<test_chunk> children;
    children.push_back(leaf(0x01, u32_bytes({static_cast<uint32_t>(textures.size())})));
    for (auto& texture : textures)
        children.push_back(std::move(texture));
    children.push_back(node(0x03, {}));
    test_chunk dictionary = node(0x16, std::move(children));
    std::vector<test_chunk*> stack = {&dictionary};
    while (!stack.empty()) {
        test_chunk* chunk = stack.back();
        stack.pop_back();
        chunk->version = version;
        for (auto& child : chunk->children)
            stack.push_back(&child);
    }
    return dictionary;
}

std::filesystem::path temp_dir() {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("quillmap-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::filesystem::path write_file(const std::filesystem::path& path,
                                 const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::filesystem::path write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
    return write_file(temp_dir() / name, bytes);
}

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path samples_dir() {
    return QUILLMAP_SAMPLES_DIR;
}

bool samples_available() {
    return std::filesystem::is_directory(samples_dir());
}

std::vector<std::filesystem::path> sample_files(const std::string& extension) {
    std::vector<std::filesystem::path> files;
    if (!samples_available()) return files;
    auto lower = [](std::string s) {
        for (auto& c : s)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const auto& entry : std::filesystem::directory_iterator(samples_dir()))
        if (entry.is_regular_file() && lower(entry.path().extension().string()) == lower(extension))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path sample(const std::string& name) {
    return samples_dir() / name;
}

} // namespace quillmap
