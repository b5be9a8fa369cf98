// Palettes and transparency: generated mip levels keep each pixel's alpha class on every path
// that maps them onto level 0's palette, and quantizing keeps the colour of transparent pixels.
#include "test_files.h"

#include "imageio/palette_map.h"
#include "imageio/png_codec.h"
#include "imageio/quantize.h"
#include "imageio/texture_png.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 64;

// A cut-out: a transparent background of a bright colour around an opaque ring of dark colours.
rgba_image cut_out(const uint8_t background[3]) {
    rgba_image image{k_side, k_side, std::vector<uint8_t>(size_t(k_side) * k_side * 4)};
    for (uint32_t y = 0; y < k_side; ++y)
        for (uint32_t x = 0; x < k_side; ++x) {
            const int dx = int(x) - 32, dy = int(y) - 32, r2 = dx * dx + dy * dy;
            uint8_t* p = image.pixel(x, y);
            if (r2 < 24 * 24 && r2 > 8 * 8) {
                p[0] = uint8_t(20 + (x & 3) * 20);
                p[1] = uint8_t(40 + (y & 3) * 10);
                p[2] = 30;
                p[3] = 255;
            } else {
                std::copy_n(background, 3, p);
                p[3] = 0;
            }
        }
    return image;
}

// For each pixel of level `level`: 0 when its whole square of level 0 is transparent, 2 when all
// of it is opaque, 1 for edges.
std::vector<int> square_classes(const rgba_image& image, uint32_t level) {
    const uint32_t f = 1u << level, w = image.width / f, h = image.height / f;
    std::vector<int> classes;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            bool any_clear = false, any_solid = false;
            for (uint32_t dy = 0; dy < f; ++dy)
                for (uint32_t dx = 0; dx < f; ++dx) {
                    const uint8_t a = image.pixel(x * f + dx, y * f + dy)[3];
                    any_clear |= a != 255;
                    any_solid |= a != 0;
                }
            classes.push_back(!any_solid ? 0 : !any_clear ? 2 : 1);
        }
    return classes;
}

rgba_image shown_level(ps2_txd& txd, uint32_t t, uint32_t level) {
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_TRUE(texture_png(txd, t, level, view_mode::texture, swizzle_mode::as_stored, png, error))
        << error;
    png_picture picture;
    EXPECT_TRUE(decode_png(png, picture, error)) << error;
    return picture.image;
}

// The cut-out as an 8-bit palette PNG: the bright transparent entry, the ring's colours, and
// the spare entries opaque black as some paint programs write them.
std::vector<uint8_t> palette_png_with_black_spares(const rgba_image& image) {
    indexed_image indexed{image.width, image.height, {}, {}};
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const uint8_t* p = &image.rgba[i];
        const uint32_t colour = uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
        auto it = std::find(seen.begin(), seen.end(), colour);
        if (it == seen.end()) it = seen.insert(seen.end(), colour);
        indexed.indices.push_back(uint8_t(it - seen.begin()));
    }
    for (uint32_t e = 0; e < 256; ++e) {
        const uint32_t colour = e < seen.size() ? seen[e] : 0xFF000000u;
        for (int c = 0; c < 4; ++c)
            indexed.palette.push_back(uint8_t(colour >> (8 * c)));
    }
    std::string error;
    return encode_png_indexed(indexed, 8, error);
}
} // namespace

TEST(MipAlpha, GeneratedLevelsKeepEachPixelsAlphaClass) {
    const uint8_t bright[3] = {250, 248, 235};
    const rgba_image picture = cut_out(bright);
    std::string error;
    enum class route { add, replace_regenerate, palette_png_add };
    for (const route how : {route::add, route::replace_regenerate, route::palette_png_add}) {
        SCOPED_TRACE(int(how));
        const auto dir = temp_dir();
        const auto rgba_png = write_file(dir / "cut.png", encode_png_rgba(picture, error));
        const auto indexed_png =
            write_file(dir / "cutp.png", palette_png_with_black_spares(picture));
        editor_session session;
        ASSERT_TRUE(session.create_new(0x1803FFFF));
        const png_add_options add{.depth = 8, .mips = 0, .swizzle = true, .dither = true};
        if (how == route::replace_regenerate) {
            // A texture of another picture first, then its replace by the cut-out.
            const uint8_t dark[3] = {0, 0, 0};
            rgba_image other = cut_out(dark);
            for (size_t i = 3; i < other.rgba.size(); i += 4)
                other.rgba[i] = 255;
            const auto other_png = write_file(dir / "other.png", encode_png_rgba(other, error));
            ASSERT_TRUE(session.import_file(other_png.string(), swizzle_mode::as_stored, add));
            ASSERT_TRUE(
                session.replace(0, rgba_png.string(), false, true, other_levels::regenerate))
                << session.last_error();
        } else {
            const auto& file = how == route::add ? rgba_png : indexed_png;
            ASSERT_TRUE(session.import_file(file.string(), swizzle_mode::as_stored, add))
                << session.last_error();
        }
        ps2_txd& txd = *session.dictionary();
        ASSERT_EQ(txd.mip_count(0), 4u);
        for (uint32_t level = 1; level < 4; ++level) {
            const rgba_image shown = shown_level(txd, 0, level);
            const std::vector<int> classes = square_classes(picture, level);
            ASSERT_EQ(shown.rgba.size(), classes.size() * 4);
            uint32_t transparent = 0, wrong = 0;
            for (size_t i = 0; i < classes.size(); ++i) {
                const uint8_t a = shown.rgba[i * 4 + 3];
                transparent += a == 0;
                wrong += (classes[i] == 0 && a != 0) || (classes[i] == 2 && a != 255);
            }
            EXPECT_EQ(wrong, 0u) << "level " << level;
            EXPECT_GT(transparent, 0u) << "level " << level;
        }
    }
}

// Quantizing gives the entry of fully transparent pixels their own colour, not an arbitrary one
// that bilinear filtering would blend into the cut-out's edges.
TEST(QuantizeAlpha, TransparentPixelsKeepTheirColour) {
    const struct {
        uint8_t colour[3];
        uint32_t colours;
    } cases[] = {
        {{250, 248, 235}, 16},
        {{0, 0, 0}, 16},
        {{200, 40, 40}, 256},
        {{30, 60, 220}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.colour[0]) + "," + std::to_string(c.colour[1]) + "," +
                     std::to_string(c.colour[2]));
        const rgba_image picture = cut_out(c.colour);
        indexed_image out;
        std::string error;
        ASSERT_TRUE(quantize(picture, c.colours, true, out, error)) << error;
        uint32_t checked = 0;
        for (size_t i = 0; i < out.indices.size(); ++i) {
            if (picture.rgba[i * 4 + 3] != 0) continue;
            const uint8_t* entry = &out.palette[size_t(out.indices[i]) * 4];
            if (entry[3] != 0) continue;
            for (int k = 0; k < 3; ++k)
                EXPECT_LE(std::abs(int(entry[k]) - c.colour[k]), 4) << "pixel " << i;
            ++checked;
        }
        EXPECT_GT(checked, 0u);
    }
}

// The mapping alone: transparent pixels never take an opaque entry while a transparent one
// exists, opaque pixels never a transparent one, whatever the colours.
TEST(PaletteMap, AlphaClassWinsOverColour) {
    const std::vector<uint8_t> palette = {
        255, 255, 255, 0,   // bright transparent
        250, 250, 250, 255, // bright opaque
        0,   0,   0,   255, // black opaque
        128, 128, 128, 128, // half
    };
    const struct {
        uint8_t pixel[4];
        uint8_t entry;
    } cases[] = {
        {{0, 0, 0, 0}, 0},         {{252, 252, 252, 0}, 0},   {{255, 255, 255, 255}, 1},
        {{10, 10, 10, 255}, 2},    {{250, 250, 250, 130}, 3}, {{120, 120, 120, 100}, 3},
        {{255, 255, 255, 254}, 3},
    };
    for (const bool dither : {false, true})
        for (const auto& c : cases) {
            rgba_image image{1, 1, {c.pixel[0], c.pixel[1], c.pixel[2], c.pixel[3]}};
            const indexed_image mapped = map_to_palette(image, palette, dither);
            ASSERT_EQ(mapped.indices.size(), 1u);
            EXPECT_EQ(mapped.indices[0], c.entry)
                << int(c.pixel[0]) << "," << int(c.pixel[3]) << " dither " << dither;
        }
}

} // namespace quillmap
