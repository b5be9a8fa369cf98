#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "dictionary/xbox_txd.h"
#include "raster/display_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace quillmap {

namespace {
// How closely a converted texture must show the source: 16-bit and DXT sources are shown by
// their own dictionary at 4 to 6 bits per channel, while the conversion keeps the full colour.
struct tolerance {
    int colour = 0;
    int alpha = 3;
    bool compare_alpha = true;
};

tolerance tolerance_for(ps2_txd& source, uint32_t t) {
    tolerance out;
    const uint32_t format = source.pixel_format(t);
    const bool sixteen_or_dxt = source.compression(t) != 0 || source.depth(t) == 16;
    if (sixteen_or_dxt) {
        out.colour = 17;
        out.alpha = 17;
    }
    // Only formats with alpha show it in the source; 565 and 888 rasters are opaque there.
    out.compare_alpha = format == 0x4444 || format == 0x1555 || format == 0x8888;
    // Mobile pixels are shown with their alpha (565 as opaque) by both dictionaries.
    if (dynamic_cast<ios_txd*>(&source)) out.compare_alpha = true;
    return out;
}

void expect_same_picture(ps2_txd& source, uint32_t t, ps2_txd& converted, uint32_t u,
                         const tolerance& limits) {
    for (view_mode mode : {view_mode::texture, view_mode::mixed}) {
        if (mode == view_mode::mixed && !limits.compare_alpha) continue;
        auto want = source.render(t, mode, swizzle_mode::as_stored, nullptr, 0);
        auto got = converted.render(u, mode, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(want) << "source " << t << ": " << source.last_error;
        ASSERT_TRUE(got) << "converted " << u << ": " << converted.last_error;
        ASSERT_EQ(got->width, want->width);
        ASSERT_EQ(got->height, want->height);
        for (uint32_t y = 0; y < want->height; ++y)
            for (uint32_t x = 0; x < want->width; ++x) {
                const bgra a = pixel_at(*want, x, y), b = pixel_at(*got, x, y);
                ASSERT_LE(std::abs(a.r - b.r), limits.colour) << t << " @" << x << "," << y;
                ASSERT_LE(std::abs(a.g - b.g), limits.colour) << t << " @" << x << "," << y;
                ASSERT_LE(std::abs(a.b - b.b), limits.colour) << t << " @" << x << "," << y;
                if (mode == view_mode::mixed) {
                    ASSERT_LE(std::abs(a.a - b.a), limits.alpha) << t << " @" << x << "," << y;
                }
            }
    }
}

// Converts, checks the names, saves, reopens through the probe as a PS2 dictionary and compares
// every texture's picture with the source's.
void convert_and_compare(ps2_txd& source, const std::vector<std::string>& expect_skipped = {}) {
    const auto out = temp_dir() / "converted.txd";
    std::string error;
    std::vector<std::string> skipped;
    ASSERT_TRUE(convert_to_ps2(source, out, error, &skipped)) << error;
    EXPECT_EQ(skipped, expect_skipped);

    auto reopened = probe_dictionary(out, 0, k_all_platforms);
    ASSERT_TRUE(reopened.dictionary);
    ASSERT_EQ(reopened.platform, txd_platform::ps2);
    ps2_txd& converted = *reopened.dictionary;
    EXPECT_EQ(converted.root_version(), source.root_version());
    ASSERT_EQ(converted.texture_count(), source.texture_count() - skipped.size());
    uint32_t u = 0;
    for (uint32_t t = 0; t < source.texture_count(); ++t) {
        const std::string name = source.texture_name(t, name_kind::texture);
        if (std::find(skipped.begin(), skipped.end(), name) != skipped.end()) continue;
        EXPECT_EQ(converted.texture_name(u, name_kind::texture), name);
        EXPECT_EQ(converted.texture_name(u, name_kind::mask),
                  source.texture_name(t, name_kind::mask));
        EXPECT_TRUE(converted.is_ps2(u));
        expect_same_picture(source, t, converted, u, tolerance_for(source, t));
        source.release_pixels(t);
        converted.release_pixels(u);
        ++u;
    }
}

std::vector<uint8_t> pixels32(uint32_t count, std::initializer_list<uint8_t> bgra_bytes) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < count; ++i)
        out.insert(out.end(), bgra_bytes);
    return out;
}
} // namespace

TEST(ConvertPs2, PcTexturesOfEveryKindShowTheSamePictures) {
    std::vector<test_chunk> textures;

    pc_texture_desc pal8;
    pal8.name = "pal8";
    pal8.mask = "pal8a";
    pal8.depth = 8;
    pal8.raster_format = 0x2500;
    pal8.palette.resize(1024);
    for (size_t i = 0; i < 1024; ++i)
        pal8.palette[i] = uint8_t(i * 7 + 3);
    // Entries 8 and 16 change places in console order: use both, and different alphas.
    std::vector<uint8_t> indices(64);
    for (size_t i = 0; i < 64; ++i)
        indices[i] = uint8_t(i % 2 ? 8 : 16 + i);
    pal8.levels = {indices};
    textures.push_back(make_pc_texture(pal8));

    pc_texture_desc pal4 = pal8;
    pal4.name = "pal4";
    pal4.depth = 4;
    pal4.raster_format = 0x4500;
    pal4.palette.resize(128); // the 0x4000 flag stores 32 entries
    pal4.levels = {std::vector<uint8_t>(32, 0x3C)};
    textures.push_back(make_pc_texture(pal4));

    pc_texture_desc bgra32;
    bgra32.name = "bgra32";
    bgra32.depth = 32;
    bgra32.raster_format = 0x500;
    bgra32.levels = {pixels32(64, {10, 120, 230, 77})};
    textures.push_back(make_pc_texture(bgra32));

    for (uint32_t format : {0x100u, 0x300u, 0x200u}) {
        pc_texture_desc s16;
        s16.name = "s16_" + std::to_string(format);
        s16.raster_format = format;
        s16.levels = {fill16(0x9A37, 32)};
        auto more = fill16(0x1C2F, 32);
        s16.levels[0].insert(s16.levels[0].end(), more.begin(), more.end());
        textures.push_back(make_pc_texture(s16));
    }

    pc_texture_desc dxt1;
    dxt1.name = "dxt1";
    dxt1.compression = 1;
    dxt1.levels = {dxt1_solid(0xF81F, 4)};
    textures.push_back(make_pc_texture(dxt1));
    pc_texture_desc dxt3 = dxt1;
    dxt3.name = "dxt3";
    dxt3.compression = 3;
    dxt3.raster_format = 0x300;
    dxt3.levels = {dxt3_solid(0x07FF, 0x9, 4)};
    textures.push_back(make_pc_texture(dxt3));
    pc_texture_desc dxt5 = dxt3;
    dxt5.name = "dxt5";
    dxt5.platform = 9;
    dxt5.compression = 8;
    dxt5.format_word = {'D', 'X', 'T', '5'};
    dxt5.levels = {dxt5_solid(0xFFE0, 0x66, 4)};
    dxt5.mip_count = 2;
    dxt5.levels.push_back(dxt5_solid(0x001F, 0x10, 1));
    textures.push_back(make_pc_texture(dxt5));

    pc_txd source;
    ASSERT_TRUE(source.load(write_temp("pc.txd", make_dictionary(std::move(textures)).bytes()), 0,
                            0x16, 0));
    convert_and_compare(source);
}

TEST(ConvertPs2, PaletteAndPixelBytesAreInThePs2Layout) {
    pc_texture_desc pal8;
    pal8.depth = 8;
    pal8.raster_format = 0x2500;
    pal8.format_word = {1, 0, 0, 0}; // has alpha: its palette's alpha bytes count
    pal8.palette.assign(1024, 0);
    const uint8_t entry8[4] = {1, 2, 3, 255}, entry16[4] = {4, 5, 6, 0};
    std::memcpy(&pal8.palette[32], entry8, 4);
    std::memcpy(&pal8.palette[64], entry16, 4);
    pal8.levels = {std::vector<uint8_t>(64, 8)};
    pc_texture_desc bgra32;
    bgra32.depth = 32;
    bgra32.raster_format = 0x500;
    bgra32.levels = {pixels32(64, {10, 20, 30, 255})};
    pc_txd source;
    ASSERT_TRUE(source.load(
        write_temp("pc.txd",
                   make_dictionary({make_pc_texture(pal8), make_pc_texture(bgra32)}).bytes()),
        0, 0x16, 0));
    ps2_txd target;
    std::string error;
    ASSERT_TRUE(convert_to_ps2(source, target, error)) << error;
    ASSERT_EQ(target.texture_count(), 2u);
    // Console order swaps slots 8 and 16; alpha 255 becomes 0x80.
    const auto palette = target.palette(0);
    ASSERT_EQ(palette.size(), 1024u);
    EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 64, palette.begin() + 68),
              (std::vector<uint8_t>{1, 2, 3, 0x80}));
    EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 32, palette.begin() + 36),
              (std::vector<uint8_t>{4, 5, 6, 0}));
    EXPECT_EQ(target.pixels(0, 0)[0], 8);
    // 32-bit pixels red, green, blue, alpha 0..0x80.
    const auto pixels = target.pixels(1, 0);
    ASSERT_GE(pixels.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4),
              (std::vector<uint8_t>{30, 20, 10, 0x80}));
    // Built the way the game's converter builds: 8-bit data swizzled.
    EXPECT_TRUE(target.is_swizzled(0));
}

TEST(ConvertPs2, MobileTexturesWithoutPixelsAreLeftOutAndNamed) {
    mobile_texture_desc plain;
    plain.name = "plain";
    plain.alpha = 1;
    plain.data = fill16(0x48CF, 64);
    mobile_texture_desc pvr;
    pvr.platform = 10;
    pvr.name = "pvrtex";
    pvr.data.assign(32, 1);
    mobile_texture_desc dxt3;
    dxt3.platform = 9;
    dxt3.alpha = 1;
    dxt3.name = "dxt3";
    dxt3.data = dxt3_solid(0x07E0, 0xA, 4);
    mobile_texture_desc dxt1;
    dxt1.platform = 9;
    dxt1.name = "dxt1";
    dxt1.data = dxt1_solid(0x001F, 4);
    ios_txd source;
    ASSERT_TRUE(source.load(
        write_temp("m.txd", mobile_dictionary_bytes({plain, pvr, dxt3, dxt1}, 24)), 0, 0x16, 0));
    convert_and_compare(source, {"pvrtex"});
}

TEST(ConvertPs2, XboxTextures) {
    pc_texture_desc desc;
    desc.platform = 5;
    desc.compression = 15;
    desc.raster_format = 0x300;
    desc.xbox_layout = true;
    desc.levels = {dxt5_solid(0x7BEF, 0x40, 4)};
    pc_texture_desc unknown = desc;
    unknown.name = "odd";
    unknown.compression = 16;
    xbox_txd source;
    ASSERT_TRUE(source.load(
        write_temp(
            "x.txd",
            make_dictionary({make_pc_texture(desc), make_pc_texture(unknown)}, 0x350).bytes()),
        0, 0x16, 0));
    convert_and_compare(source, {"odd"});
}

TEST(ConvertPs2, SourceWithoutTree) {
    pc_txd source;
    std::string error;
    EXPECT_FALSE(convert_to_ps2(source, temp_dir() / "none.txd", error));
    EXPECT_EQ(error, "RW Stream is not opened.");
    EXPECT_EQ(source.last_error, "RW Stream is not opened.");
}

class ConvertSample : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertSample, ReopensAsPs2WithTheSamePictures) {
    SKIP_WITHOUT_SAMPLES();
    if (!std::filesystem::exists(sample(GetParam())))
        GTEST_SKIP() << "sample " << GetParam() << " is absent";
    auto opened = probe_dictionary(sample(GetParam()), 0, k_all_platforms);
    ASSERT_TRUE(opened.dictionary);
    convert_and_compare(*opened.dictionary);
}

INSTANTIATE_TEST_SUITE_P(Samples, ConvertSample,
                         ::testing::Values("AMBULAN.TXD", "mainsc2.txd", "g3le_MISC.TXD",
                                           "LD_SPAC.txd", "pcbtns.txd", "crsr_misc.txd",
                                           "crsr_hud.txd", "tdem_tde.txd", "radar00.txd",
                                           "playerh.txd", "flowerb.txd", "cspolic.txd"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (auto& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(ConvertPs2, CommandLine) {
    mobile_texture_desc plain;
    plain.data = fill16(0xF800, 64);
    mobile_texture_desc atc;
    atc.platform = 11;
    atc.name = "atctex";
    auto dir = temp_dir();
    const auto in = write_file(dir / "in.txd", mobile_dictionary_bytes({plain, atc}));
    const auto out = dir / "out.txd";
    const std::string command = std::string("\"") + QUILLMAP_CLI_PATH + "\" convert \"" +
                                in.string() + "\" -o \"" + out.string() + "\" 2> \"" +
                                (dir / "err.txt").string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto err = read_file(dir / "err.txt");
    EXPECT_NE(std::string(err.begin(), err.end()).find("skipped atctex"), std::string::npos);
    auto reopened = probe_dictionary(out, 0, k_all_platforms);
    ASSERT_TRUE(reopened.dictionary);
    EXPECT_EQ(reopened.platform, txd_platform::ps2);
    EXPECT_EQ(reopened.dictionary->texture_count(), 1u);

    const std::string usage =
        std::string("\"") + QUILLMAP_CLI_PATH + "\" convert \"" + in.string() + "\" 2> /dev/null";
    EXPECT_NE(std::system(usage.c_str()), 0);
}

} // namespace quillmap
