// Mobile dictionaries edited, converted, linted; PC, XBOX and mobile textures replaced from BMP
// and TIM2.
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/mobile_raster_check.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_txd.h"
#include "imageio/picture_file.h"
#include "imageio/png_codec.h"
#include "imageio/ps2_picture.h"
#include "imageio/texture_rgba.h"
#include "raster/tim2_file.h"
#include "session/editor_session.h"
#include "stream/byte_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace quillmap {

namespace {
editor_session opened(const std::filesystem::path& path) {
    editor_session session;
    EXPECT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened)
        << path << ": " << session.open_reason();
    return session;
}

rgba_image picture_of(ps2_txd& txd, uint32_t t, uint32_t level = 0) {
    std::string error;
    rgba_image out = texture_rgba(txd, t, level, error);
    EXPECT_FALSE(out.rgba.empty()) << error;
    return out;
}

// A smooth picture; alpha graded across it unless opaque.
rgba_image gradient(uint32_t w, uint32_t h, bool opaque) {
    rgba_image image{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = image.pixel(x, y);
            p[0] = uint8_t(x * 255 / (w - 1)), p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = uint8_t(255 - p[0] / 2), p[3] = opaque ? 255 : uint8_t(64 + p[1] / 2);
        }
    return image;
}

int max_error(const rgba_image& a, const rgba_image& b) {
    int worst = a.rgba.size() == b.rgba.size() ? 0 : 999;
    for (size_t i = 0; worst != 999 && i < a.rgba.size(); ++i)
        worst = std::max(worst, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
    return worst;
}

double psnr(const rgba_image& a, const rgba_image& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size() && a.rgba.size() == b.rgba.size(); ++i)
        sum += std::pow(double(a.rgba[i]) - double(b.rgba[i]), 2);
    return sum == 0 ? 99 : 10 * std::log10(65025.0 * double(a.rgba.size()) / sum);
}

std::vector<uint8_t> pattern(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i)
        out[i] = uint8_t(i * 37 + seed);
    return out;
}

// A 24-bit BMP of the picture (rows bottom-up, padded to 4 bytes).
std::vector<uint8_t> bmp24(const rgba_image& image) {
    const uint32_t stride = (image.width * 3 + 3) & ~3u, size = 54 + stride * image.height;
    std::vector<uint8_t> out(size, 0);
    const uint32_t fields[] = {size, 0, 54, 40, image.width, image.height};
    out[0] = 'B', out[1] = 'M';
    for (int i = 0; i < 6; ++i)
        for (int b = 0; b < 4; ++b)
            out[2 + 4 * i + b] = uint8_t(fields[i] >> (8 * b));
    out[26] = 1, out[28] = 24;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixel(x, image.height - 1 - y);
            uint8_t* d = &out[54 + y * stride + x * 3];
            d[0] = p[2], d[1] = p[1], d[2] = p[0];
        }
    return out;
}

// The picture as a file the replace reads, by extension.
std::filesystem::path picture_file(const std::filesystem::path& dir, const rgba_image& image,
                                   const std::string& extension) {
    std::string error;
    if (extension == ".bmp") return write_file(dir / "p.bmp", bmp24(image));
    if (extension == ".tm2") {
        tim2_file tim2;
        EXPECT_EQ(tim2.add_picture(image.width, image.height, 32, ps2_pixels_from_rgba(image, 32),
                                   {}, false),
                  1);
        EXPECT_EQ(tim2.write(dir / "p.tm2"), 1) << tim2.last_error;
        return dir / "p.tm2";
    }
    return write_file(dir / "p.png", encode_png_rgba(image, error));
}

mobile_texture_desc mobile_desc(uint32_t platform, uint8_t alpha, uint16_t w, uint16_t h,
                                uint32_t levels, uint32_t word108 = 0) {
    mobile_texture_desc d;
    d.platform = platform, d.alpha = alpha, d.width = w, d.height = h, d.word108 = word108;
    if (word108 == mobile_block_word_early) d.data_offset = mobile_offset::dxt3_blocks;
    d.name = "m" + std::to_string(platform) + std::to_string(alpha) + std::to_string(levels) +
             (word108 ? "early" : "");
    d.header_fill = 0x5A;
    mobile_fields f{platform == 9 ? (alpha ? mobile_format::dxt3 : mobile_format::dxt1)
                                  : (alpha ? mobile_format::rgba4444 : mobile_format::rgb565),
                    w, h, levels};
    for (uint32_t level = 0; level < levels; ++level)
        for (uint8_t b : pattern(size_t(mobile_level_bytes(f, level)), uint8_t(level + 1)))
            d.data.push_back(b);
    // Colour blocks in four-colour mode (first endpoint above the second): opaque texels.
    const size_t block = alpha ? 16 : 8, colour = alpha ? 8 : 0;
    for (size_t i = 0; platform == 9 && i < d.data.size(); i += block) {
        d.data[i + colour + 1] |= 0x80;
        d.data[i + colour + 3] &= 0x7F;
    }
    return d;
}

const std::vector<mobile_texture_desc>& kinds() {
    static const std::vector<mobile_texture_desc> rows = {
        mobile_desc(12, 0, 16, 16, 3),     // RGB 565 with mip levels
        mobile_desc(12, 1, 8, 4, 1),       // RGBA 4444
        mobile_desc(9, 0, 8, 8, 1),        // DXT1 at 152
        mobile_desc(9, 0, 8, 8, 1, 10968), // DXT1 moved to 148 by the word at 108
        mobile_desc(9, 1, 16, 8, 1),       // DXT3 at 148
    };
    return rows;
}

// Every texture of a mobile dictionary rebuilt by the builder: from its stored levels it gives
// the same Struct; from its own decoded picture the same header and size (and, for 16-bit
// pixels, which decode and encode exactly, the same bytes).
void expect_rebuilds(ios_txd& txd, const std::string& file) {
    for (uint32_t t = 0; t < txd.texture_count(); ++t) {
        SCOPED_TRACE(file + " texture " + std::to_string(t));
        const auto data = txd.texture_struct(t);
        const std::vector<uint8_t> before(data.begin(), data.end());
        std::string error, note;
        const auto fields = mobile_fields_of(before, error);
        if (!fields) continue; // PVR and ATC textures are not written
        mobile_texture_source source{*fields, txd.texture_name(t, name_kind::texture)};
        std::copy_n(before.begin() + 64, 32, source.mask.begin());
        const uint32_t start = mobile_pixels_start(fields->format, load_u32(&before[108]));
        source.header.assign(before.begin(), before.begin() + start);
        for (uint32_t level = 0; level < fields->levels; ++level) {
            const auto stored = txd.stored_level(t, level);
            source.levels.emplace_back(stored.begin(), stored.end());
        }
        EXPECT_EQ(mobile_struct_data(source, error), before) << error;

        ASSERT_TRUE(replace_mobile_texture(txd, t, picture_of(txd, t), {}, error, note)) << error;
        const auto after = txd.texture_struct(t);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + start, after.begin()));
        if (!mobile_is_dxt(fields->format)) {
            EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
        }
        EXPECT_EQ(txd.mip_count(t), fields->levels);
    }
}
} // namespace

TEST(MobileBuild, EveryKindRebuildsFromItsLevelsAndItsPicture) {
    ios_txd txd;
    ASSERT_TRUE(
        txd.load(write_temp("kinds.txd", mobile_dictionary_bytes(kinds(), 24)), 0, 0x16, 0));
    expect_rebuilds(txd, "kinds");
}

TEST(MobileBuild, EveryMobileSampleRebuilds) {
    SKIP_WITHOUT_SAMPLES();
    int found = 0;
    for (const auto& path : sample_files(".txd")) {
        editor_session session;
        if (session.open(path.string(), 0, k_all_platforms) != open_status::opened ||
            session.dictionary()->family() != txd_family::mobile)
            continue;
        ++found;
        expect_rebuilds(*dynamic_cast<ios_txd*>(session.dictionary()), path.filename().string());
    }
    if (found == 0) GTEST_SKIP() << "no mobile dictionary among the samples in " << samples_dir();
}

struct replace_row {
    const char* name;
    bool mobile;      // a mobile dictionary (texture 0 DXT1, texture 1 RGB 565), else D3D8 DXT1
    uint32_t texture; // which texture is replaced
    std::optional<mobile_format> format;
    bool opaque;
    const char* extension;
    uint32_t platform; // the texture's platform word afterwards
    double min_psnr;   // DXT rows
    int max_error;     // 16-bit rows: one step of the stored field, as the program shows it
};

class MobileReplace : public ::testing::TestWithParam<replace_row> {};

TEST_P(MobileReplace, SavedAndReopenedItRendersWhatWasPutIn) {
    const replace_row& row = GetParam();
    const auto dir = temp_dir();
    pc_texture_desc pc;
    pc.width = pc.height = 16, pc.compression = 1, pc.levels = {dxt1_solid(0xF800, 16)};
    const auto file =
        row.mobile
            ? write_file(dir / "in.txd", mobile_dictionary_bytes({mobile_desc(9, 0, 16, 16, 1),
                                                                  mobile_desc(12, 0, 16, 16, 3)}))
            : write_file(dir / "in.txd", make_dictionary({make_pc_texture(pc)}).bytes());
    auto session = opened(file);
    const rgba_image put = gradient(16, 16, row.opaque);
    const auto image = picture_file(dir, put, row.extension);
    mobile_edit_options options;
    options.format = row.format;
    const bool replaced = row.format ? session.replace_mobile(row.texture, image.string(), options)
                                     : session.replace(row.texture, image.string(), false);
    ASSERT_TRUE(replaced) << session.last_error();
    ASSERT_TRUE(session.save_as((dir / "out.txd").string())) << session.last_error();

    auto again = opened(dir / "out.txd");
    ps2_txd& txd = *again.dictionary();
    EXPECT_EQ(txd.platform_id(row.texture), row.platform);
    const rgba_image shown = picture_of(txd, row.texture);
    if (row.max_error) {
        EXPECT_LE(max_error(shown, put), row.max_error);
    } else {
        EXPECT_GE(psnr(shown, put), row.min_psnr);
    }
    EXPECT_TRUE(lint_mobile_textures(txd).empty());
    for (const ps2_problem& p : lint_pc_textures(txd))
        EXPECT_TRUE(p.accepted || p.whole_dictionary) << p.what << ": " << p.found;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, MobileReplace,
    ::testing::Values(
        replace_row{"dxt1_png", true, 0, mobile_format::dxt1, true, ".png", 9, 26, 0},
        replace_row{"dxt3_png", true, 0, mobile_format::dxt3, false, ".png", 9, 26, 0},
        replace_row{"rgb565_png", true, 1, mobile_format::rgb565, true, ".png", 12, 0, 12},
        replace_row{"rgba4444_png", true, 1, mobile_format::rgba4444, false, ".png", 12, 0, 24},
        replace_row{"own_565_from_bmp", true, 1, std::nullopt, true, ".bmp", 12, 0, 12},
        replace_row{"own_dxt1_takes_alpha_from_tim2", true, 0, std::nullopt, false, ".tm2", 9, 26,
                    0},
        replace_row{"own_565_takes_alpha_from_tim2", true, 1, std::nullopt, false, ".tm2", 12, 0,
                    24},
        replace_row{"pc_dxt1_from_bmp", false, 0, std::nullopt, true, ".bmp", 8, 26, 0},
        replace_row{"pc_dxt1_from_tim2", false, 0, std::nullopt, true, ".tm2", 8, 26, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct convert_row {
    const char* name;
    std::function<std::filesystem::path(const std::filesystem::path&)> source;
};

class MobileConvert : public ::testing::TestWithParam<convert_row> {};

// Any platform to mobile and mobile back to every other: every texture kept and shown, and
// lint finds nothing either way.
TEST_P(MobileConvert, ToMobileAndBackLintClean) {
    const auto dir = temp_dir();
    const auto source = GetParam().source(dir);
    if (source.empty()) GTEST_SKIP() << "sample " << GetParam().name << " is absent";
    auto session = opened(source);
    std::vector<std::string> skipped, notes;
    ASSERT_TRUE(session.convert_to_mobile(dir / "m.txd", {}, skipped, notes))
        << session.last_error();
    EXPECT_TRUE(skipped.empty());
    auto mobile = opened(dir / "m.txd");
    ps2_txd& m = *mobile.dictionary();
    ASSERT_EQ(m.family(), txd_family::mobile);
    ASSERT_EQ(m.texture_count(), session.dictionary()->texture_count());
    EXPECT_TRUE(lint_mobile_textures(m).empty());
    for (uint32_t t = 0; t < m.texture_count(); ++t) {
        EXPECT_EQ(m.texture_name(t, name_kind::texture),
                  session.dictionary()->texture_name(t, name_kind::texture));
        EXPECT_GE(psnr(picture_of(m, t), picture_of(*session.dictionary(), t)), 25) << t;
    }
    for (pc_layout layout : {pc_layout::d3d8, pc_layout::d3d9, pc_layout::xbox}) {
        pc_convert_options options;
        options.layout = layout;
        ASSERT_TRUE(mobile.convert_to_pc(dir / "pc.txd", options, skipped, notes))
            << mobile.last_error();
        auto pc = opened(dir / "pc.txd");
        for (const ps2_problem& p : lint_pc_textures(*pc.dictionary()))
            EXPECT_TRUE(p.accepted) << pc_layout_name(layout) << " " << p.what;
    }
    ASSERT_TRUE(mobile.convert_to_ps2(dir / "ps2.txd")) << mobile.last_error();
    auto ps2 = opened(dir / "ps2.txd");
    for (const ps2_problem& p : lint_ps2_textures(*ps2.dictionary()))
        ADD_FAILURE() << p.texture << " " << p.what << ": " << p.found << " / " << p.expected;
}

std::filesystem::path from_sample(const char* name) {
    return samples_available() && std::filesystem::exists(sample(name)) ? sample(name)
                                                                        : std::filesystem::path();
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MobileConvert,
    ::testing::Values(convert_row{"mobile",
                                  [](const std::filesystem::path& dir) {
                                      return write_file(dir / "in.txd",
                                                        mobile_dictionary_bytes(kinds()));
                                  }},
                      convert_row{"d3d8", [](auto&) { return from_sample("AMBULAN.TXD"); }},
                      convert_row{"d3d9", [](auto&) { return from_sample("pcbtns.txd"); }},
                      convert_row{"xbox", [](auto&) { return from_sample("radar00.txd"); }},
                      convert_row{"ps2", [](auto&) { return from_sample("cspolic.txd"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MobileConvert, PcDxtBlocksGoAcrossUntouched) {
    SKIP_WITHOUT_SAMPLES();
    pc_txd pc;
    ASSERT_TRUE(pc.load(sample("AMBULAN.TXD"), 0, 0x16, 0));
    ios_txd mobile;
    std::vector<std::string> skipped, notes;
    std::string error;
    ASSERT_TRUE(convert_to_mobile(pc, mobile, {}, skipped, notes, error)) << error;
    // Texture 2 holds opaque DXT1 blocks, texture 0 DXT5 ones (encoded again as DXT3).
    const auto blocks = pc.dxt_blocks(2, 0);
    ASSERT_TRUE(blocks);
    const auto stored = mobile.stored_level(2, 0);
    EXPECT_TRUE(
        std::equal(stored.begin(), stored.end(), blocks->bytes.begin(), blocks->bytes.end()));
    EXPECT_EQ(mobile.compression(0), 1u);
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find("4 mip level(s) dropped"), std::string::npos) << notes[0];
}

struct mips_row {
    const char* name;
    uint32_t texture; // 0 DXT1, 1 RGB 565 16x16 with 3 levels
    mips_request request;
    bool ok;
    uint32_t levels;
};

class MobileMips : public ::testing::TestWithParam<mips_row> {};

TEST_P(MobileMips, LevelZeroStaysAndDxtKeepsOne) {
    const mips_row& row = GetParam();
    auto session =
        opened(write_temp("mips.txd", mobile_dictionary_bytes({mobile_desc(9, 0, 16, 16, 1),
                                                               mobile_desc(12, 0, 16, 16, 3)})));
    auto& txd = *dynamic_cast<ios_txd*>(session.dictionary());
    const auto level0 = txd.stored_level(row.texture, 0);
    const std::vector<uint8_t> before(level0.begin(), level0.end());
    EXPECT_EQ(session.set_mips(row.texture, row.request), row.ok) << session.last_error();
    if (!row.ok) {
        EXPECT_NE(session.last_error().find("keep one mip level"), std::string::npos);
    }
    EXPECT_EQ(txd.mip_count(row.texture), row.levels);
    const auto after = txd.stored_level(row.texture, 0);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin(), before.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, MobileMips,
    ::testing::Values(mips_row{"plain_count", 1, {mips_mode::count, 2}, true, 2},
                      mips_row{"plain_full_chain", 1, {mips_mode::full_chain, 0}, true, 5},
                      mips_row{"plain_beyond_the_chain", 1, {mips_mode::count, 9}, true, 5},
                      mips_row{"dxt_more_refused", 0, {mips_mode::count, 2}, false, 1},
                      mips_row{"dxt_keep", 0, {mips_mode::keep, 0}, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct lint_row {
    const char* name;
    std::function<void(std::vector<mobile_texture_desc>&, uint32_t&)> damage;
    std::vector<std::string> found; // what lint reports
};

class MobileLint : public ::testing::TestWithParam<lint_row> {};

TEST_P(MobileLint, FindsTheDamageAndRepairMendsIt) {
    std::vector<mobile_texture_desc> textures = {mobile_desc(12, 0, 8, 8, 2),
                                                 mobile_desc(9, 1, 8, 8, 1)};
    uint32_t count_word = 0;
    GetParam().damage(textures, count_word);
    const auto dir = temp_dir();
    auto session =
        opened(write_file(dir / "in.txd", mobile_dictionary_bytes(textures, 0, count_word)));
    std::vector<std::string> found;
    for (const ps2_problem& p : lint_mobile_textures(*session.dictionary()))
        found.push_back(p.what + ": " + p.found + " / " + p.expected);
    EXPECT_EQ(found, GetParam().found);
    EXPECT_EQ(repair_mobile_textures(*session.dictionary()), GetParam().found.size());
    ASSERT_TRUE(session.save_as((dir / "out.txd").string())) << session.last_error();
    auto again = opened(dir / "out.txd");
    EXPECT_TRUE(lint_mobile_textures(*again.dictionary()).empty());
    EXPECT_EQ(again.dictionary()->texture_count(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Damage, MobileLint,
                         ::testing::Values(lint_row{"clean", [](auto&, uint32_t&) {}, {}},
                                           lint_row{"device_id_in_the_count_word",
                                                    [](auto&, uint32_t& word) { word = 0x60002; },
                                                    {"count word (device id half): 0x60002 / 0x2"}},
                                           lint_row{"alpha_byte_2",
                                                    [](auto& t, uint32_t&) { t[1].alpha = 2; },
                                                    {"alpha byte (98): 2 / 1"}},
                                           lint_row{
                                               "partial_level",
                                               [](auto& t, uint32_t&) {
                                                   t[0].data.resize(t[0].data.size() + 5, 0);
                                               },
                                               {"16-bit pixel bytes: 165 / 160 (whole levels)"}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct bmp_row {
    const char* name;
    uint16_t bits;
    bool top_down;
    bool alpha; // read with bmp_alpha
};

class BmpPicture : public ::testing::TestWithParam<bmp_row> {};

// A 3x2 picture of palette entries (1 bit: two of them) in every depth a BMP holds, read back
// as the replace reads it: colours, row order, index packing and alpha as asked.
TEST_P(BmpPicture, ReadsAsTheReplaceTakesIt) {
    const bmp_row& row = GetParam();
    const uint8_t colours[4][4] = {
        {10, 20, 30, 40}, {200, 0, 50, 0}, {0, 255, 0, 128}, {1, 2, 3, 255}};
    const uint8_t index[2][3] = {{0, 1, 2}, {3, 2, 1}}; // top row first
    const auto entry = [&](uint32_t x, uint32_t y) {
        return index[y][x] % (1u << std::min<int>(row.bits, 2));
    };
    const bool paletted = row.bits <= 8;
    const uint32_t palette = paletted ? 4u << row.bits : 0;
    const uint32_t stride = ((3 * row.bits + 31) / 32) * 4, offset = 54 + palette;
    std::vector<uint8_t> file(offset + stride * 2, 0);
    const int32_t height = row.top_down ? -2 : 2;
    const uint32_t fields[] = {uint32_t(file.size()), 0, offset, 40, 3, uint32_t(height)};
    file[0] = 'B', file[1] = 'M', file[26] = 1, file[28] = uint8_t(row.bits);
    for (int i = 0; i < 6; ++i)
        for (int b = 0; b < 4; ++b)
            file[2 + 4 * i + b] = uint8_t(fields[i] >> (8 * b));
    for (uint32_t i = 0; paletted && i < 4 && i < (1u << row.bits); ++i)
        for (int c = 0; c < 4; ++c)
            file[54 + 4 * i + c] = c == 3 ? colours[i][3] : colours[i][2 - c];
    for (uint32_t y = 0; y < 2; ++y) {
        uint8_t* out = &file[offset + stride * (row.top_down ? y : 1 - y)];
        for (uint32_t x = 0; x < 3; ++x) {
            const uint32_t e = entry(x, y);
            if (paletted) {
                const uint32_t bit = x * row.bits;
                out[bit / 8] |= uint8_t(e << (8 - row.bits - bit % 8));
            } else {
                for (int c = 0; c < row.bits / 8; ++c)
                    out[x * (row.bits / 8) + c] = c == 3 ? colours[e][3] : colours[e][2 - c];
            }
        }
    }
    png_picture picture;
    std::string error;
    ASSERT_TRUE(read_picture_file(write_temp("p.bmp", file), picture, error, row.alpha)) << error;
    ASSERT_EQ(picture.image.width, 3u);
    ASSERT_EQ(picture.image.height, 2u);
    EXPECT_EQ(picture.indexed.has_value(), paletted);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            const uint8_t* c = colours[entry(x, y)];
            const uint8_t* p = picture.image.pixel(x, y);
            EXPECT_EQ(std::vector<uint8_t>(p, p + 4),
                      std::vector<uint8_t>({c[0], c[1], c[2], row.alpha ? c[3] : uint8_t(255)}))
                << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpPicture,
                         ::testing::Values(bmp_row{"one_bit", 1, false, false},
                                           bmp_row{"four_bit_odd_width", 4, false, false},
                                           bmp_row{"eight_bit_top_down", 8, true, false},
                                           bmp_row{"palette_alpha", 8, false, true},
                                           bmp_row{"rgb24", 24, false, false},
                                           bmp_row{"rgba32_alpha", 32, true, true},
                                           bmp_row{"rgb32_without_alpha", 32, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace quillmap
