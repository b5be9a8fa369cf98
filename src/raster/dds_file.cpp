#include "raster/dds_file.h"

#include "raster/dxt.h"
#include "raster/pixel_format.h"
#include "raster/raster_limits.h"
#include "raster/raster_messages.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <fstream>
#include <iterator>
#include <optional>

namespace quillmap {

namespace {

constexpr uint32_t k_header_size = 124;
constexpr uint32_t k_pixel_format_size = 32;

// Header flags (dwFlags), pixel format flags (ddspf.dwFlags) and capabilities.
constexpr uint32_t k_caps = 0x1, k_height = 0x2, k_width = 0x4, k_pitch = 0x8;
constexpr uint32_t k_pixel_format = 0x1000, k_mip_count = 0x20000, k_linear_size = 0x80000;
constexpr uint32_t k_alpha_pixels = 0x1, k_fourcc = 0x4, k_rgb = 0x40;
constexpr uint32_t k_caps_complex = 0x8, k_caps_texture = 0x1000, k_caps_mipmap = 0x400000;
constexpr uint32_t k_caps2_cubemap = 0x200, k_caps2_volume = 0x200000;
constexpr uint32_t k_dx10_texture2d = 3, k_dx10_misc_cube = 0x4;

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// How each plain format is described by a legacy header: bits per pixel and channel masks.
struct rgb_layout {
    dds_format format;
    uint32_t bits;
    uint32_t r, g, b, a;
};
constexpr std::array<rgb_layout, 8> k_rgb_layouts{{
    {dds_format::argb8888, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
    {dds_format::xrgb8888, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},
    {dds_format::abgr8888, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {dds_format::rgb888, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0},
    {dds_format::rgb565, 16, 0xF800, 0x07E0, 0x001F, 0},
    {dds_format::argb1555, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {dds_format::xrgb1555, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {dds_format::argb4444, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
}};

const rgb_layout* layout_of(dds_format format) {
    for (const auto& l : k_rgb_layouts)
        if (l.format == format) return &l;
    return nullptr;
}

// The DXGI formats that hold one of ours (sRGB variants store the same bytes).
std::optional<dds_format> from_dxgi(uint32_t dxgi) {
    switch (dxgi) {
    case 71:
    case 72:
        return dds_format::dxt1;
    case 74:
    case 75:
        return dds_format::dxt3;
    case 77:
    case 78:
        return dds_format::dxt5;
    case 28:
    case 29:
        return dds_format::abgr8888;
    case 87:
    case 91:
        return dds_format::argb8888;
    case 88:
    case 93:
        return dds_format::xrgb8888;
    case 85:
        return dds_format::rgb565;
    case 86:
        return dds_format::argb1555;
    case 115:
        return dds_format::argb4444;
    default:
        return std::nullopt;
    }
}

std::string hex(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        s += digits[(v >> shift) & 0xF];
    return s;
}

// A FourCC as its four characters when they are printable, else as a number.
std::string fourcc_text(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) return hex(code);
        s += c;
    }
    return "'" + s + "'";
}

std::string size_text(uint32_t w, uint32_t h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

uint32_t level_side(uint32_t side, uint32_t level) {
    return std::max<uint32_t>(1, side >> std::min<uint32_t>(level, 31));
}

uint32_t chain_length(uint32_t width, uint32_t height) {
    return uint32_t(std::bit_width(std::max(width, height)));
}

struct pixel_format_fields {
    uint32_t size, flags, fourcc, bits, r, g, b, a;
};

std::optional<dds_format> legacy_format(const pixel_format_fields& pf, std::string& error) {
    if (pf.flags & k_fourcc) {
        if (pf.fourcc == fourcc("DXT1")) return dds_format::dxt1;
        if (pf.fourcc == fourcc("DXT3")) return dds_format::dxt3;
        if (pf.fourcc == fourcc("DXT5")) return dds_format::dxt5;
        if (pf.fourcc == fourcc("DXT2") || pf.fourcc == fourcc("DXT4"))
            error = dds_msg::premultiplied;
        else
            error = dds_msg::unknown_fourcc + fourcc_text(pf.fourcc);
        return std::nullopt;
    }
    if (pf.flags & k_rgb) {
        const uint32_t a = (pf.flags & k_alpha_pixels) ? pf.a : 0;
        for (const auto& l : k_rgb_layouts)
            if (l.bits == pf.bits && l.r == pf.r && l.g == pf.g && l.b == pf.b && l.a == a)
                return l.format;
    }
    error = dds_msg::unknown_rgb + std::to_string(pf.bits) + " bits, flags " + hex(pf.flags) +
            ", masks " + hex(pf.r) + " " + hex(pf.g) + " " + hex(pf.b) + " " + hex(pf.a);
    return std::nullopt;
}

} // namespace

const char* dds_format_name(dds_format format) {
    switch (format) {
    case dds_format::dxt1:
        return "DXT1";
    case dds_format::dxt3:
        return "DXT3";
    case dds_format::dxt5:
        return "DXT5";
    case dds_format::argb8888:
        return "8888";
    case dds_format::xrgb8888:
        return "X888";
    case dds_format::abgr8888:
        return "8888 (RGBA order)";
    case dds_format::rgb888:
        return "888";
    case dds_format::rgb565:
        return "565";
    case dds_format::argb1555:
        return "1555";
    case dds_format::xrgb1555:
        return "X555";
    case dds_format::argb4444:
        return "4444";
    }
    return "?";
}

bool dds_is_dxt(dds_format format) {
    return format == dds_format::dxt1 || format == dds_format::dxt3 || format == dds_format::dxt5;
}

uint64_t dds_level_bytes(dds_format format, uint32_t width, uint32_t height) {
    if (dds_is_dxt(format))
        return uint64_t((width + 3) / 4) * ((height + 3) / 4) *
               (format == dds_format::dxt1 ? 8 : 16);
    return uint64_t(width) * height * (layout_of(format)->bits / 8);
}

bool read_dds(std::span<const uint8_t> file, dds_image& out, std::string& error) {
    out = {};
    byte_reader in(file);
    const auto magic = in.bytes(4, "DDS signature");
    if (!in.ok() || load_u32(magic.data()) != fourcc("DDS ")) {
        error = dds_msg::not_dds;
        return false;
    }
    const uint32_t header_size = in.u32("DDS header");
    const uint32_t flags = in.u32("DDS header");
    const uint32_t height = in.u32("DDS header");
    const uint32_t width = in.u32("DDS header");
    in.skip(4, "DDS header"); // pitch or linear size: writers disagree, the sizes decide
    const uint32_t depth = in.u32("DDS header");
    const uint32_t mip_count = in.u32("DDS header");
    in.skip(44, "DDS header");
    pixel_format_fields pf{};
    pf.size = in.u32("DDS pixel format");
    pf.flags = in.u32("DDS pixel format");
    pf.fourcc = in.u32("DDS pixel format");
    pf.bits = in.u32("DDS pixel format");
    pf.r = in.u32("DDS pixel format");
    pf.g = in.u32("DDS pixel format");
    pf.b = in.u32("DDS pixel format");
    pf.a = in.u32("DDS pixel format");
    in.skip(4, "DDS header"); // caps
    const uint32_t caps2 = in.u32("DDS header");
    in.skip(12, "DDS header");
    if (!in.ok()) {
        error = in.error();
        return false;
    }
    if (header_size != k_header_size) {
        error = dds_msg::header_size + std::to_string(header_size) + ", not 124";
        return false;
    }
    if (pf.size != k_pixel_format_size) {
        error = dds_msg::pixel_format_size + std::to_string(pf.size) + ", not 32";
        return false;
    }
    if ((caps2 & (k_caps2_cubemap | k_caps2_volume)) || depth > 1) {
        error = dds_msg::cube_or_volume;
        return false;
    }
    if (width == 0 || height == 0 || width > raster_limits::k_max_picture_dimension ||
        height > raster_limits::k_max_picture_dimension) {
        error = dds_msg::bad_size + size_text(width, height);
        return false;
    }

    std::optional<dds_format> format;
    if ((pf.flags & k_fourcc) && pf.fourcc == fourcc("DX10")) {
        const uint32_t dxgi = in.u32("DDS DX10 header");
        const uint32_t dimension = in.u32("DDS DX10 header");
        const uint32_t misc = in.u32("DDS DX10 header");
        const uint32_t array_size = in.u32("DDS DX10 header");
        in.skip(4, "DDS DX10 header");
        if (!in.ok()) {
            error = in.error();
            return false;
        }
        if (dimension != k_dx10_texture2d || array_size != 1 || (misc & k_dx10_misc_cube)) {
            error = std::string(dds_msg::not_2d) + "dimension " + std::to_string(dimension) +
                    ", array size " + std::to_string(array_size) + ", flags " + hex(misc);
            return false;
        }
        format = from_dxgi(dxgi);
        if (!format) {
            error = dds_msg::unknown_dxgi + std::to_string(dxgi);
            return false;
        }
    } else {
        format = legacy_format(pf, error);
        if (!format) return false;
    }

    // The count is meant only with its flag, but writers fill it without; 0 means one level.
    (void)flags;
    const uint32_t levels = std::max<uint32_t>(1, mip_count);
    if (levels > chain_length(width, height)) {
        error = dds_msg::too_many_levels + std::to_string(levels) + " for a " +
                size_text(width, height) + " picture (at most " +
                std::to_string(chain_length(width, height)) + ")";
        return false;
    }

    dds_image image;
    image.format = *format;
    image.width = width;
    image.height = height;
    for (uint32_t level = 0; level < levels; ++level) {
        const uint32_t w = level_side(width, level), h = level_side(height, level);
        const std::string what = "DDS mip level " + std::to_string(level) + " (" + size_text(w, h) +
                                 " " + dds_format_name(*format) + ")";
        const auto bytes = in.bytes(dds_level_bytes(*format, w, h), what.c_str());
        if (!in.ok()) {
            error = in.error();
            return false;
        }
        image.levels.emplace_back(bytes.begin(), bytes.end());
    }
    out = std::move(image);
    return true;
}

bool read_dds_file(const std::filesystem::path& path, dds_image& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path.string() + ": " + raster_msg::cant_open_for_reading;
        return false;
    }
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (!read_dds(data, out, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> write_dds(const dds_image& image, std::string& error) {
    if (image.levels.empty()) {
        error = dds_msg::no_levels;
        return {};
    }
    if (image.width == 0 || image.height == 0 ||
        image.width > raster_limits::k_max_picture_dimension ||
        image.height > raster_limits::k_max_picture_dimension) {
        error = dds_msg::bad_size + size_text(image.width, image.height);
        return {};
    }
    const auto levels = uint32_t(image.levels.size());
    if (levels > chain_length(image.width, image.height)) {
        error = dds_msg::too_many_levels + std::to_string(levels) + " for a " +
                size_text(image.width, image.height) + " picture (at most " +
                std::to_string(chain_length(image.width, image.height)) + ")";
        return {};
    }
    for (uint32_t level = 0; level < levels; ++level) {
        const uint64_t wanted = dds_level_bytes(image.format, level_side(image.width, level),
                                                level_side(image.height, level));
        if (image.levels[level].size() != wanted) {
            error = dds_msg::level_size + std::to_string(level) + " holds " +
                    std::to_string(image.levels[level].size()) + " bytes, not " +
                    std::to_string(wanted);
            return {};
        }
    }

    const bool dxt = dds_is_dxt(image.format);
    const rgb_layout* rgb = dxt ? nullptr : layout_of(image.format);
    std::vector<uint8_t> file;
    byte_writer out(file);
    out.u32(fourcc("DDS "));
    out.u32(k_header_size);
    out.u32(k_caps | k_height | k_width | k_pixel_format | (dxt ? k_linear_size : k_pitch) |
            (levels > 1 ? k_mip_count : 0));
    out.u32(image.height);
    out.u32(image.width);
    out.u32(dxt ? uint32_t(image.levels[0].size()) : image.width * (rgb->bits / 8));
    out.u32(0); // depth
    out.u32(levels > 1 ? levels : 0);
    for (int i = 0; i < 11; ++i)
        out.u32(0);
    out.u32(k_pixel_format_size);
    if (dxt) {
        out.u32(k_fourcc);
        out.u32(image.format == dds_format::dxt1   ? fourcc("DXT1")
                : image.format == dds_format::dxt3 ? fourcc("DXT3")
                                                   : fourcc("DXT5"));
        for (int i = 0; i < 5; ++i)
            out.u32(0);
    } else {
        out.u32(k_rgb | (rgb->a ? k_alpha_pixels : 0));
        out.u32(0);
        out.u32(rgb->bits);
        out.u32(rgb->r);
        out.u32(rgb->g);
        out.u32(rgb->b);
        out.u32(rgb->a);
    }
    out.u32(k_caps_texture | (levels > 1 ? k_caps_complex | k_caps_mipmap : 0));
    for (int i = 0; i < 4; ++i)
        out.u32(0);
    for (const auto& level : image.levels)
        out.bytes(level);
    return file;
}

std::vector<uint8_t> dds_level_rgba(const dds_image& image, uint32_t level) {
    if (level >= image.levels.size()) return {};
    const uint32_t w = level_side(image.width, level), h = level_side(image.height, level);
    const auto& bytes = image.levels[level];
    if (bytes.size() != dds_level_bytes(image.format, w, h)) return {};
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    if (dds_is_dxt(image.format)) {
        const bool ok = image.format == dds_format::dxt1
                            ? decode_dxt1(w, h, bytes, rgba, 1, pixel_code::bgra8888)
                        : image.format == dds_format::dxt3
                            ? decode_dxt3(w, h, bytes, rgba, 1, pixel_code::bgra8888)
                            : decode_dxt5(w, h, bytes, rgba, 1, pixel_code::bgra8888);
        if (!ok) return {};
        for (size_t i = 0; i < rgba.size(); i += 4)
            std::swap(rgba[i], rgba[i + 2]);
        return rgba;
    }
    const size_t pixels = size_t(w) * h;
    const uint8_t* p = bytes.data();
    uint8_t* q = rgba.data();
    for (size_t i = 0; i < pixels; ++i, q += 4) {
        rgba8 c;
        switch (image.format) {
        case dds_format::argb8888:
        case dds_format::xrgb8888:
            c = {p[2], p[1], p[0], image.format == dds_format::argb8888 ? p[3] : uint8_t(0xFF)};
            p += 4;
            break;
        case dds_format::abgr8888:
            c = {p[0], p[1], p[2], p[3]};
            p += 4;
            break;
        case dds_format::rgb888:
            c = {p[2], p[1], p[0], 0xFF};
            p += 3;
            break;
        case dds_format::rgb565:
            c = decode_16bit_pixel(pixel_code::rgb565, load_u16(p));
            p += 2;
            break;
        case dds_format::argb1555:
        case dds_format::xrgb1555:
            c = decode_16bit_pixel(image.format == dds_format::argb1555 ? pixel_code::argb1555
                                                                        : pixel_code::rgb555,
                                   load_u16(p));
            p += 2;
            break;
        case dds_format::argb4444: {
            // A4R4G4B4 moved into the program's 4444 layout (alpha in the low nibble).
            const uint16_t v = load_u16(p);
            c = decode_16bit_pixel(pixel_code::rgba4444, uint16_t(v << 4 | v >> 12));
            p += 2;
            break;
        }
        default:
            return {};
        }
        q[0] = c.r;
        q[1] = c.g;
        q[2] = c.b;
        q[3] = c.a;
    }
    return rgba;
}

} // namespace quillmap
