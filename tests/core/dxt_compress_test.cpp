#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/dxt_compress.h"
#include "imageio/texture_rgba.h"
#include "raster/dxt.h"

#include <squish.h>

#include <gtest/gtest.h>

#include <cmath>

namespace quillmap {

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

// A smooth picture with a soft alpha ramp, as DXT is meant for.
std::vector<uint8_t> gradient(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.21));
            p[1] = uint8_t(128 + 90 * std::cos(y * 0.17 + x * 0.05));
            p[2] = uint8_t(120 + 60 * std::sin((x + y) * 0.13));
            p[3] = uint8_t(128 + 120 * std::cos(x * 0.11 - y * 0.07));
        }
    return rgba;
}

struct size_case {
    uint32_t width, height;
    dxt_kind kind;
};

class DxtCompressSizes : public ::testing::TestWithParam<size_case> {};

// Whatever the number of threads, the blocks are the same; edge blocks of sizes that are not a
// multiple of 4 hold the picture's own pixels, so the decoded picture stays close to it.
TEST_P(DxtCompressSizes, SameBlocksOnAnyThreadCountAndEdgesKeepThePicture) {
    const size_case c = GetParam();
    const auto rgba = gradient(c.width, c.height);
    const auto one = compress_dxt_on(rgba, c.width, c.height, c.kind, false, 1);
    ASSERT_EQ(one.size(),
              size_t((c.width + 3) / 4) * ((c.height + 3) / 4) * dxt_block_bytes(c.kind));
    for (unsigned threads : {2u, 3u, 8u})
        EXPECT_EQ(compress_dxt_on(rgba, c.width, c.height, c.kind, false, threads), one)
            << threads << " threads";
    EXPECT_EQ(compress_dxt(rgba, c.width, c.height, c.kind), one);

    std::vector<uint8_t> input = rgba;
    if (c.kind == dxt_kind::dxt1)
        for (size_t i = 3; i < input.size(); i += 4)
            input[i] = 255;
    const auto back = decoded_rgba(one, c.width, c.height, c.kind);
    EXPECT_GE(psnr(input, back, c.kind == dxt_kind::dxt5), 30.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, DxtCompressSizes,
    ::testing::Values(size_case{1, 1, dxt_kind::dxt1}, size_case{3, 2, dxt_kind::dxt5},
                      size_case{5, 7, dxt_kind::dxt1}, size_case{13, 9, dxt_kind::dxt3},
                      size_case{64, 36, dxt_kind::dxt5}, size_case{130, 66, dxt_kind::dxt1}));

// DXT1 keeps alpha only when asked: pixels below 128 become transparent, the rest opaque.
TEST(DxtCompress, Dxt1OneBitAlphaOnlyWhenAsked) {
    const uint32_t w = 8, h = 8;
    auto rgba = gradient(w, h);
    for (uint32_t i = 0; i < w * h; ++i)
        rgba[i * 4 + 3] = (i % 3 == 0) ? 0 : 255;
    const auto opaque =
        decoded_rgba(compress_dxt(rgba, w, h, dxt_kind::dxt1), w, h, dxt_kind::dxt1);
    const auto cut =
        decoded_rgba(compress_dxt(rgba, w, h, dxt_kind::dxt1, true), w, h, dxt_kind::dxt1);
    for (uint32_t i = 0; i < w * h; ++i) {
        EXPECT_EQ(opaque[i * 4 + 3], 255) << "pixel " << i;
        EXPECT_EQ(cut[i * 4 + 3], rgba[i * 4 + 3]) << "pixel " << i;
    }
}

TEST(DxtCompress, ShortOrEmptyPictureGivesNoBlocks) {
    const std::vector<uint8_t> rgba(4 * 4 * 4 - 1);
    EXPECT_TRUE(compress_dxt(rgba, 4, 4, dxt_kind::dxt5).empty());
    EXPECT_TRUE(compress_dxt(rgba, 0, 4, dxt_kind::dxt1).empty());
    EXPECT_TRUE(compress_dxt({}, 0x10000, 0x10000, dxt_kind::dxt1).empty());
}

} // namespace

} // namespace quillmap
