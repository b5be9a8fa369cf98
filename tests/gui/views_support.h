#pragma once

// Texture natives of the other platforms and a main window on a scripted host, for the view and
// command tests.
#include "app/main_dialog.h"
#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/xbox_txd.h"
#include "platform/ui_host.h"
#include "test_files.h"

#include <cstring>
#include <memory>
#include <string>

// Q_INIT_RESOURCE declares the resource's loader where it stands, and the loader lives outside
// the project's namespace.
inline void init_kind_icon_resources_for_tests() {
    Q_INIT_RESOURCE(kind_icons);
}

namespace quillmap {

// The kind icons live in the application library's resources.
inline void init_kind_icons() {
    ::init_kind_icon_resources_for_tests();
}

namespace views_test {

inline void put16(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    d[at] = uint8_t(v);
    d[at + 1] = uint8_t(v >> 8);
}
inline void put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        d[at + i] = uint8_t(v >> (8 * i));
}
inline void put_text(std::vector<uint8_t>& d, size_t at, const std::string& s) {
    std::memcpy(d.data() + at, s.data(), std::min<size_t>(s.size(), 31));
}

struct pc_desc {
    uint32_t platform = 8;
    std::string name = "pc";
    std::string mask;
    uint32_t raster_format = 0x500;
    uint32_t width = 16;
    uint32_t height = 16;
    uint32_t depth = 32;
    uint32_t compression = 0; // byte 87
    std::string fourcc;       // word 76, for Direct3D 9
};

// A PC or XBOX texture native: the Struct of fixed fields, palette and one level.
inline test_chunk pc_texture(const pc_desc& desc) {
    std::vector<uint8_t> d(88, 0);
    put32(d, 0, desc.platform);
    put32(d, 4, 0x1102);
    put_text(d, 8, desc.name);
    put_text(d, 40, desc.mask);
    put32(d, 72, desc.raster_format);
    if (!desc.fourcc.empty()) std::memcpy(d.data() + 76, desc.fourcc.data(), 4);
    put16(d, 80, desc.width);
    put16(d, 82, desc.height);
    d[84] = uint8_t(desc.depth);
    d[85] = 1;
    d[86] = 4;
    d[87] = uint8_t(desc.compression);
    if (desc.depth <= 8) d.resize(d.size() + (4u << desc.depth), 0x40);
    uint32_t level = desc.width * desc.height * desc.depth / 8;
    if (desc.compression != 0 || !desc.fourcc.empty())
        level =
            std::max(1u, desc.width / 4) * std::max(1u, desc.height / 4) *
            ((desc.compression == 1 || desc.compression == 8 || desc.compression == 12) ? 8 : 16);
    const size_t at = d.size();
    d.resize(at + 4 + level, 0x11);
    put32(d, at, level);
    return node(0x15, {leaf(0x01, d), node(0x03, {})});
}

struct mobile_desc {
    uint32_t platform = 12;
    std::string name = "mobile";
    std::string mask;
    uint8_t alpha = 0;
    uint32_t width = 8;
    uint32_t height = 8;
};

inline test_chunk mobile_texture(const mobile_desc& desc) {
    const size_t pixels = desc.platform == 12 ? 116 + desc.width * desc.height * 2
                                              : 152 + desc.width * desc.height; // DXT3 at most
    std::vector<uint8_t> d(pixels, 0x22);
    std::fill(d.begin(), d.begin() + 116, 0);
    put32(d, 0, desc.platform);
    put_text(d, 32, desc.name);
    put_text(d, 64, desc.mask);
    d[98] = desc.alpha;
    put16(d, 100, desc.width);
    put16(d, 102, desc.height);
    return node(0x15, {leaf(0x01, d), node(0x03, {})});
}

inline std::filesystem::path write_dictionary(const std::string& name, test_chunk dictionary) {
    return write_temp(name, dictionary.bytes());
}

template <class T> std::unique_ptr<T> load_as(const std::filesystem::path& path) {
    auto d = std::make_unique<T>();
    if (!d->load(path, 0, 0x16, 0)) return nullptr;
    return d;
}

// A main window on a scripted host, with its own settings file.
struct window_fixture {
    scripted_ui_host host;
    std::filesystem::path dir = temp_dir();
    std::unique_ptr<CMainDialog> window;

    explicit window_fixture(
        const std::string& settings = "[main]\nenable_thumbs=0\nenable_warnings=0\n") {
        write_file(dir / "Quillmap.ini", std::vector<uint8_t>(settings.begin(), settings.end()));
        startup_options options;
        options.arguments = {(dir / "quillmap").string()};
        options.settings_path = dir / "Quillmap.ini";
        window = std::make_unique<CMainDialog>(host, options);
    }
    bool open(const test_chunk& dictionary, const std::string& name = "test.txd") {
        const auto path = write_file(dir / name, dictionary.bytes());
        return window->open_dictionary(path.string(), 0);
    }
};

inline std::vector<test_chunk> named_textures(std::initializer_list<const char*> names) {
    std::vector<test_chunk> textures;
    uint8_t seed = 1;
    for (const char* name : names)
        textures.push_back(
            make_ps2_texture({.name = name, .width = 16, .height = 16, .fill_seed = seed++}));
    return textures;
}

} // namespace views_test

} // namespace quillmap
