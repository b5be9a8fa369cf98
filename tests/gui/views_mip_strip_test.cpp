// The mip strip's level sizes: whole screen pixels per texel for every level that fits, levels
// too tall for the strip shrunk to its height, one shared scale only when nothing else fits.
#include "views/mip_strip.h"

#include <QImage>

#include <gtest/gtest.h>

namespace quillmap {

namespace {
std::vector<QImage> chain(int width, int height, int levels) {
    std::vector<QImage> out;
    for (int level = 0; level < levels; ++level) {
        QImage image(std::max(1, width >> level), std::max(1, height >> level),
                     QImage::Format_ARGB32);
        image.fill(Qt::white);
        out.push_back(image);
    }
    return out;
}

TEST(mip_strip_sizes, small_levels_keep_whole_pixels) {
    enum class rule { one_whole_scale, whole_below_the_height, one_shared_scale };
    struct row {
        const char* what;
        int width, height, levels;
        QSize strip;
        rule expected;
        int scale; // one_whole_scale: screen pixels per texel
    };
    const row rows[] = {
        {"16x16 with room: three pixels per texel", 16, 16, 5, {600, 56}, rule::one_whole_scale, 3},
        {"64x32 with room: one pixel per texel", 64, 32, 3, {600, 56}, rule::one_whole_scale, 1},
        {"8x8 capped at four", 8, 8, 4, {600, 56}, rule::one_whole_scale, 4},
        {"256x256 in a 56-pixel strip", 256, 256, 9, {600, 56}, rule::whole_below_the_height, 0},
        {"512x128 in a 56-pixel strip", 512, 128, 10, {700, 56}, rule::whole_below_the_height, 0},
        {"512x32 in a narrow strip", 512, 32, 6, {300, 56}, rule::one_shared_scale, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        mip_strip strip;
        strip.resize(r.strip);
        const std::vector<QImage> levels = chain(r.width, r.height, r.levels);
        strip.set_levels(levels);
        const int room_h = strip.height() - 8;
        for (int level = 0; level < r.levels; ++level) {
            SCOPED_TRACE(level);
            const QRect rect = strip.level_rect(level);
            const QSize natural = levels[size_t(level)].size();
            EXPECT_TRUE(strip.rect().contains(rect));
            if (level > 0) {
                EXPECT_GT(rect.left(), strip.level_rect(level - 1).right());
            }
            EXPECT_EQ(strip.level_at(rect.center()), level);
            switch (r.expected) {
            case rule::one_whole_scale:
                EXPECT_EQ(rect.size(), natural * r.scale);
                break;
            case rule::whole_below_the_height:
                if (natural.height() <= room_h) {
                    EXPECT_EQ(rect.size(), natural);
                } else {
                    EXPECT_EQ(rect.height(), room_h);
                    EXPECT_NEAR(rect.width(), natural.width() * room_h / natural.height(), 1);
                }
                break;
            case rule::one_shared_scale:
                if (level > 0) {
                    EXPECT_NEAR(strip.level_rect(level - 1).width(), 2 * rect.width(), 2);
                }
                EXPECT_LT(rect.width(), natural.width());
                break;
            }
        }
    }
}
} // namespace

} // namespace quillmap
