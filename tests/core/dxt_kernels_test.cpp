// The vector DXT decoders give exactly what the scalar decoders give, for every kind of block
// and on every instruction set this machine runs.
#include "raster/dxt.h"
#include "raster/dxt_8888_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace quillmap {

namespace {

constexpr uint32_t k_8888 = 0x8888;

enum class format { dxt1, dxt3, dxt5 };

uint32_t block_bytes(format f) {
    return f == format::dxt1 ? 8 : 16;
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Random blocks, then every colour-endpoint order (c0 > c1, c0 < c1, equal), all-transparent
// DXT1 indices, and for DXT5 every pair of alpha endpoints (both table forms).
std::vector<uint8_t> test_blocks(format f) {
    std::mt19937 rng(uint32_t(f) * 977 + 5);
    const uint32_t size = block_bytes(f);
    const uint32_t colour = f == format::dxt1 ? 0 : 8;
    std::vector<uint8_t> out;
    auto add = [&](auto&& shape) {
        std::vector<uint8_t> block(size);
        for (auto& b : block)
            b = uint8_t(rng());
        shape(block.data());
        out.insert(out.end(), block.begin(), block.end());
    };
    for (int i = 0; i < 2000; ++i)
        add([](uint8_t*) {});
    for (int i = 0; i < 300; ++i) {
        add([&](uint8_t* b) { put16(b + colour + 2, b[colour] | b[colour + 1] << 8); }); // equal
        add([&](uint8_t* b) { put16(b + colour, 0x0000); });     // c0 <= c1: three colours
        add([&](uint8_t* b) { put16(b + colour + 2, 0x0000); }); // c0 >= c1
        add([&](uint8_t* b) { std::fill(b + colour + 4, b + colour + 8, 0xFF); }); // index 3
    }
    add([&](uint8_t* b) { std::fill(b, b + size, 0xFF); });
    add([&](uint8_t* b) { std::fill(b, b + size, 0x00); });
    if (f == format::dxt5)
        for (uint32_t a0 = 0; a0 < 256; ++a0)
            for (uint32_t a1 = 0; a1 < 256; ++a1)
                add([&](uint8_t* b) {
                    b[0] = uint8_t(a0);
                    b[1] = uint8_t(a1);
                });
    return out;
}

// The scalar decoding of a row of blocks, one block at a time.
std::vector<uint8_t> scalar_row(format f, const std::vector<uint8_t>& blocks) {
    const uint32_t count = uint32_t(blocks.size() / block_bytes(f));
    std::vector<uint8_t> out(size_t(count) * 4 * 4 * 4);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* b = blocks.data() + size_t(i) * block_bytes(f);
        const bool ok = f == format::dxt1
                            ? decode_dxt1_block(i * 4, 0, count * 4, 4,
                                                std::span<const uint8_t, 8>(b, 8), out, k_8888)
                        : f == format::dxt3
                            ? decode_dxt3_block(i * 4, 0, count * 4, 4,
                                                std::span<const uint8_t, 16>(b, 16), out, k_8888)
                            : decode_dxt5_block(i * 4, 0, count * 4, 4,
                                                std::span<const uint8_t, 16>(b, 16), out, k_8888);
        EXPECT_TRUE(ok);
    }
    return out;
}

TEST(DxtKernels, EveryKernelMatchesTheScalarDecoderOnEveryBlockKind) {
    int kernel_sets = 0;
    for (simd_isa isa : k_all_simd_isas) {
        const dxt_8888_kernels* kernels = dxt_8888_kernels_for(isa);
        if (!kernels) continue;
        ++kernel_sets;
        for (format f : {format::dxt1, format::dxt3, format::dxt5}) {
            const auto blocks = test_blocks(f);
            const uint32_t count = uint32_t(blocks.size() / block_bytes(f));
            std::vector<uint8_t> out(size_t(count) * 64, 0xA5);
            const auto kernel = f == format::dxt1   ? kernels->dxt1
                                : f == format::dxt3 ? kernels->dxt3
                                                    : kernels->dxt5;
            kernel(blocks.data(), count, out.data(), size_t(count) * 16);
            const auto expected = scalar_row(f, blocks);
            for (uint32_t i = 0; i < count; ++i)
                for (uint32_t r = 0; r < 4; ++r) {
                    const size_t at = size_t(r) * count * 16 + size_t(i) * 16;
                    ASSERT_TRUE(
                        std::equal(out.begin() + at, out.begin() + at + 16, expected.begin() + at))
                        << simd_isa_name(isa) << " format " << int(f) << " block " << i << " row "
                        << r;
                }
        }
    }
    if (kernel_sets == 0) GTEST_SKIP() << "no vector DXT kernels on this machine";
}

TEST(DxtKernels, WholeImagesWithPartialBlocksMatchTheScalarBlocks) {
    // Sizes whose right and bottom blocks are cut, so the vector rows meet the scalar edges.
    for (auto [w, h] : {std::pair{14u, 10u}, std::pair{64u, 8u}, std::pair{5u, 3u}})
        for (format f : {format::dxt1, format::dxt3, format::dxt5}) {
            const uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
            std::mt19937 rng(w * 31 + h);
            std::vector<uint8_t> input(size_t(bw) * bh * block_bytes(f));
            for (auto& b : input)
                b = uint8_t(rng());
            std::vector<uint8_t> decoded(size_t(w) * h * 4), expected(size_t(w) * h * 4);
            const bool ok = f == format::dxt1   ? decode_dxt1(w, h, input, decoded, 1, k_8888)
                            : f == format::dxt3 ? decode_dxt3(w, h, input, decoded, 1, k_8888)
                                                : decode_dxt5(w, h, input, decoded, 1, k_8888);
            ASSERT_TRUE(ok);
            for (uint32_t by = 0; by < bh; ++by)
                for (uint32_t bx = 0; bx < bw; ++bx) {
                    const uint8_t* b = input.data() + (size_t(by) * bw + bx) * block_bytes(f);
                    if (f == format::dxt1)
                        decode_dxt1_block(bx * 4, by * 4, w, h, std::span<const uint8_t, 8>(b, 8),
                                          expected, k_8888);
                    else if (f == format::dxt3)
                        decode_dxt3_block(bx * 4, by * 4, w, h, std::span<const uint8_t, 16>(b, 16),
                                          expected, k_8888);
                    else
                        decode_dxt5_block(bx * 4, by * 4, w, h, std::span<const uint8_t, 16>(b, 16),
                                          expected, k_8888);
                }
            EXPECT_EQ(decoded, expected) << w << "x" << h << " format " << int(f);
        }
}

TEST(DxtKernels, ShortInputStopsAtTheLastWholeBlock) {
    // 16×8 DXT1 holds eight blocks; with five the first row decodes and the call fails.
    std::vector<uint8_t> input(5 * 8, 0x55), out(16 * 8 * 4, 0), expected(16 * 8 * 4, 0);
    EXPECT_FALSE(decode_dxt1(16, 8, input, out, 1, k_8888));
    for (uint32_t i = 0; i < 5; ++i)
        decode_dxt1_block((i % 4) * 4, (i / 4) * 4, 16, 8,
                          std::span<const uint8_t, 8>(input.data() + i * 8, 8), expected, k_8888);
    EXPECT_EQ(out, expected);
}

} // namespace

} // namespace quillmap
