// Readers on their files cut short at every byte of the headers they decode: each cut ends in the
// reader's own refusal, never in a crash or a read outside the buffer (ASan watches), and the
// whole file still reads.
#include "archive/archive_messages.h"
#include "archive/game_archive.h"
#include "raster/ps2_bitmap.h"
#include "raster/raster_messages.h"
#include "raster/tim2_file.h"
#include "stream/byte_reader.h"

#include "archive_builders.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

namespace {

// Every cut in the first `dense` bytes, then one in every 97 up to the last byte.
std::vector<size_t> cuts(size_t size, size_t dense) {
    std::vector<size_t> out;
    for (size_t n = 0; n < size; n += n < dense ? 1 : 97)
        out.push_back(n);
    out.push_back(size - 1);
    return out;
}

// A 3x2 24-bit BMP: rows padded to 12 bytes, written field by field.
std::vector<uint8_t> small_bmp() {
    std::vector<uint8_t> out;
    byte_writer w(out);
    w.u8('B');
    w.u8('M');
    w.u32(54 + 24); // file size
    w.u32(0);       // reserved
    w.u32(54);      // pixel offset
    w.u32(40);      // info header size
    w.u32(3);
    w.u32(2);
    w.u16(1);  // planes
    w.u16(24); // bits
    w.u32(0);  // no compression
    w.u32(24);
    for (int i = 0; i < 4; ++i)
        w.u32(0);
    for (uint8_t i = 0; i < 24; ++i)
        w.u8(uint8_t(i * 11));
    return out;
}

// A two-level 8-bit TIM2 file with our swizzle extension, as export writes it.
std::vector<uint8_t> mipmapped_tim2() {
    std::vector<uint8_t> pixels(32 * 32), small(16 * 16), palette(256 * 4, 0x40);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 7);
    tim2_file f;
    EXPECT_EQ(f.add_picture(32, 32, 8, pixels, palette, false), 1);
    EXPECT_EQ(f.add_mip_level(small, false), 1);
    return f.bytes();
}

} // namespace

TEST(TruncatedHeaders, Tim2FilesCutShortAreRefused) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"mipmapped", mipmapped_tim2()}};
    for (const auto& path : sample_files(".tm2"))
        files.emplace_back(path.filename().string(), read_file(path));
    for (const auto& [name, bytes] : files) {
        tim2_file whole;
        ASSERT_EQ(whole.read(bytes), 1) << name;
        for (const size_t n : cuts(bytes.size(), 200)) {
            tim2_file cut;
            EXPECT_EQ(cut.read(std::span(bytes).first(n)), 0) << name << " cut at " << n;
            EXPECT_EQ(cut.last_error, raster_msg::not_valid_tim2) << name << " cut at " << n;
            // The reader says which field the cut fell in.
            EXPECT_NE(cut.error_detail.find("TIM2 "), std::string::npos) << name << " cut at " << n;
            EXPECT_NE(cut.error_detail.find("offset "), std::string::npos)
                << name << " cut at " << n;
            EXPECT_TRUE(cut.pictures.empty());
        }
    }
}

TEST(TruncatedHeaders, BmpFilesCutBeforeTheirLastRowAreRefused) {
    const auto bytes = small_bmp();
    ps2_bitmap whole;
    ASSERT_EQ(whole.read_bmp(bytes), 1);
    EXPECT_EQ(whole.width(), 3u);
    // The last row needs no filler: the file may end 3 bytes early.
    for (size_t n = 0; n < bytes.size() - 3; ++n) {
        ps2_bitmap cut;
        EXPECT_EQ(cut.read_bmp(std::span(bytes).first(n)), 0) << "cut at " << n;
        EXPECT_EQ(cut.last_error, raster_msg::not_valid_bmp) << "cut at " << n;
        EXPECT_NE(cut.error_detail.find("BMP "), std::string::npos) << "cut at " << n;
        EXPECT_NE(cut.error_detail.find("offset "), std::string::npos) << "cut at " << n;
    }
    ps2_bitmap shortest;
    EXPECT_EQ(shortest.read_bmp(std::span(bytes).first(bytes.size() - 3)), 1);
}

TEST(TruncatedHeaders, ArchiveTablesCutShortAreRefused) {
    const auto archive = make_ver2_archive(
        {{"a.txd", std::vector<uint8_t>(100, 1)}, {"b.txd", std::vector<uint8_t>(3000, 2)}});
    std::vector<archive_entry> entries;
    std::string error;
    ASSERT_TRUE(parse_ver2_table(archive, archive.size(), entries, error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "b.txd");
    const size_t table_end = 8 + 2 * k_archive_entry_bytes;
    for (size_t n = 0; n < table_end; ++n) {
        EXPECT_FALSE(parse_ver2_table(std::span(archive).first(n), archive.size(), entries, error))
            << "cut at " << n;
        if (n < 8)
            EXPECT_EQ(error, archive_msg::not_archive) << "cut at " << n;
        else
            EXPECT_EQ(error, std::string(archive_msg::index_short) +
                                 " (archive entry table at offset 8 needs 64 bytes, only " +
                                 std::to_string(n - 8) + " remain)")
                << "cut at " << n;
        EXPECT_TRUE(entries.empty());
    }
}

} // namespace quillmap
