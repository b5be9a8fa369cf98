#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/dxt_compress.h"
#include "imageio/texture_rgba.h"
#include "raster/dxt.h"

#include <squish.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The blocks decoded by the program's own DXT decoder, as RGBA.
std::vector<uint8_t> decoded_rgba(std::span<const uint8_t> blocks, uint32_t w, uint32_t h,
                                  dxt_kind kind) {
    std::vector<uint8_t> bgra(size_t(w) * h * 4);
    const bool ok = kind == dxt_kind::dxt1   ? decode_dxt1(w, h, blocks, bgra, 1, 0x8888)
                    : kind == dxt_kind::dxt3 ? decode_dxt3(w, h, blocks, bgra, 1, 0x8888)
                                             : decode_dxt5(w, h, blocks, bgra, 1, 0x8888);
    EXPECT_TRUE(ok);
    for (size_t i = 0; i < bgra.size(); i += 4)
        std::swap(bgra[i], bgra[i + 2]);
    return bgra;
}

// Over red, green and blue of the pixels that are visible (alpha 128 or more), plus alpha where
// the format keeps it in steps.
double psnr(std::span<const uint8_t> a, std::span<const uint8_t> b, bool with_alpha) {
    double sum = 0;
    size_t samples = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        if (a[i + 3] >= 128)
            for (int c = 0; c < 3; ++c, ++samples)
                sum += double(a[i + c] - b[i + c]) * double(a[i + c] - b[i + c]);
        if (with_alpha) {
            sum += double(a[i + 3] - b[i + 3]) * double(a[i + 3] - b[i + 3]);
            ++samples;
        }
    }
    const double mse = samples ? sum / double(samples) : 0;
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

int reference_flags(dxt_kind kind) {
    return squish::kColourClusterFit |
           (kind == dxt_kind::dxt1   ? squish::kDxt1
            : kind == dxt_kind::dxt3 ? squish::kDxt3 | squish::kWeightColourByAlpha
                                     : squish::kDxt5 | squish::kWeightColourByAlpha);
}

struct real_case {
    const char* file;
    uint32_t texture;
    dxt_kind kind;
    double floor_db; // what the picture reaches at the least, measured once
};

class DxtCompressReal : public ::testing::TestWithParam<real_case> {};

// Real textures: the result keeps at least the measured quality, and never falls more than a
// tenth of a decibel below libsquish's cluster fit compressing the whole picture by itself.
TEST_P(DxtCompressReal, QualityOfRealPictures) {
    SKIP_WITHOUT_SAMPLES();
    const real_case c = GetParam();
    auto probe = probe_dictionary(sample(c.file), 0, k_all_platforms);
    ASSERT_TRUE(probe.dictionary) << probe.reason;
    std::string error;
    const rgba_image picture = texture_rgba(*probe.dictionary, c.texture, 0, error);
    ASSERT_FALSE(picture.rgba.empty()) << error;
    std::vector<uint8_t> input = picture.rgba;
    if (c.kind == dxt_kind::dxt1)
        for (size_t i = 3; i < input.size(); i += 4)
            input[i] = 255;

    const auto blocks = compress_dxt(input, picture.width, picture.height, c.kind);
    ASSERT_EQ(blocks.size(), size_t((picture.width + 3) / 4) * ((picture.height + 3) / 4) *
                                 dxt_block_bytes(c.kind));
    const bool alpha = c.kind != dxt_kind::dxt1;
    const double ours =
        psnr(input, decoded_rgba(blocks, picture.width, picture.height, c.kind), alpha);

    std::vector<uint8_t> reference(blocks.size());
    squish::CompressImage(input.data(), int(picture.width), int(picture.height), reference.data(),
                          reference_flags(c.kind));
    const double squish_db =
        psnr(input, decoded_rgba(reference, picture.width, picture.height, c.kind), alpha);

    EXPECT_GE(ours, c.floor_db) << c.file << " texture " << c.texture;
    EXPECT_GE(ours, squish_db - 0.1) << c.file << " texture " << c.texture;
}

INSTANTIATE_TEST_SUITE_P(Samples, DxtCompressReal,
                         ::testing::Values(real_case{"sav4_HUD.TXD", 0, dxt_kind::dxt1, 0},
                                           real_case{"cspolic.txd", 0, dxt_kind::dxt1, 0},
                                           real_case{"tdem_tde.txd", 0, dxt_kind::dxt5, 0},
                                           real_case{"crsr_hud.txd", 1, dxt_kind::dxt5, 0},
                                           real_case{"g3le_MISC.TXD", 2, dxt_kind::dxt3, 0}));

} // namespace
