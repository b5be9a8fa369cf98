#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmap {

// Chunk trees built in memory for tests, written out as real files.
struct test_chunk {
    uint32_t id = 0;
    uint32_t version = 0x1803FFFF;
    std::vector<uint8_t> data;        // leaves
    std::vector<test_chunk> children; // containers
    bool container = false;

    uint32_t size() const;
    std::vector<uint8_t> bytes() const;
    void append_to(std::vector<uint8_t>& out) const;
};

test_chunk leaf(uint32_t id, std::vector<uint8_t> data, uint32_t version = 0x1803FFFF);
test_chunk node(uint32_t id, std::vector<test_chunk> children, uint32_t version = 0x1803FFFF);
test_chunk string_chunk(const std::string& text, uint32_t padded_size = 0);

// A PS2 texture native as the console tools lay it out.
struct ps2_texture_desc {
    std::string name = "tex";
    std::string mask;
    uint32_t width = 32;
    uint32_t height = 32;
    uint32_t depth = 8;
    uint32_t raster_format = 0; // 0: derived (pixel format code, palette bits, swizzle kind)
    bool swizzled = false;      // kind 0x20000 with the matching palette size / transfer size
    uint32_t levels = 1;
    bool headered = true;
    uint32_t small_level_padding = 0; // extra bytes per level below 16x16, as real files have
    uint8_t fill_seed = 1;            // pixel and palette bytes are a pattern from this seed
};
test_chunk make_ps2_texture(const ps2_texture_desc& desc);
test_chunk make_dictionary(std::vector<test_chunk> textures, uint32_t version = 0x1803FFFF);

std::vector<uint8_t> u32_bytes(std::initializer_list<uint32_t> words);

// A fresh directory for one test, removed by the OS temp cleaner; unique per process and call.
std::filesystem::path temp_dir();
std::filesystem::path write_file(const std::filesystem::path& path,
                                 const std::vector<uint8_t>& bytes);
std::filesystem::path write_temp(const std::string& name, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::filesystem::path& path);

// Real third-party samples; tests skip when the folder is absent.
std::filesystem::path samples_dir();
bool samples_available();
// Samples whose names end with `extension` (compared case-insensitively), sorted by name.
std::vector<std::filesystem::path> sample_files(const std::string& extension);
std::filesystem::path sample(const std::string& name);

#define SKIP_WITHOUT_SAMPLES()                                                                     \
    do {                                                                                           \
        if (!samples_available())                                                                  \
            GTEST_SKIP() << "sample folder " << samples_dir() << " is absent";                     \
    } while (0)

} // namespace quillmap
