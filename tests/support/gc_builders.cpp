#include "gc_builders.h"

#include "raster/gc_texels.h"

#include <algorithm>

namespace quillmap {

namespace {
void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)});
}
void put_name(std::vector<uint8_t>& out, const std::string& name) {
    std::vector<uint8_t> field(32, 0);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 31), field.begin());
    out.insert(out.end(), field.begin(), field.end());
}
} // namespace

std::vector<uint8_t> gc_struct_bytes(const gc_texture_desc& d) {
    std::vector<uint8_t> out;
    for (uint32_t word : {6u, d.filter, 0u, 1u, 1u, 0u})
        put32(out, word);
    put_name(out, d.name);
    put_name(out, d.mask);
    put32(out, d.raster_format);
    put16(out, d.width);
    put16(out, d.height);
    out.insert(out.end(), {d.depth, d.levels, d.gx, d.palette_format});
    put32(out, d.alpha);
    const uint32_t entries = d.palette_format == 0xFF ? 0
                             : d.palette_entries      ? d.palette_entries
                             : d.gx == 8              ? 16
                                                      : 256;
    for (uint32_t i = 0; i < entries; ++i)
        put16(out, i < d.palette.size() ? d.palette[i] : 0);
    std::vector<uint8_t> levels = d.level_bytes;
    if (levels.empty()) levels.assign(size_t(gx_level_bytes(d.gx, d.width, d.height)), 0);
    put32(out, d.data_size.value_or(uint32_t(levels.size())));
    out.insert(out.end(), levels.begin(), levels.end());
    if (d.truncate_to && *d.truncate_to < out.size()) out.resize(*d.truncate_to);
    return out;
}

test_chunk gc_texture(const gc_texture_desc& desc) {
    return node(0x15,
                {leaf(0x01, gc_struct_bytes(desc), k_gc_version), node(0x03, {}, k_gc_version)},
                k_gc_version);
}

std::vector<uint8_t> gc_dictionary(std::vector<test_chunk> textures, uint16_t device_id) {
    const uint16_t count = uint16_t(textures.size());
    std::vector<test_chunk> children;
    children.push_back(leaf(
        0x01, {uint8_t(count), uint8_t(count >> 8), uint8_t(device_id), uint8_t(device_id >> 8)},
        k_gc_version));
    for (auto& t : textures)
        children.push_back(std::move(t));
    children.push_back(node(0x03, {}, k_gc_version));
    return node(0x16, std::move(children), k_gc_version).bytes();
}

} // namespace quillmap
