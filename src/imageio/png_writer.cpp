#include "imageio/png_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

namespace quillmap {

namespace {
constexpr std::array<uint8_t, 8> k_signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct compressor_free {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int p = int(a) + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Sum of the filtered bytes taken as signed magnitudes: the smaller, the better deflate does.
uint64_t cost(const uint8_t* bytes, size_t count) {
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += uint8_t(bytes[i] < 128 ? bytes[i] : 256 - bytes[i]);
    return sum;
}

void put_u32_be(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Frames the data already appended from `start` on as one chunk: the length and type go in the
// 8 bytes reserved at `start`, the CRC of type and data behind it.
void close_chunk(std::vector<uint8_t>& out, size_t start, const char (&type)[5]) {
    put_u32_be(&out[start], uint32_t(out.size() - start - 8));
    std::copy_n(type, 4, &out[start + 4]);
    uint8_t crc[4];
    put_u32_be(crc, libdeflate_crc32(0, &out[start + 4], out.size() - start - 4));
    out.insert(out.end(), crc, crc + 4);
}

void put_chunk(std::vector<uint8_t>& out, const char (&type)[5], std::span<const uint8_t> data) {
    const size_t start = out.size();
    out.resize(start + 8);
    out.insert(out.end(), data.begin(), data.end());
    close_chunk(out, start, type);
}

size_t channels(png_colour colour) {
    switch (colour) {
    case png_colour::rgba:
        return 4;
    case png_colour::rgb:
        return 3;
    default:
        return 1;
    }
}

constexpr uint32_t k_sample_band = 16; // rows in one sampled band
constexpr uint32_t k_sample_every = 8; // one band of this many is sampled

bool unfiltered_kind(const png_layout& layout) {
    return layout.colour == png_colour::indexed || layout.bits < 8;
}

// The filtered image data of rows `first` .. `last` - 1: each row behind its filter byte.
std::vector<uint8_t> filtered_rows(const png_layout& layout, std::span<const uint8_t> rows,
                                   png_filter filter, uint32_t first, uint32_t last) {
    const size_t row_bytes = png_row_bytes(layout);
    const size_t pixel_bytes = layout.bits < 8 ? 1 : channels(layout.colour);
    std::vector<uint8_t> out((row_bytes + 1) * (last - first));
    const std::vector<uint8_t> zero_row(row_bytes, 0);
    std::vector<uint8_t> trial(filter == png_filter::adaptive ? row_bytes : 0);
    for (uint32_t y = first; y < last; ++y) {
        const uint8_t* row = &rows[row_bytes * y];
        const uint8_t* previous = y ? row - row_bytes : zero_row.data();
        uint8_t* target = &out[(row_bytes + 1) * (y - first)];
        png_filter chosen = filter;
        if (filter == png_filter::adaptive) {
            // Try each filter and keep the one of least cost in place.
            uint64_t best = UINT64_MAX;
            for (png_filter f : {png_filter::none, png_filter::sub, png_filter::up,
                                 png_filter::average, png_filter::paeth}) {
                png_filter_row(f, row, previous, row_bytes, pixel_bytes, trial.data());
                const uint64_t c = cost(trial.data(), row_bytes);
                if (c < best) {
                    best = c;
                    chosen = f;
                    std::copy_n(trial.data(), row_bytes, target + 1);
                }
            }
        } else {
            png_filter_row(filter, row, previous, row_bytes, pixel_bytes, target + 1);
        }
        target[0] = uint8_t(chosen);
    }
    return out;
}
size_t compressed_size(libdeflate_compressor* compressor, std::span<const uint8_t> data,
                       std::vector<uint8_t>& scratch) {
    scratch.resize(libdeflate_zlib_compress_bound(compressor, data.size()));
    return libdeflate_zlib_compress(compressor, data.data(), data.size(), scratch.data(),
                                    scratch.size());
}
} // namespace

png_filter png_sampled_filter(const png_layout& layout, std::span<const uint8_t> rows) {
    if (unfiltered_kind(layout)) return png_filter::none;
    std::unique_ptr<libdeflate_compressor, compressor_free> compressor(
        libdeflate_alloc_compressor(1));
    if (!compressor) return png_filter::sub;
    png_filter best = png_filter::none;
    size_t best_size = SIZE_MAX;
    std::vector<uint8_t> sample, scratch;
    for (png_filter f : {png_filter::none, png_filter::sub, png_filter::paeth}) {
        sample.clear();
        for (uint32_t band = 0; band < layout.height; band += k_sample_band * k_sample_every) {
            const std::vector<uint8_t> part =
                filtered_rows(layout, rows, f, band, std::min(layout.height, band + k_sample_band));
            sample.insert(sample.end(), part.begin(), part.end());
        }
        const size_t size = compressed_size(compressor.get(), sample, scratch);
        if (size && size < best_size) {
            best_size = size;
            best = f;
        }
    }
    return best;
}

size_t png_row_bytes(const png_layout& layout) {
    return (size_t(layout.width) * layout.bits * channels(layout.colour) + 7) / 8;
}

void png_filter_row(png_filter filter, const uint8_t* row, const uint8_t* previous, size_t bytes,
                    size_t pixel_bytes, uint8_t* out) {
    const size_t left = std::min(pixel_bytes, bytes);
    switch (filter) {
    case png_filter::sub:
        std::copy_n(row, left, out);
        for (size_t i = left; i < bytes; ++i)
            out[i] = uint8_t(row[i] - row[i - pixel_bytes]);
        break;
    case png_filter::up:
        for (size_t i = 0; i < bytes; ++i)
            out[i] = uint8_t(row[i] - previous[i]);
        break;
    case png_filter::average:
        for (size_t i = 0; i < left; ++i)
            out[i] = uint8_t(row[i] - (previous[i] >> 1));
        for (size_t i = left; i < bytes; ++i)
            out[i] = uint8_t(row[i] - ((row[i - pixel_bytes] + previous[i]) >> 1));
        break;
    case png_filter::paeth:
        for (size_t i = 0; i < left; ++i)
            out[i] = uint8_t(row[i] - previous[i]);
        for (size_t i = left; i < bytes; ++i)
            out[i] = uint8_t(row[i] -
                             paeth(row[i - pixel_bytes], previous[i], previous[i - pixel_bytes]));
        break;
    default:
        std::copy_n(row, bytes, out);
        break;
    }
}

std::vector<uint8_t> write_png(const png_layout& layout, std::span<const uint8_t> rows,
                               std::span<const uint8_t> palette, std::span<const uint8_t> alpha,
                               const png_write_options& options, std::string& error) {
    const bool indexed = layout.colour == png_colour::indexed;
    const bool bits_fit = layout.bits == 8 || (indexed && layout.bits == 4);
    if (layout.width == 0 || layout.height == 0 || !bits_fit ||
        rows.size() != png_row_bytes(layout) * layout.height) {
        error = "PNG: picture size does not match its pixels";
        return {};
    }
    if (indexed && (palette.empty() || palette.size() % 3 || palette.size() / 3 > 256 ||
                    alpha.size() > palette.size() / 3)) {
        error = "PNG: palette does not fit the bit depth";
        return {};
    }
    png_filter filter = unfiltered_kind(layout) ? png_filter::none : options.filter;
    if (filter == png_filter::sampled) filter = png_sampled_filter(layout, rows);
    const std::vector<uint8_t> filtered = filtered_rows(layout, rows, filter, 0, layout.height);

    const int level = std::clamp(options.level, k_png_min_level, k_png_max_level);
    std::unique_ptr<libdeflate_compressor, compressor_free> compressor(
        libdeflate_alloc_compressor(level));
    if (!compressor) {
        error = "PNG: out of memory";
        return {};
    }
    std::vector<uint8_t> out;
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size());
    out.reserve(k_signature.size() + 25 + palette.size() + alpha.size() + 24 + bound + 12);
    out.insert(out.end(), k_signature.begin(), k_signature.end());

    uint8_t ihdr[13];
    put_u32_be(ihdr, layout.width);
    put_u32_be(ihdr + 4, layout.height);
    ihdr[8] = layout.bits;
    ihdr[9] = uint8_t(layout.colour);
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filtering, not interlaced
    put_chunk(out, "IHDR", ihdr);
    if (indexed) put_chunk(out, "PLTE", palette);
    if (indexed && !alpha.empty()) put_chunk(out, "tRNS", alpha);

    // The image data is compressed straight into place behind the chunk's length and type.
    const size_t idat = out.size();
    out.resize(idat + 8 + bound);
    const size_t packed = libdeflate_zlib_compress(compressor.get(), filtered.data(),
                                                   filtered.size(), &out[idat + 8], bound);
    if (packed == 0 || packed > UINT32_MAX - 12) {
        error = "PNG: image data does not compress";
        return {};
    }
    out.resize(idat + 8 + packed);
    close_chunk(out, idat, "IDAT");
    put_chunk(out, "IEND", {});
    return out;
}

} // namespace quillmap
