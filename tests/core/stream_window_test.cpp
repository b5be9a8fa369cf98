// Opening reads chunk headers through a read-ahead window: the tree must hold exactly the file's
// bytes wherever the window boundaries fall, with few reads of the file.
#include "stream/rw_stream.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

// Leaves of every small size, so that headers and preloaded data straddle window boundaries.
std::vector<test_chunk> leaves_of_every_size(uint32_t count) {
    std::vector<test_chunk> out;
    for (uint32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> data(i % 65);
        for (size_t k = 0; k < data.size(); ++k)
            data[k] = uint8_t(i * 7 + k);
        out.push_back(leaf(0x01, data));
    }
    return out;
}

TEST(RwStreamWindow, LeavesAcrossWindowBoundariesHoldTheirBytes) {
    const auto children = leaves_of_every_size(400); // about 17 KB: several windows
    auto path = write_temp("window.bin", node(0x03, children).bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0)) << stream.last_error;
    ASSERT_EQ(stream.root->child_count(), 400u);
    for (uint32_t i = 0; i < 400; ++i) {
        const rw_chunk* chunk = stream.root->child(i);
        ASSERT_TRUE(chunk->has_data()) << i;
        EXPECT_EQ(*chunk->data, children[i].data) << i;
    }
    // Headers and data are read window by window, not chunk by chunk.
    const uint64_t file_bytes = std::filesystem::file_size(path);
    EXPECT_LE(stream.file_reads(), file_bytes / rw_stream::k_read_window + 1);
}

TEST(RwStreamWindow, LargeLeavesAreReadWholeAfterTheWalk) {
    std::vector<uint8_t> big(3 * rw_stream::k_read_window + 5);
    for (size_t k = 0; k < big.size(); ++k)
        big[k] = uint8_t(k * 13);
    auto path =
        write_temp("window-big.bin",
                   node(0x03, {leaf(0x01, {1, 2, 3}), leaf(0x01, big), leaf(0x01, {9})}).bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0)) << stream.last_error;
    EXPECT_FALSE(stream.root->child(1)->has_data());
    EXPECT_EQ((*stream.root->child(2)->data)[0], 9);
    const uint64_t before = stream.bytes_read();
    auto* data = stream.load_data(stream.root->child(1));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data, big);
    EXPECT_EQ(stream.bytes_read(), before + big.size());
}

TEST(RwStreamWindow, FileShorterThanItsChunksFailsAtTheEnd) {
    auto bytes = node(0x03, leaves_of_every_size(200)).bytes();
    // The root claims its size but the last leaf is cut off by the end of the file.
    bytes.resize(bytes.size() - 3);
    auto path = write_temp("window-short.bin", bytes);
    rw_stream stream;
    EXPECT_FALSE(stream.open(path, 0, 0, rw_stream::flag_skip_length_check));
    EXPECT_EQ(stream.root, nullptr);
}

} // namespace

} // namespace quillmap
