// The operations every dictionary class answers through the common interface, so that callers
// never need to know which class they hold.
#include "dictionary/txd_probe.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

TEST(DictionaryInterface, FamilyAndLevelPixelsAnswerThroughTheBaseClass) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        txd_family family;
    };
    const row rows[] = {{"VEHICLE2.txd", txd_family::ps2},
                        {"mainsc2.txd", txd_family::pc_xbox},
                        {"pcbtns.txd", txd_family::pc_xbox},
                        {"radar00.txd", txd_family::pc_xbox}};
    for (const row& r : rows) {
        probe_result probe = probe_dictionary(sample(r.file), 0, k_all_platforms);
        ASSERT_TRUE(probe.dictionary) << r.file;
        ps2_txd& txd = *probe.dictionary;
        EXPECT_EQ(txd.family(), r.family) << r.file;
        ASSERT_GT(txd.texture_count(), 0u) << r.file;
        txd.last_error.clear();
        const auto level = txd.level_pixels(0, 0, level_detail::full_colour);
        if (r.family == txd_family::ps2) {
            // PS2 rasters are read through pixels() and palette(); the answer says so.
            EXPECT_FALSE(level) << r.file;
            EXPECT_FALSE(txd.last_error.empty()) << r.file;
            continue;
        }
        ASSERT_TRUE(level) << r.file << ": " << txd.last_error;
        EXPECT_EQ(level->width, txd.width(0)) << r.file;
        EXPECT_EQ(level->height, txd.height(0)) << r.file;
        EXPECT_GE(level->pixels.size(), uint64_t(level->width) * level->height * level->depth / 8)
            << r.file;
    }
}

} // namespace

} // namespace quillmap
