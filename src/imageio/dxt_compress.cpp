#include "imageio/dxt_compress.h"

#include "imageio/dxt_block_fit.h"
#include "stream/work_pool.h"

#include <squish.h>

#include <algorithm>
#include <bit>

namespace quillmap {

namespace {

// The quick fit keeps a block unless its colour error exceeds the least error any DXT palette
// could reach by more than this per pixel (squared steps summed over red, green and blue). Above
// it lie the few blocks (about 2% of a photograph) where the quick fit is caught in a poor
// ordering and libsquish's cluster fit, which tries every ordering along the axis, gains most:
// there it adds 0.1 dB for a tenth of the time (bench/dxt_encode; 10 adds 0.05 to 0.09 dB more
// for 1.7 times the time; the quick fit alone comes at worst 0.01 dB below the cluster fit).
constexpr float k_quick_fit_excess = 40.0f;

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

// The block's pixels as the colour fit weighs them: by alpha where the format keeps it, pixels
// outside the picture not at all.
dxt_block_pixels fit_pixels(const uint8_t* pixels, int mask, bool weighted) {
    dxt_block_pixels px;
    for (int i = 0; i < 16; ++i) {
        const uint8_t* p = pixels + i * 4;
        px.r[i] = p[0];
        px.g[i] = p[1];
        px.b[i] = p[2];
        px.w[i] = !(mask & (1 << i)) ? 0.0f : weighted ? (float(p[3]) + 1) / 256 : 1.0f;
    }
    return px;
}

// DXT3's explicit alpha: four bits a pixel, rounded to the nearest of the 16 steps.
void explicit_alpha(const uint8_t* pixels, int mask, uint8_t out[8]) {
    for (int i = 0; i < 16; i += 2) {
        auto step = [&](int k) {
            return (mask & (1 << k)) ? (pixels[k * 4 + 3] * 15 + 127) / 255 : 0;
        };
        out[i / 2] = uint8_t(step(i) | step(i + 1) << 4);
    }
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

    // The quick fit first; libsquish's cluster fit where the quick one stays clearly above the
    // least error any palette could reach, keeping the better of the two. DXT1 blocks with
    // transparent pixels need the three-colour form: libsquish fits those whole.
    void compress_block(const uint8_t* pixels, int mask, uint8_t* target) const {
        if (kind == dxt_kind::dxt1 && !force_opaque && has_transparent(pixels, mask)) {
            if (!exact_colour_block(pixels, mask, true, target, transparent_bits(pixels, mask)))
                squish::CompressMasked(pixels, mask, target, flags | squish::kColourClusterFit);
            return;
        }
        uint8_t* colour = kind == dxt_kind::dxt1 ? target : target + 8;
        // A block of a picture decoded from DXT goes back as it was.
        if (exact_colour_block(pixels, mask, kind == dxt_kind::dxt1, colour)) {
            if (kind == dxt_kind::dxt5) fit_alpha_block_of(pixels, mask, target);
            if (kind == dxt_kind::dxt3) explicit_alpha(pixels, mask, target);
            return;
        }
        const dxt_block_pixels px = fit_pixels(pixels, mask, weighted);
        const dxt_colour_fit quick = fit_colour_block(px, kind == dxt_kind::dxt1, colour);
        const float pixels_in = float(std::popcount(unsigned(mask)));
        if (quick.error > quick.bound + k_quick_fit_excess * pixels_in) {
            // The cluster fit of DXT5's colour half: four colours, as DXT1 reads it too (the
            // three-colour fit DXT1 adds costs a fifth of the time for 0.01 to 0.02 dB).
            uint8_t both[16];
            squish::CompressMasked(pixels, mask, both,
                                   squish::kDxt5 | squish::kColourClusterFit |
                                       (weighted ? squish::kWeightColourByAlpha : 0));
            if (colour_block_error(px, both + 8) < quick.error)
                std::copy(both + 8, both + 16, colour);
        }
        if (kind == dxt_kind::dxt5) fit_alpha_block_of(pixels, mask, target);
        if (kind == dxt_kind::dxt3) explicit_alpha(pixels, mask, target);
    }

    static int transparent_bits(const uint8_t* pixels, int mask) {
        int bits = 0;
        for (int i = 0; i < 16; ++i)
            if ((mask & (1 << i)) && pixels[i * 4 + 3] < 128) bits |= 1 << i;
        return bits;
    }

    static bool has_transparent(const uint8_t* pixels, int mask) {
        for (int i = 0; i < 16; ++i)
            if ((mask & (1 << i)) && pixels[i * 4 + 3] < 128) return true;
        return false;
    }

    static void fit_alpha_block_of(const uint8_t* pixels, int mask, uint8_t* target) {
        uint8_t alpha[16];
        for (int i = 0; i < 16; ++i)
            alpha[i] = pixels[i * 4 + 3];
        fit_alpha_block(alpha, mask, target);
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

    // Rows are handed out one at a time so that a slow part of the picture does not leave a
    // thread idle; every row is written by exactly one thread into its own place.
    work_pool::shared().for_each(
        down, [&job](size_t by) { job.row(uint32_t(by)); }, threads);
    return out;
}

} // namespace quillmap
