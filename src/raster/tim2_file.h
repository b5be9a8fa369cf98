#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

struct tim2_file_header {
    uint8_t magic[4] = {'T', 'I', 'M', '2'};
    uint8_t version = 4;
    uint8_t format_id = 0; // 1: the first picture starts at byte 128
    uint16_t picture_count = 0;
    uint8_t reserved[8] = {};

    static constexpr size_t k_size = 16;
};

// The picture header we write (76 bytes); standard files have 48-byte headers, which end before
// `extension_tag`.
struct tim2_picture_header {
    uint32_t total_size = 0;
    uint32_t clut_size = 0;
    uint32_t image_size = 0;
    uint16_t header_size = 76;
    uint16_t clut_colours = 0;
    uint8_t picture_format = 0;
    uint8_t mipmap_count = 1;
    uint8_t clut_type = 0;  // 1: 16-bit, 2: 24-bit, 3: 32-bit entries; bit 7: linear order
    uint8_t image_type = 0; // 1: 16, 2: 24, 3: 32, 4: 4, 5: 8 bits per pixel
    uint16_t width = 0;
    uint16_t height = 0;
    uint64_t gs_tex0 = 0;
    uint64_t gs_tex1 = 0;
    uint32_t gs_texa_fba_pabe = 0;
    uint32_t gs_texclut = 0;
    uint8_t reserved[16] = {};
    uint8_t extension_tag[4] = {'s', 'w', 'i', 'z'};
    uint32_t extension_reserved = 0;
    uint8_t swizzle_marker = 0x64;
    uint8_t reserved2[3] = {};
    // Mipmap pictures (mipmap_count > 1): the MIPTBP registers and each level's byte count, which
    // follow the standard header; the image data holds the levels one after another.
    uint64_t gs_miptbp1 = 0;
    uint64_t gs_miptbp2 = 0;
    std::vector<uint32_t> level_sizes;

    static constexpr size_t k_size = 76;
    static constexpr size_t k_standard_size = 48;
    static constexpr uint32_t k_max_levels = 7;
    // Bytes of the mipmap header after the standard one: 0 for a single level.
    static size_t mipmap_header_bytes(uint32_t levels);
};

struct tim2_picture {
    tim2_picture_header header;
    std::vector<uint8_t> image;
    // For 4- and 8-bit pictures read from a file: 2^depth 32-bit entries (red, green, blue,
    // alpha 0..0x80) in console order, whatever the file held. Written as it stands.
    std::vector<uint8_t> clut;
    bool has_clut = false;
    // The header carried the "swiz" tag, so swizzle_marker is ours and meaningful.
    bool has_swizzle_tag = false;
    // add_picture reordered the pixels from swizzled to plain order.
    bool unswizzled = false;
};

// A PlayStation 2 TIM2 image file in memory: up to 64 pictures.
class tim2_file {
  public:
    static constexpr uint8_t k_marker_swizzled = 0x00;
    static constexpr uint8_t k_marker_plain = 0x64;

    tim2_file() = default;
    // Constructs and reads; check last_error and the picture count.
    explicit tim2_file(const std::filesystem::path& path);

    // Appends a picture of a raster: pixels copied (unswizzled on request), palette copied as it
    // stands for depths 4 and 8. 0 with a message when the raster or palette is short.
    int add_picture(uint32_t width_px, uint32_t height_px, uint32_t depth,
                    std::span<const uint8_t> raster_pixels, std::span<const uint8_t> raster_palette,
                    bool unswizzle);
    // Appends the next mip level (half the previous size) to the last picture, unswizzled on
    // request; each level's bytes are padded to 16. 0 with a message when the raster is short or
    // the picture already has 7 levels.
    int add_mip_level(std::span<const uint8_t> raster_pixels, bool unswizzle);
    // Levels of picture `index` (1 without a mipmap header) and the bytes of level n.
    uint32_t level_count(size_t index) const;
    std::span<const uint8_t> level_image(size_t index, uint32_t level) const;
    // Sets the marker of picture `index` from the source texture's swizzle state so that it
    // describes the pixels actually stored: swizzled only when the source was and add_picture
    // did not reorder them.
    void mark_source_swizzled(size_t index, bool source_swizzled);
    // Whether picture `index` holds swizzled pixels: only our own files (with the "swiz" tag)
    // can say so; any other TIM2 file holds plain pixels.
    bool holds_swizzled_pixels(size_t index) const;

    int write(const std::filesystem::path& path);
    std::vector<uint8_t> bytes() const; // what write writes
    int read(const std::filesystem::path& path);
    int read(std::span<const uint8_t> file);

    // Depth of picture 0: 16 CLUT colours give 4, 256 give 8, otherwise by image type; 0 when
    // unknown or without pictures.
    uint32_t picture_depth() const;
    static uint32_t picture_depth(const tim2_picture_header& header);

    tim2_file_header header;
    std::vector<tim2_picture> pictures;
    std::string last_error;
    // Why the last read refused the file, when a field was cut short: what was read, at which
    // offset, and how many bytes remained. Empty otherwise.
    std::string error_detail;
};

} // namespace quillmap
