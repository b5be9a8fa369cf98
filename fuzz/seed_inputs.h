#pragma once

// Inputs built in memory that cover the layouts the samples lack: every depth, swizzled and
// plain, several levels, raw and headered raster data, TEX containers and settings files. Used
// as fuzz seeds and by the malformed-file tests.

#include "test_files.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillmap {

namespace qm_seeds {

struct named_input {
    std::string name;
    std::vector<uint8_t> bytes;
};

inline std::vector<named_input> generated_dictionaries() {
    std::vector<named_input> out;
    out.push_back({"empty", make_dictionary({}).bytes()});
    struct row {
        const char* name;
        ps2_texture_desc desc;
    };
    const row rows[] = {
        {"d4_plain", {.width = 32, .height = 32, .depth = 4}},
        {"d4_swizzled", {.width = 64, .height = 64, .depth = 4, .swizzled = true}},
        {"d4_narrow_swizzled", {.width = 16, .height = 16, .depth = 4, .swizzled = true}},
        {"d8_plain_levels",
         {.width = 64, .height = 64, .depth = 8, .levels = 3, .small_level_padding = 16}},
        {"d8_swizzled_levels",
         {.width = 32, .height = 32, .depth = 8, .swizzled = true, .levels = 2}},
        {"d16", {.width = 16, .height = 8, .depth = 16}},
        {"d32_swizzled", {.width = 32, .height = 16, .depth = 32, .swizzled = true}},
        {"d32_raw", {.width = 8, .height = 8, .depth = 32, .headered = false}},
        {"d8_raw", {.width = 16, .height = 16, .depth = 8, .headered = false}},
    };
    for (const auto& r : rows) {
        auto desc = r.desc;
        desc.name = r.name;
        desc.mask = std::string(r.name) + "a";
        out.push_back(
            {std::string("gen_") + r.name, make_dictionary({make_ps2_texture(desc)}).bytes()});
    }
    out.push_back(
        {"gen_two_textures", make_dictionary({make_ps2_texture({.name = "one", .depth = 4}),
                                              make_ps2_texture({.name = "two", .depth = 32})})
                                 .bytes()});
    return out;
}

// A TEX container: 32-byte header, list head at 40, records linked by absolute positions, raster
// headers in forms A, B and C.
inline std::vector<uint8_t> make_tex_file() {
    std::vector<uint8_t> out(48, 0);
    const auto put32 = [&out](size_t at, uint32_t value) {
        if (out.size() < at + 4) out.resize(at + 4, 0);
        for (int i = 0; i < 4; ++i)
            out[at + i] = uint8_t(value >> (8 * i));
    };
    put32(0, 0x00746578);
    struct texture {
        int form;
        uint32_t log_w, log_h, depth;
    };
    const texture textures[] = {{0, 4, 4, 4}, {1, 3, 4, 8}, {2, 3, 3, 8}};
    std::vector<size_t> links;
    size_t at = 48;
    for (const auto& tx : textures) {
        const size_t record = at;
        const size_t raster = record + 80;
        const size_t pixels = raster + 16;
        const uint32_t w = 1u << tx.log_w, h = 1u << tx.log_h;
        const size_t pixel_bytes = size_t(w) * h * tx.depth / 8;
        const size_t palette_bytes = tx.depth == 4 ? 64 : 1024;
        out.resize(pixels + pixel_bytes + palette_bytes, 0);
        put32(record, uint32_t(raster));
        const char* name = tx.form == 0 ? "form_a" : tx.form == 1 ? "form_b" : "form_c";
        for (size_t i = 0; name[i]; ++i)
            out[record + 16 + i] = uint8_t(name[i]);
        const uint32_t dimension = tx.log_w | tx.log_h << 6 | tx.depth << 12;
        if (tx.form == 0) {
            put32(raster, uint32_t(pixels));
            put32(raster + 4, dimension);
        } else if (tx.form == 1) {
            put32(raster + 4, uint32_t(pixels));
            put32(raster + 8, tx.log_w << 16 | tx.log_h << 24);
            put32(raster + 12, tx.depth);
        } else {
            put32(raster + 8, uint32_t(pixels));
            put32(raster + 12, dimension);
        }
        for (size_t i = 0; i < pixel_bytes + palette_bytes; ++i)
            out[pixels + i] = uint8_t(i * 7 + tx.log_w);
        links.push_back(record + 8);
        at = out.size();
    }
    put32(40, uint32_t(links.front()));
    for (size_t i = 0; i < links.size(); ++i)
        put32(links[i], i + 1 < links.size() ? uint32_t(links[i + 1]) : 40u);
    return out;
}

inline std::vector<named_input> generated_ini_files() {
    const auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    return {
        {"settings",
         text("[main]\r\nplatform_priority=PS2,PC,iOS,XBOX,TEX\r\nenable_warnings=0\r\n"
              "swizzle=-1\r\n\r\n[recent_files]\r\nfile0=C:\\a.txd\r\nfile1=\"b.txd\"\r\n"
              "[rw_version]\r\nGTA SA=0x1803FFFF\r\n; comment\r\n")},
        {"unix_lines",
         text("[MAIN]\n  enable_warnings = 12abc \nplatform_priority='iOS'\n[main]\nx=y\n")},
        {"odd", text("[unterminated\nkey\n=value\n[]\n=\n[main\n]\n\"\"=\"\n")},
    };
}

} // namespace qm_seeds

} // namespace quillmap
