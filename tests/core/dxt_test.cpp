#include "raster/dxt.h"
#include "raster/pixel_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace quillmap {

namespace {

// Straightforward decoding of the published block formats with the widening and division rules
// of the decoder, written pixel by pixel, to compare the fast decoder with.
struct rgba {
    uint32_t r, g, b, a;
};

// Direct3D's widening: the field's bits repeated down to eight.
uint32_t widen(uint32_t f, uint32_t bits) {
    uint32_t v = 0;
    for (int shift = 8 - int(bits); shift > -int(bits); shift -= int(bits))
        v |= shift >= 0 ? f << shift : f >> -shift;
    return v & 0xFF;
}

std::array<rgba, 4> reference_colours(const uint8_t* c, bool four) {
    const uint32_t c0 = c[0] | c[1] << 8, c1 = c[2] | c[3] << 8;
    const rgba a{widen(c0 >> 11, 5), widen((c0 >> 5) & 63, 6), widen(c0 & 31, 5), 255};
    const rgba b{widen(c1 >> 11, 5), widen((c1 >> 5) & 63, 6), widen(c1 & 31, 5), 255};
    if (four || c0 > c1)
        return {a, b, rgba{(2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3, 255},
                rgba{(a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3, 255}};
    return {a, b, rgba{(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255}, rgba{0, 0, 0, 0}};
}

std::vector<uint8_t> reference_pack(uint32_t code, rgba p) {
    switch (code) {
    case 0x565: {
        const uint32_t v = (p.r >> 3) << 11 | (p.g >> 2) << 5 | (p.b >> 3);
        return {uint8_t(v), uint8_t(v >> 8)};
    }
    case 0x4444: {
        const uint32_t v = (p.r >> 4) << 12 | (p.g >> 4) << 8 | (p.b >> 4) << 4 | (p.a >> 4);
        return {uint8_t(v), uint8_t(v >> 8)};
    }
    case 0x888:
        return {uint8_t(p.r), uint8_t(p.g), uint8_t(p.b)};
    case 0x8888:
        return {uint8_t(p.b), uint8_t(p.g), uint8_t(p.r), uint8_t(p.a)};
    default: {
        const uint32_t v = (p.r >> 3) << 10 | (p.g >> 3) << 5 | (p.b >> 3) | (p.a ? 0x8000 : 0);
        return {uint8_t(v), uint8_t(v >> 8)};
    }
    }
}

enum class fmt { dxt1, dxt3, dxt5 };

std::vector<uint8_t> reference_decode(fmt f, uint32_t w, uint32_t h, const std::vector<uint8_t>& in,
                                      uint32_t levels, uint32_t code) {
    const uint32_t block = f == fmt::dxt1 ? 8 : 16;
    const uint32_t size = reference_pack(code, {}).size();
    std::vector<uint8_t> out;
    size_t pos = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        if (level) {
            pos += 4;
            w /= 2;
            h /= 2;
        }
        std::vector<uint8_t> lv(size_t(w) * h * size);
        for (uint32_t by = 0; by < (h + 3) / 4; ++by)
            for (uint32_t bx = 0; bx < (w + 3) / 4; ++bx, pos += block) {
                const uint8_t* b = in.data() + pos;
                const uint8_t* c = f == fmt::dxt1 ? b : b + 8;
                const auto colours = reference_colours(c, f != fmt::dxt1);
                const uint32_t idx = c[4] | c[5] << 8 | c[6] << 16 | uint32_t(c[7]) << 24;
                uint32_t alpha_table[8] = {};
                uint64_t alpha_bits = 0;
                if (f == fmt::dxt5) {
                    const uint32_t a0 = b[0], a1 = b[1];
                    alpha_table[0] = a0;
                    alpha_table[1] = a1;
                    if (a0 > a1) {
                        for (uint32_t i = 1; i <= 6; ++i)
                            alpha_table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
                    } else {
                        for (uint32_t i = 1; i <= 4; ++i)
                            alpha_table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
                        alpha_table[6] = 0;
                        alpha_table[7] = 255;
                    }
                    for (int i = 0; i < 6; ++i)
                        alpha_bits |= uint64_t(b[2 + i]) << (8 * i);
                }
                for (uint32_t k = 0; k < 16; ++k) {
                    const uint32_t x = bx * 4 + k % 4, y = by * 4 + k / 4;
                    if (x >= w || y >= h) continue;
                    rgba p = colours[(idx >> (2 * k)) & 3];
                    if (f == fmt::dxt3) p.a = widen((k & 1) ? b[k / 2] >> 4 : b[k / 2] & 15, 4);
                    if (f == fmt::dxt5) p.a = alpha_table[(alpha_bits >> (3 * k)) & 7];
                    const auto bytes = reference_pack(code, p);
                    std::copy(bytes.begin(), bytes.end(), lv.begin() + (size_t(y) * w + x) * size);
                }
            }
        out.insert(out.end(), lv.begin(), lv.end());
    }
    return out;
}

bool decode(fmt f, uint32_t w, uint32_t h, std::span<const uint8_t> in, std::span<uint8_t> out,
            uint32_t levels, uint32_t code) {
    switch (f) {
    case fmt::dxt1:
        return decode_dxt1(w, h, in, out, levels, code);
    case fmt::dxt3:
        return decode_dxt3(w, h, in, out, levels, code);
    default:
        return decode_dxt5(w, h, in, out, levels, code);
    }
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

std::vector<uint8_t> dxt1_block(uint16_t c0, uint16_t c1, uint32_t indices) {
    return {uint8_t(c0),
            uint8_t(c0 >> 8),
            uint8_t(c1),
            uint8_t(c1 >> 8),
            uint8_t(indices),
            uint8_t(indices >> 8),
            uint8_t(indices >> 16),
            uint8_t(indices >> 24)};
}

} // namespace

// Golden values of the widening every PC, XBOX and mobile reader shares (DXT end-points and
// alphas, 16-bit pixels): the top field is 255, the top bits give the field back, and the
// values of the published bit replication.
TEST(DxtWiden, FieldsToEightBitsByBitReplication) {
    struct row {
        uint32_t bits, field;
        uint8_t want;
    };
    const row rows[] = {
        {4, 0, 0},    {4, 1, 17},   {4, 7, 119},  {4, 8, 136},  {4, 14, 238}, {4, 15, 255},
        {5, 0, 0},    {5, 1, 8},    {5, 3, 24},   {5, 7, 57},   {5, 16, 132}, {5, 20, 165},
        {5, 29, 239}, {5, 30, 247}, {5, 31, 255}, {6, 0, 0},    {6, 1, 4},    {6, 11, 44},
        {6, 32, 130}, {6, 53, 215}, {6, 62, 251}, {6, 63, 255},
    };
    for (const row& r : rows) {
        const uint8_t got = r.bits == 4   ? widen_4bit(r.field)
                            : r.bits == 5 ? widen_5bit(r.field)
                                          : widen_6bit(r.field);
        EXPECT_EQ(got, r.want) << r.bits << " bits, field " << r.field;
    }
    for (uint32_t bits : {4u, 5u, 6u})
        for (uint32_t f = 0; f < (1u << bits); ++f) {
            const uint32_t got = bits == 4   ? widen_4bit(f)
                                 : bits == 5 ? widen_5bit(f)
                                             : widen_6bit(f);
            EXPECT_EQ(got, widen(f, bits)) << bits << " bits, field " << f;
            EXPECT_EQ(got >> (8 - bits), f) << bits << " bits, field " << f;
            EXPECT_LE(std::abs(int(got) - int(std::lround(f * 255.0 / ((1 << bits) - 1)))), 1);
        }
    // Fields arrive unmasked: only their own bits count.
    EXPECT_EQ(widen_5bit(0xFFE0 | 3), 24);
    EXPECT_EQ(widen_6bit(0xFFC0 | 1), 4);
    EXPECT_EQ(widen_4bit(0xF1), 17);
}

TEST(DxtPack, OutputCodes) {
    EXPECT_EQ(pack_pixel(0x565, 0xFF, 0xFF, 0xFF, 0), 0xFFFFu);
    EXPECT_EQ(pack_pixel(0x4444, 0x10, 0x20, 0x30, 0xF0), 0x123Fu);
    EXPECT_EQ(pack_pixel(0x1555, 0xF8, 0, 0, 1), 0xFC00u);
    EXPECT_EQ(pack_pixel(0x1555, 0xF8, 0, 0, 0), 0x7C00u);
    EXPECT_EQ(pack_pixel(0x8888, 1, 2, 3, 4), 0x04010203u);
    EXPECT_EQ(pack_pixel(0x888, 1, 2, 3, 4), 0x030201u);
    EXPECT_EQ(dxt_pixel_size(0x888), 3u);
    EXPECT_EQ(dxt_pixel_size(0x8888), 4u);
    EXPECT_EQ(dxt_pixel_size(0x1555), 2u);
}

TEST(Dxt1, ThreeColourBlockWithIndex3IsTransparentBlack) {
    const auto block = dxt1_block(0x0000, 0xFFFF, 0xFFFFFFFF);
    std::vector<uint8_t> out16(4 * 4 * 2, 0xAA), out32(4 * 4 * 4, 0xAA);
    ASSERT_TRUE(decode_dxt1(4, 4, block, out16, 1, 0x1555));
    ASSERT_TRUE(decode_dxt1(4, 4, block, out32, 1, 0x8888));
    EXPECT_TRUE(std::all_of(out16.begin(), out16.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(out32.begin(), out32.end(), [](uint8_t b) { return b == 0; }));
}

TEST(Dxt1, FourColourBlockIndex2IsTwoThirdsOfColour0) {
    const auto block = dxt1_block(0xFFFF, 0x0000, 0xAAAAAAAA);
    std::vector<uint8_t> out(4 * 4 * 4);
    ASSERT_TRUE(decode_dxt1(4, 4, block, out, 1, 0x8888));
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(out[4 * i], 170);
        EXPECT_EQ(out[4 * i + 1], 170);
        EXPECT_EQ(out[4 * i + 2], 170);
        EXPECT_EQ(out[4 * i + 3], 255);
    }
}

// Direct3D widens a 4-bit alpha as n·17: the opaque nibble is 255 in every output layout.
TEST(Dxt3, AlphaNibbleFIsOpaque) {
    std::vector<uint8_t> block(16, 0xFF); // all alpha nibbles F, colour 0xFFFF, indices 3
    std::vector<uint8_t> out4444(32), out1555(32), out8888(64);
    ASSERT_TRUE(decode_dxt3(4, 4, block, out4444, 1, 0x4444));
    ASSERT_TRUE(decode_dxt3(4, 4, block, out1555, 1, 0x1555));
    ASSERT_TRUE(decode_dxt3(4, 4, block, out8888, 1, 0x8888));
    EXPECT_EQ(out4444[0] & 0x0F, 0x0F);
    EXPECT_EQ(out1555[1] & 0x80, 0x80);
    EXPECT_EQ(out8888[3], 0xFF);
    for (uint8_t n = 0; n < 16; ++n) {
        std::fill(block.begin(), block.begin() + 8, uint8_t(n | n << 4));
        ASSERT_TRUE(decode_dxt3(4, 4, block, out8888, 1, 0x8888));
        EXPECT_EQ(out8888[3], n * 17) << int(n);
        EXPECT_EQ(out8888[63], n * 17) << int(n);
    }
}

TEST(Dxt3, AlwaysFourColours) {
    // colour 0 <= colour 1 would mean transparent black in DXT1; DXT3 interpolates.
    std::vector<uint8_t> block(8, 0xFF);
    const auto colour = dxt1_block(0x0000, 0xFFFF, 0xFFFFFFFF);
    block.insert(block.end(), colour.begin(), colour.end());
    std::vector<uint8_t> out(64);
    ASSERT_TRUE(decode_dxt3(4, 4, block, out, 1, 0x8888));
    EXPECT_EQ(out[0], 170); // (0 + 2·255) / 3
    EXPECT_EQ(out[3], 0xFF);
}

TEST(Dxt5, AlphaTables) {
    struct row {
        uint8_t a0, a1;
        std::array<uint8_t, 8> values;
    };
    const row table[] = {
        {255, 0, {255, 0, 218, 182, 145, 109, 72, 36}},
        {0, 255, {0, 255, 51, 102, 153, 204, 0, 255}},
        {100, 100, {100, 100, 100, 100, 100, 100, 0, 255}},
    };
    for (const auto& r : table)
        for (uint32_t index = 0; index < 8; ++index) {
            // Every pixel uses `index`; 3-bit indices packed in 48 bits.
            uint64_t bits = 0;
            for (int k = 0; k < 16; ++k)
                bits |= uint64_t(index) << (3 * k);
            std::vector<uint8_t> block = {r.a0, r.a1};
            for (int i = 0; i < 6; ++i)
                block.push_back(uint8_t(bits >> (8 * i)));
            const auto colour = dxt1_block(0xFFFF, 0x0000, 0);
            block.insert(block.end(), colour.begin(), colour.end());
            std::vector<uint8_t> out(64);
            ASSERT_TRUE(decode_dxt5(4, 4, block, out, 1, 0x8888));
            for (int k = 0; k < 16; ++k)
                EXPECT_EQ(out[4 * k + 3], r.values[index])
                    << int(r.a0) << "/" << int(r.a1) << " index " << index;
        }
}

TEST(DxtLevels, TwoByTwoLevelWritesExactlyFourPixels) {
    const auto block = dxt1_block(0xFFFF, 0x0000, 0);
    std::vector<uint8_t> out(4 * 4 + 8, 0xAB);
    ASSERT_TRUE(decode_dxt1(2, 2, block, std::span(out).first(16), 1, 0x8888));
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 16, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(out.begin() + 16, out.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST(DxtLevels, SixtyFourSquareSevenLevelsRead2768Bytes) {
    EXPECT_EQ(dxt_input_bytes(64, 64, 7, 8), 2768u);
    // Each level's blocks carry the level number in colour 0 (indices 0), so the last three
    // (4x4, 2x2, 1x1) show whether each was read from its own single block.
    std::vector<uint8_t> in;
    uint32_t w = 64, h = 64;
    for (uint32_t level = 0; level < 7; ++level) {
        if (level) {
            in.insert(in.end(), {0xEE, 0xEE, 0xEE, 0xEE}); // level size, skipped
            w /= 2;
            h /= 2;
        }
        for (uint32_t b = 0; b < ((w + 3) / 4) * ((h + 3) / 4); ++b) {
            const auto block = dxt1_block(uint16_t((level + 1) << 11), 0, 0);
            in.insert(in.end(), block.begin(), block.end());
        }
    }
    ASSERT_EQ(in.size(), 2768u);
    const uint64_t out_bytes = dxt_output_bytes(64, 64, 7, 0x8888);
    EXPECT_EQ(out_bytes, 4u * (4096 + 1024 + 256 + 64 + 16 + 4 + 1));
    std::vector<uint8_t> out(out_bytes);
    ASSERT_TRUE(decode_dxt1(64, 64, in, out, 7, 0x8888));
    size_t at = 0;
    w = 64;
    h = 64;
    for (uint32_t level = 0; level < 7; ++level) {
        EXPECT_EQ(out[at + 2], widen_5bit(level + 1)) << "level " << level; // red
        at += size_t(w) * h * 4;
        w /= 2;
        h /= 2;
    }
    // One byte short: the decoder stops rather than read past the input.
    std::vector<uint8_t> short_in(in.begin(), in.end() - 1);
    EXPECT_FALSE(decode_dxt1(64, 64, short_in, out, 7, 0x8888));
}

TEST(DxtLevels, OutputTooSmallWritesNothing) {
    const auto in = random_bytes(8 * 16, 3);
    std::vector<uint8_t> out(16 * 16 * 2 - 1, 0x5A);
    EXPECT_FALSE(decode_dxt1(16, 16, in, out, 1, 0x565));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST(DxtLevels, HugeLevelCountsEndWithTheInput) {
    const auto in = random_bytes(64, 4);
    std::vector<uint8_t> out(dxt_output_bytes(4, 4, 0xFFFFFFFF, 0x8888));
    EXPECT_EQ(out.size(), 4u * (16 + 4 + 1));
    EXPECT_FALSE(decode_dxt1(4, 4, in, out, 0xFFFFFFFF, 0x8888));
}

TEST(DxtBlock, DecodesIntoTheCallersLevel) {
    const auto block = dxt1_block(0xF800, 0x001F, 0x00000000);
    std::vector<uint8_t> level(6 * 6 * 4, 0);
    ASSERT_TRUE(
        decode_dxt1_block(4, 4, 6, 6, std::span<const uint8_t, 8>(block.data(), 8), level, 0x8888));
    // Only the 2x2 corner inside the 6x6 level is written.
    for (uint32_t y = 0; y < 6; ++y)
        for (uint32_t x = 0; x < 6; ++x)
            EXPECT_EQ(level[(y * 6 + x) * 4 + 2], (x >= 4 && y >= 4) ? 255 : 0) << x << "," << y;
    std::vector<uint8_t> small(10);
    EXPECT_FALSE(
        decode_dxt1_block(0, 0, 6, 6, std::span<const uint8_t, 8>(block.data(), 8), small, 0x8888));
}

struct dxt_case {
    fmt f;
    uint32_t w, h, levels, code;
};

class DxtAgainstReference : public ::testing::TestWithParam<dxt_case> {};

TEST_P(DxtAgainstReference, SameBytes) {
    const auto c = GetParam();
    const uint32_t block = c.f == fmt::dxt1 ? 8 : 16;
    const auto in = random_bytes(dxt_input_bytes(c.w, c.h, c.levels, block), c.w * 131 + c.code);
    std::vector<uint8_t> out(dxt_output_bytes(c.w, c.h, c.levels, c.code), 0);
    ASSERT_TRUE(decode(c.f, c.w, c.h, in, out, c.levels, c.code));
    EXPECT_EQ(out, reference_decode(c.f, c.w, c.h, in, std::max(c.levels, 1u), c.code));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DxtAgainstReference,
    ::testing::Values(dxt_case{fmt::dxt1, 64, 64, 7, 0x8888}, dxt_case{fmt::dxt1, 32, 16, 3, 0x565},
                      dxt_case{fmt::dxt1, 13, 7, 2, 0x1555}, dxt_case{fmt::dxt1, 8, 8, 1, 0x888},
                      dxt_case{fmt::dxt1, 16, 16, 0, 0x4444},
                      dxt_case{fmt::dxt3, 64, 32, 4, 0x8888}, dxt_case{fmt::dxt3, 17, 9, 2, 0x4444},
                      dxt_case{fmt::dxt3, 8, 8, 1, 0x1555}, dxt_case{fmt::dxt3, 4, 4, 1, 0x888},
                      dxt_case{fmt::dxt5, 32, 32, 6, 0x8888}, dxt_case{fmt::dxt5, 5, 3, 1, 0x4444},
                      dxt_case{fmt::dxt5, 16, 8, 2, 0x565}));

} // namespace quillmap
