#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/dxt_compress.h"
#include "imageio/texture_rgba.h"
#include "raster/dxt.h"

#include <squish.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

// Hostile pictures of 64x64 pixels, one kind of block throughout; `seed` varies the colours.
using picture_maker = std::vector<uint8_t> (*)(std::mt19937& random);
constexpr uint32_t k_hostile_side = 64;

// Calls `pixel(x, y, block_random, p)` for every pixel; block_random is one number per block.
template <typename Fn> std::vector<uint8_t> blocks_of(std::mt19937& random, Fn pixel) {
    std::vector<uint8_t> rgba(size_t(k_hostile_side) * k_hostile_side * 4);
    std::vector<uint32_t> per_block(size_t(k_hostile_side / 4) * (k_hostile_side / 4));
    for (auto& b : per_block)
        b = random();
    for (uint32_t y = 0; y < k_hostile_side; ++y)
        for (uint32_t x = 0; x < k_hostile_side; ++x)
            pixel(x, y, per_block[(y / 4) * (k_hostile_side / 4) + x / 4],
                  &rgba[(size_t(y) * k_hostile_side + x) * 4]);
    return rgba;
}

void put(uint8_t* p, uint32_t rgb, uint8_t alpha) {
    p[0] = uint8_t(rgb);
    p[1] = uint8_t(rgb >> 8);
    p[2] = uint8_t(rgb >> 16);
    p[3] = alpha;
}

// Every block one colour (and one alpha): exact or nearly so through the blend tables.
std::vector<uint8_t> one_colour_blocks(std::mt19937& random) {
    return blocks_of(random, [](uint32_t, uint32_t, uint32_t seed, uint8_t* p) {
        put(p, seed, uint8_t(seed >> 24));
    });
}

// Every block two colours in a pattern of its own.
std::vector<uint8_t> two_colour_blocks(std::mt19937& random) {
    std::vector<uint32_t> second(256);
    for (auto& c : second)
        c = random();
    return blocks_of(random, [&](uint32_t x, uint32_t y, uint32_t seed, uint8_t* p) {
        const bool other = (seed >> ((y % 4) * 4 + x % 4)) & 1;
        put(p, other ? second[seed & 0xFF] : seed, 255);
    });
}

// Black beside a textured colour, as on the edge of a cut-out drawn on black.
std::vector<uint8_t> black_beside_texture(std::mt19937& random) {
    return blocks_of(random, [&](uint32_t x, uint32_t y, uint32_t seed, uint8_t* p) {
        const bool black = (x % 4) + (y % 4) < 1 + seed % 5;
        const uint32_t grain = random() % 24;
        const uint32_t base = seed & 0x7F7F7F;
        put(p, black ? 0 : base + grain * 0x010101, 255);
    });
}

// Random colours and alpha in every pixel.
std::vector<uint8_t> noise(std::mt19937& random) {
    return blocks_of(random, [&](uint32_t, uint32_t, uint32_t, uint8_t* p) {
        const uint32_t v = random();
        put(p, v, uint8_t(v >> 24));
    });
}

// Alpha of 0 and 255 beside graded alpha in each block, over a smooth colour.
std::vector<uint8_t> extremes_and_grades(std::mt19937& random) {
    return blocks_of(random, [&](uint32_t x, uint32_t y, uint32_t seed, uint8_t* p) {
        const uint32_t k = (y % 4) * 4 + x % 4;
        const uint8_t alpha = k % 5 == 0   ? 0
                              : k % 5 == 1 ? 255
                                           : uint8_t((seed >> 8) % 200 + k * 3);
        put(p, 0x203040 + x * 0x000301 + y * 0x010200, alpha);
    });
}

// Blocks wholly transparent over random colours, beside opaque ones.
std::vector<uint8_t> transparent_blocks(std::mt19937& random) {
    return blocks_of(random, [&](uint32_t x, uint32_t y, uint32_t seed, uint8_t* p) {
        put(p, random(), seed % 3 == 0 ? 255 : 0);
        if (seed % 3 == 0) put(p, 0x406080 + x * 0x000102 + y * 0x020100, 255);
    });
}

// Cut-out with 1-bit alpha: some pixels of each block gone, the rest a gradient.
std::vector<uint8_t> punched_through(std::mt19937& random) {
    return blocks_of(random, [&](uint32_t x, uint32_t y, uint32_t seed, uint8_t* p) {
        const bool gone = (seed >> ((y % 4) * 4 + x % 4)) & (seed >> 16) & 1;
        put(p, 0x102030 + x * 0x010302 + y * 0x020101, gone ? 0 : 255);
    });
}

struct quality_case {
    const char* name;
    const char* file;   // a sample texture, or
    uint32_t texture;   //
    picture_maker make; // a hostile picture
    dxt_kind kind;
    bool one_bit_alpha;
};

void PrintTo(const quality_case& c, std::ostream* os) {
    *os << c.name;
}

class DxtCompressQuality : public ::testing::TestWithParam<quality_case> {};

// Real textures and hostile blocks: the result never falls more than a tenth of a decibel below
// libsquish's cluster fit compressing the whole picture by itself, counting alpha as the format
// keeps it (opaque DXT1 must stay opaque, 1-bit alpha must keep its holes).
TEST_P(DxtCompressQuality, WithinATenthOfADecibelOfTheClusterFit) {
    const quality_case c = GetParam();
    rgba_image picture;
    if (c.file) {
        SKIP_WITHOUT_SAMPLES();
        auto probe = probe_dictionary(sample(c.file), 0, k_all_platforms);
        ASSERT_TRUE(probe.dictionary) << probe.reason;
        std::string error;
        picture = texture_rgba(*probe.dictionary, c.texture, 0, error);
        ASSERT_FALSE(picture.rgba.empty()) << error;
    } else {
        std::mt19937 random(7);
        picture.width = picture.height = k_hostile_side;
        picture.rgba = c.make(random);
    }
    std::vector<uint8_t> input = picture.rgba;
    for (size_t i = 3; i < input.size(); i += 4)
        if (c.kind == dxt_kind::dxt1) input[i] = !c.one_bit_alpha || input[i] >= 128 ? 255 : 0;

    const auto blocks = compress_dxt(input, picture.width, picture.height, c.kind, c.one_bit_alpha);
    ASSERT_EQ(blocks.size(), size_t((picture.width + 3) / 4) * ((picture.height + 3) / 4) *
                                 dxt_block_bytes(c.kind));
    const bool alpha = c.kind != dxt_kind::dxt3; // both give DXT3 the same four bits
    const double ours =
        psnr(input, decoded_rgba(blocks, picture.width, picture.height, c.kind), alpha);

    std::vector<uint8_t> reference(blocks.size());
    squish::CompressImage(input.data(), int(picture.width), int(picture.height), reference.data(),
                          reference_flags(c.kind));
    const double squish_db =
        psnr(input, decoded_rgba(reference, picture.width, picture.height, c.kind), alpha);

    EXPECT_GE(ours, squish_db - 0.1) << c.name << ": libsquish " << squish_db << " dB";
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DxtCompressQuality,
    ::testing::Values(
        quality_case{"hud", "sav4_HUD.TXD", 0, nullptr, dxt_kind::dxt1, false},
        quality_case{"police", "cspolic.txd", 0, nullptr, dxt_kind::dxt1, false},
        quality_case{"ambulance", "AMBULAN.TXD", 0, nullptr, dxt_kind::dxt5, false},
        quality_case{"demo", "tdem_tde.txd", 0, nullptr, dxt_kind::dxt5, false},
        quality_case{"cursor", "crsr_hud.txd", 1, nullptr, dxt_kind::dxt5, false},
        quality_case{"cursor_punched", "crsr_hud.txd", 1, nullptr, dxt_kind::dxt1, true},
        quality_case{"misc", "g3le_MISC.TXD", 2, nullptr, dxt_kind::dxt3, false},
        quality_case{"one_colour_dxt1", nullptr, 0, one_colour_blocks, dxt_kind::dxt1, false},
        quality_case{"one_colour_dxt5", nullptr, 0, one_colour_blocks, dxt_kind::dxt5, false},
        quality_case{"two_colours_dxt1", nullptr, 0, two_colour_blocks, dxt_kind::dxt1, false},
        quality_case{"two_colours_dxt5", nullptr, 0, two_colour_blocks, dxt_kind::dxt5, false},
        quality_case{"black_dxt1", nullptr, 0, black_beside_texture, dxt_kind::dxt1, false},
        quality_case{"black_dxt5", nullptr, 0, black_beside_texture, dxt_kind::dxt5, false},
        quality_case{"noise_dxt1", nullptr, 0, noise, dxt_kind::dxt1, false},
        quality_case{"noise_dxt5", nullptr, 0, noise, dxt_kind::dxt5, false},
        quality_case{"alpha_extremes", nullptr, 0, extremes_and_grades, dxt_kind::dxt5, false},
        quality_case{"transparent_dxt5", nullptr, 0, transparent_blocks, dxt_kind::dxt5, false},
        quality_case{"transparent_dxt3", nullptr, 0, transparent_blocks, dxt_kind::dxt3, false},
        quality_case{"punched_dxt1", nullptr, 0, punched_through, dxt_kind::dxt1, true}),
    [](const auto& info) { return std::string(info.param.name); });

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
