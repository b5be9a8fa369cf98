#include "raster/ps2_bitmap.h"
#include "raster/pc_bitmap.h"
#include "raster/pixel_format.h"

void bmp_file_header::store(uint8_t*) const {}
void bmp_file_header::load(std::span<const uint8_t, k_size>) {}
void bmp_info_header::store(uint8_t*) const {}
void bmp_info_header::load(std::span<const uint8_t, k_size>) {}
uint16_t convert_16bit_value(uint32_t, uint32_t, uint16_t v) {
    return v;
}

int ps2_bitmap::palette_to_bmp(std::span<const uint8_t>, std::span<uint8_t>, uint32_t, int) {
    return 0;
}
int ps2_bitmap::palette_from_bmp(std::span<const uint8_t>, std::span<uint8_t>, uint32_t) {
    return 0;
}
int ps2_bitmap::flip_rows(std::span<uint8_t>, uint32_t, uint32_t, uint32_t) {
    return 0;
}
int ps2_bitmap::flip_rows_4bit(std::span<uint8_t>, uint32_t, uint32_t) {
    return 0;
}
int ps2_bitmap::convert_16bit(std::span<uint8_t>, uint32_t, uint32_t, int, uint32_t, uint32_t) {
    return 0;
}
int ps2_bitmap::convert_24bit(std::span<uint8_t>, uint32_t, uint32_t, int) {
    return 0;
}
int ps2_bitmap::convert_32bit(std::span<uint8_t>, uint32_t, uint32_t, int) {
    return 0;
}
uint8_t ps2_bitmap::expand_alpha(uint8_t a) {
    return a;
}
uint8_t ps2_bitmap::compress_alpha(uint8_t a) {
    return a;
}
int ps2_bitmap::load_raster(uint32_t, uint32_t, uint32_t, std::span<const uint8_t>,
                            std::span<const uint8_t>, bool, int, uint32_t, uint32_t) {
    return 0;
}
device_bitmap ps2_bitmap::to_display_bitmap(uint32_t) {
    return nullptr;
}
int ps2_bitmap::palette_to_raster(std::span<uint8_t>, bool) {
    return 0;
}
int ps2_bitmap::pixels_to_raster(std::span<uint8_t>, bool) {
    return 0;
}
int ps2_bitmap::read_bmp(const std::filesystem::path&) {
    return 0;
}
int ps2_bitmap::read_bmp(std::span<const uint8_t>) {
    return 0;
}
int ps2_bitmap::write_bmp(const std::filesystem::path&) {
    return 0;
}
std::vector<uint8_t> ps2_bitmap::bmp_bytes() const {
    return {};
}
uint32_t ps2_bitmap::row_bytes() const {
    return 0;
}
void ps2_bitmap::set_headers(uint32_t, uint32_t, uint32_t) {}

int pc_bitmap::palette_to_bmp(std::span<const uint8_t>, std::span<uint8_t>, uint32_t, int) {
    return 0;
}
int pc_bitmap::convert_16bit(std::span<uint8_t>, uint32_t, uint32_t, int, uint32_t, uint32_t) {
    return 0;
}
int pc_bitmap::convert_32bit(std::span<uint8_t>, uint32_t, uint32_t, int) {
    return 0;
}
uint8_t pc_bitmap::expand_alpha(uint8_t a) {
    return a;
}
device_bitmap pc_bitmap::to_display_bitmap(uint32_t, uint32_t) {
    return nullptr;
}
