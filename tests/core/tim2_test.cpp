#include "raster/ps2_swizzling.h"
#include "raster/raster_messages.h"
#include "raster/tim2_file.h"

#include "byte_fields.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace quillmap {

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 13);
    return v;
}

// A TIM2 picture as other tools write it: a 48-byte header unless told otherwise.
struct picture_desc {
    uint16_t width = 16;
    uint16_t height = 16;
    uint8_t image_type = 5;
    uint8_t clut_type = 3;
    uint16_t clut_colours = 256;
    uint32_t entry_bytes = 4;
    uint16_t header_size = 48;
    uint32_t total_padding = 0;
    uint8_t seed = 1;
};

uint32_t image_bytes(const picture_desc& p) {
    const uint32_t depth = p.image_type == 1   ? 16
                           : p.image_type == 2 ? 24
                           : p.image_type == 3 ? 32
                           : p.image_type == 4 ? 4
                                               : 8;
    return uint32_t(p.width) * p.height * depth / 8;
}

std::vector<uint8_t> picture_bytes(const picture_desc& p) {
    const uint32_t image = image_bytes(p);
    const uint32_t clut = uint32_t(p.clut_colours) * p.entry_bytes;
    std::vector<uint8_t> out(p.header_size, 0);
    put32(out, 0, p.header_size + image + clut + p.total_padding);
    put32(out, 4, clut);
    put32(out, 8, image);
    put16(out, 12, p.header_size);
    put16(out, 14, p.clut_colours);
    out[17] = 1;
    out[18] = p.clut_type;
    out[19] = p.image_type;
    put16(out, 20, p.width);
    put16(out, 22, p.height);
    const auto px = pattern(image, p.seed);
    out.insert(out.end(), px.begin(), px.end());
    const auto cl = pattern(clut, uint8_t(p.seed + 100));
    out.insert(out.end(), cl.begin(), cl.end());
    out.resize(out.size() + p.total_padding, 0);
    return out;
}

std::vector<uint8_t> tim2_bytes(const std::vector<picture_desc>& pictures, uint8_t format_id = 0,
                                uint16_t declared = 0xFFFF) {
    std::vector<uint8_t> out(format_id == 1 ? 128 : 16, 0);
    std::memcpy(out.data(), "TIM2", 4);
    out[4] = 4;
    out[5] = format_id;
    put16(out, 6, declared == 0xFFFF ? uint16_t(pictures.size()) : declared);
    for (const auto& p : pictures) {
        const auto b = picture_bytes(p);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

std::vector<uint8_t> ps2_palette(uint32_t n) {
    std::vector<uint8_t> p(n * 4);
    for (uint32_t i = 0; i < n * 4; ++i)
        p[i] = uint8_t(i * 7 + 1);
    return p;
}

} // namespace

TEST(Tim2Write, EightBit128SquarePicture) {
    const auto px = pattern(128 * 128, 3);
    const auto pal = ps2_palette(256);
    tim2_file f;
    ASSERT_EQ(f.add_picture(128, 128, 8, px, pal, false), 1);
    const auto bytes = f.bytes();
    ASSERT_EQ(bytes.size(), 16u + 17484);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "TIM2");
    EXPECT_EQ(bytes[4], 4);
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(le16(bytes, 6), 1);
    EXPECT_EQ(le32(bytes, 16), 17484u);
    EXPECT_EQ(le32(bytes, 20), 1024u);
    EXPECT_EQ(le32(bytes, 24), 16384u);
    EXPECT_EQ(le16(bytes, 28), 76);
    EXPECT_EQ(le16(bytes, 30), 256);
    EXPECT_EQ(bytes[16 + 17], 1); // mipmaps
    EXPECT_EQ(bytes[16 + 18], 3); // 32-bit CLUT
    EXPECT_EQ(bytes[16 + 19], 5); // image type
    EXPECT_EQ(le16(bytes, 16 + 20), 128);
    EXPECT_EQ(std::string(bytes.begin() + 16 + 64, bytes.begin() + 16 + 68), "swiz");
    EXPECT_EQ(bytes[16 + 72], 0x64);
    EXPECT_TRUE(std::equal(px.begin(), px.end(), bytes.begin() + 16 + 76));
    EXPECT_TRUE(std::equal(pal.begin(), pal.end(), bytes.begin() + 16 + 76 + 16384));
}

TEST(Tim2Write, ImageTypesByDepth) {
    const std::pair<uint32_t, uint8_t> table[] = {{4, 4}, {8, 5}, {16, 1}, {24, 2}, {32, 3}};
    for (const auto& [depth, type] : table) {
        tim2_file f;
        ASSERT_EQ(
            f.add_picture(16, 4, depth, pattern(16 * 4 * depth / 8, 1), ps2_palette(256), false),
            1);
        const auto bytes = f.bytes();
        EXPECT_EQ(bytes[16 + 19], type) << depth;
        EXPECT_EQ(bytes[16 + 18], depth <= 8 ? 3 : 0) << depth;
        EXPECT_EQ(le32(bytes, 20), depth <= 8 ? 4u << depth : 0u) << depth;
        EXPECT_EQ(f.picture_depth(), depth);
    }
}

TEST(Tim2Write, ShortRasterOrPaletteIsRefused) {
    tim2_file f;
    EXPECT_EQ(f.add_picture(16, 16, 8, pattern(255, 1), ps2_palette(256), false), 0);
    EXPECT_EQ(f.last_error, raster_msg::raster_too_short);
    EXPECT_EQ(f.add_picture(16, 16, 8, pattern(256, 1), ps2_palette(255), false), 0);
    EXPECT_EQ(f.last_error, raster_msg::palette_too_short);
    EXPECT_EQ(f.add_picture(16, 16, 12, pattern(512, 1), {}, false), 0);
    EXPECT_TRUE(f.pictures.empty());
}

TEST(Tim2Write, WriteThenReadRoundTrips) {
    tim2_file f;
    ASSERT_EQ(f.add_picture(32, 8, 4, pattern(128, 2), ps2_palette(16), false), 1);
    ASSERT_EQ(f.add_picture(8, 8, 32, pattern(256, 3), {}, false), 1);
    const auto path = temp_dir() / "pair.tm2";
    ASSERT_EQ(f.write(path), 1);
    tim2_file back(path);
    ASSERT_TRUE(back.last_error.empty()) << back.last_error;
    ASSERT_EQ(back.pictures.size(), 2u);
    EXPECT_EQ(back.pictures[0].image, f.pictures[0].image);
    EXPECT_EQ(back.pictures[0].clut, f.pictures[0].clut);
    EXPECT_TRUE(back.pictures[0].has_swizzle_tag);
    EXPECT_FALSE(back.pictures[1].has_clut);
    EXPECT_EQ(back.pictures[1].image, f.pictures[1].image);
    EXPECT_EQ(back.bytes(), f.bytes());
}

TEST(Tim2Write, UnwritablePath) {
    tim2_file f;
    EXPECT_EQ(f.write(temp_dir() / "missing" / "x.tm2"), 0);
    // The message names the file and why it cannot be written.
    EXPECT_NE(f.last_error.find("x.tm2: No such file or directory"), std::string::npos)
        << f.last_error;
}

TEST(Tim2Marker, DescribesThePixelsActuallyWritten) {
    const auto swizzled = pattern(64 * 64, 4);
    const auto pal = ps2_palette(256);
    struct row {
        bool unswizzle, source_swizzled;
        uint8_t marker;
    };
    // Unswizzled on export: plain pixels. Written as stored from a swizzled texture: swizzled.
    const row table[] = {
        {true, true, 0x64}, {false, true, 0x00}, {false, false, 0x64}, {true, false, 0x64}};
    for (const auto& r : table) {
        tim2_file f;
        ASSERT_EQ(f.add_picture(64, 64, 8, swizzled, pal, r.unswizzle), 1);
        f.mark_source_swizzled(0, r.source_swizzled);
        tim2_file back;
        ASSERT_EQ(back.read(f.bytes()), 1);
        EXPECT_EQ(back.pictures[0].header.swizzle_marker, r.marker);
        EXPECT_EQ(back.holds_swizzled_pixels(0), r.marker == 0);
    }
}

TEST(Tim2Marker, SizesThatCannotBeUnswizzledStaySwizzled) {
    // 8x8 at 8 bits is no permutation: the pixels are written as stored, so a swizzled source
    // keeps marker 0.
    tim2_file f;
    ASSERT_EQ(f.add_picture(8, 8, 8, pattern(64, 5), ps2_palette(256), true), 1);
    EXPECT_FALSE(f.pictures[0].unswizzled);
    EXPECT_EQ(f.pictures[0].image, pattern(64, 5));
    f.mark_source_swizzled(0, true);
    EXPECT_TRUE(f.holds_swizzled_pixels(0));
}

TEST(Tim2Marker, UnswizzleOnAddMatchesTheSwizzlingCode) {
    auto px = pattern(64 * 32, 6);
    tim2_file f;
    ASSERT_EQ(f.add_picture(64, 32, 8, px, ps2_palette(256), true), 1);
    EXPECT_TRUE(f.pictures[0].unswizzled);
    ASSERT_TRUE(ps2_swizzling::unswizzle8(px, 64, 32));
    EXPECT_EQ(f.pictures[0].image, px);
}

TEST(Tim2Read, StandardFileWith48ByteHeaders) {
    // The bytes at offset 64..75 of the picture are image data here, even if they spell a marker.
    picture_desc desc;
    auto file = tim2_bytes({desc});
    std::memcpy(file.data() + 16 + 64, "swiz", 4);
    file[16 + 72] = 0;
    tim2_file f;
    ASSERT_EQ(f.read(file), 1);
    ASSERT_EQ(f.pictures.size(), 1u);
    const auto& pic = f.pictures[0];
    EXPECT_FALSE(pic.has_swizzle_tag);
    EXPECT_FALSE(f.holds_swizzled_pixels(0));
    EXPECT_EQ(pic.header.width, 16);
    EXPECT_EQ(f.picture_depth(), 8u);
    std::vector<uint8_t> image(file.begin() + 16 + 48, file.begin() + 16 + 48 + 256);
    EXPECT_EQ(pic.image, image);
    std::vector<uint8_t> clut(file.begin() + 16 + 48 + 256, file.begin() + 16 + 48 + 256 + 1024);
    EXPECT_EQ(pic.clut, clut);
}

TEST(Tim2Read, TwoStandardPicturesFollowEachOther) {
    picture_desc a, b;
    b.image_type = 4;
    b.clut_colours = 16;
    b.seed = 9;
    const auto file = tim2_bytes({a, b});
    tim2_file f;
    ASSERT_EQ(f.read(file), 1);
    ASSERT_EQ(f.pictures.size(), 2u);
    EXPECT_EQ(f.pictures[1].image, pattern(128, 9));
    EXPECT_EQ(f.pictures[1].clut, pattern(64, 109));
}

TEST(Tim2Read, FormatIdentifierOneStartsAt128) {
    picture_desc desc;
    const auto file = tim2_bytes({desc}, 1);
    tim2_file f;
    ASSERT_EQ(f.read(file), 1);
    EXPECT_EQ(f.pictures[0].image, pattern(256, 1));
}

TEST(Tim2Read, TotalSizeWithPaddingIsFollowed) {
    picture_desc a, b;
    a.total_padding = 16;
    b.seed = 40;
    const auto file = tim2_bytes({a, b});
    tim2_file f;
    ASSERT_EQ(f.read(file), 1);
    EXPECT_EQ(f.pictures[1].image, pattern(256, 40));
}

TEST(Tim2Read, ClutEntryFormatsBecome32BitConsoleOrder) {
    // 16-bit: red in the low bits, alpha bit 15.
    {
        picture_desc desc;
        desc.image_type = 4;
        desc.clut_colours = 16;
        desc.clut_type = 1;
        desc.entry_bytes = 2;
        auto file = tim2_bytes({desc});
        const size_t clut = 16 + 48 + 128;
        put16(file, clut, 0x801F);     // opaque red
        put16(file, clut + 2, 0x7C00); // transparent blue
        tim2_file f;
        ASSERT_EQ(f.read(file), 1);
        const auto& c = f.pictures[0].clut;
        ASSERT_EQ(c.size(), 64u);
        EXPECT_EQ(std::vector<uint8_t>(c.begin(), c.begin() + 8),
                  (std::vector<uint8_t>{0xFF, 0, 0, 0x80, 0, 0, 0xFF, 0}));
    }
    // 24-bit: red, green, blue, made opaque.
    {
        picture_desc desc;
        desc.image_type = 4;
        desc.clut_colours = 16;
        desc.clut_type = 2;
        desc.entry_bytes = 3;
        auto file = tim2_bytes({desc});
        const size_t clut = 16 + 48 + 128;
        file[clut] = 1;
        file[clut + 1] = 2;
        file[clut + 2] = 3;
        tim2_file f;
        ASSERT_EQ(f.read(file), 1);
        const auto& c = f.pictures[0].clut;
        EXPECT_EQ(std::vector<uint8_t>(c.begin(), c.begin() + 4),
                  (std::vector<uint8_t>{1, 2, 3, 0x80}));
    }
    // Bit 7: entries in linear order are put into console order.
    {
        picture_desc desc;
        desc.clut_type = 0x83;
        const auto file = tim2_bytes({desc});
        tim2_file f;
        ASSERT_EQ(f.read(file), 1);
        const auto linear = pattern(1024, 101);
        const auto& c = f.pictures[0].clut;
        for (uint32_t i = 0; i < 256; ++i)
            EXPECT_TRUE(std::equal(linear.begin() + 4 * i, linear.begin() + 4 * i + 4,
                                   c.begin() + 4 * ps2_swizzling::clut_slot(i)))
                << i;
        // And the file we write from it says console order with 32-bit entries.
        const auto written = f.bytes();
        EXPECT_EQ(written[16 + 18], 3);
    }
}

TEST(Tim2Read, PictureDepthRules) {
    struct row {
        uint16_t clut_colours;
        uint8_t image_type;
        uint32_t depth;
    };
    const row table[] = {{16, 5, 4}, {256, 4, 8}, {0, 1, 16}, {0, 2, 24}, {0, 3, 32},
                         {0, 4, 4},  {0, 5, 8},   {0, 0, 0},  {0, 6, 0},  {32, 1, 16}};
    for (const auto& r : table) {
        tim2_picture_header h;
        h.clut_colours = r.clut_colours;
        h.image_type = r.image_type;
        EXPECT_EQ(tim2_file::picture_depth(h), r.depth)
            << r.clut_colours << " " << int(r.image_type);
    }
    tim2_file empty;
    EXPECT_EQ(empty.picture_depth(), 0u);
}

TEST(Tim2Read, MoreThan64PicturesKeepTheFirst64) {
    std::vector<picture_desc> many(70);
    for (size_t i = 0; i < many.size(); ++i) {
        many[i].width = 4;
        many[i].height = 4;
        many[i].image_type = 3;
        many[i].clut_colours = 0;
        many[i].clut_type = 0;
        many[i].seed = uint8_t(i);
    }
    const auto file = tim2_bytes(many);
    tim2_file f;
    ASSERT_EQ(f.read(file), 1);
    ASSERT_EQ(f.pictures.size(), 64u);
    EXPECT_EQ(f.pictures[63].image, pattern(64, 63));
}

TEST(Tim2Read, MalformedFilesAreRefused) {
    picture_desc desc;
    const auto good = tim2_bytes({desc});
    struct row {
        const char* what;
        std::vector<uint8_t> file;
    };
    auto wrong_magic = good;
    wrong_magic[3] = '3';
    auto cut_clut = good;
    cut_clut.pop_back();
    auto cut_header = good;
    cut_header.resize(16 + 40);
    auto tiny_header = good;
    put16(tiny_header, 16 + 12, 20);
    auto huge_image = good;
    put32(huge_image, 16 + 8, 0xFFFFFFF0);
    auto image_too_small = good;
    put32(image_too_small, 16 + 8, 255); // fewer bytes than 16x16 at 8 bits
    auto declared_two = tim2_bytes({desc}, 0, 2);
    auto aligned_short = tim2_bytes({}, 1, 1);
    auto colours_beyond_clut = good;
    put16(colours_beyond_clut, 16 + 14, 300);
    const row table[] = {
        {"empty", {}},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 10)},
        {"magic", wrong_magic},
        {"CLUT cut short", cut_clut},
        {"picture header cut", cut_header},
        {"header size below 48", tiny_header},
        {"image size beyond the file", huge_image},
        {"image smaller than its size", image_too_small},
        {"second picture missing", declared_two},
        {"aligned file without a picture", aligned_short},
        {"CLUT colours beyond the CLUT", colours_beyond_clut},
    };
    for (const auto& r : table) {
        tim2_file f;
        EXPECT_EQ(f.read(r.file), 0) << r.what;
        EXPECT_EQ(f.last_error, raster_msg::not_valid_tim2) << r.what;
        EXPECT_TRUE(f.pictures.empty()) << r.what;
    }
}

TEST(Tim2Read, MissingFile) {
    tim2_file f;
    EXPECT_EQ(f.read(temp_dir() / "absent.tm2"), 0);
    EXPECT_EQ(f.last_error, raster_msg::cant_open_for_reading);
}

struct tim2_sample {
    const char* name;
    uint32_t depth;
    uint32_t clut_entry_bytes; // in the file
};

class Tim2Samples : public ::testing::TestWithParam<tim2_sample> {};

TEST_P(Tim2Samples, ReadsWithTheirOwnLayout) {
    SKIP_WITHOUT_SAMPLES();
    const auto s = GetParam();
    const auto bytes = read_file(sample(s.name));
    ASSERT_FALSE(bytes.empty()) << s.name;
    tim2_file f;
    ASSERT_EQ(f.read(bytes), 1) << f.last_error;
    ASSERT_EQ(f.pictures.size(), 1u);
    const auto& pic = f.pictures[0];
    EXPECT_EQ(f.picture_depth(), s.depth);
    EXPECT_FALSE(pic.has_swizzle_tag);
    EXPECT_FALSE(f.holds_swizzled_pixels(0));
    // Image data starts right after the file's 48-byte picture header.
    const uint16_t header_size = le16(bytes, 16 + 12);
    EXPECT_EQ(header_size, 48);
    const uint32_t image_size = le32(bytes, 16 + 8);
    EXPECT_EQ(image_size, uint32_t(pic.header.width) * pic.header.height * s.depth / 8);
    EXPECT_TRUE(std::equal(pic.image.begin(), pic.image.end(), bytes.begin() + 16 + header_size));
    if (s.depth <= 8) {
        ASSERT_TRUE(pic.has_clut);
        ASSERT_EQ(pic.clut.size(), 4u << s.depth);
        const size_t clut_at = 16 + header_size + image_size;
        EXPECT_EQ(le32(bytes, 16 + 4), (1u << s.depth) * s.clut_entry_bytes);
        // The first entry, converted: 16-bit entries are red low, alpha bit 15.
        if (s.clut_entry_bytes == 2) {
            const uint16_t v = le16(bytes, clut_at);
            EXPECT_EQ(pic.clut[0] >> 3, v & 0x1F);
            EXPECT_EQ(pic.clut[1] >> 3, (v >> 5) & 0x1F);
            EXPECT_EQ(pic.clut[2] >> 3, (v >> 10) & 0x1F);
            EXPECT_EQ(pic.clut[3], (v & 0x8000) ? 0x80 : 0);
        } else {
            EXPECT_TRUE(std::equal(pic.clut.begin(), pic.clut.end(), bytes.begin() + clut_at));
        }
    } else {
        EXPECT_FALSE(pic.has_clut);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, Tim2Samples,
    ::testing::Values(tim2_sample{"i4c16.tm2", 4, 2}, tim2_sample{"i4c32.tm2", 4, 4},
                      tim2_sample{"i8c16.tm2", 8, 2}, tim2_sample{"i8c32.tm2", 8, 4},
                      tim2_sample{"i16.tm2", 16, 0}, tim2_sample{"i32.tm2", 32, 0}));

TEST(Tim2Samples, EverySampleReads) {
    SKIP_WITHOUT_SAMPLES();
    const auto files = sample_files(".tm2");
    EXPECT_FALSE(files.empty());
    for (const auto& path : files) {
        tim2_file f(path);
        EXPECT_TRUE(f.last_error.empty()) << path << ": " << f.last_error;
        EXPECT_FALSE(f.pictures.empty()) << path;
        EXPECT_NE(f.picture_depth(), 0u) << path;
    }
}

TEST(Tim2Read, CorruptedFilesNeverClaimMoreThanTheyHold) {
    std::mt19937 rng(77);
    picture_desc a, b;
    b.image_type = 4;
    b.clut_colours = 16;
    b.clut_type = 1;
    b.entry_bytes = 2;
    const auto good = tim2_bytes({a, b});
    for (int round = 0; round < 2000; ++round) {
        auto f = good;
        const int changes = 1 + int(rng() % 4);
        for (int i = 0; i < changes; ++i) {
            // Mostly header bytes, where the sizes are.
            const size_t at = rng() % 2 ? rng() % 64 : rng() % f.size();
            f[at] = uint8_t(rng());
        }
        if (rng() % 4 == 0) f.resize(rng() % f.size());
        tim2_file t;
        if (t.read(f) == 0) {
            EXPECT_EQ(t.last_error, raster_msg::not_valid_tim2);
            continue;
        }
        for (const auto& pic : t.pictures) {
            const uint32_t depth = tim2_file::picture_depth(pic.header);
            const uint64_t need = uint64_t(pic.header.width) * pic.header.height * depth / 8;
            EXPECT_GE(pic.image.size(), need);
            EXPECT_EQ(pic.clut.size(), pic.has_clut ? size_t(4) << depth : 0u);
        }
    }
}

} // namespace quillmap
