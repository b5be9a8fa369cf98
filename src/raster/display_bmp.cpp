#include "raster/display_bmp.h"

#include "raster/bmp_format.h"

#include <cstring>

namespace quillmap {

std::vector<uint8_t> display_image_to_bmp(const display_image& image, uint32_t bits) {
    if (bits != 24 && bits != 32) return {};
    if (image.bits != 24 && image.bits != 32) return {};
    const uint32_t in_px = image.bits / 8, out_px = bits / 8;
    if (image.stride < uint64_t(image.width) * in_px ||
        image.bytes.size() < uint64_t(image.stride) * image.height)
        return {};
    const uint64_t stride = bmp_row_stride(image.width, bits);
    bmp_file_header fh;
    bmp_info_header ih;
    ih.width = int32_t(image.width);
    ih.height = int32_t(image.height);
    ih.bit_count = uint16_t(bits);
    ih.image_size = uint32_t(stride * image.height);
    fh.pixel_offset = bmp_layout::k_headers;
    fh.file_size = uint32_t(bmp_layout::k_headers + stride * image.height);
    std::vector<uint8_t> out(fh.file_size, 0);
    fh.store(out.data());
    ih.store(out.data() + bmp_file_header::k_size);
    for (uint32_t r = 0; r < image.height; ++r) {
        const uint8_t* s = image.bytes.data() + size_t(r) * image.stride;
        uint8_t* d = out.data() + bmp_layout::k_headers + stride * r;
        if (in_px == out_px) {
            std::memcpy(d, s, size_t(image.width) * in_px);
            continue;
        }
        for (uint32_t x = 0; x < image.width; ++x) {
            d[x * out_px] = s[x * in_px];
            d[x * out_px + 1] = s[x * in_px + 1];
            d[x * out_px + 2] = s[x * in_px + 2];
            if (out_px == 4) d[x * out_px + 3] = 0xFF; // a 24-bit picture is opaque
        }
    }
    return out;
}

} // namespace quillmap
