#include "pc_builders.h"

#include "raster/display_image.h"

#include <cstring>
#include <utility>

namespace quillmap {

namespace {
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    if (out.size() < at + 4) out.resize(at + 4, 0);
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}
void put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    if (out.size() < at + 2) out.resize(at + 2, 0);
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}
void put_text(std::vector<uint8_t>& out, size_t at, const std::string& text) {
    std::memcpy(out.data() + at, text.data(), std::min<size_t>(text.size(), 31));
}
void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}
} // namespace

std::vector<uint8_t> pc_struct_bytes(const pc_texture_desc& desc) {
    std::vector<uint8_t> out(88, 0);
    put32(out, 0, desc.platform);
    put32(out, 4, desc.filter_flags);
    put_text(out, 8, desc.name);
    put_text(out, 40, desc.mask);
    put32(out, 72, desc.raster_format);
    std::memcpy(out.data() + 76, desc.format_word.data(), 4);
    put16(out, 80, desc.width);
    put16(out, 82, desc.height);
    out[84] = desc.depth;
    out[85] = desc.mip_count;
    out[86] = desc.raster_type;
    out[87] = desc.compression;
    append(out, desc.palette);
    if (desc.xbox_layout && !desc.xbox_chained) {
        uint32_t total = 0;
        for (const auto& level : desc.levels)
            total += uint32_t(level.size());
        put32(out, out.size(), total);
        for (const auto& level : desc.levels)
            append(out, level);
        return out;
    }
    for (const auto& level : desc.levels) {
        put32(out, out.size(), uint32_t(level.size()));
        append(out, level);
    }
    return out;
}

test_chunk make_struct_texture(std::vector<uint8_t> struct_data) {
    return node(0x15, {leaf(0x01, std::move(struct_data)), node(0x03, {})});
}

test_chunk make_pc_texture(const pc_texture_desc& desc) {
    return make_struct_texture(pc_struct_bytes(desc));
}

std::vector<uint8_t> mobile_struct_bytes(const mobile_texture_desc& desc) {
    std::vector<uint8_t> out(116, 0);
    put32(out, 0, desc.platform);
    put_text(out, 32, desc.name);
    put_text(out, 64, desc.mask);
    out[98] = desc.alpha;
    put16(out, 100, desc.width);
    put16(out, 102, desc.height);
    put32(out, 108, desc.word108);
    uint32_t at = desc.data_offset;
    if (at == 0) at = desc.platform == 12 ? 116 : desc.alpha ? 148 : 152;
    if (out.size() < at) out.resize(at, 0);
    for (auto [from, to] :
         {std::pair<size_t, size_t>{4, 32}, {96, 98}, {99, 100}, {104, 108}, {112, size_t(at)}})
        std::fill(out.begin() + from, out.begin() + to, desc.header_fill);
    append(out, desc.data);
    return out;
}

std::vector<uint8_t> mobile_dictionary_bytes(const std::vector<mobile_texture_desc>& textures,
                                             int32_t size_error, uint32_t count_word) {
    std::vector<test_chunk> natives;
    for (const auto& desc : textures)
        natives.push_back(make_struct_texture(mobile_struct_bytes(desc)));
    test_chunk dictionary = make_dictionary(std::move(natives));
    if (count_word) dictionary.children[0].data = u32_bytes({count_word});
    std::vector<uint8_t> bytes = dictionary.bytes();
    // Wrong sizes on the root and on every texture native, as the mobile tools leave them.
    auto shift = [&](size_t at) {
        const uint32_t size = uint32_t(bytes[at + 4]) | uint32_t(bytes[at + 5]) << 8 |
                              uint32_t(bytes[at + 6]) << 16 | uint32_t(bytes[at + 7]) << 24;
        put32(bytes, at + 4, uint32_t(int64_t(size) + size_error));
    };
    shift(0);
    size_t position = 12 + 12 + 4; // root header, Struct header and its count word
    for (size_t i = 0; i < textures.size(); ++i) {
        const size_t native = position;
        // The true size of this texture native: Struct header + data + Extension header.
        const size_t struct_size = mobile_struct_bytes(textures[i]).size();
        shift(native);
        position = native + 12 + 12 + struct_size + 12;
    }
    return bytes;
}

std::vector<uint8_t> dxt1_solid(uint16_t colour, uint32_t blocks) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < blocks; ++i) {
        // colour 0 > colour 1 (0) keeps four-colour mode; every index 0.
        append(out, {uint8_t(colour), uint8_t(colour >> 8), 0, 0, 0, 0, 0, 0});
    }
    return out;
}

std::vector<uint8_t> dxt3_solid(uint16_t colour, uint8_t alpha4, uint32_t blocks) {
    std::vector<uint8_t> out;
    const uint8_t a = uint8_t(alpha4 << 4 | alpha4);
    for (uint32_t i = 0; i < blocks; ++i) {
        append(out, {a, a, a, a, a, a, a, a});
        append(out, {uint8_t(colour), uint8_t(colour >> 8), 0, 0, 0, 0, 0, 0});
    }
    return out;
}

std::vector<uint8_t> dxt5_solid(uint16_t colour, uint8_t alpha, uint32_t blocks) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < blocks; ++i) {
        // alpha 0 = `alpha`, alpha 1 = 0, every alpha index 0.
        append(out, {alpha, 0, 0, 0, 0, 0, 0, 0});
        append(out, {uint8_t(colour), uint8_t(colour >> 8), 0, 0, 0, 0, 0, 0});
    }
    return out;
}

std::vector<uint8_t> fill16(uint16_t value, uint32_t pixels) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < pixels; ++i)
        append(out, {uint8_t(value), uint8_t(value >> 8)});
    return out;
}

uint32_t tex_dimension_word(uint32_t width_log2, uint32_t height_log2, uint32_t depth) {
    return (width_log2 & 0xF) | (height_log2 & 0xF) << 6 | (depth & 0xF) << 12;
}

std::vector<uint8_t> tex_file_bytes(const std::vector<tex_record_desc>& records,
                                    const std::vector<uint32_t>& next) {
    // Header (32), 8 unread bytes, list head (8) at 40, then per record: the 80-byte record,
    // the 16-byte raster header, the pixels and the palette.
    std::vector<uint8_t> out(48, 0);
    put32(out, 0, 0x00746578);
    std::vector<size_t> record_at;
    for (const auto& desc : records) {
        const size_t at = out.size();
        record_at.push_back(at);
        out.resize(at + 80 + 16, 0);
        put32(out, at, uint32_t(at + 80));
        put_text(out, at + 16, desc.name);
        put_text(out, at + 48, desc.mask);
        auto raster = desc.raster;
        if (raster[desc.position_word] == 0) raster[desc.position_word] = uint32_t(at + 96);
        for (int i = 0; i < 4; ++i)
            put32(out, at + 80 + 4 * i, raster[i]);
        append(out, desc.pixels);
        append(out, desc.palette);
    }
    put32(out, 40, records.empty() ? 40 : uint32_t(record_at[0] + 8));
    for (size_t i = 0; i < records.size(); ++i) {
        uint32_t link = i + 1 < records.size() ? uint32_t(record_at[i + 1] + 8) : 40;
        if (i < next.size()) link = next[i];
        put32(out, record_at[i] + 8, link);
    }
    return out;
}

bgra pixel_at(const display_image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.top_row(y) + size_t(x) * (image.bits / 8);
    return {p[0], p[1], p[2], uint8_t(image.bits == 32 ? p[3] : 0)};
}

bgra rgb_at(const display_image& image, uint32_t x, uint32_t y) {
    bgra p = pixel_at(image, x, y);
    p.a = 0;
    return p;
}

} // namespace quillmap
