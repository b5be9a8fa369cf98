#pragma once

#include <cstdint>

namespace quillmap {

// Section identifiers the program acts on.
enum rw_section_id : uint32_t {
    rw_id_struct = 0x01,
    rw_id_string = 0x02,
    rw_id_extension = 0x03,
    rw_id_texture_native = 0x15,
    rw_id_texture_dictionary = 0x16,
    rw_id_sky_mipmap_val = 0x110,
};

constexpr uint32_t k_default_rw_version = 0x1803FFFF; // GTA San Andreas

} // namespace quillmap
