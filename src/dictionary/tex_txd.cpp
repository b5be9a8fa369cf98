#include "dictionary/tex_txd.h"

#include "dictionary/name_field.h"
#include "dictionary/platform_messages.h"
#include "stream/byte_reader.h"

#include <cstring>
#include <fstream>
#include <set>
#include <vector>

namespace quillmap {

namespace {
// Random reads from the container, refused outside the file.
class tex_reader {
  public:
    explicit tex_reader(const std::filesystem::path& path) : file_(path, std::ios::binary) {
        if (!file_) return;
        file_.seekg(0, std::ios::end);
        const auto end = file_.tellg();
        length_ = end < 0 ? 0 : static_cast<uint64_t>(end);
    }
    bool is_open() const { return file_.is_open(); }
    uint64_t length() const { return length_; }
    bool read(uint64_t position, uint64_t bytes, std::vector<uint8_t>& out) {
        if (!fits(position, bytes, length_)) return false;
        out.assign(static_cast<size_t>(bytes), 0);
        file_.clear();
        file_.seekg(static_cast<std::streamoff>(position));
        return bytes == 0 ||
               bool(file_.read(reinterpret_cast<char*>(out.data()), std::streamsize(bytes)));
    }

  private:
    std::ifstream file_;
    uint64_t length_ = 0;
};

struct tex_raster {
    uint64_t position = 0;
    uint32_t width_log2 = 0, height_log2 = 0, depth = 0;
};

// The three forms of the 16-byte raster header.
tex_raster raster_of(const std::vector<uint8_t>& header) {
    byte_reader words(header);
    const uint32_t h0 = words.u32("raster header"), h1 = words.u32("raster header");
    const uint32_t h2 = words.u32("raster header"), h3 = words.u32("raster header");
    tex_raster out;
    auto from_dimension_word = [&out](uint32_t word) {
        out.width_log2 = word & 0xF;
        out.height_log2 = (word >> 6) & 0xF;
        out.depth = (word >> 12) & 0xF;
    };
    if (h0 != 0) {
        out.position = h0;
        from_dimension_word(h1 & 0xFFFF);
    } else if ((h3 & 0xFF) == 4 || (h3 & 0xFF) == 8) {
        out.position = h1;
        out.width_log2 = (h2 >> 16) & 0xFF;
        out.height_log2 = (h2 >> 24) & 0xFF;
        out.depth = h3 & 0xFF;
    } else {
        out.position = h2;
        from_dimension_word(h3 & 0xFFFF);
    }
    return out;
}
} // namespace

bool tex_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t, uint32_t) {
    tex_reader file(path);
    if (!file.is_open()) {
        last_error = platform_msg::tex_cant_open;
        return false;
    }
    create_empty(k_magic);
    std::vector<uint8_t> bytes;
    if (!file.read(offset, k_header_bytes, bytes) || u32_at(bytes, 0).value_or(0) != k_magic) {
        last_error = platform_msg::not_tex;
        return false;
    }
    std::memcpy(header.data(), bytes.data(), k_header_bytes);
    start = offset;

    const uint64_t head = uint64_t(offset) + k_list_head_offset;
    if (!file.read(head, 8, bytes)) {
        last_error = platform_msg::not_tex;
        return false;
    }
    uint64_t link = u32_at(bytes, 0).value_or(0);
    // The list must come back to its head; a link seen before or a list longer than a dictionary
    // can hold is damaged.
    std::set<uint64_t> seen;
    std::vector<uint8_t> record, raster_header, pixels, palette;
    // Records may name any position, so several can name the same pixels; copies the file does
    // not hold are refused, which keeps memory within the file's size.
    uint64_t pixel_bytes_taken = 0;
    while (link != head) {
        if (seen.size() >= k_max_records || !seen.insert(link).second ||
            link < k_record_link_offset ||
            !file.read(link - k_record_link_offset, k_record_bytes, record) ||
            !file.read(u32_at(record, 0).value_or(0), k_raster_header_bytes, raster_header)) {
            last_error = platform_msg::not_tex;
            return false;
        }
        const tex_raster raster = raster_of(raster_header);
        if (raster.depth == 0) {
            last_error = platform_msg::tex_unsupported_bpp;
            return false;
        }
        if (raster.width_log2 > k_max_dimension_log2 || raster.height_log2 > k_max_dimension_log2) {
            last_error = platform_msg::not_tex;
            return false;
        }
        const uint32_t w = 1u << raster.width_log2, h = 1u << raster.height_log2;
        const uint64_t pixel_bytes = uint64_t(w) * h * raster.depth / 8;
        const uint64_t palette_bytes = raster.depth == 4 ? 64 : 1024;
        pixel_bytes_taken += pixel_bytes;
        if (pixel_bytes_taken > file.length()) {
            last_error = platform_msg::not_tex;
            return false;
        }
        if (!file.read(raster.position, pixel_bytes, pixels) ||
            !file.read(raster.position + pixel_bytes, palette_bytes, palette)) {
            last_error = platform_msg::not_tex;
            return false;
        }
        auto texture = build_stored_texture(
            name_field_text(record, k_record_mask_offset, k_name_field_bytes), pixels.data(),
            name_field_text(record, k_record_name_offset, k_name_field_bytes), w, h, raster.depth,
            palette.data(), true);
        if (!texture || !append_texture(std::move(texture))) return false;
        link = u32_at(record, k_record_link_offset).value_or(0);
    }
    return true;
}

} // namespace quillmap
