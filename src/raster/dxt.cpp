#include "raster/dxt.h"

uint32_t dxt_pixel_size(uint32_t) {
    return 2;
}
uint32_t pack_pixel(uint32_t, uint8_t, uint8_t, uint8_t, uint8_t) {
    return 0;
}
uint8_t dxt_widen5(uint32_t) {
    return 0;
}
uint8_t dxt_widen6(uint32_t) {
    return 0;
}
uint64_t dxt_input_bytes(uint32_t, uint32_t, uint32_t, uint32_t) {
    return 0;
}
uint64_t dxt_output_bytes(uint32_t, uint32_t, uint32_t, uint32_t) {
    return 0;
}
bool decode_dxt1(uint32_t, uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t,
                 uint32_t) {
    return false;
}
bool decode_dxt3(uint32_t, uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t,
                 uint32_t) {
    return false;
}
bool decode_dxt5(uint32_t, uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t,
                 uint32_t) {
    return false;
}
bool decode_dxt1_block(uint32_t, uint32_t, uint32_t, uint32_t, std::span<const uint8_t, 8>,
                       std::span<uint8_t>, uint32_t) {
    return false;
}
bool decode_dxt3_block(uint32_t, uint32_t, uint32_t, uint32_t, std::span<const uint8_t, 16>,
                       std::span<uint8_t>, uint32_t) {
    return false;
}
bool decode_dxt5_block(uint32_t, uint32_t, uint32_t, uint32_t, std::span<const uint8_t, 16>,
                       std::span<uint8_t>, uint32_t) {
    return false;
}
