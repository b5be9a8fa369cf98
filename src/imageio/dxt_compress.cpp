#include "imageio/dxt_compress.h"

#include "raster/dxt.h"
#include "raster/pixel_format.h"

#include <squish.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <thread>

namespace quillmap {

namespace {

// Range fit keeps a block when its colour error exceeds the least error any DXT palette could
// reach by at most this much per pixel (squared steps summed over red, green and blue): cluster
// fit could gain no more there, and costs twenty times as much. bench/dxt_encode measures the
// PSNR this gives against cluster fit on every block.
constexpr float k_range_fit_excess = 1.5f;
// Range fit keeps a block, too, whose colour error is this small per pixel (squared steps summed
// over red, green and blue, about one step a channel): what cluster fit could still gain there
// is too little to see, and skipping it there saves a quarter of the time for 0.03 to 0.05 dB
// (bench/dxt_encode: 5 keeps every picture within 0.1 dB of libsquish's cluster fit, 10 not).
constexpr float k_small_error = 5.0f;

int squish_flags(dxt_kind kind, bool one_bit_alpha) {
    int flags = 0;
    switch (kind) {
    case dxt_kind::dxt1:
        flags |= squish::kDxt1;
        // Only pixels that stay visible count; without alpha every pixel is opaque.
        if (one_bit_alpha) flags |= squish::kWeightColourByAlpha;
        break;
    case dxt_kind::dxt3:
        flags |= squish::kDxt3 | squish::kWeightColourByAlpha;
        break;
    case dxt_kind::dxt5:
        flags |= squish::kDxt5 | squish::kWeightColourByAlpha;
        break;
    }
    return flags;
}

// Weight of a pixel's colour error: by its alpha when the fit weights colour so.
float colour_weight(const uint8_t* pixel, bool weighted) {
    return weighted ? (float(pixel[3]) + 1) / 256 : 1.0f;
}

// A lower bound of the colour error of any DXT block for the pixels in `mask` (those with alpha
// below 128 left out where they become transparent): all colours of a block's palette lie on
// one line, and no line comes closer to the pixels than their principal axis.
float line_bound(const uint8_t* pixels, int mask, bool weighted, bool skip_transparent) {
    float total = 0, mean[3] = {0, 0, 0};
    auto counted = [&](int i) {
        return (mask & (1 << i)) && !(skip_transparent && pixels[i * 4 + 3] < 128);
    };
    for (int i = 0; i < 16; ++i) {
        if (!counted(i)) continue;
        const float w = colour_weight(pixels + i * 4, weighted);
        total += w;
        for (int c = 0; c < 3; ++c)
            mean[c] += w * pixels[i * 4 + c];
    }
    if (total <= 0) return 0;
    for (float& m : mean)
        m /= total;
    float cov[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        if (!counted(i)) continue;
        const float w = colour_weight(pixels + i * 4, weighted);
        float d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = pixels[i * 4 + c] - mean[c];
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                cov[a][b] += w * d[a] * d[b];
    }
    // The principal axis by power iteration; the spread along it is what a line can cover.
    float v[3] = {1, 1, 1};
    float along = 0;
    for (int step = 0; step < 12; ++step) {
        float next[3];
        for (int a = 0; a < 3; ++a)
            next[a] = cov[a][0] * v[0] + cov[a][1] * v[1] + cov[a][2] * v[2];
        const float norm = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
        if (norm <= 0) break;
        for (int a = 0; a < 3; ++a)
            v[a] = next[a] / norm;
        along = norm; // the eigenvalue once v has settled
    }
    const float spread = cov[0][0] + cov[1][1] + cov[2][2];
    return std::max(0.0f, spread - along);
}

// Colour error of a compressed block against its pixels, over the pixels in `mask`, weighted
// as the fit weights it. Alpha is left out: both fits encode it alike.
float block_error(const uint8_t* pixels, int mask, const uint8_t* block, dxt_kind kind,
                  bool weighted) {
    uint8_t decoded[16 * 4];
    const std::span<uint8_t> out(decoded);
    switch (kind) {
    case dxt_kind::dxt1:
        decode_dxt1_block(0, 0, 4, 4, std::span<const uint8_t, 8>(block, 8), out,
                          pixel_code::bgra8888);
        break;
    case dxt_kind::dxt3:
        decode_dxt3_block(0, 0, 4, 4, std::span<const uint8_t, 16>(block, 16), out,
                          pixel_code::bgra8888);
        break;
    case dxt_kind::dxt5:
        decode_dxt5_block(0, 0, 4, 4, std::span<const uint8_t, 16>(block, 16), out,
                          pixel_code::bgra8888);
        break;
    }
    float sum = 0;
    for (int i = 0; i < 16; ++i) {
        if (!(mask & (1 << i))) continue;
        const uint8_t* p = pixels + i * 4;
        const uint8_t* q = decoded + i * 4; // blue, green, red, alpha
        const float dr = float(p[0]) - q[2], dg = float(p[1]) - q[1], db = float(p[2]) - q[0];
        sum += colour_weight(p, weighted) * (dr * dr + dg * dg + db * db);
    }
    return sum;
}

struct block_job {
    std::span<const uint8_t> rgba;
    uint32_t width;
    uint32_t height;
    uint32_t blocks_across;
    uint32_t block_bytes;
    int flags; // kind and weighting; the fit is chosen per block
    dxt_kind kind;
    bool weighted;
    bool force_opaque;
    uint8_t* out;

    // Range fit first; cluster fit where that is not close enough, keeping the better of the two.
    void compress_block(const uint8_t* pixels, int mask, uint8_t* target) const {
        uint8_t range[16], cluster[16];
        squish::CompressMasked(pixels, mask, range, flags | squish::kColourRangeFit);
        const float range_error = block_error(pixels, mask, range, kind, weighted);
        const float bound = line_bound(pixels, mask, weighted, kind == dxt_kind::dxt1);
        const float pixels_in = float(std::popcount(unsigned(mask)));
        if (range_error <= bound + k_range_fit_excess * pixels_in ||
            range_error <= k_small_error * pixels_in) {
            std::copy(range, range + block_bytes, target);
            return;
        }
        if (force_opaque) {
            // Opaque DXT1: the cluster fit of DXT5's colour half, four colours only, which a DXT1
            // block reads the same (libsquish writes it with the first colour the larger). The
            // three-colour fit DXT1 adds costs a fifth of the time for 0.01 to 0.02 dB.
            uint8_t both[16];
            squish::CompressMasked(pixels, mask, both, squish::kDxt5 | squish::kColourClusterFit);
            std::copy(both + 8, both + 16, cluster);
        } else {
            squish::CompressMasked(pixels, mask, cluster, flags | squish::kColourClusterFit);
        }
        const bool cluster_better =
            block_error(pixels, mask, cluster, kind, weighted) <= range_error;
        const uint8_t* chosen = cluster_better ? cluster : range;
        std::copy(chosen, chosen + block_bytes, target);
    }

    // One row of blocks: the 4×4 pixels gathered, those outside the picture masked off.
    void row(uint32_t by) const {
        uint8_t pixels[16 * 4];
        for (uint32_t bx = 0; bx < blocks_across; ++bx) {
            int mask = 0;
            for (uint32_t py = 0; py < 4; ++py) {
                const uint32_t y = by * 4 + py;
                for (uint32_t px = 0; px < 4; ++px) {
                    const uint32_t x = bx * 4 + px;
                    uint8_t* dst = pixels + (py * 4 + px) * 4;
                    if (x < width && y < height) {
                        const uint8_t* src = rgba.data() + (size_t(y) * width + x) * 4;
                        std::copy(src, src + 4, dst);
                        if (force_opaque) dst[3] = 255;
                        mask |= 1 << (py * 4 + px);
                    } else {
                        std::fill(dst, dst + 4, uint8_t(0));
                    }
                }
            }
            compress_block(pixels, mask, out + (size_t(by) * blocks_across + bx) * block_bytes);
        }
    }
};

} // namespace

uint32_t dxt_block_bytes(dxt_kind kind) {
    return kind == dxt_kind::dxt1 ? 8 : 16;
}

std::vector<uint8_t> compress_dxt(std::span<const uint8_t> rgba, uint32_t width, uint32_t height,
                                  dxt_kind kind, bool one_bit_alpha) {
    return compress_dxt_on(rgba, width, height, kind, one_bit_alpha, 0);
}

std::vector<uint8_t> compress_dxt_on(std::span<const uint8_t> rgba, uint32_t width, uint32_t height,
                                     dxt_kind kind, bool one_bit_alpha, unsigned threads) {
    if (width == 0 || height == 0 || rgba.size() / 4 / width < height) return {};
    const uint32_t across = (width + 3) / 4;
    const uint32_t down = (height + 3) / 4;
    std::vector<uint8_t> out(size_t(across) * down * dxt_block_bytes(kind));
    const block_job job{rgba,
                        width,
                        height,
                        across,
                        dxt_block_bytes(kind),
                        squish_flags(kind, one_bit_alpha),
                        kind,
                        (squish_flags(kind, one_bit_alpha) & squish::kWeightColourByAlpha) != 0,
                        kind == dxt_kind::dxt1 && !one_bit_alpha,
                        out.data()};

    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, down);
    // Rows are handed out one at a time so that a slow part of the picture does not leave a
    // core idle; every row is written by exactly one thread into its own place.
    std::atomic<uint32_t> next{0};
    auto work = [&] {
        for (uint32_t by = next++; by < down; by = next++)
            job.row(by);
    };
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    return out;
}

} // namespace quillmap
