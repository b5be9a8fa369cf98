#include "dictionary/ps2_txd.h"
#include "raster/ps2_bitmap.h"

#include "run_cli.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace quillmap {

namespace {

std::unique_ptr<ps2_txd> open_ps2(const std::filesystem::path& path) {
    auto txd = std::make_unique<ps2_txd>();
    if (!txd->load(path, 0, 0x16, 0)) return nullptr;
    return txd;
}

std::unique_ptr<ps2_txd> open_built(std::vector<test_chunk> textures) {
    const auto path = write_temp("built.txd", make_dictionary(std::move(textures)).bytes());
    return open_ps2(path);
}

// Sum of colour differences between horizontal and vertical neighbours: real pictures are much
// smoother in plain order than in the console's swizzled order.
uint64_t roughness(const display_image& image) {
    const uint32_t px = image.bits / 8;
    uint64_t sum = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.top_row(y) + x * px;
            for (uint32_t c = 0; c < 3; ++c) {
                if (x + 1 < image.width) sum += uint64_t(std::abs(int(p[c]) - int(p[px + c])));
                if (y + 1 < image.height)
                    sum += uint64_t(std::abs(int(p[c]) - int(image.top_row(y + 1)[x * px + c])));
            }
        }
    return sum;
}

std::vector<test_chunk> textures(std::initializer_list<ps2_texture_desc> descs) {
    std::vector<test_chunk> out;
    for (const auto& desc : descs)
        out.push_back(make_ps2_texture(desc));
    return out;
}

std::vector<std::filesystem::path> ps2_samples() {
    std::vector<std::filesystem::path> out;
    for (const auto& path : sample_files(".txd"))
        if (open_ps2(path)) out.push_back(path);
    return out;
}

} // namespace

TEST(RenderSamples, EveryTextureLevelAndViewRenders) {
    SKIP_WITHOUT_SAMPLES();
    const auto files = ps2_samples();
    ASSERT_FALSE(files.empty());
    uint32_t pictures = 0;
    for (const auto& path : files) {
        auto txd = open_ps2(path);
        ASSERT_TRUE(txd);
        for (uint32_t t = 0; t < txd->texture_count(); ++t) {
            const uint32_t levels = txd->mip_count(t);
            EXPECT_GE(levels, 1u) << path << " " << t;
            for (uint32_t level = 0; level < levels; ++level)
                for (view_mode mode : k_user_views)
                    for (swizzle_mode swizzle :
                         {swizzle_mode::as_stored, swizzle_mode::off, swizzle_mode::on}) {
                        bool state = !txd->is_swizzled(t);
                        auto image = txd->render(t, mode, swizzle, &state, level);
                        ASSERT_TRUE(image)
                            << path << " texture " << t << " level " << level << " mode "
                            << view_mode_number(mode) << ": " << txd->last_error;
                        EXPECT_EQ(state, txd->is_swizzled(t));
                        EXPECT_EQ(image->width, txd->width(t) >> level);
                        EXPECT_EQ(image->height, txd->height(t) >> level);
                        EXPECT_EQ(image->bits, mode == view_mode::mixed ? 32u : 24u);
                        EXPECT_EQ(image->bytes.size(), size_t(image->stride) * image->height);
                        ++pictures;
                    }
        }
    }
    EXPECT_GT(pictures, 0u);
}

TEST(RenderSamples, AutomaticUnswizzlingDiffersFromOffAndIsSmoother) {
    SKIP_WITHOUT_SAMPLES();
    uint32_t compared = 0, smoother = 0;
    uint64_t auto_total = 0, off_total = 0;
    for (const auto& path : ps2_samples()) {
        auto txd = open_ps2(path);
        for (uint32_t t = 0; t < txd->texture_count(); ++t) {
            if (!txd->is_swizzled(t)) continue;
            auto automatic =
                txd->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
            auto off = txd->render(t, view_mode::texture, swizzle_mode::off, nullptr, 0);
            ASSERT_TRUE(automatic && off);
            const uint64_t a = roughness(*automatic), o = roughness(*off);
            if (o == 0) continue; // a single-colour texture looks the same in any order
            EXPECT_NE(automatic->bytes, off->bytes) << path << " texture " << t;
            ++compared;
            smoother += a < o;
            auto_total += a;
            off_total += o;
        }
    }
    ASSERT_GT(compared, 0u);
    // Nearly every real picture is smoother unswizzled (a few busy icons are not), and the
    // whole set is far smoother.
    EXPECT_GE(smoother * 10, compared * 9) << smoother << " of " << compared;
    EXPECT_LT(auto_total * 2, off_total);
}

TEST(RenderSamples, RenderingReleasesTheRasterData) {
    SKIP_WITHOUT_SAMPLES();
    const auto path = sample("flowerb.txd");
    auto txd = open_ps2(path);
    ASSERT_TRUE(txd);
    const uint32_t before = txd->allocated_bytes;
    ASSERT_TRUE(txd->render(1, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
    EXPECT_EQ(txd->allocated_bytes, before);
}

TEST(Render, LevelTwoOf256By128IsA64By32Picture) {
    auto txd = open_built(textures({{.width = 256, .height = 128, .depth = 8, .levels = 3}}));
    ASSERT_TRUE(txd);
    auto image = txd->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 64u);
    EXPECT_EQ(image->height, 32u);
    EXPECT_EQ(image->bits, 24u);
    EXPECT_FALSE(
        txd->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 3)); // no fourth level
}

TEST(Render, SwizzleOptionsAndViewsChangeThePicture) {
    auto txd = open_built(textures({{.width = 64, .height = 64, .depth = 8},
                                    {.width = 64, .height = 32, .depth = 4, .swizzled = true}}));
    ASSERT_TRUE(txd);
    ASSERT_FALSE(txd->is_swizzled(0));
    ASSERT_TRUE(txd->is_swizzled(1));
    for (uint32_t t : {0u, 1u}) {
        auto off = txd->render(t, view_mode::texture, swizzle_mode::off, nullptr, 0);
        auto on = txd->render(t, view_mode::texture, swizzle_mode::on, nullptr, 0);
        auto automatic = txd->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(off && on && automatic);
        EXPECT_NE(off->bytes, on->bytes) << t; // "always on" scrambles a plain texture
        EXPECT_EQ(automatic->bytes, t == 0 ? off->bytes : on->bytes) << t;
        auto alpha = txd->render(t, view_mode::alpha, swizzle_mode::as_stored, nullptr, 0);
        auto mixed = txd->render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(alpha && mixed);
        EXPECT_NE(alpha->bytes, automatic->bytes);
        EXPECT_EQ(mixed->bits, 32u);
    }
}

TEST(Render, EveryDepthRenders) {
    auto txd = open_built(textures({{.width = 16, .height = 8, .depth = 4},
                                    {.width = 16, .height = 8, .depth = 8},
                                    {.width = 16, .height = 8, .depth = 16},
                                    {.width = 16, .height = 8, .depth = 24},
                                    {.width = 16, .height = 8, .depth = 32},
                                    {.width = 8, .height = 8, .depth = 4, .swizzled = true}}));
    ASSERT_TRUE(txd);
    for (uint32_t t = 0; t < txd->texture_count(); ++t)
        for (view_mode mode : k_user_views) {
            auto image = txd->render(t, mode, swizzle_mode::as_stored, nullptr, 0);
            ASSERT_TRUE(image) << "texture " << t << " mode " << view_mode_number(mode) << ": "
                               << txd->last_error;
            EXPECT_EQ(image->width, txd->width(t));
        }
}

TEST(Render, MissingTextureGivesNoPicture) {
    auto txd = open_built(textures({{.width = 16, .height = 16}}));
    ASSERT_TRUE(txd);
    bool state = true;
    EXPECT_FALSE(txd->render(5, view_mode::texture, swizzle_mode::as_stored, &state, 0));
    EXPECT_FALSE(state);
}

TEST(RenderCli, WritesTheViewAsBmp) {
    const auto dir = temp_dir();
    const auto txd =
        write_file(dir / "in.txd",
                   make_dictionary(textures({{.width = 32, .height = 16, .depth = 8}})).bytes());
    struct row {
        const char* view;
        uint32_t bits;
    };
    for (const row r : {row{"texture", 24}, row{"alpha", 24}, row{"mixed", 32}}) {
        const auto out = dir / (std::string(r.view) + ".bmp");
        const auto result =
            run_cli({"render", txd.string(), "-t", "0", "--view", r.view, "-o", out.string()});
        ASSERT_EQ(result.exit_code, 0) << r.view << ": " << result.out;
        ps2_bitmap bmp;
        ASSERT_EQ(bmp.read_bmp(out), 1) << r.view;
        EXPECT_EQ(bmp.depth(), r.bits);
        EXPECT_EQ(bmp.width(), 32u);
        EXPECT_EQ(bmp.height(), 16u);
        // Same picture as the dictionary renders, bottom row first as BMP stores it.
        auto dictionary = open_ps2(txd);
        auto image = dictionary->render(0,
                                        std::string(r.view) == "mixed"   ? view_mode::mixed
                                        : std::string(r.view) == "alpha" ? view_mode::alpha
                                                                         : view_mode::texture,
                                        swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(image);
        EXPECT_EQ(bmp.pixels[2], image->bytes[2]);
        EXPECT_EQ(bmp.pixels.size(), size_t(32) * 16 * r.bits / 8);
    }
}

TEST(RenderCli, RefusesBadRequests) {
    const auto dir = temp_dir();
    const auto txd =
        write_file(dir / "in.txd",
                   make_dictionary(textures({{.width = 16, .height = 16, .levels = 2}})).bytes());
    EXPECT_EQ(run_cli({"render", txd.string(), "-t", "0"}).exit_code, 2); // no -o
    EXPECT_EQ(
        run_cli({"render", txd.string(), "-t", "0", "--view", "x", "-o", (dir / "a.bmp").string()})
            .exit_code,
        2);
    EXPECT_EQ(
        run_cli({"render", txd.string(), "-t", "0", "--level", "2", "-o", (dir / "b.bmp").string()})
            .exit_code,
        1);
    EXPECT_FALSE(std::filesystem::exists(dir / "b.bmp"));
    EXPECT_EQ(
        run_cli({"render", txd.string(), "-t", "0", "--level", "1", "-o", (dir / "c.bmp").string()})
            .exit_code,
        0);
    ps2_bitmap level1;
    ASSERT_EQ(level1.read_bmp(dir / "c.bmp"), 1);
    EXPECT_EQ(level1.width(), 8u);
}

} // namespace quillmap
