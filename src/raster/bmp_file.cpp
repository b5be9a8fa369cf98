#include "raster/ps2_bitmap.h"
#include "raster/raster_limits.h"
#include "raster/raster_messages.h"
#include "stream/byte_reader.h"

#include "stream/safe_file.h"
#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillmap {

namespace {

// Offsets inside the file of the fields the reader needs beyond the 40-byte header.
constexpr size_t k_info_offset = bmp_file_header::k_size;
constexpr size_t k_info_size_offset = k_info_offset; // first field of the info header
constexpr uint32_t k_core_info_size = 40;
constexpr size_t k_masks_in_header = 40; // V4/V5 headers hold the masks at offset 40
constexpr size_t k_mask_bytes = 12;

// Bit-field masks that describe exactly the layout an uncompressed file of that depth has, so
// such files (written by many painting programs for 16 and 32 bits) read like plain ones.
bool plain_masks(uint32_t bits, uint32_t red, uint32_t green, uint32_t blue) {
    if (bits == 16) return red == 0x7C00 && green == 0x03E0 && blue == 0x001F;
    if (bits == 32) return red == 0x00FF0000 && green == 0x0000FF00 && blue == 0x000000FF;
    return false;
}

} // namespace

int ps2_bitmap::read_bmp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        last_error = raster_msg::cant_open_for_reading;
        return 0;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return read_bmp(bytes);
}

int ps2_bitmap::read_bmp(std::span<const uint8_t> file) {
    error_detail.clear();
    // The reader that ran out, when one did, says what was cut short and where.
    auto refuse = [this](const byte_reader* cut = nullptr) {
        last_error = raster_msg::not_valid_bmp;
        if (cut) error_detail = cut->error();
        return 0;
    };
    byte_reader in(file);
    const auto magic = in.bytes(2, "BMP magic");
    in.seek(k_info_size_offset, "BMP info header");
    const uint32_t info_size = in.u32("BMP info header size");
    if (!in.ok()) return refuse(&in);
    if (magic[0] != 'B' || magic[1] != 'M') return refuse();
    // Older core headers (12 bytes) are not accepted; later versions extend the 40-byte one.
    if (info_size < k_core_info_size) return refuse();
    in.seek(k_info_offset, "BMP info header");
    in.skip(info_size, "BMP info header");
    if (!in.ok()) return refuse(&in);

    bmp_file_header fh;
    fh.load(file.first<bmp_file_header::k_size>());
    bmp_info_header ih;
    ih.load(std::span<const uint8_t, bmp_info_header::k_size>(file.data() + k_info_offset,
                                                              bmp_info_header::k_size));

    const uint32_t bits = ih.bit_count;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse();
    if (ih.width <= 0 || ih.height == 0 || ih.height == INT_MIN) return refuse();
    const uint32_t w = uint32_t(ih.width);
    const bool top_down = ih.height < 0;
    const uint32_t h = uint32_t(top_down ? -ih.height : ih.height);
    if (w > raster_limits::k_max_picture_dimension || h > raster_limits::k_max_picture_dimension)
        return refuse();

    uint64_t palette_start = k_info_offset + info_size;
    if (ih.compression == bmp_layout::k_compression_bitfields) {
        // Masks follow a 40-byte header, or lie inside a longer one.
        const uint64_t masks_at =
            info_size == k_core_info_size ? palette_start : k_info_offset + k_masks_in_header;
        byte_reader masks(file);
        masks.seek(masks_at, "BMP bit masks");
        const uint32_t red = masks.u32("BMP red mask");
        const uint32_t green = masks.u32("BMP green mask");
        const uint32_t blue = masks.u32("BMP blue mask");
        if (!masks.ok()) return refuse(&masks);
        if (!plain_masks(bits, red, green, blue)) return refuse();
        if (info_size == k_core_info_size) palette_start += k_mask_bytes;
    } else if (ih.compression != bmp_layout::k_compression_none) {
        return refuse(); // run-length and other compressed data
    }

    // The pixel data offset decides where the rows are; it may leave a gap after the palette.
    const uint64_t pixel_start = fh.pixel_offset;
    if (pixel_start < palette_start) return refuse();
    const uint64_t stride = bmp_row_stride(w, bits);
    const uint64_t packed = (uint64_t(w) * bits + 7) / 8;
    // The last row needs no filler bytes.
    in.seek(pixel_start, "BMP pixel rows");
    in.skip(stride * (h - 1) + packed, "BMP pixel rows");
    if (!in.ok()) return refuse(&in);

    std::vector<uint8_t> new_palette;
    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        uint32_t stored = ih.colours_used == 0 ? full : std::min(ih.colours_used, full);
        stored = uint32_t(std::min<uint64_t>(stored, (pixel_start - palette_start) / 4));
        new_palette.assign(size_t(full) * 4, 0); // entries the file leaves out stay black
        std::copy_n(file.begin() + palette_start, size_t(stored) * 4, new_palette.begin());
    }

    std::vector<uint8_t> new_pixels(packed * h);
    for (uint32_t r = 0; r < h; ++r) {
        const uint32_t stored_row = top_down ? h - 1 - r : r; // keep bottom-up order
        std::copy_n(file.begin() + pixel_start + stride * stored_row, packed,
                    new_pixels.begin() + packed * r);
    }

    // The bitmap now holds a plain bottom-up image; its headers say so.
    set_headers(w, h, bits);
    info_header.x_resolution = ih.x_resolution;
    info_header.y_resolution = ih.y_resolution;
    palette.swap(new_palette);
    pixels.swap(new_pixels);
    alpha16_.clear();
    return 1;
}

std::vector<uint8_t> ps2_bitmap::bmp_bytes() const {
    if (pixels.empty()) return {};
    const uint32_t w = width(), h = height(), bits = depth();
    const size_t packed = row_bytes();
    const size_t stride = bmp_row_stride(w, bits);
    if (pixels.size() < packed * h) return {};
    std::vector<uint8_t> out(bmp_layout::k_headers + palette.size() + stride * h, 0);
    file_header.store(out.data());
    info_header.store(out.data() + bmp_file_header::k_size);
    std::copy(palette.begin(), palette.end(), out.begin() + bmp_layout::k_headers);
    uint8_t* rows = out.data() + bmp_layout::k_headers + palette.size();
    for (uint32_t r = 0; r < h; ++r)
        std::memcpy(rows + stride * r, pixels.data() + packed * r, packed);
    return out;
}

int ps2_bitmap::write_bmp(const std::filesystem::path& path) {
    // Without pixels (load_raster failed) nothing is written and its message stays.
    if (pixels.empty()) return 0;
    const std::vector<uint8_t> bytes = bmp_bytes();
    if (bytes.empty()) return 0;
    return safe_file::write_file(path, bytes, last_error) ? 1 : 0;
}

} // namespace quillmap
