#include "views/texture_platform.h"

#include "dictionary/gc_raster_header.h"
#include "dictionary/ps2_txd.h"
#include "dictionary/txd_platform.h"

namespace quillmap {

bool is_mobile_dictionary(ps2_txd& dictionary) {
    return dictionary.family() == txd_family::mobile;
}

texture_family family_of(ps2_txd& dictionary, uint32_t t) {
    if (dictionary.family() == txd_family::gamecube) return texture_family::gamecube;
    if (dictionary.is_ps2(t)) return texture_family::ps2;
    const uint32_t id = dictionary.platform_id(t);
    if (id == stored_platform::xbox || id == stored_platform::d3d8) return texture_family::pc_xbox;
    // 9 is both D3D9 and the mobile DXT id: the dictionary's class tells them apart.
    if (id == stored_platform::d3d9)
        return is_mobile_dictionary(dictionary) ? texture_family::mobile : texture_family::pc_xbox;
    if (id > stored_platform::mobile_dxt && id <= stored_platform::mobile_plain)
        return texture_family::mobile;
    return texture_family::other;
}

bool texture_has_alpha(ps2_txd& dictionary, uint32_t t) {
    switch (family_of(dictionary, t)) {
    case texture_family::mobile: {
        constexpr size_t k_mobile_alpha_offset = 98;
        const std::vector<uint8_t>* data = texture_struct_bytes(dictionary, t);
        return data && data->size() > k_mobile_alpha_offset && (*data)[k_mobile_alpha_offset];
    }
    case texture_family::ps2: {
        // PS2 rasters all store an alpha byte: the texture has alpha when one is below opaque
        // (0x80), in the palette or in 32-bit pixels.
        constexpr uint8_t k_ps2_opaque = 0x80;
        const uint32_t depth = dictionary.depth(t);
        std::span<const uint8_t> rgba;
        if (depth == 4 || depth == 8)
            rgba = dictionary.palette(t);
        else if (depth == 32)
            rgba = dictionary.pixels(t, 0);
        else
            return false;
        for (size_t i = 3; i < rgba.size(); i += 4)
            if (rgba[i] < k_ps2_opaque) return true;
        return false;
    }
    case texture_family::gamecube: {
        // The Struct's alpha word says whether the texture's pixels carry alpha.
        const std::vector<uint8_t>* data = texture_struct_bytes(dictionary, t);
        const auto fields = data ? read_gc_fields(*data) : std::nullopt;
        return fields && fields->alpha != 0;
    }
    case texture_family::pc_xbox:
    case texture_family::other:
        break;
    }
    // The pixel format of the raster format word: 1555, 4444 and 8888 carry alpha.
    const uint32_t pixel_format = dictionary.raster_format(t) & 0xF00;
    return pixel_format == 0x100 || pixel_format == 0x300 || pixel_format == 0x500;
}

const std::vector<uint8_t>* texture_struct_bytes(ps2_txd& dictionary, uint32_t t) {
    rw_chunk* texture = dictionary.texture_chunk(t);
    return texture && texture->child(0) ? dictionary.load_data(texture->child(0)) : nullptr;
}

} // namespace quillmap
