// The dictionary Struct's count word keeps the device id in its high 16 bits through every edit
// that changes the count; new PS2 dictionaries carry the PS2 device id 6.
#include "test_files.h"

#include "dictionary/ps2_txd.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
uint32_t count_word(ps2_txd& txd) {
    const auto& data = *txd.root->child(0)->data;
    return uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
           uint32_t(data[3]) << 24;
}
} // namespace

TEST(DeviceId, DeleteAndAppendKeepItAndNewDictionariesGetSix) {
    auto dictionary =
        make_dictionary({make_ps2_texture({.name = "a"}), make_ps2_texture({.name = "b"})});
    dictionary.children[0].data = u32_bytes({0x00060002});
    const auto dir = temp_dir();
    const auto path = write_file(dir / "d.txd", dictionary.bytes());
    ps2_txd txd;
    ASSERT_TRUE(txd.load(path, 0, 0x16, 0)) << txd.error_detail;

    ASSERT_TRUE(txd.delete_texture(0));
    EXPECT_EQ(count_word(txd), 0x00060001u);
    auto added = txd.build_texture_native("", nullptr, "c", 16, 16, 8, nullptr, true);
    ASSERT_TRUE(txd.append_texture(std::move(added)));
    EXPECT_EQ(count_word(txd), 0x00060002u);
    ASSERT_TRUE(txd.save(dir / "saved.txd", 0));
    const auto saved = read_file(dir / "saved.txd");
    ASSERT_GE(saved.size(), 28u);
    EXPECT_EQ(saved[24], 2);
    EXPECT_EQ(saved[26], 6);

    ps2_txd fresh;
    ASSERT_TRUE(fresh.create_empty(0x1803FFFF));
    EXPECT_EQ(count_word(fresh), 0x00060000u);
}

} // namespace quillmap
