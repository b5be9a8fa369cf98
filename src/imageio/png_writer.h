#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// The PNG writer: rows filtered here, the image data compressed in one call by libdeflate, and
// the chunks framed here. libspng (which reads every PNG and cannot take another deflate) is the
// reference the writer is held equal to.

// Compression levels a user may choose: 0 stores the image data, 12 packs it tightest.
inline constexpr int k_png_min_level = 0;
inline constexpr int k_png_max_level = 12;
// Chosen by bench/png_bench.cpp on real textures (README, performance): level 1 with the sampled
// filter choice writes files a fifth smaller than libspng's defaults in a fifth of the time;
// level 2 saves 6 % more bytes for 18 % more time.
inline constexpr int k_png_default_level = 1;

// Per-row filters of the PNG format, and two ways of choosing:
// - `adaptive`: each row takes the filter whose output has the smallest sum of magnitudes (the
//   usual heuristic, libspng's default). It never picks `none`, which wins on decoded DXT and
//   palette art, whose exact repeats the filters blur.
// - `sampled`: the whole picture takes `none`, `sub` or `paeth`, whichever packs a sample of its
//   rows (every eighth band of 16) smallest at the fastest level.
enum class png_filter : uint8_t {
    none = 0,
    sub = 1,
    up = 2,
    average = 3,
    paeth = 4,
    adaptive,
    sampled
};

struct png_write_options {
    int level = k_png_default_level; // clamped to k_png_min_level .. k_png_max_level
    png_filter filter = png_filter::sampled;
};

// What the image header says of the rows handed in.
enum class png_colour : uint8_t { grey = 0, rgb = 2, indexed = 3, rgba = 6 };

struct png_layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bits = 8; // 8 for every kind; 4 as well for indexed
    png_colour colour = png_colour::rgba;
};

// A whole PNG of `rows` (height rows of packed pixels, no padding). `palette` (RGB triples) and
// `alpha` (one byte per palette entry, may be empty) only for indexed pictures. Palette pictures
// and pictures under 8 bits go unfiltered whatever `options` say, as the format advises.
// Empty with `error` when the sizes do not fit together or memory runs out.
std::vector<uint8_t> write_png(const png_layout& layout, std::span<const uint8_t> rows,
                               std::span<const uint8_t> palette, std::span<const uint8_t> alpha,
                               const png_write_options& options, std::string& error);

// The filter `sampled` settles on for these rows (none for palette pictures and under 8 bits).
png_filter png_sampled_filter(const png_layout& layout, std::span<const uint8_t> rows);

// Bytes in one packed row.
size_t png_row_bytes(const png_layout& layout);

// Applies `filter` (not adaptive) to one row: `out` gets the filtered bytes (not the filter
// byte); `previous` is the row above, all zero for the first row. `pixel_bytes` is the
// distance to the left neighbour (1 below 8 bits).
void png_filter_row(png_filter filter, const uint8_t* row, const uint8_t* previous, size_t bytes,
                    size_t pixel_bytes, uint8_t* out);

} // namespace quillmap
