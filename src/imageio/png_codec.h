#pragma once

#include "imageio/picture.h"
#include "imageio/png_writer.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// A PNG file as Quillmap takes it in: every kind (grey, RGB, palette with tRNS, 16-bit,
// interlaced) as 8-bit RGBA, and for palette files also the indices and palette as stored, so a
// palette picture can come back without any colour changing.
struct png_picture {
    rgba_image image;
    std::optional<indexed_image> indexed;
};

// Largest side a PNG may have; the texture limit.
inline constexpr uint32_t k_png_max_side = 4096;

// False with `error` (the cause, without the file name) for anything that is not a whole,
// well-formed PNG within the size limit.
bool decode_png(std::span<const uint8_t> bytes, png_picture& out, std::string& error);
// The same for a file; the message names the file.
bool read_png_file(const std::filesystem::path& path, png_picture& out, std::string& error);

// Encoders (through png_writer.h); empty with `error` on failure.
std::vector<uint8_t> encode_png_rgba(const rgba_image& image, std::string& error,
                                     const png_write_options& options = {});
std::vector<uint8_t> encode_png_grey(uint32_t width, uint32_t height, std::span<const uint8_t> grey,
                                     std::string& error, const png_write_options& options = {});
// 4-bit PNG when `bits` is 4 (at most 16 entries), else 8-bit. The PLTE holds every entry, the
// tRNS every entry's alpha (left out when all are opaque).
std::vector<uint8_t> encode_png_indexed(const indexed_image& image, uint32_t bits,
                                        std::string& error, const png_write_options& options = {});

bool write_bytes(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                 std::string& error);

} // namespace quillmap
