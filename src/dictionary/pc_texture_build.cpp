#include "dictionary/pc_texture_build.h"

#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillmap {

pc_name_field pc_name_field_of(const std::string& text) {
    pc_name_field field{};
    const std::string cut = text.substr(0, text.find('\0'));
    std::memcpy(field.data(), cut.data(), std::min(cut.size(), field.size() - 1));
    return field;
}

std::string pc_levels_misfit(const pc_texture_source& source) {
    const pc_free_fields& f = source.fields;
    if (source.levels.size() != f.levels)
        return std::to_string(source.levels.size()) + " levels given for a count of " +
               std::to_string(f.levels);
    for (uint32_t level = 0; level < f.levels; ++level)
        if (source.levels[level].size() != pc_level_bytes(f, level))
            return "level " + std::to_string(level) + " holds " +
                   std::to_string(source.levels[level].size()) + " bytes, its size takes " +
                   std::to_string(pc_level_bytes(f, level));
    const uint32_t palette_bytes = pc_determined_fields(f).palette_bytes;
    // A 4-bit palette may come as its 16 colours or as all 32 stored entries.
    const bool palette_fits =
        palette_bytes == 0 ? source.palette.empty()
        : f.palette == pc_format_bit::pal4
            ? source.palette.size() == 64 || source.palette.size() == pc_pal4_bytes
            : source.palette.size() == palette_bytes;
    if (!palette_fits)
        return "a palette of " + std::to_string(source.palette.size()) + " bytes for " +
               std::to_string(palette_bytes);
    return {};
}

std::optional<std::vector<uint8_t>> pc_struct_data(const pc_texture_source& source,
                                                   std::string& error) {
    const pc_free_fields& f = source.fields;
    error = pc_fields_misfit(f);
    if (error.empty()) error = pc_levels_misfit(source);
    if (source.name.find('\0') == std::string::npos && source.name.size() > 31)
        error = "name longer than 31 characters";
    if (!error.empty()) return std::nullopt;
    const uint64_t total = pc_struct_bytes(f);
    // Leave room for the texture's and the dictionary's own headers.
    if (total > std::numeric_limits<uint32_t>::max() / 2) {
        error = "the texture is too large for a dictionary";
        return std::nullopt;
    }

    const pc_header_fields h = pc_determined_fields(f);
    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(total));
    byte_writer out(data);
    out.u32(h.platform);
    out.u8(h.filter);
    out.u8(f.addressing);
    out.u16(0);
    out.bytes(pc_name_field_of(source.name));
    out.bytes(source.mask);
    out.u32(h.raster_format);
    out.u32(h.word76);
    out.u16(static_cast<uint16_t>(f.width));
    out.u16(static_cast<uint16_t>(f.height));
    out.u8(h.depth);
    out.u8(h.level_count);
    out.u8(h.raster_type);
    out.u8(h.byte87);
    if (h.palette_bytes) {
        std::vector<uint8_t> palette(h.palette_bytes, 0);
        std::copy(source.palette.begin(), source.palette.end(), palette.begin());
        out.bytes(palette);
    }
    if (f.layout == pc_layout::xbox) {
        // One word with the bytes of every level, then the levels back to back. Unverified by
        // real files for more than one level: every XBOX sample holds one.
        uint64_t all = 0;
        for (const auto& level : source.levels)
            all += level.size();
        out.u32(static_cast<uint32_t>(all));
        for (const auto& level : source.levels)
            out.bytes(level);
    } else {
        for (const auto& level : source.levels) {
            out.u32(static_cast<uint32_t>(level.size()));
            out.bytes(level);
        }
    }
    return data;
}

std::unique_ptr<rw_chunk> texture_native_chunk(std::vector<uint8_t> struct_data, uint32_t version) {
    auto structure = std::make_unique<rw_chunk>();
    structure->id = rw_id_struct;
    structure->version = version;
    structure->size = static_cast<uint32_t>(struct_data.size());
    structure->data = std::move(struct_data);
    auto extension = std::make_unique<rw_chunk>();
    extension->id = rw_id_extension;
    extension->version = version;
    auto texture = std::make_unique<rw_chunk>();
    texture->id = rw_id_texture_native;
    texture->version = version;
    texture->size = structure->size + 2 * k_chunk_header_bytes;
    texture->children.push_back(std::move(structure));
    texture->children.push_back(std::move(extension));
    return texture;
}

std::unique_ptr<rw_chunk> build_pc_texture(const pc_texture_source& source, uint32_t version,
                                           std::string& error) {
    auto data = pc_struct_data(source, error);
    if (!data) return nullptr;
    return texture_native_chunk(std::move(*data), version);
}

} // namespace quillmap
