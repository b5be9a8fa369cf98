#include "imageio/thumbnail.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

struct thumbnail_case {
    const char* what;
    std::vector<ps2_texture_desc> textures;
    uint32_t size;
    uint32_t width; // 0: refused
    uint32_t height;
    std::vector<bool> cells_drawn; // for grids: which of the four cells hold a picture
};

class Thumbnail : public ::testing::TestWithParam<thumbnail_case> {};

bool cell_has_picture(const rgba_image& image, uint32_t cell) {
    const uint32_t side = image.width / 2;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            if (image.pixel((cell % 2) * side + x, (cell / 2) * side + y)[3] != 0) return true;
    return false;
}

TEST_P(Thumbnail, FitsTheFirstTexturesIntoTheAskedSize) {
    const thumbnail_case& row = GetParam();
    std::vector<test_chunk> textures;
    for (const auto& desc : row.textures)
        textures.push_back(make_ps2_texture(desc));
    ps2_txd txd;
    ASSERT_TRUE(
        txd.load(write_temp("thumb.txd", make_dictionary(std::move(textures)).bytes()), 0, 0x16, 0))
        << txd.last_error;
    rgba_image image;
    std::string error;
    const bool drawn = render_thumbnail(txd, row.size, image, error);
    if (row.width == 0) {
        EXPECT_FALSE(drawn);
        EXPECT_FALSE(error.empty());
        return;
    }
    ASSERT_TRUE(drawn) << error;
    EXPECT_EQ(image.width, row.width);
    EXPECT_EQ(image.height, row.height);
    ASSERT_EQ(image.rgba.size(), size_t(image.width) * image.height * 4);
    for (uint32_t cell = 0; cell < row.cells_drawn.size(); ++cell)
        EXPECT_EQ(cell_has_picture(image, cell), row.cells_drawn[cell]) << "cell " << cell;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Thumbnail,
    ::testing::Values(
        thumbnail_case{"wide texture shrinks keeping its aspect",
                       {{.width = 64, .height = 32, .depth = 32}},
                       16,
                       16,
                       8,
                       {}},
        thumbnail_case{"tiny texture grows at most eightfold",
                       {{.width = 8, .height = 8, .depth = 8}},
                       256,
                       64,
                       64,
                       {}},
        thumbnail_case{"mip levels: drawn from a smaller level",
                       {{.width = 128, .height = 128, .depth = 8, .swizzled = true, .levels = 4}},
                       32,
                       32,
                       32,
                       {}},
        thumbnail_case{
            "three textures fill three cells of the grid",
            {{.name = "a", .depth = 32}, {.name = "b", .depth = 8}, {.name = "c", .depth = 4}},
            64,
            64,
            64,
            {true, true, true, false}},
        thumbnail_case{"no texture", {}, 64, 0, 0, {}},
        thumbnail_case{"size below the smallest", {{.depth = 8}}, 4, 0, 0, {}}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

} // namespace

} // namespace quillmap
