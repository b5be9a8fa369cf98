// A replace never leaves the other mip levels showing old indices through a new palette: they
// follow the new picture, are remapped, or stay byte for byte when the palette did not change.
#include "image_reference.h"
#include "test_files.h"

#include "imageio/png_codec.h"
#include "imageio/texture_png.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace quillmap {

namespace {
constexpr uint32_t k_side = 128; // five levels: 128, 64, 32, 16, 8
constexpr uint32_t k_block = 32; // sixteen blocks of one colour each

// Sixteen colours, one per 32 x 32 block: every level down to 8 x 8 stays of these colours.
rgba_image blocks(uint8_t seed) {
    rgba_image image{k_side, k_side, std::vector<uint8_t>(size_t(k_side) * k_side * 4)};
    for (uint32_t y = 0; y < k_side; ++y)
        for (uint32_t x = 0; x < k_side; ++x) {
            const uint32_t b = (y / k_block) * (k_side / k_block) + x / k_block;
            uint8_t* p = image.pixel(x, y);
            p[0] = uint8_t(seed + b * 15);
            p[1] = uint8_t(255 - b * 13 - seed);
            p[2] = uint8_t((b * 71 + seed * 3) & 0xFF);
            p[3] = 255;
        }
    return image;
}

// Plain average of factor x factor squares: what every further level should look like.
rgba_image box_down(const rgba_image& in, uint32_t factor) {
    rgba_image out{in.width / factor, in.height / factor, {}};
    out.rgba.resize(size_t(out.width) * out.height * 4);
    for (uint32_t y = 0; y < out.height; ++y)
        for (uint32_t x = 0; x < out.width; ++x)
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (uint32_t dy = 0; dy < factor; ++dy)
                    for (uint32_t dx = 0; dx < factor; ++dx)
                        sum += in.pixel(x * factor + dx, y * factor + dy)[c];
                out.pixel(x, y)[c] = uint8_t((sum + factor * factor / 2) / (factor * factor));
            }
    return out;
}

double psnr(const rgba_image& a, const rgba_image& b) {
    if (a.rgba.size() != b.rgba.size() || a.rgba.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i)
        if (i % 4 != 3) sum += (double(a.rgba[i]) - b.rgba[i]) * (double(a.rgba[i]) - b.rgba[i]);
    const double mse = sum / (a.rgba.size() / 4 * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
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

std::vector<std::vector<uint8_t>> stored_levels(ps2_txd& txd, uint32_t t) {
    std::vector<std::vector<uint8_t>> levels;
    for (uint32_t k = 1; k < txd.mip_count(t); ++k)
        levels.push_back(txd.plain_level(t, k, txd.is_swizzled(t)));
    return levels;
}

// The picture as a 4-bit palette PNG, its entries in the order given by `order` (16 colours).
std::vector<uint8_t> palette_png(const rgba_image& image, bool reversed) {
    indexed_image indexed{image.width, image.height, {}, {}};
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const uint8_t* p = &image.rgba[i];
        const uint32_t colour = uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
        if (std::find(seen.begin(), seen.end(), colour) == seen.end()) seen.push_back(colour);
    }
    if (reversed) std::reverse(seen.begin(), seen.end());
    for (uint32_t colour : seen)
        for (int c = 0; c < 4; ++c)
            indexed.palette.push_back(uint8_t(colour >> (8 * c)));
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const uint8_t* p = &image.rgba[i];
        const uint32_t colour = uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
        indexed.indices.push_back(
            uint8_t(std::find(seen.begin(), seen.end(), colour) - seen.begin()));
    }
    std::string error;
    return encode_png_indexed(indexed, 4, error);
}

// The picture as a 4-bit BMP of its sixteen colours.
std::vector<uint8_t> palette_bmp(const rgba_image& image) {
    png_picture picture;
    std::string error;
    EXPECT_TRUE(decode_png(palette_png(image, false), picture, error)) << error;
    const indexed_image& indexed = *picture.indexed;
    std::vector<uint8_t> rows(size_t(image.width) * image.height / 2);
    for (size_t i = 0; i < indexed.indices.size(); ++i)
        rows[i / 2] |= uint8_t(indexed.indices[i] << ((i & 1) ? 0 : 4));
    std::vector<uint8_t> bgra;
    for (uint32_t e = 0; e < 16; ++e)
        for (int c : {2, 1, 0, 3})
            bgra.push_back(e < indexed.entries() ? indexed.palette[e * 4 + c] : 0);
    return make_bmp_bytes(image.width, image.height, 4, rows, bgra);
}

enum class expect { new_picture, old_picture, same_bytes };
} // namespace

TEST(ReplaceLevels, FollowTheNewPaletteOrKeepTheirOwnPictures) {
    const rgba_image old_picture = blocks(10), new_picture = blocks(120);
    const struct {
        const char* name;
        std::string file; // written beside the dictionary
        std::vector<uint8_t> bytes;
        other_levels policy;
        expect levels;
    } cases[] = {
        {"new colours, default", "new.png", palette_png(new_picture, false),
         other_levels::follow_palette, expect::new_picture},
        {"new colours, regenerate", "new.png", palette_png(new_picture, false),
         other_levels::regenerate, expect::new_picture},
        {"new colours from a BMP, default", "new.bmp", palette_bmp(new_picture),
         other_levels::follow_palette, expect::new_picture},
        {"old colours in another order, keep", "reordered.png", palette_png(old_picture, true),
         other_levels::keep, expect::old_picture},
        {"old colours in another order, default", "reordered.png", palette_png(old_picture, true),
         other_levels::follow_palette, expect::old_picture},
        {"the texture's own palette, default",
         "same.png",
         {},
         other_levels::follow_palette,
         expect::same_bytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto dir = temp_dir();
        std::string error;
        const auto source = write_file(dir / "old.png", encode_png_rgba(old_picture, error));
        editor_session session;
        ASSERT_TRUE(session.create_new(0x1803FFFF));
        png_add_options add{.depth = 4, .mips = 0, .swizzle = true, .dither = false};
        ASSERT_TRUE(session.import_file(source.string(), swizzle_mode::as_stored, add))
            << session.last_error();
        ps2_txd& txd = *session.dictionary();
        ASSERT_EQ(txd.mip_count(0), 5u);
        const auto before = stored_levels(txd, 0);

        std::filesystem::path file = dir / c.file;
        if (c.levels == expect::same_bytes) {
            // Level 0 exported as it stands: the texture's own palette comes back unchanged.
            ASSERT_TRUE(session.export_texture(0, view_mode::texture, export_type::png, &file,
                                               swizzle_mode::as_stored));
        } else {
            write_file(file, c.bytes);
        }
        ASSERT_TRUE(session.replace(0, file.string(), false, true, c.policy))
            << session.last_error();

        if (c.levels == expect::same_bytes) {
            EXPECT_EQ(stored_levels(txd, 0), before);
            continue;
        }
        // Every level shows the picture wanted: none shows old indices through a new palette
        // (the indices themselves may stay, when both pictures map their colours alike).
        const rgba_image& wanted = c.levels == expect::new_picture ? new_picture : old_picture;
        for (uint32_t k = 0; k < 5; ++k)
            EXPECT_GE(psnr(shown_level(txd, 0, k), box_down(wanted, 1u << k)), 30.0)
                << "level " << k;
    }
}

} // namespace quillmap
