#include "raster/tim2_file.h"

tim2_file::tim2_file(const std::filesystem::path& path) {
    read(path);
}
int tim2_file::add_picture(uint32_t, uint32_t, uint32_t, std::span<const uint8_t>,
                           std::span<const uint8_t>, bool) {
    return 0;
}
void tim2_file::mark_source_swizzled(size_t, bool) {}
bool tim2_file::holds_swizzled_pixels(size_t) const {
    return false;
}
int tim2_file::write(const std::filesystem::path&) {
    return 0;
}
std::vector<uint8_t> tim2_file::bytes() const {
    return {};
}
int tim2_file::read(const std::filesystem::path&) {
    return 0;
}
int tim2_file::read(std::span<const uint8_t>) {
    return 0;
}
uint32_t tim2_file::picture_depth() const {
    return 0;
}
uint32_t tim2_file::picture_depth(const tim2_picture_header&) {
    return 0;
}
