#include "raster/ps2_swizzling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace quillmap {

namespace {

// The mapping as a sum of its five terms, written out independently of the library so that the
// block-wise conversions are checked against the per-pixel definition.
uint32_t reference_offset(uint32_t x, uint32_t y, uint32_t w) {
    const uint32_t row = ((y & ~3u) | ((y & 1u) << 1)) * w;
    const uint32_t col = 2 * (x & ~15u);
    const uint32_t grp = 4 * ((((y + 2) & ~3u) + x) & 7u);
    return row + col + grp + ((x >> 2) & 2u) + ((y >> 1) & 1u);
}

uint8_t get_nibble(const std::vector<uint8_t>& b, uint32_t p) {
    return (p & 1) ? b[p / 2] >> 4 : b[p / 2] & 0x0F;
}
void set_nibble(std::vector<uint8_t>& b, uint32_t p, uint8_t v) {
    if (p & 1)
        b[p / 2] = uint8_t((b[p / 2] & 0x0F) | v << 4);
    else
        b[p / 2] = uint8_t((b[p / 2] & 0xF0) | (v & 0x0F));
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

std::vector<uint8_t> reference_unswizzle8(const std::vector<uint8_t>& in, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(in.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            out[y * w + x] = in[reference_offset(x, y, w)];
    return out;
}
std::vector<uint8_t> reference_swizzle8(const std::vector<uint8_t>& in, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(in.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            out[reference_offset(x, y, w)] = in[y * w + x];
    return out;
}
std::vector<uint8_t> reference_unswizzle4(const std::vector<uint8_t>& in, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(in.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            set_nibble(out, y * w + x, get_nibble(in, reference_offset(x, y, w)));
    return out;
}
std::vector<uint8_t> reference_swizzle4(const std::vector<uint8_t>& in, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(in.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            set_nibble(out, reference_offset(x, y, w), get_nibble(in, y * w + x));
    return out;
}

struct worked_value {
    uint32_t x, y, position;
};

} // namespace

TEST(SwizzleOffset, WorkedValuesAtWidth16) {
    const worked_value table[] = {{0, 0, 0},  {1, 0, 4},  {4, 0, 16}, {8, 0, 2},
                                  {0, 1, 32}, {0, 2, 17}, {0, 3, 49}, {0, 4, 80}};
    for (const auto& row : table)
        EXPECT_EQ(ps2_swizzling::swizzle_offset(row.x, row.y, 16), row.position)
            << "(" << row.x << ", " << row.y << ")";
}

TEST(SwizzleOffset, IsAPermutationExactlyAtBlockMultiples) {
    for (uint32_t w : {16u, 32u, 48u, 64u})
        for (uint32_t h : {4u, 8u, 12u, 32u}) {
            std::vector<int> hits(w * h, 0);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t p = ps2_swizzling::swizzle_offset(x, y, w);
                    ASSERT_LT(p, w * h);
                    ++hits[p];
                }
            EXPECT_TRUE(std::all_of(hits.begin(), hits.end(), [](int n) { return n == 1; }))
                << w << "x" << h;
        }
    // Width 8: positions fall outside the buffer, so the size is refused.
    EXPECT_FALSE(ps2_swizzling::is_permutation_size(8, 8));
    EXPECT_FALSE(ps2_swizzling::is_permutation_size(16, 6));
    EXPECT_TRUE(ps2_swizzling::is_permutation_size(16, 4));
}

class SwizzleSizes : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(SwizzleSizes, EightBitMatchesTheDefinition) {
    const auto [w, h] = GetParam();
    const auto original = random_bytes(size_t(w) * h, w * 31 + h);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::unswizzle8(buffer, w, h));
    EXPECT_EQ(buffer, reference_unswizzle8(original, w, h));
    buffer = original;
    ASSERT_TRUE(ps2_swizzling::swizzle8(buffer, w, h));
    EXPECT_EQ(buffer, reference_swizzle8(original, w, h));
}

TEST_P(SwizzleSizes, EightBitRoundTripsBothWays) {
    const auto [w, h] = GetParam();
    const auto original = random_bytes(size_t(w) * h, w + h);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::swizzle8(buffer, w, h));
    EXPECT_NE(buffer, original);
    ASSERT_TRUE(ps2_swizzling::unswizzle8(buffer, w, h));
    EXPECT_EQ(buffer, original);
    ASSERT_TRUE(ps2_swizzling::unswizzle8(buffer, w, h));
    ASSERT_TRUE(ps2_swizzling::swizzle8(buffer, w, h));
    EXPECT_EQ(buffer, original);
}

// Widths of 32 and more: unswizzle4 takes width 16 as 32 (tested on its own below).
class SwizzleSizes4 : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(SwizzleSizes4, FourBitMatchesTheDefinition) {
    const auto [w, h] = GetParam();
    const auto original = random_bytes(size_t(w) * h / 2, w * 7 + h);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::unswizzle4(buffer, w, h));
    EXPECT_EQ(buffer, reference_unswizzle4(original, w, h));
    buffer = original;
    ASSERT_TRUE(ps2_swizzling::swizzle4(buffer, w, h));
    EXPECT_EQ(buffer, reference_swizzle4(original, w, h));
}

TEST_P(SwizzleSizes4, FourBitRoundTripsAtWidth32AndMore) {
    const auto [w, h] = GetParam();
    const auto original = random_bytes(size_t(w) * h / 2, w ^ h);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::swizzle4(buffer, w, h));
    EXPECT_NE(buffer, original);
    ASSERT_TRUE(ps2_swizzling::unswizzle4(buffer, w, h));
    EXPECT_EQ(buffer, original);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SwizzleSizes,
                         ::testing::Values(std::pair{16u, 4u}, std::pair{16u, 16u},
                                           std::pair{32u, 8u}, std::pair{48u, 12u},
                                           std::pair{64u, 64u}, std::pair{128u, 32u},
                                           std::pair{256u, 128u}, std::pair{1024u, 8u}));
INSTANTIATE_TEST_SUITE_P(Sizes, SwizzleSizes4,
                         ::testing::Values(std::pair{32u, 4u}, std::pair{32u, 8u},
                                           std::pair{48u, 12u}, std::pair{64u, 64u},
                                           std::pair{128u, 32u}, std::pair{256u, 128u},
                                           std::pair{1024u, 8u}));

TEST(Swizzle, Unswizzle4AtWidth16WorksAsWidth32) {
    const uint32_t h = 8;
    const auto original = random_bytes(16 * h, 5);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::unswizzle4(buffer, 16, h));
    EXPECT_EQ(buffer, reference_unswizzle4(original, 32, h));
    // Half the bytes are not enough for the widened image: the buffer stays as it was.
    std::vector<uint8_t> half(original.begin(), original.begin() + 8 * h);
    const auto before = half;
    EXPECT_FALSE(ps2_swizzling::unswizzle4(half, 16, h));
    EXPECT_EQ(half, before);
}

TEST(Swizzle, Swizzle4AtWidth16KeepsWidth16) {
    const uint32_t h = 8;
    const auto original = random_bytes(8 * h, 6);
    auto buffer = original;
    ASSERT_TRUE(ps2_swizzling::swizzle4(buffer, 16, h));
    EXPECT_EQ(buffer, reference_swizzle4(original, 16, h));
}

TEST(Swizzle, SizesThatAreNoPermutationLeaveTheBufferUnchanged) {
    struct row {
        uint32_t w, h, depth;
    };
    const row table[] = {{8, 8, 8},  {24, 8, 8}, {16, 6, 8}, {8, 8, 4},
                         {40, 8, 4}, {32, 2, 4}, {0, 4, 8},  {16, 0, 8}};
    for (const auto& r : table) {
        const auto original = random_bytes(size_t(r.w ? r.w : 1) * (r.h ? r.h : 1), 9);
        auto buffer = original;
        EXPECT_FALSE(ps2_swizzling::unswizzle_raster(buffer, r.w, r.h, r.depth));
        EXPECT_FALSE(ps2_swizzling::swizzle_raster(buffer, r.w, r.h, r.depth));
        EXPECT_EQ(buffer, original) << r.w << "x" << r.h << " depth " << r.depth;
    }
}

TEST(Swizzle, ShortBuffersAreLeftAlone) {
    auto buffer = random_bytes(64 * 64 - 1, 10);
    const auto before = buffer;
    EXPECT_FALSE(ps2_swizzling::unswizzle8(buffer, 64, 64));
    EXPECT_FALSE(ps2_swizzling::swizzle8(buffer, 64, 64));
    EXPECT_FALSE(ps2_swizzling::unswizzle4(std::span(buffer).first(64 * 32 - 1), 64, 64));
    EXPECT_EQ(buffer, before);
}

TEST(Swizzle, OtherDepthsAreUntouched) {
    for (uint32_t depth : {16u, 24u, 32u}) {
        const auto original = random_bytes(32 * 32 * depth / 8, depth);
        auto buffer = original;
        EXPECT_FALSE(ps2_swizzling::unswizzle_raster(buffer, 32, 32, depth));
        EXPECT_FALSE(ps2_swizzling::swizzle_raster(buffer, 32, 32, depth));
        EXPECT_EQ(buffer, original);
    }
}

TEST(Swizzle, RasterFormsDispatchByDepth) {
    const auto original = random_bytes(64 * 32, 11);
    auto a = original, b = original;
    ASSERT_TRUE(ps2_swizzling::unswizzle_raster(a, 64, 32, 8));
    ASSERT_TRUE(ps2_swizzling::unswizzle8(b, 64, 32));
    EXPECT_EQ(a, b);
    a = original;
    b = original;
    ASSERT_TRUE(ps2_swizzling::swizzle_raster(a, 64, 64, 4));
    ASSERT_TRUE(ps2_swizzling::swizzle4(b, 64, 64));
    EXPECT_EQ(a, b);
}

TEST(NarrowRaster, SixteenWideKeepsTheFirstEightBytesOfEachRow) {
    const uint32_t h = 16;
    const auto raster = random_bytes(16 * h, 12); // stored 32 pixels wide
    const auto wide = reference_unswizzle4(raster, 32, h);
    std::vector<uint8_t> out(8 * h);
    ASSERT_TRUE(ps2_swizzling::unswizzle4_narrow(raster, 16, h, out));
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t i = 0; i < 8; ++i)
            EXPECT_EQ(out[8 * r + i], wide[16 * r + i]);
}

TEST(NarrowRaster, NarrowerThan16KeepsItsOwnColumns) {
    const uint32_t h = 8;
    const auto raster = random_bytes(16 * h, 13);
    const auto wide = reference_unswizzle4(raster, 32, h);
    for (uint32_t w : {8u, 4u, 2u, 1u, 5u}) {
        std::vector<uint8_t> out((w * h + 1) / 2, 0xEE);
        ASSERT_TRUE(ps2_swizzling::unswizzle4_narrow(raster, w, h, out)) << w;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                EXPECT_EQ(get_nibble(out, y * w + x), get_nibble(wide, y * 32 + x))
                    << w << " (" << x << ", " << y << ")";
    }
}

TEST(NarrowRaster, RefusesWhatTheRasterDoesNotHold) {
    const auto raster = random_bytes(16 * 8 - 1, 14);
    std::vector<uint8_t> out(8 * 8, 0xAB);
    EXPECT_FALSE(ps2_swizzling::unswizzle4_narrow(raster, 16, 8, out));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xAB; }));
    const auto enough = random_bytes(16 * 6, 15);
    EXPECT_FALSE(ps2_swizzling::unswizzle4_narrow(enough, 16, 6, out)); // height not 4k
    EXPECT_FALSE(ps2_swizzling::unswizzle4_narrow(enough, 17, 4, out)); // not narrow
}

TEST(PlainCopy, NarrowRasterWithoutTheWideLayoutIsTakenAsItStands) {
    // A swizzled 8x8 4-bit level that holds only its own 32 bytes cannot be in the 32-wide
    // layout; it is copied unchanged rather than read beyond.
    const auto raster = random_bytes(32, 16);
    std::vector<uint8_t> out;
    bool reordered = true;
    ASSERT_TRUE(ps2_swizzling::plain_copy(raster, 8, 8, 4, true, out, &reordered));
    EXPECT_FALSE(reordered);
    EXPECT_EQ(out, raster);
}

TEST(PlainCopy, RefusesShortRasters) {
    const auto raster = random_bytes(64 * 64 - 1, 17);
    std::vector<uint8_t> out;
    EXPECT_FALSE(ps2_swizzling::plain_copy(raster, 64, 64, 8, true, out));
    EXPECT_FALSE(ps2_swizzling::plain_copy(raster, 64, 64, 32, false, out));
}

TEST(PlainCopy, UnswizzlesWhenAsked) {
    const auto raster = random_bytes(64 * 64, 18);
    std::vector<uint8_t> out;
    bool reordered = false;
    ASSERT_TRUE(ps2_swizzling::plain_copy(raster, 64, 64, 8, true, out, &reordered));
    EXPECT_TRUE(reordered);
    EXPECT_EQ(out, reference_unswizzle8(raster, 64, 64));
}

TEST(ClutSlot, ExchangesTheMiddleGroupsOfEvery32) {
    const std::pair<uint32_t, uint32_t> moves[] = {{8, 16}, {16, 8}, {31, 31}, {40, 48},
                                                   {0, 0},  {7, 7},  {15, 23}, {255, 255}};
    for (const auto& [from, to] : moves)
        EXPECT_EQ(ps2_swizzling::clut_slot(from), to) << from;
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(ps2_swizzling::clut_slot(ps2_swizzling::clut_slot(i)), i);
        EXPECT_LT(ps2_swizzling::clut_slot(i), 256u);
    }
}

} // namespace quillmap
