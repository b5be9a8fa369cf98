#include "stream/byte_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace quillmap {

namespace {
const std::array<uint8_t, 8> k_bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
} // namespace

TEST(ByteReader, ReadsLittleEndianFieldsUpToTheExactEnd) {
    byte_reader in(k_bytes);
    EXPECT_EQ(in.u8("tag"), 0x01);
    EXPECT_EQ(in.u16("count"), 0x0302);
    EXPECT_EQ(in.u32("size"), 0x07060504u);
    EXPECT_EQ(in.remaining(), 1u);
    EXPECT_EQ(in.u8("last"), 0x08);
    EXPECT_TRUE(in.ok());
    EXPECT_EQ(in.remaining(), 0u);
    EXPECT_EQ(in.position(), 8u);

    byte_reader wide(k_bytes);
    EXPECT_EQ(wide.u64("register"), 0x0807060504030201u);
    EXPECT_TRUE(wide.ok());
}

// Each read one byte short of what it needs: it fails, names the field, the file offset and
// what was left, keeps the cursor, and the first message stays.
TEST(ByteReader, AReadPastTheEndFailsWithItsNameAndOffset) {
    struct row {
        uint64_t skip_first;
        int width;
        const char* message;
    };
    const row rows[] = {
        {7, 2, "count at offset 107 needs 2 bytes, only 1 remain"},
        {5, 4, "count at offset 105 needs 4 bytes, only 3 remain"},
        {1, 8, "count at offset 101 needs 8 bytes, only 7 remain"},
        {8, 1, "count at offset 108 needs 1 bytes, only 0 remain"},
    };
    for (const row& r : rows) {
        byte_reader in(k_bytes, 100);
        ASSERT_TRUE(in.skip(r.skip_first, "start"));
        const uint64_t value = r.width == 1   ? in.u8("count")
                               : r.width == 2 ? in.u16("count")
                               : r.width == 4 ? in.u32("count")
                                              : in.u64("count");
        EXPECT_EQ(value, 0u);
        EXPECT_FALSE(in.ok());
        EXPECT_EQ(in.error(), r.message);
        EXPECT_EQ(in.position(), r.skip_first);
        // Later reads fail too, even ones that would fit, and keep the first message.
        in.seek(0, "again");
        EXPECT_EQ(in.u8("again"), 0);
        EXPECT_EQ(in.error(), r.message);
    }
}

TEST(ByteReader, SkipSeekAndBytesRefuseToPassTheEnd) {
    byte_reader in(k_bytes);
    EXPECT_TRUE(in.seek(8, "end"));
    EXPECT_TRUE(in.bytes(0, "nothing").empty());
    EXPECT_TRUE(in.ok());

    byte_reader seek(k_bytes);
    EXPECT_FALSE(seek.seek(9, "palette"));
    EXPECT_EQ(seek.error(), "palette: offset 9 lies past the end of the data");
    EXPECT_EQ(seek.position(), 0u);

    byte_reader skip(k_bytes);
    EXPECT_TRUE(skip.skip(3, "head"));
    EXPECT_FALSE(skip.skip(6, "level"));
    EXPECT_EQ(skip.error(), "level at offset 3 needs 6 bytes, only 5 remain");

    byte_reader view(k_bytes);
    view.skip(2, "head");
    const auto part = view.bytes(3, "name");
    ASSERT_EQ(part.size(), 3u);
    EXPECT_EQ(part.data(), k_bytes.data() + 2); // a view, not a copy
    EXPECT_TRUE(view.bytes(4, "rest").empty());
    EXPECT_FALSE(view.ok());
}

// Counts and offsets a hostile file can hold: none may wrap around and look like they fit.
TEST(ByteReader, HugeCountsAndOffsetsDoNotOverflow) {
    byte_reader skip(k_bytes);
    skip.skip(4, "head");
    EXPECT_FALSE(skip.skip(UINT64_MAX, "level"));
    EXPECT_EQ(skip.position(), 4u);

    byte_reader seek(k_bytes);
    EXPECT_FALSE(seek.seek(UINT64_MAX, "record"));

    byte_reader bytes(k_bytes);
    bytes.u8("first");
    EXPECT_TRUE(bytes.bytes(UINT64_MAX - 1, "pixels").empty());
    EXPECT_FALSE(bytes.ok());

    // A span placed near the top of the offset range names a clamped offset, not a wrapped one.
    byte_reader high(k_bytes, UINT64_MAX - 2);
    high.skip(8, "all");
    EXPECT_EQ(high.u8("past"), 0);
    EXPECT_EQ(high.error(), "past at offset 18446744073709551615 needs 1 bytes, only 0 remain");

    EXPECT_FALSE(fits(UINT64_MAX, 1, 8));
    EXPECT_FALSE(fits(4, UINT64_MAX - 2, 8));
    EXPECT_TRUE(fits(8, 0, 8));
    EXPECT_EQ(u32_at(k_bytes, UINT64_MAX - 1), std::nullopt);
    EXPECT_EQ(u32_at(k_bytes, 5), std::nullopt);
    EXPECT_EQ(u32_at(k_bytes, 4), 0x08070605u);
    EXPECT_EQ(u16_at(k_bytes, 7), std::nullopt);
    EXPECT_EQ(u8_at(k_bytes, 7), 0x08);
}

TEST(ByteWriter, GrowsAVectorAndFillsGapsWithZeros) {
    std::vector<uint8_t> out = {0xAA};
    byte_writer w(out);
    EXPECT_EQ(w.position(), 1u); // appends after what the vector holds
    w.u16(0x0302);
    w.seek(6);
    w.u32(0x0A090807);
    w.seek(3);
    w.u8(0x55);
    w.bytes(std::vector<uint8_t>{0x66});
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(out, (std::vector<uint8_t>{0xAA, 0x02, 0x03, 0x55, 0x66, 0, 0x07, 0x08, 0x09, 0x0A}));

    // What the writer writes the reader reads back.
    std::vector<uint8_t> round;
    byte_writer(round).u64(0x1122334455667788u);
    EXPECT_EQ(byte_reader(round).u64("word"), 0x1122334455667788u);
}

TEST(ByteWriter, AFixedSpanRefusesWritesThatDoNotFit) {
    std::array<uint8_t, 6> buffer{};
    byte_writer w{std::span<uint8_t>(buffer)};
    EXPECT_TRUE(w.u32(0x04030201));
    EXPECT_FALSE(w.u32(0x08070605)); // two bytes left
    EXPECT_EQ(w.error(), "writing 4 bytes at offset 4 would pass the end of a 6-byte buffer");
    EXPECT_EQ(buffer, (std::array<uint8_t, 6>{1, 2, 3, 4, 0, 0})); // nothing of it written
    EXPECT_FALSE(w.u8(9));                                         // the failure sticks

    byte_writer far{std::span<uint8_t>(buffer)};
    EXPECT_FALSE(far.seek(7));
    EXPECT_TRUE(byte_writer{std::span<uint8_t>(buffer)}.seek(6));
}

} // namespace quillmap
