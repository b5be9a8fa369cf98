#include "imageio/png_codec.h"

#include "stream/safe_file.h"
#include <spng.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace quillmap {

namespace {
// Bounds for what a PNG may make us hold: one chunk (an iCCP or text chunk included) and all
// ancillary chunks together; the pixel data itself is bounded by k_png_max_side.
constexpr size_t k_chunk_limit = size_t(16) << 20;
constexpr size_t k_chunk_cache_limit = size_t(64) << 20;

struct ctx_free {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using ctx_ptr = std::unique_ptr<spng_ctx, ctx_free>;

std::string png_error(int code) {
    return std::string("PNG: ") + spng_strerror(code);
}

// Indices of one packed row of 1, 2, 4 or 8 bits, leftmost pixel in the high bits.
void unpack_row(const uint8_t* row, uint32_t width, uint32_t bits, uint8_t* out) {
    const uint32_t per_byte = 8 / bits;
    const uint8_t mask = uint8_t((1u << bits) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t shift = 8 - bits * (x % per_byte + 1);
        out[x] = uint8_t((row[x / per_byte] >> shift) & mask);
    }
}

bool decode_indexed(spng_ctx* ctx, const spng_ihdr& ihdr, png_picture& out, std::string& error) {
    spng_plte plte{};
    if (int rc = spng_get_plte(ctx, &plte)) {
        error = png_error(rc);
        return false;
    }
    spng_trns trns{};
    const bool has_trns = spng_get_trns(ctx, &trns) == 0;
    size_t size = 0;
    if (int rc = spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size)) {
        error = png_error(rc);
        return false;
    }
    std::vector<uint8_t> packed(size);
    if (int rc = spng_decode_image(ctx, packed.data(), packed.size(), SPNG_FMT_PNG, 0)) {
        error = png_error(rc);
        return false;
    }
    const uint32_t w = ihdr.width, h = ihdr.height, bits = ihdr.bit_depth;
    const size_t row_bytes = (size_t(w) * bits + 7) / 8;
    if (packed.size() < row_bytes * h) {
        error = "PNG: image data is short";
        return false;
    }
    indexed_image indexed;
    indexed.width = w;
    indexed.height = h;
    indexed.indices.resize(size_t(w) * h);
    indexed.palette.resize(size_t(plte.n_entries) * 4);
    for (uint32_t i = 0; i < plte.n_entries; ++i) {
        uint8_t* entry = &indexed.palette[size_t(i) * 4];
        entry[0] = plte.entries[i].red;
        entry[1] = plte.entries[i].green;
        entry[2] = plte.entries[i].blue;
        entry[3] = has_trns && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
    }
    for (uint32_t y = 0; y < h; ++y)
        unpack_row(&packed[row_bytes * y], w, bits, &indexed.indices[size_t(y) * w]);

    out.image.width = w;
    out.image.height = h;
    out.image.rgba.resize(size_t(w) * h * 4);
    for (size_t i = 0; i < indexed.indices.size(); ++i) {
        const uint32_t index = indexed.indices[i];
        if (index >= plte.n_entries) {
            error = "PNG: pixel index " + std::to_string(index) + " outside the palette of " +
                    std::to_string(plte.n_entries) + " colours";
            return false;
        }
        std::copy_n(&indexed.palette[size_t(index) * 4], 4, &out.image.rgba[i * 4]);
    }
    out.indexed = std::move(indexed);
    return true;
}

bool sized(uint32_t width, uint32_t height, size_t bytes, size_t per_pixel, std::string& error) {
    if (width == 0 || height == 0 || bytes != size_t(width) * height * per_pixel) {
        error = "PNG: picture size does not match its pixels";
        return false;
    }
    return true;
}
} // namespace

bool decode_png(std::span<const uint8_t> bytes, png_picture& out, std::string& error) {
    out = {};
    ctx_ptr ctx(spng_ctx_new(0));
    if (!ctx) {
        error = "PNG: out of memory";
        return false;
    }
    spng_set_image_limits(ctx.get(), k_png_max_side, k_png_max_side);
    spng_set_chunk_limits(ctx.get(), k_chunk_limit, k_chunk_cache_limit);
    spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size());
    spng_ihdr ihdr{};
    if (int rc = spng_get_ihdr(ctx.get(), &ihdr)) {
        error = png_error(rc);
        return false;
    }
    if (ihdr.color_type == SPNG_COLOR_TYPE_INDEXED)
        return decode_indexed(ctx.get(), ihdr, out, error);

    size_t size = 0;
    if (int rc = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size)) {
        error = png_error(rc);
        return false;
    }
    if (size != size_t(ihdr.width) * ihdr.height * 4) {
        error = "PNG: image data is short";
        return false;
    }
    out.image.width = ihdr.width;
    out.image.height = ihdr.height;
    out.image.rgba.resize(size);
    if (int rc = spng_decode_image(ctx.get(), out.image.rgba.data(), size, SPNG_FMT_RGBA8,
                                   SPNG_DECODE_TRNS)) {
        out = {};
        error = png_error(rc);
        return false;
    }
    return true;
}

bool read_png_file(const std::filesystem::path& path, png_picture& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!in || ec) {
        error = path.string() + ": cannot be opened";
        return false;
    }
    // Larger than any PNG of 4096 x 4096 RGBA at 16 bits could need, even stored uncompressed.
    if (size > (uint64_t(1) << 31)) {
        error = path.string() + ": file is too large for a PNG picture";
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!in) {
        error = path.string() + ": cannot be read";
        return false;
    }
    if (!decode_png(bytes, out, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> encode_png_rgba(const rgba_image& image, std::string& error,
                                     const png_write_options& options) {
    if (!sized(image.width, image.height, image.rgba.size(), 4, error)) return {};
    return write_png({image.width, image.height, 8, png_colour::rgba}, image.rgba, {}, {}, options,
                     error);
}

std::vector<uint8_t> encode_png_grey(uint32_t width, uint32_t height, std::span<const uint8_t> grey,
                                     std::string& error, const png_write_options& options) {
    if (!sized(width, height, grey.size(), 1, error)) return {};
    return write_png({width, height, 8, png_colour::grey}, grey, {}, {}, options, error);
}

std::vector<uint8_t> encode_png_indexed(const indexed_image& image, uint32_t bits,
                                        std::string& error, const png_write_options& options) {
    if (!sized(image.width, image.height, image.indices.size(), 1, error)) return {};
    const uint32_t entries = image.entries();
    if (bits != 4) bits = 8;
    if (entries == 0 || entries > (1u << bits)) {
        error = "PNG: palette does not fit the bit depth";
        return {};
    }
    std::vector<uint8_t> plte(size_t(entries) * 3), trns(entries);
    bool translucent = false;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* entry = &image.palette[size_t(i) * 4];
        std::copy_n(entry, 3, &plte[size_t(i) * 3]);
        trns[i] = entry[3];
        translucent |= entry[3] != 255;
    }
    if (!translucent) trns.clear();
    const size_t row_bytes = (size_t(image.width) * bits + 7) / 8;
    std::vector<uint8_t> packed(row_bytes * image.height, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* in = &image.indices[size_t(y) * image.width];
        uint8_t* row = &packed[row_bytes * y];
        for (uint32_t x = 0; x < image.width; ++x) {
            if (in[x] >= entries) {
                error = "PNG: pixel index outside the palette";
                return {};
            }
            if (bits == 8)
                row[x] = in[x];
            else
                row[x / 2] |= uint8_t(in[x] << (x % 2 ? 0 : 4));
        }
    }
    return write_png({image.width, image.height, uint8_t(bits), png_colour::indexed}, packed, plte,
                     trns, options, error);
}

bool write_bytes(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                 std::string& error) {
    // The picture appears under its name only when it is complete.
    return safe_file::write_file(path, bytes, error);
}

} // namespace quillmap
