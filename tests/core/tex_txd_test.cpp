#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/tex_txd.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
std::vector<uint8_t> pattern(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> out(bytes);
    for (auto& b : out)
        b = seed = uint8_t(seed * 29 + 11);
    return out;
}

tex_record_desc form_a(const std::string& name, uint32_t wl, uint32_t hl, uint32_t depth) {
    tex_record_desc desc;
    desc.name = name;
    desc.mask = name + "_a";
    desc.raster = {0, 0xABCD0000u | tex_dimension_word(wl, hl, depth), 0, 0};
    desc.position_word = 0;
    desc.pixels = pattern((size_t(1) << (wl + hl)) * depth / 8, uint8_t(wl + depth));
    desc.palette = pattern(depth == 4 ? 64 : 1024, uint8_t(hl + 3));
    return desc;
}

struct loaded_tex {
    tex_txd txd;
    bool ok = false;
};

std::unique_ptr<loaded_tex> load(const std::vector<uint8_t>& bytes, uint32_t offset = 0) {
    auto out = std::make_unique<loaded_tex>();
    out->ok = out->txd.load(write_temp("t.tex", bytes), offset, 0x16, 0);
    return out;
}

void expect_texture(tex_txd& txd, uint32_t t, const tex_record_desc& desc, uint32_t w, uint32_t h,
                    uint32_t depth) {
    EXPECT_EQ(txd.texture_name(t, name_kind::texture), desc.name);
    EXPECT_EQ(txd.texture_name(t, name_kind::mask), desc.mask);
    EXPECT_EQ(txd.width(t), w);
    EXPECT_EQ(txd.height(t), h);
    EXPECT_EQ(txd.depth(t), depth);
    EXPECT_TRUE(txd.is_swizzled(t));
    const auto pixels = txd.pixels(t, 0);
    ASSERT_GE(pixels.size(), desc.pixels.size());
    EXPECT_TRUE(std::equal(desc.pixels.begin(), desc.pixels.end(), pixels.begin()));
    const auto palette = txd.palette(t);
    ASSERT_EQ(palette.size(), desc.palette.size());
    EXPECT_TRUE(std::equal(desc.palette.begin(), desc.palette.end(), palette.begin()));
}
} // namespace

TEST(TexTxd, ThreeRasterHeaderForms) {
    auto a = form_a("form_a", 3, 4, 8);
    // Form B: H0 = 0, low byte of H3 is 4 (upper bytes need not be zero).
    tex_record_desc b;
    b.name = "form_b";
    b.raster = {0, 0, (5u << 16) | (3u << 24), 0x12345604};
    b.position_word = 1;
    b.pixels = pattern(32 * 8 / 2, 9);
    b.palette = pattern(64, 4);
    // Form C: H0 = 0, low byte of H3 = 0x48 (neither 4 nor 8): dimensions from H3.
    tex_record_desc c;
    c.name = "form_c";
    // 0x8048: width log2 8 (bits 0-3), height log2 1 (bits 6-9), depth 8 (bits 12-15).
    c.raster = {0, 0x77, 0, 0x8048};
    c.position_word = 2;
    const uint32_t cw = 1u << 8, ch = 1u << 1;
    c.pixels = pattern(cw * ch, 2);
    c.palette = pattern(1024, 5);

    auto loaded = load(tex_file_bytes({a, b, c}));
    ASSERT_TRUE(loaded->ok) << loaded->txd.last_error;
    tex_txd& txd = loaded->txd;
    ASSERT_EQ(txd.texture_count(), 3u);
    expect_texture(txd, 0, a, 8, 16, 8);
    expect_texture(txd, 1, b, 32, 8, 4);
    expect_texture(txd, 2, c, cw, ch, 8);
    EXPECT_EQ(txd.root_version(), 0x00746578u);
    EXPECT_FALSE(txd.release_pixels(0));
    EXPECT_EQ(txd.compression(0), 0u);
    EXPECT_TRUE(txd.render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
}

TEST(TexTxd, OneTextureLinkingBackToTheHead) {
    auto loaded = load(tex_file_bytes({form_a("one", 2, 2, 4)}));
    ASSERT_TRUE(loaded->ok) << loaded->txd.last_error;
    EXPECT_EQ(loaded->txd.texture_count(), 1u);
    expect_texture(loaded->txd, 0, form_a("one", 2, 2, 4), 4, 4, 4);
}

TEST(TexTxd, OtherDepthsReadA1024BytePalette) {
    auto odd = form_a("odd", 3, 3, 5);
    odd.palette = pattern(1024, 1);
    auto loaded = load(tex_file_bytes({odd}));
    ASSERT_TRUE(loaded->ok) << loaded->txd.last_error;
    EXPECT_EQ(loaded->txd.depth(0), 5u);
    // One byte short of the palette: refused.
    auto bytes = tex_file_bytes({odd});
    bytes.pop_back();
    EXPECT_FALSE(load(bytes)->ok);
}

TEST(TexTxd, OpenedAtAnOffset) {
    auto bytes = tex_file_bytes({form_a("shifted", 3, 3, 8)});
    // Positions are absolute: shift every one by the prefix.
    const uint32_t prefix = 256;
    std::vector<uint8_t> file(prefix, 0xEE);
    tex_record_desc desc = form_a("shifted", 3, 3, 8);
    auto shifted = bytes;
    auto fix = [&](size_t at) {
        uint32_t v = uint32_t(shifted[at]) | uint32_t(shifted[at + 1]) << 8 |
                     uint32_t(shifted[at + 2]) << 16 | uint32_t(shifted[at + 3]) << 24;
        v += prefix;
        for (int i = 0; i < 4; ++i)
            shifted[at + i] = uint8_t(v >> (8 * i));
    };
    fix(40);      // list head
    fix(48);      // record: raster header position
    fix(48 + 8);  // record: next (the head)
    fix(48 + 80); // raster header: pixel position
    file.insert(file.end(), shifted.begin(), shifted.end());
    auto loaded = load(file, prefix);
    ASSERT_TRUE(loaded->ok) << loaded->txd.last_error;
    expect_texture(loaded->txd, 0, desc, 8, 8, 8);
    EXPECT_EQ(loaded->txd.start, prefix);
}

struct refused_case {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* message;
};

class TexRefused : public ::testing::TestWithParam<refused_case> {};

TEST_P(TexRefused, WithTheRightMessage) {
    auto loaded = load(GetParam().bytes);
    EXPECT_FALSE(loaded->ok);
    EXPECT_EQ(loaded->txd.last_error, GetParam().message);
}

namespace {
std::vector<uint8_t> patched(std::vector<uint8_t> bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = uint8_t(value >> (8 * i));
    return bytes;
}
const std::vector<uint8_t> k_two = tex_file_bytes({form_a("x", 2, 2, 4), form_a("y", 2, 2, 4)});
// The second record starts behind the first record, its raster header, pixels and palette.
const uint32_t k_second_link = 48 + 96 + 8 + 64 + 8;
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Rows, TexRefused,
    ::testing::Values(
        refused_case{"wrong_magic", patched(k_two, 0, 0x01746578),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"too_short", std::vector<uint8_t>{'x', 'e', 't', 0},
                     "This is not a valid PS2 / PSP texture."},
        // The second record links back to the first: the list never returns to its head.
        refused_case{
            "circular",
            tex_file_bytes({form_a("x", 2, 2, 4), form_a("y", 2, 2, 4)}, {k_second_link, 48 + 8}),
            "This is not a valid PS2 / PSP texture."},
        refused_case{"self_link", tex_file_bytes({form_a("x", 2, 2, 4)}, {48 + 8}),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"link_beyond_file", tex_file_bytes({form_a("x", 2, 2, 4)}, {0x7FFFFFF0}),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"link_below_record", patched(k_two, 40, 4),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"raster_beyond_file", patched(k_two, 48, 0xFFFFFFF0),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"pixels_beyond_file", patched(k_two, 48 + 80, 0xFFFFFF00),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"width_exponent_13", tex_file_bytes({[] {
                         auto s = form_a("big", 2, 2, 8);
                         s.raster[1] = tex_dimension_word(13, 2, 8);
                         return s;
                     }()}),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"form_b_exponent_255", tex_file_bytes({[] {
                         tex_record_desc s;
                         s.raster = {0, 0, 0xFFFF0000u, 8};
                         s.position_word = 1;
                         return s;
                     }()}),
                     "This is not a valid PS2 / PSP texture."},
        refused_case{"depth_zero", tex_file_bytes({[] {
                         auto s = form_a("flat", 2, 2, 8);
                         s.raster[1] = tex_dimension_word(2, 2, 0);
                         return s;
                     }()}),
                     "Unsupported BPP detected."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TexTxd, UnreadableFile) {
    tex_txd txd;
    EXPECT_FALSE(txd.load(temp_dir() / "absent.tex", 0, 0x16, 0));
    EXPECT_EQ(txd.last_error, "Cant open file");
}

TEST(TexTxd, LongestListIsBounded) {
    std::vector<tex_record_desc> many(256, form_a("m", 1, 1, 4));
    auto refused = load(tex_file_bytes(many));
    EXPECT_FALSE(refused->ok);
    many.resize(255);
    auto accepted = load(tex_file_bytes(many));
    EXPECT_TRUE(accepted->ok) << accepted->txd.last_error;
    EXPECT_EQ(accepted->txd.texture_count(), 255u);
}

} // namespace quillmap
