#include "app/picture_control.h"

#include <gtest/gtest.h>

#include <QImage>

namespace quillmap {

namespace {

// A 2x2 picture, rows bottom-up: bottom row blue, green; top row red, white.
device_bitmap two_by_two(uint32_t bits) {
    auto bitmap = std::make_unique<display_image>();
    bitmap->width = 2;
    bitmap->height = 2;
    bitmap->bits = bits;
    bitmap->stride = display_image::stride_for(2, bits);
    bitmap->bytes.assign(static_cast<size_t>(bitmap->stride) * 2, 0);
    const uint8_t bottom[2][3] = {{0xFF, 0, 0}, {0, 0xFF, 0}};    // B,G,R
    const uint8_t top[2][3] = {{0, 0, 0xFF}, {0xFF, 0xFF, 0xFF}}; // B,G,R
    const size_t step = bits / 8;
    for (int x = 0; x < 2; ++x) {
        for (int c = 0; c < 3; ++c) {
            bitmap->bytes[x * step + c] = bottom[x][c];
            bitmap->bytes[bitmap->stride + x * step + c] = top[x][c];
        }
        if (bits == 32) {
            bitmap->bytes[x * step + 3] = 0xFF;
            bitmap->bytes[bitmap->stride + x * step + 3] = 0xFF;
        }
    }
    return bitmap;
}

class MainPicture : public ::testing::TestWithParam<uint32_t> {};

TEST_P(MainPicture, BottomUpRowsShowTheRightWayUp) {
    CPictureControl control;
    control.resize(20, 20);
    control.set_bitmap(two_by_two(GetParam()));
    const QImage picture = control.picture();
    ASSERT_EQ(picture.size(), QSize(2, 2));
    EXPECT_EQ(QColor(picture.pixel(0, 0)), QColor(0xFF, 0, 0));
    EXPECT_EQ(QColor(picture.pixel(1, 0)), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(QColor(picture.pixel(0, 1)), QColor(0, 0, 0xFF));
    EXPECT_EQ(QColor(picture.pixel(1, 1)), QColor(0, 0xFF, 0));

    // On screen the picture is centred at its own size, top row on top.
    const QImage shot = control.grab().toImage();
    EXPECT_EQ(shot.pixelColor(9, 9), QColor(0xFF, 0, 0));
    EXPECT_EQ(shot.pixelColor(10, 9), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(shot.pixelColor(9, 10), QColor(0, 0, 0xFF));
    EXPECT_EQ(shot.pixelColor(10, 10), QColor(0, 0xFF, 0));
}

INSTANTIATE_TEST_SUITE_P(Depths, MainPicture, ::testing::Values(24u, 32u));

TEST(MainPictureBytes, InconsistentSizesShowNothing) {
    auto bitmap = two_by_two(24);
    bitmap->height = 3; // claims more rows than its bytes hold
    EXPECT_TRUE(image_over(*bitmap).isNull());
    bitmap->height = 2;
    bitmap->bits = 16;
    EXPECT_TRUE(image_over(*bitmap).isNull());
    bitmap->bits = 24;
    bitmap->stride = 4; // shorter than a row of 2 pixels
    EXPECT_TRUE(image_over(*bitmap).isNull());
    CPictureControl control;
    control.set_bitmap(nullptr);
    EXPECT_TRUE(control.picture().isNull());
}

} // namespace

} // namespace quillmap
