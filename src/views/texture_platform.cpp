#include "views/texture_platform.h"

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

const std::vector<uint8_t>* texture_struct_bytes(ps2_txd& dictionary, uint32_t t) {
    rw_chunk* texture = dictionary.texture_chunk(t);
    return texture && texture->child(0) ? dictionary.load_data(texture->child(0)) : nullptr;
}

} // namespace quillmap
