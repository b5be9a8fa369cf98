#include "dictionary/pc_raster_rules.h"

#include "dictionary/ps2_raster_layout.h"
#include "dictionary/txd_platform.h"
#include "raster/raster_limits.h"
#include "stream/byte_reader.h"

#include <algorithm>

namespace quillmap {

namespace {
constexpr uint32_t k_offset_filter = 4;
constexpr uint32_t k_offset_raster_format = 72;
constexpr uint32_t k_offset_width = 80;
constexpr uint32_t k_offset_depth = 84;
// The last library version whose D3D8 dictionaries carry device id 0 (3.3.0.2).
constexpr uint32_t k_last_device0_version = 0x33002;
// XBOX byte 87: the console's own format codes of the block kinds.
constexpr uint8_t k_xbox_dxt1 = 0x0C;
constexpr uint8_t k_xbox_dxt3 = 0x0E;
constexpr uint8_t k_xbox_dxt5 = 0x0F;
constexpr uint8_t k_d3d9_alpha_bit = 1;
constexpr uint8_t k_d3d9_compressed_bit = 8;

bool format_has_alpha(uint32_t pixel_format) {
    return pixel_format == pc_pixel::argb1555 || pixel_format == pc_pixel::argb4444 ||
           pixel_format == pc_pixel::argb8888;
}

uint32_t format_depth(uint32_t pixel_format) {
    return pixel_format == pc_pixel::argb8888 || pixel_format == pc_pixel::rgb888 ? 32 : 16;
}

std::string format_text(uint32_t pixel_format) {
    switch (pixel_format) {
    case pc_pixel::argb1555:
        return "1555";
    case pc_pixel::rgb565:
        return "565";
    case pc_pixel::argb4444:
        return "4444";
    case pc_pixel::argb8888:
        return "8888";
    case pc_pixel::rgb888:
        return "888";
    default:
        return "pixel format " + std::to_string(pixel_format);
    }
}
} // namespace

std::optional<pc_layout> pc_layout_of(uint32_t platform_word) {
    switch (platform_word) {
    case stored_platform::d3d8:
        return pc_layout::d3d8;
    case stored_platform::d3d9:
        return pc_layout::d3d9;
    case stored_platform::xbox:
        return pc_layout::xbox;
    default:
        return std::nullopt;
    }
}

uint32_t platform_word_of(pc_layout layout) {
    switch (layout) {
    case pc_layout::d3d8:
        return stored_platform::d3d8;
    case pc_layout::d3d9:
        return stored_platform::d3d9;
    case pc_layout::xbox:
        return stored_platform::xbox;
    }
    return 0;
}

const char* pc_layout_name(pc_layout layout) {
    switch (layout) {
    case pc_layout::d3d8:
        return "D3D8";
    case pc_layout::d3d9:
        return "D3D9";
    case pc_layout::xbox:
        return "XBOX";
    }
    return "?";
}

uint32_t d3d9_fourcc(uint32_t dxt) {
    return uint32_t('D') | uint32_t('X') << 8 | uint32_t('T') << 16 | uint32_t('0' + dxt) << 24;
}

pc_header_fields pc_determined_fields(const pc_free_fields& f) {
    pc_header_fields out;
    out.platform = platform_word_of(f.layout);
    out.filter = f.levels > 1 ? pc_filter::mip_linear : f.filter;
    out.raster_format =
        f.pixel_format | f.palette | (f.levels > 1 ? pc_format_bit::mipmap : uint32_t{0});
    out.level_count = static_cast<uint8_t>(f.levels);
    out.palette_bytes = f.palette == pc_format_bit::pal8   ? pc_pal8_bytes
                        : f.palette == pc_format_bit::pal4 ? pc_pal4_bytes
                                                           : 0;
    switch (f.layout) {
    case pc_layout::d3d8:
        out.word76 = format_has_alpha(f.pixel_format) ? 1 : 0;
        out.depth = f.palette ? 8 : f.dxt ? 16 : 32;
        out.byte87 = static_cast<uint8_t>(f.dxt);
        break;
    case pc_layout::d3d9:
        out.word76 = f.dxt                                  ? d3d9_fourcc(f.dxt)
                     : f.pixel_format == pc_pixel::argb8888 ? d3d9_format_8888
                                                            : d3d9_format_888;
        out.depth = f.dxt ? 16 : 32;
        out.byte87 = static_cast<uint8_t>((f.source_alpha ? k_d3d9_alpha_bit : 0) |
                                          (f.dxt ? k_d3d9_compressed_bit : 0));
        break;
    case pc_layout::xbox:
        out.word76 = format_has_alpha(f.pixel_format) ? 1 : 0;
        out.depth = static_cast<uint8_t>(format_depth(f.pixel_format));
        // Unverified by real files: XBOX palettes and uncompressed data (byte 87 then 0).
        out.byte87 = f.dxt == 1   ? k_xbox_dxt1
                     : f.dxt == 3 ? k_xbox_dxt3
                     : f.dxt == 5 ? k_xbox_dxt5
                                  : 0;
        break;
    }
    return out;
}

uint32_t pc_full_chain(uint32_t width, uint32_t height) {
    uint32_t side = std::max(width, height), count = 1;
    while (side > 1) {
        side >>= 1;
        ++count;
    }
    return count;
}

uint64_t pc_level_pitch(const pc_free_fields& f, uint32_t level) {
    const uint64_t w = std::max<uint64_t>(1, level < 32 ? f.width >> level : 0);
    const uint64_t bits = f.palette ? 8 : format_depth(f.pixel_format);
    return (w * bits / 8 + 3) / 4 * 4;
}

uint64_t pc_level_bytes(const pc_free_fields& f, uint32_t level) {
    const uint64_t w = std::max<uint64_t>(1, level < 32 ? f.width >> level : 0);
    const uint64_t h = std::max<uint64_t>(1, level < 32 ? f.height >> level : 0);
    if (f.dxt) return ((w + 3) / 4) * ((h + 3) / 4) * (f.dxt == 1 ? 8 : 16);
    return pc_level_pitch(f, level) * h;
}

uint64_t pc_struct_bytes(const pc_free_fields& f) {
    uint64_t bytes = pc_header_bytes + pc_determined_fields(f).palette_bytes;
    bytes += f.layout == pc_layout::xbox ? 4 : uint64_t(4) * f.levels;
    for (uint32_t level = 0; level < f.levels; ++level)
        bytes += pc_level_bytes(f, level);
    return bytes;
}

uint16_t pc_device_id(pc_layout layout, uint32_t version) {
    switch (layout) {
    case pc_layout::d3d8:
        return rw_library_version(version) > k_last_device0_version ? 1 : 0;
    case pc_layout::d3d9:
        return 2;
    case pc_layout::xbox:
        return 0;
    }
    return 0;
}

std::string pc_fields_misfit(const pc_free_fields& f) {
    if (f.width == 0 || f.height == 0 || f.width > raster_limits::k_max_picture_dimension ||
        f.height > raster_limits::k_max_picture_dimension)
        return "size " + std::to_string(f.width) + "x" + std::to_string(f.height) +
               " is outside 1 to " + std::to_string(raster_limits::k_max_picture_dimension);
    if (f.pixel_format != pc_pixel::argb1555 && f.pixel_format != pc_pixel::rgb565 &&
        f.pixel_format != pc_pixel::argb4444 && f.pixel_format != pc_pixel::argb8888 &&
        f.pixel_format != pc_pixel::rgb888)
        return format_text(f.pixel_format) + " is no pixel format of these textures";
    if (f.dxt != 0 && f.dxt != 1 && f.dxt != 3 && f.dxt != 5)
        return "DXT" + std::to_string(f.dxt) + " is no block kind of these textures";
    if (f.palette != 0 && f.palette != pc_format_bit::pal8 && f.palette != pc_format_bit::pal4)
        return "palette bits " + std::to_string(f.palette) + " name no palette";
    if (f.palette && f.layout != pc_layout::d3d8)
        return std::string("palettes are written on D3D8 only, not ") + pc_layout_name(f.layout);
    if (f.palette && f.dxt) return "a palette cannot go with DXT blocks";
    if (f.palette && f.pixel_format != pc_pixel::argb8888 && f.pixel_format != pc_pixel::rgb888)
        return "palettes hold 8888 or 888 entries, not " + format_text(f.pixel_format);
    if (f.layout != pc_layout::xbox && f.dxt == 1 && f.pixel_format != pc_pixel::rgb565 &&
        f.pixel_format != pc_pixel::argb1555)
        return "DXT1 goes with 565 or 1555, not " + format_text(f.pixel_format);
    if (f.layout != pc_layout::xbox && (f.dxt == 3 || f.dxt == 5) &&
        f.pixel_format != pc_pixel::argb4444)
        return "DXT" + std::to_string(f.dxt) + " goes with 4444, not " +
               format_text(f.pixel_format);
    if (f.layout != pc_layout::xbox && f.dxt == 0 && f.palette == 0 &&
        f.pixel_format != pc_pixel::argb8888 && f.pixel_format != pc_pixel::rgb888)
        return "uncompressed " + format_text(f.pixel_format) + " is not written (8888 or 888)";
    if (f.levels == 0 || f.levels > pc_full_chain(f.width, f.height))
        return std::to_string(f.levels) + " levels; " + std::to_string(f.width) + "x" +
               std::to_string(f.height) + " has 1 to " +
               std::to_string(pc_full_chain(f.width, f.height));
    return {};
}

std::optional<pc_free_fields> pc_free_fields_of(std::span<const uint8_t> data, std::string& error) {
    byte_reader in(data);
    const uint32_t platform = in.u32("platform");
    const auto layout = pc_layout_of(platform);
    if (!in.ok() || !layout) {
        error = "platform word " + std::to_string(platform) + " is no PC or XBOX platform";
        return std::nullopt;
    }
    pc_free_fields f;
    f.layout = *layout;
    in.seek(k_offset_filter, "filter");
    f.filter = in.u8("filter mode");
    f.addressing = in.u8("addressing");
    in.seek(k_offset_raster_format, "raster format");
    const uint32_t format = in.u32("raster format");
    const uint32_t word76 = in.u32("format word");
    in.seek(k_offset_width, "width");
    f.width = in.u16("width");
    f.height = in.u16("height");
    in.seek(k_offset_depth, "depth");
    in.u8("depth");
    f.levels = std::max<uint32_t>(1, in.u8("level count"));
    in.u8("raster type");
    const uint8_t byte87 = in.u8("byte 87");
    if (!in.ok()) {
        error = in.error();
        return std::nullopt;
    }
    f.pixel_format = format & pc_pixel::mask;
    f.palette = format & pc_format_bit::palettes;
    switch (f.layout) {
    case pc_layout::d3d8:
        f.dxt = byte87;
        f.source_alpha = word76 != 0;
        break;
    case pc_layout::d3d9:
        for (uint32_t kind : {1u, 3u, 5u})
            if (word76 == d3d9_fourcc(kind)) f.dxt = kind;
        f.source_alpha = byte87 & k_d3d9_alpha_bit;
        break;
    case pc_layout::xbox:
        f.dxt = byte87 == k_xbox_dxt1   ? 1
                : byte87 == k_xbox_dxt3 ? 3
                : byte87 == k_xbox_dxt5 ? 5
                                        : 0;
        f.source_alpha = word76 != 0;
        break;
    }
    return f;
}

} // namespace quillmap
