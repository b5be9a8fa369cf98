// The sizes a picture that is no PS2 size may be scaled to: the nearest first, both ways round,
// and the square when it keeps the area better; never past the PS2 limit, never twice.
#include "imageio/mip_chain.h"

#include <gtest/gtest.h>

namespace quillmap {

TEST(ImportSizes, NearestFirstThenEitherWayAndTheCloserSquare) {
    struct row {
        uint32_t width, height, largest;
        std::vector<picture_size> sizes;
    };
    const row rows[] = {
        {300, 200, 4096, {{256, 256}, {256, 128}, {512, 256}}},
        {1000, 30, 4096, {{1024, 32}, {512, 16}}},
        {1500, 10, 4096, {{1024, 8}, {2048, 16}, {128, 128}}},
        {48, 20, 4096, {{64, 16}, {32, 16}, {64, 32}}},
        {5000, 6000, 4096, {{4096, 4096}}},
        {64, 64, 4096, {{64, 64}}},
        {3, 1, 4096, {{4, 1}, {2, 1}}},
        {0, 10, 4096, {}},
    };
    for (const row& r : rows)
        EXPECT_EQ(power_of_two_sizes(r.width, r.height, r.largest), r.sizes)
            << r.width << "x" << r.height;
}

} // namespace quillmap
