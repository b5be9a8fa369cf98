// A PC palette texture whose Struct says it has no alpha shows, exports and converts opaque,
// whatever its palette's alpha bytes hold; one that has alpha keeps it everywhere.
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/pc_txd.h"
#include "imageio/png_codec.h"
#include "imageio/texture_png.h"

#include <gtest/gtest.h>

namespace quillmap {

TEST(PcPaletteAlpha, NoAlphaMeansOpaqueInPreviewExportAndConversion) {
    const struct {
        const char* name;
        uint32_t platform;
        uint32_t raster_format;
        uint8_t has_alpha; // the word at 76 (D3D8); D3D9 keeps it in bit 0 of byte 87
        uint8_t palette_alpha;
        bool opaque;
    } cases[] = {
        {"888 palette, alpha bytes 0", 8, 0x2600, 0, 0, true},
        {"888 palette, has-alpha word set", 8, 0x2600, 1, 0, true},
        {"8888 palette, has-alpha word 0", 8, 0x2500, 0, 0, true},
        {"8888 palette with alpha", 8, 0x2500, 1, 0, false},
        {"8888 palette, half alpha", 8, 0x2500, 1, 0x40, false},
        {"D3D9 palette without the alpha flag", 9, 0x2500, 0, 0, true},
        {"D3D9 palette with the alpha flag", 9, 0x2500, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pc_texture_desc desc;
        desc.platform = c.platform;
        desc.name = "pal";
        desc.depth = 8;
        desc.raster_format = c.raster_format;
        if (c.platform == 9)
            desc.compression = c.has_alpha;
        else
            desc.format_word = {c.has_alpha, 0, 0, 0};
        for (uint32_t e = 0; e < 256; ++e)
            desc.palette.insert(desc.palette.end(),
                                {uint8_t(e), uint8_t(255 - e), 90, c.palette_alpha});
        std::vector<uint8_t> indices(64);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = uint8_t(i * 3);
        desc.levels = {indices};
        const auto path = write_temp("pal.txd", make_dictionary({make_pc_texture(desc)}).bytes());
        pc_txd txd;
        ASSERT_TRUE(txd.load(path, 0, 0x16, 0)) << txd.last_error;
        const uint8_t shown_alpha = c.opaque ? 255 : c.palette_alpha;

        // Preview, alpha view: grey of the alpha.
        const device_bitmap alpha =
            txd.render(0, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(alpha);
        ASSERT_EQ(alpha->bits, 32u);
        EXPECT_EQ(alpha->top_row(0)[3], shown_alpha);

        // PNG export.
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(texture_png(txd, 0, 0, view_mode::texture, swizzle_mode::as_stored, png, error))
            << error;
        png_picture picture;
        ASSERT_TRUE(decode_png(png, picture, error)) << error;
        for (size_t i = 3; i < picture.image.rgba.size(); i += 4)
            ASSERT_EQ(picture.image.rgba[i], shown_alpha) << "pixel " << i / 4;

        // Conversion: PS2 alpha 0x80 is opaque.
        ps2_raster raster;
        ASSERT_TRUE(ps2_raster_of(txd, 0, raster, error)) << error;
        ASSERT_EQ(raster.palette.size(), 1024u);
        EXPECT_EQ(raster.palette[3], c.opaque ? 0x80 : (c.palette_alpha + 1) / 2);
    }
}

} // namespace quillmap
