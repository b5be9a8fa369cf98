#pragma once

#include "raster/bmp_format.h"
#include "raster/display_image.h"
#include "raster/ps2_swizzling.h"
#include "raster/view_mode.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// A Windows Bitmap held in memory (headers, palette in BMP order, bottom-up rows), filled from a
// PS2 raster or read from a BMP file. PS2 rasters: palettes and 32-bit pixels red, green, blue,
// alpha with alpha 0 .. 0x80, 256-colour palettes in console order, 16-bit pixels red 0-4,
// green 5-9, blue 10-14, alpha 15.
//
// One object serves one preview, export or replace: construct, then exactly one of load_raster
// or read_bmp, then use. Operations return 0 (or none) on failure and leave last_error.
class ps2_bitmap : public ps2_swizzling {
  public:
    ps2_bitmap() = default;
    ps2_bitmap(const ps2_bitmap&) = delete;
    ps2_bitmap& operator=(const ps2_bitmap&) = delete;
    virtual ~ps2_bitmap() = default;

    // Conversion operations, in slot order. Palettes are `count` entries of 4 bytes; pixel spans
    // must hold the w×h image at the stated depth, otherwise nothing is changed and 0 returned.
    virtual int palette_to_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                               uint32_t count, view_mode mode); // 0
    virtual int palette_from_bmp(std::span<const uint8_t> source, std::span<uint8_t> destination,
                                 uint32_t count); // 1
    virtual int flip_rows(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                          uint32_t depth); // 2
    virtual int flip_rows_4bit(std::span<uint8_t> pixels, uint32_t width_px,
                               uint32_t height_px); // 3
    virtual int convert_16bit(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                              view_mode mode, uint32_t source_code, uint32_t target_code); // 4
    virtual int convert_24bit(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                              view_mode mode); // 5
    virtual int convert_32bit(std::span<uint8_t> pixels, uint32_t width_px, uint32_t height_px,
                              view_mode mode);     // 6
    virtual uint8_t expand_alpha(uint8_t alpha);   // 7
    virtual uint8_t compress_alpha(uint8_t alpha); // 8

    // Fills headers, palette and pixels from a raster. `raster_pixels` and `raster_palette` are
    // the valid bytes the caller has; an empty pixel span means "no pixels" (0, no message), a
    // short one fails with a message. A target code of 0 means the source code.
    int load_raster(uint32_t width_px, uint32_t height_px, uint32_t depth,
                    std::span<const uint8_t> raster_pixels, std::span<const uint8_t> raster_palette,
                    bool swizzled, view_mode mode, uint32_t source_code, uint32_t target_code);
    // The picture for the screen at 24 or 32 bits; none without pixels.
    device_bitmap to_display_bitmap(uint32_t target_depth);

    // BMP data back to PS2 raster data (after read_bmp). `output` must hold 4·2^depth palette
    // bytes, respectively the w·h·depth/8 pixel bytes.
    int palette_to_raster(std::span<uint8_t> output, bool keep_alpha);
    int pixels_to_raster(std::span<uint8_t> output, bool keep_alpha);

    int read_bmp(const std::filesystem::path& path);
    int read_bmp(std::span<const uint8_t> file); // the same, from bytes in memory
    int write_bmp(const std::filesystem::path& path);
    // The bytes write_bmp writes; empty without pixels.
    std::vector<uint8_t> bmp_bytes() const;

    uint32_t width() const { return uint32_t(info_header.width); }
    uint32_t height() const { return uint32_t(info_header.height); }
    uint32_t depth() const { return info_header.bit_count; }
    // Bytes of one packed row in `pixels` (no BMP filler).
    uint32_t row_bytes() const;

    bmp_file_header file_header;
    bmp_info_header info_header;
    std::vector<uint8_t> palette; // 2^depth entries blue, green, red, fourth byte; empty above 8
    std::vector<uint8_t> pixels;  // packed rows, bottom row first; empty = no pixels
    std::string last_error;
    // Why the last read_bmp refused the file, when a field was cut short (what, where, how many
    // bytes remained); empty otherwise.
    std::string error_detail;

  protected:
    void set_headers(uint32_t width_px, uint32_t height_px, uint32_t depth);
    // Bit 15 of each 16-bit raster pixel, bottom row first, kept in mixed view (the BMP layout
    // has no alpha bit) so that the 32-bit picture can still show it.
    std::vector<uint8_t> alpha16_;
};

} // namespace quillmap
