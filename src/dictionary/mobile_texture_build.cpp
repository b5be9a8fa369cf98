#include "dictionary/mobile_texture_build.h"

#include "dictionary/pc_texture_build.h"
#include "dictionary/txd_platform.h"
#include "raster/dxt.h"
#include "raster/raster_limits.h"
#include "stream/byte_reader.h"

#include <algorithm>
#include <limits>

namespace quillmap {

namespace {
constexpr uint32_t k_depth = 16;
constexpr uint32_t k_dxt1_block = 8, k_dxt3_block = 16;

uint32_t log2_of(uint32_t value) {
    uint32_t bits = 0;
    while (value > 1) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

bool power_of_two(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}
} // namespace

std::optional<mobile_format> mobile_format_named(std::string_view name) {
    if (name == "dxt1") return mobile_format::dxt1;
    if (name == "dxt3") return mobile_format::dxt3;
    if (name == "565") return mobile_format::rgb565;
    if (name == "4444") return mobile_format::rgba4444;
    return std::nullopt;
}

const char* mobile_format_name(mobile_format format) {
    switch (format) {
    case mobile_format::dxt1:
        return "dxt1";
    case mobile_format::dxt3:
        return "dxt3";
    case mobile_format::rgb565:
        return "565";
    case mobile_format::rgba4444:
        return "4444";
    }
    return "?";
}

bool mobile_is_dxt(mobile_format format) {
    return format == mobile_format::dxt1 || format == mobile_format::dxt3;
}

bool mobile_has_alpha(mobile_format format) {
    return format == mobile_format::dxt3 || format == mobile_format::rgba4444;
}

uint32_t mobile_pixels_start(mobile_format format, uint32_t block_word) {
    if (!mobile_is_dxt(format)) return mobile_offset::pixels;
    if (format == mobile_format::dxt3 || block_word == mobile_block_word_early)
        return mobile_offset::dxt3_blocks;
    return mobile_offset::dxt1_blocks;
}

uint64_t mobile_level_bytes(const mobile_fields& fields, uint32_t level) {
    const uint32_t w = std::max<uint32_t>(1, fields.width >> level),
                   h = std::max<uint32_t>(1, fields.height >> level);
    if (!mobile_is_dxt(fields.format)) return raster_bytes(w, h, k_depth);
    return dxt_input_bytes(w, h, 1,
                           fields.format == mobile_format::dxt3 ? k_dxt3_block : k_dxt1_block);
}

uint32_t mobile_most_levels(mobile_format format, uint32_t width, uint32_t height) {
    if (mobile_is_dxt(format) || width == 0 || height == 0) return 1;
    return std::min(mobile_max_levels, 1 + log2_of(std::min(width, height)));
}

std::string mobile_fields_misfit(const mobile_fields& f) {
    const uint32_t limit = raster_limits::k_max_picture_dimension;
    if (f.width == 0 || f.height == 0 || f.width > limit || f.height > limit ||
        f.width > std::numeric_limits<uint16_t>::max() ||
        f.height > std::numeric_limits<uint16_t>::max())
        return "a size of " + std::to_string(f.width) + "x" + std::to_string(f.height) +
               " the layout does not hold";
    const uint32_t most = mobile_most_levels(f.format, f.width, f.height);
    if (f.levels == 0 || f.levels > most)
        return std::to_string(f.levels) + " levels where the layout holds " + std::to_string(most) +
               (mobile_is_dxt(f.format) ? " (mobile DXT textures keep one level)" : "");
    // Further levels are found by halving the area: only sides that are powers of two halve.
    if (f.levels > 1 && (!power_of_two(f.width) || !power_of_two(f.height)))
        return "mip levels on a size whose sides are no powers of two";
    return {};
}

std::optional<mobile_fields> mobile_fields_of(std::span<const uint8_t> data, std::string& error) {
    const uint32_t platform = u32_at(data, mobile_offset::platform).value_or(0);
    const auto w = u16_at(data, mobile_offset::width), h = u16_at(data, mobile_offset::height);
    const uint8_t alpha = u8_at(data, mobile_offset::alpha).value_or(0);
    if (platform != stored_platform::mobile_dxt && platform != stored_platform::mobile_plain) {
        error = "only DXT and uncompressed mobile textures are written (platform " +
                std::to_string(platform) + ")";
        return std::nullopt;
    }
    if (!w || !h || data.size() < mobile_offset::pixels) {
        error = "the texture's Struct is too short for its header";
        return std::nullopt;
    }
    mobile_fields f;
    f.width = *w;
    f.height = *h;
    if (platform == stored_platform::mobile_dxt)
        f.format = alpha ? mobile_format::dxt3 : mobile_format::dxt1;
    else
        f.format = alpha ? mobile_format::rgba4444 : mobile_format::rgb565;
    const uint64_t start =
        mobile_pixels_start(f.format, u32_at(data, mobile_offset::block_word).value_or(0));
    // Whole levels only; the count stops where the next level would not be all there.
    uint64_t end = start + mobile_level_bytes(f, 0);
    if (f.width == 0 || f.height == 0 || end > data.size()) {
        error = "the texture's Struct is too short for its level 0";
        return std::nullopt;
    }
    const uint32_t most = mobile_most_levels(f.format, f.width, f.height);
    while (f.levels < most && end + mobile_level_bytes(f, f.levels) <= data.size())
        end += mobile_level_bytes(f, f.levels++);
    return f;
}

std::optional<std::vector<uint8_t>> mobile_struct_data(const mobile_texture_source& source,
                                                       std::string& error) {
    const mobile_fields& f = source.fields;
    error = mobile_fields_misfit(f);
    if (error.empty() && source.levels.size() != f.levels)
        error = std::to_string(source.levels.size()) + " levels given for a count of " +
                std::to_string(f.levels);
    for (uint32_t level = 0; error.empty() && level < f.levels; ++level)
        if (source.levels[level].size() != mobile_level_bytes(f, level))
            error = "level " + std::to_string(level) + " holds " +
                    std::to_string(source.levels[level].size()) + " bytes, its size takes " +
                    std::to_string(mobile_level_bytes(f, level));
    if (error.empty() && source.name.find('\0') == std::string::npos && source.name.size() > 31)
        error = "name longer than 31 characters";
    if (!error.empty()) return std::nullopt;

    const uint32_t block_word = u32_at(source.header, mobile_offset::block_word).value_or(0);
    const uint32_t start = mobile_pixels_start(f.format, block_word);
    uint64_t total = start;
    for (const auto& level : source.levels)
        total += level.size();
    if (total > std::numeric_limits<uint32_t>::max() / 2) {
        error = "the texture is too large for a dictionary";
        return std::nullopt;
    }
    std::vector<uint8_t> data(start, 0);
    std::copy_n(source.header.begin(), std::min<size_t>(source.header.size(), start), data.begin());
    // The header is rewritten in place; the levels follow it.
    byte_writer out{std::span<uint8_t>(data)};
    const bool dxt = mobile_is_dxt(f.format);
    out.u32(dxt ? stored_platform::mobile_dxt : stored_platform::mobile_plain);
    out.seek(mobile_offset::name);
    out.bytes(pc_name_field_of(source.name));
    out.bytes(source.mask);
    out.seek(mobile_offset::alpha);
    out.u8(mobile_has_alpha(f.format) ? 1 : 0);
    out.seek(mobile_offset::width);
    out.u16(static_cast<uint16_t>(f.width));
    out.u16(static_cast<uint16_t>(f.height));
    data.reserve(static_cast<size_t>(total));
    for (const auto& level : source.levels)
        data.insert(data.end(), level.begin(), level.end());
    return data;
}

std::unique_ptr<rw_chunk> build_mobile_texture(const mobile_texture_source& source,
                                               uint32_t version, std::string& error) {
    auto data = mobile_struct_data(source, error);
    if (!data) return nullptr;
    return texture_native_chunk(std::move(*data), version);
}

} // namespace quillmap
