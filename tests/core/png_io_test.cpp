#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/mip_chain.h"
#include "imageio/png_codec.h"
#include "imageio/texture_png.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmap {

namespace {
std::unique_ptr<ps2_txd> open_dictionary(const std::filesystem::path& path) {
    auto result = probe_dictionary(path, 0, std::string(k_all_platforms));
    return std::move(result.dictionary);
}

png_picture decoded(const std::vector<uint8_t>& png) {
    png_picture picture;
    std::string error;
    EXPECT_TRUE(decode_png(png, picture, error)) << error;
    return picture;
}

// A picture with what quantizers find hard in photos: smooth gradients in every channel, soft
// round shapes and fine texture, with an alpha ramp at one edge.
rgba_image photo_like(uint32_t width, uint32_t height) {
    rgba_image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const double blob = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12);
            const double grain = 0.04 * std::sin(x * 1.7 + y * 0.9) * std::cos(y * 2.3 - x * 0.4);
            uint8_t* p = image.pixel(x, y);
            p[0] = uint8_t(std::clamp(255 * (0.2 + 0.6 * u + 0.2 * blob + grain), 0.0, 255.0));
            p[1] =
                uint8_t(std::clamp(255 * (0.3 + 0.5 * v * blob + 0.2 * u * v + grain), 0.0, 255.0));
            p[2] = uint8_t(std::clamp(255 * (0.7 - 0.5 * v + 0.3 * blob - grain), 0.0, 255.0));
            p[3] = uint8_t(x < width / 8 ? 255 * x / (width / 8) : 255);
        }
    return image;
}

// Peak signal-to-noise ratio over red, green and blue, alpha-weighted as a viewer sees them.
double psnr(const rgba_image& a, const rgba_image& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (int c = 0; c < 3; ++c) {
            const double da = a.rgba[i + c] * a.rgba[i + 3] / 255.0;
            const double db = b.rgba[i + c] * b.rgba[i + 3] / 255.0;
            sum += (da - db) * (da - db);
        }
    const double mse = sum / (a.rgba.size() / 4 * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::filesystem::path empty_dictionary(const std::filesystem::path& dir) {
    return write_file(dir / "empty.txd", make_dictionary({}).bytes());
}
} // namespace

// Export to PNG and replace from that PNG leaves every palettised PS2 texture byte-identical.
TEST(PngRoundTrip, ExportThenReplaceKeepsPs2FilesByteIdentical) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    for (const char* name : {"VEHICLE2.txd", "flowerb.txd", "cspolic.txd", "sav4_HUD.TXD"}) {
        const auto original = read_file(sample(name));
        const auto copy = write_file(dir / name, original);
        auto txd = open_dictionary(copy);
        ASSERT_TRUE(txd) << name;
        uint32_t palettised = 0;
        for (uint32_t t = 0; t < txd->texture_count(); ++t) {
            const uint32_t d = txd->depth(t);
            if (d != 4 && d != 8) continue;
            ++palettised;
            const auto png = dir / "t.png";
            std::string error, note;
            ASSERT_TRUE(export_texture_png(*txd, t, 0, view_mode::texture, swizzle_mode::as_stored,
                                           png, error))
                << name << " " << t << ": " << error;
            EXPECT_TRUE(decoded(read_file(png)).indexed) << name << " " << t;
            ASSERT_TRUE(replace_texture_png(*txd, t, png, true, error, note))
                << name << " " << t << ": " << error;
            EXPECT_EQ(note, "") << name << " " << t;
        }
        EXPECT_GT(palettised, 0u) << name;
        const auto out = dir / (std::string("out_") + name);
        ASSERT_TRUE(txd->save(out, 0)) << txd->last_error;
        EXPECT_EQ(read_file(out), original) << name;
    }
}

// The PNG shows what the preview shows, at every level, for PS2 and PC textures alike: colour as
// the texture view, alpha as the mixed view; the alpha view becomes a grey PNG of that view.
TEST(PngExport, EqualsThePreviewPicture) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* name : {"flowerb.txd", "cspolic.txd", "sav4_HUD.TXD", "pcbtns.txd",
                             "AMBULAN.TXD", "radar00.txd"}) {
        auto txd = open_dictionary(sample(name));
        ASSERT_TRUE(txd) << name;
        for (uint32_t t = 0; t < txd->texture_count(); ++t)
            for (uint32_t level = 0; level < std::max(txd->mip_count(t), 1u); ++level) {
                std::vector<uint8_t> png, grey;
                std::string error;
                ASSERT_TRUE(texture_png(*txd, t, level, view_mode::texture, swizzle_mode::as_stored,
                                        png, error))
                    << name << " " << t << ": " << error;
                ASSERT_TRUE(texture_png(*txd, t, level, view_mode::alpha, swizzle_mode::as_stored,
                                        grey, error))
                    << error;
                const auto colour = decoded(png), alpha = decoded(grey);
                const auto preview =
                    txd->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, level);
                const auto mixed =
                    txd->render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, level);
                const auto alpha_view =
                    txd->render(t, view_mode::alpha, swizzle_mode::as_stored, nullptr, level);
                ASSERT_TRUE(preview && mixed && alpha_view) << name << " " << t;
                ASSERT_EQ(colour.image.width, preview->width);
                ASSERT_EQ(colour.image.height, preview->height);
                for (uint32_t y = 0; y < preview->height; ++y)
                    for (uint32_t x = 0; x < preview->width; ++x) {
                        const bgra want = rgb_at(*preview, x, y);
                        const uint8_t* got = colour.image.pixel(x, y);
                        ASSERT_EQ((bgra{got[2], got[1], got[0], 0}), want)
                            << name << " " << t << " level " << level << " @" << x << "," << y;
                        ASSERT_EQ(got[3], pixel_at(*mixed, x, y).a) << name << " " << t;
                        ASSERT_EQ(alpha.image.pixel(x, y)[0], rgb_at(*alpha_view, x, y).r)
                            << name << " " << t;
                    }
            }
    }
}

// A photo-like picture keeps its look at 8 and 4 bits; mip levels follow RenderWare's count.
TEST(PngAdd, PhotoLikePictureKeepsItsLook) {
    const auto dir = temp_dir();
    const rgba_image source = photo_like(128, 64);
    std::string error;
    const auto png = write_file(dir / "photo.png", encode_png_rgba(source, error));
    struct row {
        uint32_t depth;
        double min_psnr;
    };
    for (const row r : {row{8, 26}, row{4, 20}, row{32, 40}}) {
        auto txd = open_dictionary(empty_dictionary(dir));
        ASSERT_TRUE(txd);
        png_add_options options;
        options.depth = r.depth;
        options.mips = 0;
        std::string note;
        ASSERT_TRUE(add_texture_png(*txd, png, options, error, note)) << error;
        ASSERT_EQ(txd->texture_count(), 1u);
        EXPECT_EQ(txd->texture_name(0, name_kind::texture), "photo");
        EXPECT_EQ(txd->depth(0), r.depth == 32 ? 32u : r.depth);
        EXPECT_EQ(txd->mip_count(0), renderware_level_count(128, 64));
        EXPECT_EQ(note.find("quantized") != std::string::npos, r.depth != 32) << note;
        std::vector<uint8_t> out;
        ASSERT_TRUE(
            texture_png(*txd, 0, 0, view_mode::texture, swizzle_mode::as_stored, out, error))
            << error;
        EXPECT_GE(psnr(source, decoded(out).image), r.min_psnr) << "depth " << r.depth;
        // Level 1 shows the box-filtered picture through level 0's palette.
        ASSERT_TRUE(
            texture_png(*txd, 0, 1, view_mode::texture, swizzle_mode::as_stored, out, error))
            << error;
        EXPECT_GE(psnr(half_size(source), decoded(out).image), r.min_psnr - 2)
            << "depth " << r.depth;
    }
}

TEST(PngAdd, RefusesSizesThatAreNotPowersOfTwoUnlessResized) {
    const auto dir = temp_dir();
    std::string error, note;
    const auto png = write_file(dir / "odd.png", encode_png_rgba(photo_like(100, 60), error));
    auto txd = open_dictionary(empty_dictionary(dir));
    ASSERT_TRUE(txd);
    png_add_options options;
    EXPECT_FALSE(add_texture_png(*txd, png, options, error, note));
    EXPECT_NE(error.find("64x32"), std::string::npos) << error;
    EXPECT_NE(error.find("128x64"), std::string::npos) << error;
    options.resize = true;
    ASSERT_TRUE(add_texture_png(*txd, png, options, error, note)) << error;
    EXPECT_EQ(txd->width(0), 128u);
    EXPECT_EQ(txd->height(0), 64u);
}

// Every malformed PNG fails with a message naming the file.
TEST(PngRead, MalformedFilesFailWithAMessage) {
    std::string error;
    const auto good = encode_png_rgba(photo_like(16, 16), error);
    ASSERT_FALSE(good.empty()) << error;
    indexed_image small{2, 1, {0, 1}, {0, 0, 0, 255, 255, 255, 255, 255}};
    auto bad_index = encode_png_indexed(small, 8, error);
    ASSERT_FALSE(bad_index.empty()) << error;
    // The PLTE chunk (after the 8-byte signature and the 25-byte IHDR) shrinks to one entry
    // while pixel 1 still uses entry 1; its CRC is left wrong too.
    bad_index[33 + 3] = 3;
    auto huge = good;
    huge[16] = 0x7F; // width of 2^31 - 1 + ..., far beyond the limit

    struct malformed {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<malformed> cases = {
        {"empty", {}},
        {"signature only", {good.begin(), good.begin() + 8}},
        {"cut after the header", {good.begin(), good.begin() + 33}},
        {"cut in the image data", {good.begin(), good.begin() + good.size() / 2}},
        {"not a png", std::vector<uint8_t>(64, 'x')},
        {"palette too short", bad_index},
        {"too large", huge},
    };
    const auto dir = temp_dir();
    for (const auto& c : cases) {
        const auto path = write_file(dir / "bad.png", c.bytes);
        png_picture picture;
        EXPECT_FALSE(read_png_file(path, picture, error)) << c.name;
        EXPECT_EQ(error.rfind(path.string() + ": ", 0), 0u) << c.name << ": " << error;
        EXPECT_GT(error.size(), path.string().size() + 4) << c.name;
    }
}

// The command line: export -f png, replace from it, add with a depth, convert with a depth.
TEST(PngCli, ExportReplaceAddAndConvert) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    const auto txd = write_file(dir / "flowerb.txd", read_file(sample("flowerb.txd")));
    const auto png = dir / "level1.png";
    ASSERT_EQ(
        run_cli({"export", txd.string(), "-t", "1", "--level", "1", "-o", png.string()}).exit_code,
        0);
    EXPECT_EQ(decoded(read_file(png)).image.width, 32u);
    EXPECT_EQ(
        run_cli({"export", txd.string(), "-t", "1", "--level", "4", "-o", png.string()}).exit_code,
        1);
    const auto level0 = dir / "flowert.png";
    ASSERT_EQ(
        run_cli({"export", txd.string(), "-t", "0", "-f", "png", "-o", level0.string()}).exit_code,
        0);
    const auto out = dir / "out.txd";
    ASSERT_EQ(run_cli({"replace", txd.string(), "-t", "0", level0.string(), "-o", out.string()})
                  .exit_code,
              0);
    EXPECT_EQ(read_file(out), read_file(txd));

    std::string error;
    const auto photo = write_file(dir / "photo.png", encode_png_rgba(photo_like(64, 64), error));
    const auto added = run_cli({"add", txd.string(), photo.string(), "--depth", "4", "--mips",
                                "auto", "-o", out.string()});
    ASSERT_EQ(added.exit_code, 0);
    EXPECT_NE(added.out.find("quantized to 16"), std::string::npos) << added.out;
    auto result = open_dictionary(out);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->texture_count(), 3u);
    EXPECT_EQ(result->depth(2), 4u);
    EXPECT_EQ(result->mip_count(2), 4u);

    const auto converted = dir / "converted.txd";
    ASSERT_EQ(run_cli({"convert", sample("pcbtns.txd").string(), "-o", converted.string(),
                       "--depth", "8", "--mips", "auto"})
                  .exit_code,
              0);
    auto ps2 = open_dictionary(converted);
    ASSERT_TRUE(ps2);
    for (uint32_t t = 0; t < ps2->texture_count(); ++t) {
        EXPECT_EQ(ps2->depth(t), 8u) << t;
        EXPECT_EQ(ps2->mip_count(t), renderware_level_count(ps2->width(t), ps2->height(t))) << t;
    }
}

// A replace that brings a new palette never leaves the other levels' old indices behind: kept
// levels are remapped onto it, regenerated ones follow the new picture.
TEST(PngReplace, OtherLevelsLeaveTheirOldIndicesWhenThePaletteChanges) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    std::string error, note;
    const rgba_image photo = photo_like(64, 64);
    const auto png = write_file(dir / "photo.png", encode_png_rgba(photo, error));
    for (const bool regenerate : {false, true}) {
        auto txd = open_dictionary(write_file(dir / "f.txd", read_file(sample("flowerb.txd"))));
        ASSERT_TRUE(txd);
        ASSERT_EQ(txd->mip_count(1), 4u);
        const auto before = txd->plain_level(1, 1, true);
        ASSERT_TRUE(replace_texture_png(*txd, 1, png, true, error, note,
                                        regenerate ? other_levels::regenerate : other_levels::keep))
            << error;
        EXPECT_EQ(note, "colours reduced to 256");
        EXPECT_NE(txd->plain_level(1, 1, true), before);
        if (!regenerate) continue;
        std::vector<uint8_t> after;
        ASSERT_TRUE(
            texture_png(*txd, 1, 1, view_mode::texture, swizzle_mode::as_stored, after, error))
            << error;
        EXPECT_GE(psnr(half_size(photo), decoded(after).image), 24.0);
        // The smallest level (8 x 8, stored as it stands) follows too.
        ASSERT_TRUE(
            texture_png(*txd, 1, 3, view_mode::texture, swizzle_mode::as_stored, after, error))
            << error;
        EXPECT_GE(psnr(half_size(half_size(half_size(photo))), decoded(after).image), 20.0);
    }
}

} // namespace quillmap
