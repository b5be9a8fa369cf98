#include "views/texture_platform.h"

#include "dictionary/ps2_txd.h"

bool is_mobile_dictionary(ps2_txd& dictionary) {
    return dictionary.family() == txd_family::mobile;
}

texture_family family_of(ps2_txd& dictionary, uint32_t t) {
    if (dictionary.is_ps2(t)) return texture_family::ps2;
    switch (dictionary.platform_id(t)) {
    case 5:
    case 8:
        return texture_family::pc_xbox;
    case 9:
        return is_mobile_dictionary(dictionary) ? texture_family::mobile : texture_family::pc_xbox;
    case 10:
    case 11:
    case 12:
        return texture_family::mobile;
    default:
        return texture_family::other;
    }
}

const std::vector<uint8_t>* texture_struct_bytes(ps2_txd& dictionary, uint32_t t) {
    rw_chunk* texture = dictionary.texture_chunk(t);
    return texture && texture->child(0) ? dictionary.load_data(texture->child(0)) : nullptr;
}
