#include "imageio/dxt_compress.h"

#include <squish.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

int squish_flags(dxt_kind kind, bool one_bit_alpha) {
    int flags = squish::kColourClusterFit;
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

struct block_job {
    std::span<const uint8_t> rgba;
    uint32_t width;
    uint32_t height;
    uint32_t blocks_across;
    uint32_t block_bytes;
    int flags;
    bool force_opaque;
    uint8_t* out;

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
            squish::CompressMasked(pixels, mask,
                                   out + (size_t(by) * blocks_across + bx) * block_bytes, flags);
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
