#include "raster/ps2_swizzling.h"

uint32_t ps2_swizzling::swizzle_offset(uint32_t, uint32_t, uint32_t) {
    return 0;
}
bool ps2_swizzling::is_permutation_size(uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::unswizzle8(std::span<uint8_t>, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::swizzle8(std::span<uint8_t>, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::unswizzle4(std::span<uint8_t>, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::swizzle4(std::span<uint8_t>, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::unswizzle_raster(std::span<uint8_t>, uint32_t, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::swizzle_raster(std::span<uint8_t>, uint32_t, uint32_t, uint32_t) {
    return false;
}
bool ps2_swizzling::unswizzle4_narrow(std::span<const uint8_t>, uint32_t, uint32_t,
                                      std::span<uint8_t>) {
    return false;
}
bool ps2_swizzling::plain_copy(std::span<const uint8_t>, uint32_t, uint32_t, uint32_t, bool,
                               std::vector<uint8_t>&, bool*) {
    return false;
}
uint32_t ps2_swizzling::clut_slot(uint32_t i) {
    return i;
}
