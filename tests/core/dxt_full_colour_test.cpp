// DXT textures are previewed and exported at 8 bits per channel, as conversion decodes them: a
// texture's preview and that of its converted PS2 copy are the same picture.
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/ios_txd.h"
#include "dictionary/txd_probe.h"
#include "raster/display_image.h"
#include "raster/ps2_bitmap.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
// One DXT1 block: white and black endpoints, every pixel index 2 (two thirds white): 170 at full
// colour, 168 when repacked to five bits.
std::vector<uint8_t> two_thirds_grey(uint32_t blocks) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < blocks; ++i)
        out.insert(out.end(), {0xFF, 0xFF, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA});
    return out;
}

std::vector<uint8_t> gradient_dxt1(uint32_t blocks) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < blocks; ++i) {
        const uint16_t c0 = uint16_t(0xF81F - i * 0x0841), c1 = uint16_t(0x0020 * i);
        out.insert(out.end(), {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0x1B,
                               0x6C, 0xB1, 0xE4});
    }
    return out;
}

pc_texture_desc d3d9_dxt1(std::vector<uint8_t> blocks) {
    pc_texture_desc desc;
    desc.platform = 9;
    desc.format_word = {'D', 'X', 'T', '1'};
    desc.compression = 8;
    desc.raster_format = 0x100;
    desc.levels = {std::move(blocks)};
    return desc;
}
} // namespace

TEST(DxtFullColour, PreviewExportAndMobilePreviewKeepEightBitsPerChannel) {
    const auto dir = temp_dir();
    auto pc = probe_dictionary(
        write_file(dir / "pc.txd",
                   make_dictionary({make_pc_texture(d3d9_dxt1(two_thirds_grey(4)))}).bytes()),
        0, k_all_platforms);
    ASSERT_TRUE(pc.dictionary);
    auto image = pc.dictionary->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(rgb_at(*image, 3, 5), (bgra{170, 170, 170, 0}));

    const auto bmp = dir / "grey.bmp";
    ASSERT_TRUE(pc.dictionary->export_texture(0, view_mode::texture, export_type::bmp, &bmp,
                                              swizzle_mode::as_stored));
    ps2_bitmap exported;
    ASSERT_TRUE(exported.read_bmp(bmp));
    ASSERT_GE(exported.depth(), 24u);
    EXPECT_EQ(exported.pixels[0], 170);
    EXPECT_EQ(exported.pixels[1], 170);

    mobile_texture_desc mobile;
    mobile.platform = 9;
    mobile.data = two_thirds_grey(4);
    ios_txd txd;
    ASSERT_TRUE(txd.load(write_file(dir / "m.txd", mobile_dictionary_bytes({mobile})), 0, 0x16, 0));
    auto mobile_image = txd.render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(mobile_image);
    EXPECT_EQ(rgb_at(*mobile_image, 0, 0), (bgra{170, 170, 170, 0}));
}

TEST(DxtFullColour, PreviewEqualsThePreviewOfTheConvertedCopy) {
    std::vector<std::filesystem::path> files = {write_temp(
        "gradient.txd", make_dictionary({make_pc_texture(d3d9_dxt1(gradient_dxt1(4)))}).bytes())};
    if (samples_available())
        for (const char* name : {"LD_SPAC.txd", "pcbtns.txd", "tdem_tde.txd", "AMBULAN.TXD"})
            if (std::filesystem::exists(sample(name))) files.push_back(sample(name));
    for (const auto& file : files) {
        auto source = probe_dictionary(file, 0, k_all_platforms);
        ASSERT_TRUE(source.dictionary) << file;
        ps2_txd converted;
        std::string error;
        ASSERT_TRUE(convert_to_ps2(*source.dictionary, converted, error)) << error;
        for (uint32_t t = 0; t < source.dictionary->texture_count(); ++t) {
            auto original = source.dictionary->render(t, view_mode::texture,
                                                      swizzle_mode::as_stored, nullptr, 0);
            auto copy =
                converted.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
            ASSERT_TRUE(original && copy) << file << " texture " << t;
            ASSERT_EQ(original->width, copy->width);
            ASSERT_EQ(original->height, copy->height);
            size_t differing = 0;
            for (uint32_t y = 0; y < copy->height; ++y)
                for (uint32_t x = 0; x < copy->width; ++x)
                    differing += !(rgb_at(*original, x, y) == rgb_at(*copy, x, y));
            EXPECT_EQ(differing, 0u) << file << " texture " << t;
        }
    }
}

} // namespace quillmap
