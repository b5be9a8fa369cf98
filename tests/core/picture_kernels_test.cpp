// The fast picture paths held to the plain ones: the PNG writer (filters, levels, libdeflate)
// to what libspng decodes, the vector half-size step to the one-pixel-at-a-time one, the cached
// palette search to the one that tries every entry, and the --png-level option of export and
// batch export.
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/txd_probe.h"
#include "imageio/half_size_rows.h"
#include "imageio/linear_light.h"
#include "imageio/mip_chain.h"
#include "imageio/palette_map.h"
#include "imageio/png_codec.h"
#include "imageio/quantize.h"
#include "imageio/texture_png.h"

#include <gtest/gtest.h>
#include <libimagequant.h>

#include <cmath>
#include <thread>

namespace quillmap {

namespace {
// Level 0 of every texture of the named samples as RGBA, as the preview shows them.
std::vector<rgba_image> sample_pictures(std::initializer_list<const char*> names) {
    std::vector<rgba_image> out;
    if (!samples_available()) return out;
    for (const char* name : names) {
        auto probed = probe_dictionary(sample(name), 0, std::string(k_all_platforms));
        if (!probed.dictionary) continue;
        for (uint32_t t = 0; t < probed.dictionary->texture_count(); ++t) {
            const auto picture =
                probed.dictionary->render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
            if (picture) out.push_back(rgba_of_display(*picture));
        }
    }
    return out;
}

// Made pictures for the edges the samples lack: odd sides, one pixel, clear and half-clear
// texels, fine detail that every filter treats differently.
rgba_image made(uint32_t width, uint32_t height, uint32_t seed) {
    rgba_image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < image.rgba.size(); ++i) {
        state = state * 1103515245u + 12345u;
        const uint32_t x = uint32_t(i / 4 % width), y = uint32_t(i / 4 / width);
        const uint8_t smooth = uint8_t((x * 7 + y * 3 + (i % 4) * 50) & 0xFF);
        image.rgba[i] = (state >> 28) < 3 ? uint8_t(state >> 16) : smooth;
    }
    if (seed % 2) // alpha classes: clear, half and opaque, in patches
        for (size_t p = 0; p < size_t(width) * height; ++p)
            image.rgba[p * 4 + 3] = uint8_t((p / 3) % 3 == 0 ? 0 : (p / 5) % 2 ? 128 : 255);
    return image;
}

png_picture decoded(const std::vector<uint8_t>& png) {
    png_picture picture;
    std::string error;
    EXPECT_TRUE(decode_png(png, picture, error)) << error;
    return picture;
}

// Bytes of the pixels as the PNG holds them: indices for a palette picture, else RGBA.
size_t raw_size(const png_picture& picture) {
    return picture.indexed ? picture.indexed->indices.size() : picture.image.rgba.size();
}

struct named_picture {
    std::string name;
    rgba_image image;
};

std::vector<named_picture> all_pictures() {
    std::vector<named_picture> rows = {{"1x1", made(1, 1, 1)},     {"3x5", made(3, 5, 2)},
                                       {"33x7", made(33, 7, 3)},   {"2x64", made(2, 64, 4)},
                                       {"64x2", made(64, 2, 5)},   {"130x66", made(130, 66, 7)},
                                       {"clear", made(16, 16, 9)}, {"8x8", made(8, 8, 10)}};
    for (auto& row : rows)
        if (row.name == "clear")
            for (size_t i = 3; i < row.image.rgba.size(); i += 4)
                row.image.rgba[i] = 0;
    uint32_t n = 0;
    for (auto& picture : sample_pictures(
             {"pcbtns.txd", "AMBULAN.TXD", "flowerb.txd", "cspolic.txd", "radar00.txd"}))
        rows.push_back({"sample " + std::to_string(n++), std::move(picture)});
    return rows;
}
} // namespace

// Every filter and level writes a PNG that libspng reads back to the very pixels, in colour and
// in grey.
TEST(PngWriter, DecodesToThePixelsAtEveryFilterAndLevel) {
    const png_filter filters[] = {png_filter::none,    png_filter::sub,   png_filter::up,
                                  png_filter::average, png_filter::paeth, png_filter::adaptive,
                                  png_filter::sampled};
    for (const auto& row : all_pictures())
        for (png_filter filter : filters)
            for (int level : {k_png_min_level, k_png_default_level, 2, 6, k_png_max_level}) {
                // The tightest level is slow: the small made pictures cover it.
                if (level == k_png_max_level && row.image.rgba.size() > 64 * 64 * 4) continue;
                const png_write_options options{level, filter};
                const std::string where = row.name + " filter " + std::to_string(int(filter)) +
                                          " level " + std::to_string(level);
                std::string error;
                const auto png = encode_png_rgba(row.image, error, options);
                ASSERT_FALSE(png.empty()) << where << ": " << error;
                const png_picture back = decoded(png);
                ASSERT_EQ(back.image.width, row.image.width) << where;
                ASSERT_EQ(back.image.height, row.image.height) << where;
                EXPECT_EQ(back.image.rgba, row.image.rgba) << where;

                std::vector<uint8_t> grey(row.image.rgba.size() / 4);
                for (size_t i = 0; i < grey.size(); ++i)
                    grey[i] = row.image.rgba[i * 4 + 1];
                const auto grey_png =
                    encode_png_grey(row.image.width, row.image.height, grey, error, options);
                ASSERT_FALSE(grey_png.empty()) << where << ": " << error;
                const png_picture grey_back = decoded(grey_png);
                for (size_t i = 0; i < grey.size(); ++i)
                    ASSERT_EQ(grey_back.image.rgba[i * 4], grey[i]) << where << " pixel " << i;
            }
}

// Palette pictures come back with the same indices and palette at every level, at 4 and 8 bits,
// with and without translucent entries.
TEST(PngWriter, PalettePicturesComeBackIndexForIndex) {
    struct row {
        uint32_t width, height, bits, entries;
        bool translucent;
    };
    const row rows[] = {{1, 1, 4, 1, false},    {3, 5, 4, 16, true},    {33, 7, 4, 9, false},
                        {64, 64, 8, 256, true}, {17, 3, 8, 200, false}, {2, 2, 8, 2, true}};
    for (const row& r : rows)
        for (int level : {k_png_min_level, k_png_default_level, k_png_max_level}) {
            indexed_image image;
            image.width = r.width;
            image.height = r.height;
            for (uint32_t i = 0; i < r.width * r.height; ++i)
                image.indices.push_back(uint8_t((i * 7 + i / r.width) % r.entries));
            for (uint32_t e = 0; e < r.entries; ++e)
                image.palette.insert(image.palette.end(),
                                     {uint8_t(e * 3), uint8_t(255 - e), uint8_t(e * 11),
                                      uint8_t(r.translucent ? e * 37 : 255)});
            const std::string where = std::to_string(r.width) + "x" + std::to_string(r.height) +
                                      " " + std::to_string(r.bits) + " bits level " +
                                      std::to_string(level);
            std::string error;
            const auto png = encode_png_indexed(image, r.bits, error, {level});
            ASSERT_FALSE(png.empty()) << where << ": " << error;
            const png_picture back = decoded(png);
            ASSERT_TRUE(back.indexed) << where;
            EXPECT_EQ(back.indexed->indices, image.indices) << where;
            EXPECT_EQ(back.indexed->palette, image.palette) << where;
        }
}

// Layouts whose parts do not fit together are refused with the cause, never written.
TEST(PngWriter, RefusesLayoutsThatDoNotFit) {
    const std::vector<uint8_t> rgb3(9), four(4), palette(3 * 4), big_palette(3 * 257);
    const std::vector<uint8_t> long_alpha(5);
    struct row {
        const char* name;
        png_layout layout;
        std::span<const uint8_t> rows, palette, alpha;
        const char* error;
    };
    const char* sizes = "PNG: picture size does not match its pixels";
    const char* palettes = "PNG: palette does not fit the bit depth";
    const row rows[] = {
        {"no width", {0, 1, 8, png_colour::rgba}, {}, {}, {}, sizes},
        {"rows short", {1, 1, 8, png_colour::rgba}, rgb3, {}, {}, sizes},
        {"rgb at 4 bits", {2, 1, 4, png_colour::rgb}, rgb3, {}, {}, sizes},
        {"grey at 16 bits", {1, 1, 16, png_colour::grey}, four, {}, {}, sizes},
        {"no palette", {4, 1, 8, png_colour::indexed}, four, {}, {}, palettes},
        {"257 entries", {4, 1, 8, png_colour::indexed}, four, big_palette, {}, palettes},
        {"alpha past palette", {4, 1, 8, png_colour::indexed}, four, palette, long_alpha, palettes},
    };
    for (const row& r : rows) {
        std::string error;
        EXPECT_TRUE(write_png(r.layout, r.rows, r.palette, r.alpha, {}, error).empty()) << r.name;
        EXPECT_EQ(error, r.error) << r.name;
    }
}

namespace {
// Pictures of 2 x 2 blocks of one pixel each (one colour, one alpha class of clear, opaque and
// in between), some blocks broken by one odd pixel: runs of flat, even-alpha and mixed boxes side
// by side, and rows whose box count is no multiple of four.
rgba_image blocks(uint32_t width, uint32_t height, uint32_t seed, bool even_alpha) {
    rgba_image image = made(width, height, seed);
    uint32_t state = seed * 747796405u + 1;
    for (uint32_t by = 0; by < height; by += 2)
        for (uint32_t bx = 0; bx < width; bx += 2) {
            state = state * 1103515245u + 12345u;
            const uint8_t alpha_classes[] = {0, 255, 255, uint8_t(state >> 8)};
            const uint8_t alpha = alpha_classes[even_alpha ? (state >> 20) % 3 : (state >> 20) % 4];
            const uint8_t block[4] = {uint8_t(state >> 24), uint8_t(state >> 16),
                                      uint8_t(state >> 10), alpha};
            for (uint32_t y = by; y < std::min(by + 2, height); ++y)
                for (uint32_t x = bx; x < std::min(bx + 2, width); ++x)
                    std::copy_n(block, 4, image.pixel(x, y));
            if ((state >> 28) < 5) { // one pixel of the block changed
                uint8_t* odd = image.pixel(bx, std::min(by + 1, height - 1));
                odd[state % 3] ^= uint8_t(1 + (state >> 4) % 255);
                if (!even_alpha && (state >> 27) & 1) odd[3] = uint8_t(state >> 3);
            }
        }
    return image;
}

// Boxes whose bytes change with the order of the four linear sums (found by search): each row
// {top left, top right, bottom left, bottom right} of one channel. Opaque and clear boxes first
// (a run of four even-alpha boxes), then half-clear ones; the eight boxes four times over, so
// that a row has enough boxes for the widest vector form.
rgba_image order_sensitive() {
    const uint8_t sums[6][4] = {{204, 176, 161, 105}, {172, 27, 249, 44}, {254, 124, 71, 90},
                                {218, 52, 239, 203},  {20, 22, 230, 199}, {145, 92, 154, 36}};
    const uint8_t alphas[8] = {255, 255, 0, 0, 128, 77, 255, 0};
    rgba_image image{64, 2, std::vector<uint8_t>(64 * 2 * 4)};
    for (uint32_t box = 0; box < 32; ++box)
        for (uint32_t corner = 0; corner < 4; ++corner) {
            uint8_t* p = image.pixel(2 * box + corner % 2, corner / 2);
            for (uint32_t c = 0; c < 3; ++c)
                p[c] = sums[(box % 8 * 3 + c) % 6][corner];
            p[3] = alphas[box % 8];
        }
    return image;
}
} // namespace

// The half-size step with every instruction set and thread count, and the chain, give the plain
// step's bytes, on real textures and on the edges: single rows and columns, odd sides, clear
// pictures, alphas of only 0 and 255, flat blocks among detailed ones, and a picture of many
// bands of rows.
TEST(HalfSize, VectorFormEqualsThePlainOne) {
    std::vector<named_picture> rows = all_pictures();
    rows.push_back({"1x9", made(1, 9, 11)});
    rows.push_back({"9x1", made(9, 1, 13)});
    rows.push_back({"1x2", made(1, 2, 15)});
    rows.push_back({"77x3", made(77, 3, 17)});
    rows.push_back({"blocks 70x37", blocks(70, 37, 1, false)});
    rows.push_back({"blocks 128x64", blocks(128, 64, 2, false)});
    rows.push_back({"even blocks 130x34", blocks(130, 34, 3, true)});
    rows.push_back({"even blocks 64x65", blocks(64, 65, 4, true)});
    rows.push_back({"blocks 302x262", blocks(302, 262, 5, false)});
    rgba_image cut = made(66, 40, 19); // cut-out art: alphas of 0 and 255 only
    for (size_t i = 3; i < cut.rgba.size(); i += 4)
        cut.rgba[i] = cut.rgba[i] & 0x40 ? 255 : 0;
    rows.push_back({"alpha 0 and 255", cut});
    rows.push_back({"order of the sums", order_sensitive()});
    for (const auto& row : rows) {
        std::vector<rgba_image> plain = {row.image};
        for (int level = 1; level <= 7; ++level)
            plain.push_back(half_size_plain(plain.back()));
        for (simd_isa isa : k_all_simd_isas)
            for (unsigned threads : {1u, 3u}) {
                const std::string where = row.name + " " + simd_isa_name(isa) + " threads " +
                                          std::to_string(threads) + " level ";
                rgba_image fast = row.image;
                for (int level = 1; level <= 7; ++level) {
                    fast = half_size(fast, isa, threads);
                    ASSERT_EQ(fast.width, plain[level].width) << where << level;
                    ASSERT_EQ(fast.height, plain[level].height) << where << level;
                    ASSERT_EQ(fast.rgba, plain[level].rgba) << where << level;
                }
            }
        // The chain, level 0 handed over or copied, is the same steps.
        const uint32_t count = renderware_level_count(row.image.width, row.image.height);
        const std::vector<rgba_image> kept = mip_chain(row.image, count);
        const std::vector<rgba_image> moved = mip_chain(rgba_image(row.image), count);
        ASSERT_EQ(kept.size(), count) << row.name;
        ASSERT_EQ(moved.size(), count) << row.name;
        for (uint32_t level = 0; level < count; ++level) {
            EXPECT_EQ(kept[level].rgba, plain[level].rgba) << row.name << " level " << level;
            EXPECT_EQ(moved[level].rgba, plain[level].rgba) << row.name << " level " << level;
        }
    }
}

// Chains worked out on several threads at once (as batch jobs do) share the process's threads
// without a wrong byte: a chain that finds the thread budget spent works alone.
TEST(HalfSize, ChainsOnSeveralThreadsAtOnce) {
    const rgba_image picture = blocks(512, 384, 6, false);
    std::vector<rgba_image> plain = {picture};
    for (int level = 1; level < 6; ++level)
        plain.push_back(half_size_plain(plain.back()));
    std::vector<std::vector<rgba_image>> chains(3);
    {
        std::vector<std::jthread> threads;
        for (auto& chain : chains)
            threads.emplace_back([&chain, &picture] {
                for (int round = 0; round < 4; ++round)
                    chain = mip_chain(picture, 6);
            });
    }
    for (size_t c = 0; c < chains.size(); ++c)
        for (size_t level = 0; level < plain.size(); ++level)
            EXPECT_EQ(chains[c][level].rgba, plain[level].rgba)
                << "chain " << c << " level " << level;
}

// An instruction set with no row kernel of its own gets the widest narrower one the processor
// runs, never the one-pixel step while a kernel is there: AVX-512 gets AVX2's (or SSE2's), and
// only `portable` asks for the plain step.
TEST(HalfSize, FallsBackToTheWidestKernel) {
    struct row {
        simd_isa wanted;
        std::vector<simd_isa> in_turn; // the first of these the processor runs
    };
    const row rows[] = {
        {simd_isa::avx512vbmi, {simd_isa::avx2, simd_isa::sse2}},
        {simd_isa::avx2, {simd_isa::avx2, simd_isa::sse2}},
        {simd_isa::sse2, {simd_isa::sse2}},
        {simd_isa::portable, {}},
    };
    for (const row& r : rows) {
        simd_isa expected = simd_isa::portable;
        for (simd_isa isa : r.in_turn)
            if (simd_isa_available(isa)) {
                expected = isa;
                break;
            }
        EXPECT_EQ(half_size_kernel(r.wanted), expected) << simd_isa_name(r.wanted);
    }
#if defined(__SSE2__) && !defined(QUILLMAP_NO_SIMD)
    // SSE2 is the baseline of every x86-64 build: a kernel is always there.
    EXPECT_EQ(half_size_kernel(simd_isa::sse2), simd_isa::sse2);
    EXPECT_NE(half_size_kernel(simd_isa::avx512vbmi), simd_isa::portable);
#endif
}

// A box of four equal pixels halves to that very pixel, for every colour byte with every alpha:
// the vector step copies such boxes whole.
TEST(HalfSize, FlatBoxesKeepTheirPixel) {
    rgba_image boxes{512, 512, {}};
    boxes.rgba.resize(size_t(512) * 512 * 4);
    for (uint32_t value = 0; value < 256; ++value)
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            const uint32_t box = value * 256 + alpha;
            const uint8_t pixel[4] = {uint8_t(value), uint8_t(255 - value), uint8_t(value * 7),
                                      uint8_t(alpha)};
            for (uint32_t dy = 0; dy < 2; ++dy)
                for (uint32_t dx = 0; dx < 2; ++dx)
                    std::copy_n(pixel, 4, boxes.pixel(box % 256 * 2 + dx, box / 256 * 2 + dy));
        }
    const rgba_image plain = half_size_plain(boxes);
    for (uint32_t box = 0; box < 256 * 256; ++box)
        ASSERT_TRUE(std::equal(plain.pixel(box % 256, box / 256),
                               plain.pixel(box % 256, box / 256) + 4,
                               boxes.pixel(box % 256 * 2, box / 256 * 2)))
            << "colour " << box / 256 << " alpha " << box % 256;
    EXPECT_EQ(half_size(boxes).rgba, plain.rgba);
}

// At most 128 x 128 of a picture's top left: the plain search is slow under the sanitizers.
rgba_image corner(const rgba_image& image) {
    rgba_image out;
    out.width = std::min(image.width, 128u);
    out.height = std::min(image.height, 128u);
    for (uint32_t y = 0; y < out.height; ++y)
        out.rgba.insert(out.rgba.end(), image.pixel(0, y), image.pixel(0, y) + out.width * 4);
    return out;
}

// The cached search picks the very entries the plain one does, under both rules, dithered or
// not, on palettes quantized from the picture (dense, 256 and 12 entries) and on one of every
// alpha class whose colours lie far from the picture's; one mapper serves a whole chain alike.
TEST(PaletteMap, CachedSearchEqualsThePlainOne) {
    const std::vector<uint8_t> spread = {0,   0,  0,   0,   255, 255, 255, 0,   10,  200, 30,  255,
                                         200, 10, 30,  255, 128, 128, 128, 128, 255, 255, 0,   64,
                                         0,   0,  255, 255, 90,  90,  90,  200, 255, 255, 255, 255};
    for (const auto& row : all_pictures()) {
        const rgba_image picture = corner(row.image);
        std::vector<std::vector<uint8_t>> palettes = {spread};
        for (uint32_t colours : {256u, 12u}) {
            indexed_image quantized;
            std::string error;
            ASSERT_TRUE(quantize(picture, colours, true, quantized, error)) << row.name << error;
            palettes.push_back(quantized.palette);
        }
        for (size_t p = 0; p < palettes.size(); ++p)
            for (const mapping_rule rule : {mapping_rule::keep_alpha_class, mapping_rule::as_seen})
                for (const bool dither : {false, true}) {
                    const std::string where = row.name + " palette " + std::to_string(p) +
                                              " rule " + std::to_string(int(rule)) + " dither " +
                                              std::to_string(dither);
                    const indexed_image fast = map_to_palette(picture, palettes[p], dither, rule);
                    const indexed_image plain =
                        map_to_palette_plain(picture, palettes[p], dither, rule);
                    ASSERT_EQ(fast.indices.size(), size_t(picture.width) * picture.height) << where;
                    ASSERT_EQ(fast.indices, plain.indices) << where;
                }
        palette_mapper mapper(palettes[1], mapping_rule::keep_alpha_class);
        for (const rgba_image& level : mip_chain(picture, 4))
            ASSERT_EQ(mapper.map(level, true).indices,
                      map_to_palette_plain(level, palettes[1], true).indices)
                << row.name << " level " << level.width;
    }
}

// Squared error of a palette picture against the picture, colour weighted by alpha, and alpha.
double squared_error(const rgba_image& picture, const indexed_image& mapped) {
    double sum = 0;
    for (size_t i = 0; i < mapped.indices.size(); ++i) {
        const uint8_t* p = &picture.rgba[i * 4];
        const uint8_t* q = &mapped.palette[size_t(mapped.indices[i]) * 4];
        for (int k = 0; k < 3; ++k) {
            const double d = (p[k] * p[3] - q[k] * q[3]) / 255.0;
            sum += d * d;
        }
        sum += double(p[3] - q[3]) * double(p[3] - q[3]);
    }
    return sum;
}

// libimagequant by itself at its defaults, dithered: the quality quantize is held to.
indexed_image library_quantized(const rgba_image& picture) {
    indexed_image out{picture.width, picture.height, {}, {}};
    out.indices.resize(size_t(picture.width) * picture.height);
    liq_attr* attr = liq_attr_create();
    liq_image* input = liq_image_create_rgba(attr, picture.rgba.data(), int(picture.width),
                                             int(picture.height), 0);
    liq_result* result = nullptr;
    if (liq_image_quantize(input, attr, &result) == LIQ_OK) {
        liq_set_dithering_level(result, 1.0f);
        liq_write_remapped_image(result, input, out.indices.data(), out.indices.size());
        const liq_palette* palette = liq_get_palette(result);
        for (uint32_t i = 0; i < palette->count; ++i) {
            const liq_color& c = palette->entries[i];
            out.palette.insert(out.palette.end(), {c.r, c.g, c.b, c.a});
        }
        liq_result_destroy(result);
    }
    liq_image_destroy(input);
    liq_attr_destroy(attr);
    return out;
}

// Quantizing to 256 colours, dithered, stays within 0.3 dB of libimagequant's own result over all
// textures of a real dictionary together, photographs and interface art alike; remapping the
// picture onto that palette (as PC palette levels are) within 3 dB of it, keeping alpha classes.
TEST(Quantize, KeepsTheLibrarysQuality) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : {"cspolic.txd", "flowerb.txd", "crsr_hud.txd", "sav4_HUD.TXD"}) {
        double ours = 0, theirs = 0, remapped = 0, samples = 0;
        for (const rgba_image& picture : sample_pictures({file})) {
            indexed_image mapped;
            std::string error;
            ASSERT_TRUE(quantize(picture, 256, true, mapped, error)) << file << ": " << error;
            const indexed_image reference = library_quantized(picture);
            ASSERT_FALSE(reference.palette.empty()) << file;
            indexed_image again;
            ASSERT_TRUE(remap(picture, mapped.palette, true, again, error)) << file << error;
            ours += squared_error(picture, mapped);
            theirs += squared_error(picture, reference);
            remapped += squared_error(picture, again);
            samples += double(mapped.indices.size()) * 4;
        }
        ASSERT_GT(samples, 0) << file;
        const auto psnr = [samples](double sum) {
            return sum > 0 ? 10 * std::log10(255.0 * 255.0 * samples / sum) : 99.0;
        };
        EXPECT_GE(psnr(ours), psnr(theirs) - 0.3) << file;
        EXPECT_GE(psnr(remapped), psnr(ours) - 3) << file;
    }
}

// --png-level trades size for time in export and batch export; out-of-range values and other
// formats are refused.
TEST(PngLevelCli, PacksAsAskedAndRefusesWhatDoesNotApply) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    const auto txd = write_file(dir / "pcbtns.txd", read_file(sample("pcbtns.txd")));
    struct row {
        std::vector<std::string> arguments;
        int exit_code;
    };
    const std::string file = txd.string();
    const row rows[] = {
        {{"export", file, "-t", "0", "-f", "png", "--png-level", "0", "-o",
          (dir / "stored.png").string()},
         0},
        {{"export", file, "-t", "0", "-f", "png", "--png-level", "12", "-o",
          (dir / "tight.png").string()},
         0},
        {{"export", file, "-t", "0", "-f", "png", "--png-level", "13", "-o",
          (dir / "x.png").string()},
         2},
        {{"export", file, "-t", "0", "-f", "png", "--png-level", "fast", "-o",
          (dir / "x.png").string()},
         2},
        {{"export", file, "-t", "0", "-f", "bmp", "--png-level", "3", "-o",
          (dir / "x.bmp").string()},
         2},
        {{"batch", "export", file, "-o", (dir / "batch").string(), "--png-level", "0"}, 0},
        {{"batch", "list", file, "--png-level", "0"}, 2},
    };
    for (const row& r : rows) {
        const auto result = run_cli(r.arguments);
        EXPECT_EQ(result.exit_code, r.exit_code)
            << r.arguments[0] << " " << r.arguments.back() << ": " << result.err;
    }
    const auto stored = read_file(dir / "stored.png"), tight = read_file(dir / "tight.png");
    const png_picture picture = decoded(stored);
    EXPECT_EQ(decoded(tight).image.rgba, picture.image.rgba);
    // Level 0 stores the pixels: a filter byte per row and the pixels themselves at least.
    EXPECT_GT(stored.size(), raw_size(picture) + picture.image.height);
    EXPECT_LT(tight.size(), stored.size());
    // The batch export wrote its files stored too.
    size_t batch_files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "batch")) {
        if (entry.path().extension() != ".png") continue;
        ++batch_files;
        const auto bytes = read_file(entry.path());
        const png_picture written = decoded(bytes);
        EXPECT_GT(bytes.size(), raw_size(written)) << entry.path();
    }
    EXPECT_GT(batch_files, 0u);
}

} // namespace quillmap
