#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/ios_txd.h"
#include "raster/display_image.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
constexpr uint16_t k_red565 = 0xF800;
constexpr uint16_t k_green565 = 0x07E0;
constexpr uint16_t k_blue565 = 0x001F;

std::unique_ptr<ios_txd> open_mobile(const std::vector<uint8_t>& bytes, bool* ok) {
    auto txd = std::make_unique<ios_txd>();
    *ok = txd->load(write_temp("m.txd", bytes), 0, 0x16, 0);
    return txd;
}

bgra solid_colour(ios_txd& txd, uint32_t t, uint32_t level, view_mode mode, uint32_t* w = nullptr) {
    auto image = txd.render(t, mode, swizzle_mode::as_stored, nullptr, level);
    if (!image) return {1, 2, 3, 4};
    if (w) *w = image->width;
    const bgra first = pixel_at(*image, 0, 0);
    for (uint32_t y = 0; y < image->height; ++y)
        for (uint32_t x = 0; x < image->width; ++x)
            if (!(pixel_at(*image, x, y) == first)) return {5, 6, 7, 8};
    return mode == view_mode::mixed ? first : rgb_at(*image, 0, 0);
}

uint32_t container_sum(const rw_chunk& chunk) {
    uint32_t total = 0;
    for (const auto& child : chunk.children)
        total += child->size + 12;
    return total;
}

mobile_texture_desc plain_levels(uint16_t w, uint16_t h, std::vector<uint16_t> colours) {
    mobile_texture_desc desc;
    desc.platform = 12;
    desc.width = w;
    desc.height = h;
    for (size_t level = 0; level < colours.size(); ++level) {
        auto pixels = fill16(colours[level], uint32_t((w >> level) * (h >> level)));
        desc.data.insert(desc.data.end(), pixels.begin(), pixels.end());
    }
    return desc;
}
} // namespace

TEST(IosTxd, WrongSizesAreReplacedByWhatWasRead) {
    for (int32_t error : {0, 100, -60, 7}) {
        auto desc = plain_levels(8, 8, {k_red565, k_green565, k_blue565});
        bool ok = false;
        auto txd = open_mobile(mobile_dictionary_bytes({desc, desc}, error), &ok);
        ASSERT_TRUE(ok) << error << ": " << txd->last_error;
        ASSERT_EQ(txd->texture_count(), 2u);
        ASSERT_EQ(txd->root->child_count(), 4u);
        EXPECT_EQ(txd->root->size, container_sum(*txd->root));
        for (uint32_t t = 0; t < 2; ++t) {
            const rw_chunk* native = txd->texture_chunk(t);
            ASSERT_EQ(native->child_count(), 2u);
            EXPECT_EQ(native->size, container_sum(*native));
            EXPECT_EQ(txd->mip_count(t), 3u);
            uint32_t w = 0;
            EXPECT_EQ(solid_colour(*txd, t, 1, view_mode::texture, &w), (bgra{0, 255, 0, 0}));
            EXPECT_EQ(w, 4u);
            EXPECT_EQ(solid_colour(*txd, t, 2, view_mode::texture), (bgra{255, 0, 0, 0}));
        }
        EXPECT_EQ(txd->texture_name(1, name_kind::texture), "mobile");
    }
}

TEST(IosTxd, MipCountFollowsTheStructSize) {
    auto three = plain_levels(128, 128, {k_red565, k_red565, k_red565});
    auto one = plain_levels(128, 128, {k_red565});
    // A 1x1 texture with trailing bytes must not count forever.
    auto tiny = plain_levels(1, 1, {k_red565});
    tiny.data.resize(5000, 0);
    bool ok = false;
    auto txd = open_mobile(mobile_dictionary_bytes({three, one, tiny}), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(txd->mip_count(0), 3u);
    EXPECT_EQ(txd->mip_count(1), 1u);
    EXPECT_LE(txd->mip_count(2), ios_txd::k_max_levels);
    EXPECT_TRUE(txd->render(2, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
}

TEST(IosTxd, DxtBlocksAtTheirOffsets) {
    mobile_texture_desc dxt3;
    dxt3.platform = 9;
    dxt3.alpha = 1;
    dxt3.data = dxt3_solid(k_green565, 0x7, 4);
    mobile_texture_desc dxt1;
    dxt1.platform = 9;
    dxt1.data = dxt1_solid(k_red565, 4);
    mobile_texture_desc early = dxt1;
    early.word108 = 10968;
    early.data_offset = 148;
    early.data = dxt1_solid(k_blue565, 4);
    // With another word the blocks are read from 152: blue blocks at 148 then show shifted.
    mobile_texture_desc not_early = early;
    not_early.word108 = 10969;
    bool ok = false;
    auto txd = open_mobile(mobile_dictionary_bytes({dxt3, dxt1, early}), &ok);
    ASSERT_TRUE(ok) << txd->error_detail;
    EXPECT_EQ(txd->compression(0), 1u);
    EXPECT_EQ(txd->mobile_pixel_format(0), 0x4444u);
    EXPECT_EQ(txd->mobile_pixel_format(1), 0x565u);
    EXPECT_EQ(txd->mip_count(0), 1u);
    EXPECT_EQ(solid_colour(*txd, 0, 0, view_mode::mixed), (bgra{0, 0xFF, 0, 0x77}));
    EXPECT_EQ(solid_colour(*txd, 1, 0, view_mode::texture), (bgra{0, 0, 255, 0}));
    EXPECT_EQ(solid_colour(*txd, 2, 0, view_mode::texture), (bgra{255, 0, 0, 0}));
    // Platform 9 textures have one level only.
    EXPECT_FALSE(txd->render(1, view_mode::texture, swizzle_mode::as_stored, nullptr, 1));

    // Read from 152, the blocks of the last texture are 4 bytes short: no mobile texture.
    auto short_blocks = open_mobile(mobile_dictionary_bytes({dxt1, not_early}), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(short_blocks->error_detail, "texture 1 needs 184 bytes, its Struct holds 180");
}

TEST(IosTxd, PvrAndAtcAreListedWithoutPixels) {
    mobile_texture_desc pvr;
    pvr.platform = 10;
    pvr.name = "pvrtex";
    pvr.data.assign(64, 0x55);
    mobile_texture_desc atc = pvr;
    atc.platform = 11;
    atc.name = "atctex";
    auto dir = temp_dir();
    ios_txd txd;
    ASSERT_TRUE(
        txd.load(write_file(dir / "p.txd", mobile_dictionary_bytes({pvr, atc})), 0, 0x16, 0));
    for (uint32_t t = 0; t < 2; ++t) {
        EXPECT_EQ(txd.platform_id(t), 10u + t);
        EXPECT_EQ(txd.depth(t), 16u);
        EXPECT_EQ(txd.width(t), 8u);
        EXPECT_EQ(txd.compression(t), 0u);
        EXPECT_FALSE(txd.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
        EXPECT_TRUE(txd.pixels(t, 0).empty());
        const auto target = dir / ("t" + std::to_string(t) + ".bmp");
        EXPECT_FALSE(txd.export_texture(t, view_mode::texture, export_type::bmp, &target,
                                        swizzle_mode::as_stored));
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "pvrtex");
    EXPECT_EQ(txd.texture_name(1, name_kind::texture), "atctex");
}

TEST(IosTxd, CountWordBeyondTheFileStopsAtItsEnd) {
    auto desc = plain_levels(8, 8, {k_red565});
    for (uint32_t count : {3u, 200u, 0xFFFFFFFFu}) {
        bool ok = false;
        auto txd = open_mobile(mobile_dictionary_bytes({desc}, 0, count), &ok);
        ASSERT_TRUE(ok) << count << ": " << txd->last_error;
        EXPECT_EQ(solid_colour(*txd, 0, 0, view_mode::texture), (bgra{0, 0, 255, 0}));
        EXPECT_EQ(txd->root->size, container_sum(*txd->root));
        // Positions the count claims but the file lacks show nothing.
        EXPECT_EQ(txd->texture_name(1, name_kind::texture), "");
        EXPECT_FALSE(txd->render(1, view_mode::texture, swizzle_mode::as_stored, nullptr, 0));
    }
}

TEST(IosTxd, MissingClosingExtensionIsSupplied) {
    auto bytes = mobile_dictionary_bytes({plain_levels(8, 8, {k_green565})});
    bytes.resize(bytes.size() - 12);
    bool ok = false;
    auto txd = open_mobile(bytes, &ok);
    ASSERT_TRUE(ok) << txd->last_error;
    ASSERT_EQ(txd->root->child_count(), 3u);
    EXPECT_EQ(txd->root->child(2)->id, 3u);
    EXPECT_EQ(txd->root->size, container_sum(*txd->root));
}

TEST(IosTxd, RefusalsAndExport) {
    auto dir = temp_dir();
    ios_txd txd;
    auto desc = plain_levels(8, 8, {k_red565});
    ASSERT_TRUE(txd.load(write_file(dir / "m.txd", mobile_dictionary_bytes({desc})), 0, 0x16, 0));
    const auto tim2 = dir / "out.tm2";
    EXPECT_FALSE(txd.export_texture(0, view_mode::texture, export_type::tim2, &tim2,
                                    swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "Unknown export type/extension");
    EXPECT_FALSE(std::filesystem::exists(tim2));
    const auto bmp = dir / "out.bmp";
    EXPECT_TRUE(
        txd.export_texture(0, view_mode::texture, export_type::bmp, &bmp, swizzle_mode::as_stored))
        << txd.last_error;
    EXPECT_TRUE(std::filesystem::exists(bmp));

    // Renames write the Struct's fields in place: no size changes, no String chunk.
    const auto before = txd.root->size;
    EXPECT_TRUE(txd.rename_texture(0, "other", name_kind::texture)) << txd.last_error;
    EXPECT_TRUE(txd.rename_texture(0, "otherA", name_kind::mask)) << txd.last_error;
    EXPECT_FALSE(txd.rename_texture(0, std::string(32, 'x'), name_kind::texture));
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "other");
    EXPECT_EQ(txd.texture_name(0, name_kind::mask), "otherA");
    EXPECT_EQ(txd.root->size, before);
    EXPECT_EQ(txd.texture_chunk(0)->child_count(), 2u);
    EXPECT_FALSE(txd.release_pixels(0));
    EXPECT_TRUE(txd.palette(0).empty());
}

TEST(IosTxd, LoadRefusesOtherPlatforms) {
    ios_txd txd;
    pc_texture_desc pc;
    EXPECT_FALSE(
        txd.load(write_temp("pc.txd", make_dictionary({make_pc_texture(pc)}).bytes()), 0, 0x16, 0));
    EXPECT_EQ(txd.last_error, "This is not an iOS / Android texture.");
    ios_txd empty;
    EXPECT_TRUE(empty.load(write_temp("e.txd", make_dictionary({}).bytes()), 0, 0x16, 0));
}

} // namespace quillmap
