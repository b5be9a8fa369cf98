#include "gc_builders.h"
#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/gc_txd.h"
#include "dictionary/txd_probe.h"
#include "raster/display_image.h"
#include "session/editor_session.h"
#include "session/pixel_probe.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
struct sample_texture {
    const char* name;
    uint32_t width, height, depth, levels;
    uint8_t gx, palette;
    uint32_t raster_format, alpha, data_size;
};
struct sample_row {
    const char* file;
    uint16_t device_id;
    std::vector<sample_texture> textures;
};

// What the five real dictionaries hold, header word by header word (0 data size: not pinned).
const std::vector<sample_row>& sample_rows() {
    static const std::vector<sample_row> rows = {
        {"gc_menu_cmpr.txd",
         0,
         {{"TitleAnime", 1, 1, 4, 1, 8, 2, 0x4104, 1, 32},
          {"gamemenu", 256, 256, 8, 1, 9, 2, 0x2104, 1, 65536},
          {"BG", 512, 512, 4, 1, 14, 0xFF, 0x0004, 1, 131072},
          {"TitleParts", 512, 512, 32, 1, 6, 0xFF, 0x0504, 1, 1048576}}},
        {"gc_menu_mips.txd",
         0,
         {{"TitleAnime", 512, 512, 8, 1, 9, 2, 0x2104, 1, 262144},
          {"gamemenu", 256, 256, 8, 9, 9, 2, 0xA104, 1, 87456},
          {"BG", 512, 512, 8, 1, 9, 1, 0x2204, 0, 262144},
          {"TitleParts", 512, 512, 16, 1, 5, 0xFF, 0x0304, 1, 524288}}},
        {"gc_logo_mips.txd", 0, {{"logo", 64, 128, 32, 8, 6, 0xFF, 0x8504, 1, 43840}}},
        {"gc_font_dev3.txd", 3, {{"Advertise_IT00", 256, 256, 4, 1, 8, 1, 0x4204, 0, 32768}}},
        {"gc_small_pal.txd", 0, {}},
    };
    return rows;
}

rgba8 texel(gc_txd& txd, uint32_t t, uint32_t level, uint32_t x, uint32_t y) {
    const auto texels = txd.level_rgba(t, level);
    const uint32_t w = std::max(1u, txd.width(t) >> level);
    if (texels.size() <= size_t(y) * w + x) return {1, 2, 3, 4};
    return texels[size_t(y) * w + x];
}

void expect_rgba(rgba8 got, uint8_t r, uint8_t g, uint8_t b, uint8_t a, const char* where) {
    EXPECT_EQ(got.r, r) << where;
    EXPECT_EQ(got.g, g) << where;
    EXPECT_EQ(got.b, b) << where;
    EXPECT_EQ(got.a, a) << where;
}

std::unique_ptr<gc_txd> open_gc(const std::filesystem::path& file) {
    auto txd = std::make_unique<gc_txd>();
    EXPECT_TRUE(txd->load(file, 0, 0x16, 0))
        << file << ": " << txd->last_error << " " << txd->error_detail;
    return txd;
}
} // namespace

// One row per sample: every header field, every level rendered, the file saved unchanged.
TEST(GcTxd, SamplesListRenderAndSaveAsTheyAre) {
    SKIP_WITHOUT_SAMPLES();
    for (const sample_row& row : sample_rows()) {
        SCOPED_TRACE(row.file);
        const auto file = sample(row.file);
        auto txd = open_gc(file);
        if (!row.textures.empty()) {
            ASSERT_EQ(txd->texture_count(), row.textures.size());
        } else {
            ASSERT_EQ(txd->texture_count(), 8u);
        }
        for (uint32_t t = 0; t < txd->texture_count(); ++t) {
            SCOPED_TRACE(t);
            const auto f = txd->fields(t);
            ASSERT_TRUE(f);
            EXPECT_EQ(txd->platform_id(t), 6u);
            EXPECT_EQ(txd->texture_flags(t) & 0xFF00, 0x1100u);
            EXPECT_EQ(f->words, (std::array<uint32_t, 4>{0, 1, 1, 0}));
            if (!row.textures.empty()) {
                const sample_texture& want = row.textures[t];
                EXPECT_EQ(txd->texture_name(t, name_kind::texture), want.name);
                EXPECT_EQ(txd->texture_name(t, name_kind::mask), "");
                EXPECT_EQ(txd->width(t), want.width);
                EXPECT_EQ(txd->height(t), want.height);
                EXPECT_EQ(txd->depth(t), want.depth);
                EXPECT_EQ(txd->mip_count(t), want.levels);
                EXPECT_EQ(f->gx, want.gx);
                EXPECT_EQ(f->palette_format, want.palette);
                EXPECT_EQ(txd->raster_format(t), want.raster_format);
                EXPECT_EQ(f->alpha, want.alpha);
                EXPECT_EQ(f->data_size, want.data_size);
                EXPECT_EQ(txd->compression(t), want.gx == 14 ? 1u : 0u);
            }
            // The data size word counts every level, and nothing follows the last.
            uint64_t total = 0;
            for (uint32_t level = 0; level < txd->mip_count(t); ++level) {
                const auto stored = txd->stored_level(t, level);
                ASSERT_FALSE(stored.empty()) << "level " << level;
                total += stored.size();
                auto image =
                    txd->render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, level);
                ASSERT_TRUE(image) << "level " << level << ": " << txd->last_error;
                EXPECT_EQ(image->width, std::max(1u, txd->width(t) >> level));
                EXPECT_EQ(image->height, std::max(1u, txd->height(t) >> level));
            }
            EXPECT_EQ(total, f->data_size);
            EXPECT_EQ(f->data_size_offset + 4 + total, f->struct_bytes);
        }
        const auto out = temp_dir() / row.file;
        ASSERT_TRUE(txd->save(out, 0)) << txd->last_error;
        EXPECT_EQ(read_file(out), read_file(file));
        // The dictionary's device id stays as it was.
        const auto bytes = read_file(file);
        EXPECT_EQ(bytes[26] | bytes[27] << 8, row.device_id);
    }
}

TEST(GcTxd, SampleTexelsMatchTheWorkedExamples) {
    SKIP_WITHOUT_SAMPLES();
    auto cmpr = open_gc(sample("gc_menu_cmpr.txd"));
    // CMPR: colour0 > colour1, thirds rounded down; row 0 indices 0, 2, 3, 1.
    expect_rgba(texel(*cmpr, 2, 0, 256, 256), 247, 134, 115, 255, "cmpr 256");
    expect_rgba(texel(*cmpr, 2, 0, 257, 256), 244, 128, 109, 255, "cmpr 257");
    expect_rgba(texel(*cmpr, 2, 0, 258, 256), 241, 122, 104, 255, "cmpr 258");
    expect_rgba(texel(*cmpr, 2, 0, 259, 256), 239, 117, 99, 255, "cmpr 259");
    // 1×1 C4 whose palette entry 0 is 0x0466: 0 A3 R4 G4 B4 with alpha 0.
    expect_rgba(texel(*cmpr, 0, 0, 0, 0), 0x44, 0x66, 0x66, 0, "pal4 1x1");

    auto logo = open_gc(sample("gc_logo_mips.txd"));
    expect_rgba(texel(*logo, 0, 7, 0, 0), 54, 39, 38, 80, "rgba8 level 7");
    expect_rgba(texel(*logo, 0, 0, 32, 7), 219, 219, 224, 50, "rgba8 (32,7)");
    expect_rgba(texel(*logo, 0, 0, 35, 7), 220, 221, 229, 255, "rgba8 (35,7)");
    expect_rgba(texel(*logo, 0, 0, 33, 5), 0, 0, 0, 0, "rgba8 (33,5)");

    auto mips = open_gc(sample("gc_menu_mips.txd"));
    const auto palette = mips->palette_colours(1);
    ASSERT_EQ(palette.size(), 256u);
    expect_rgba(palette[1], 204, 187, 153, 255, "0 111 R4G4B4");
    // Both encodings of opaque RGB5A3 texels.
    expect_rgba(texel(*mips, 3, 0, 121, 18), 173, 173, 173, 255, "1 R5G5B5");
    expect_rgba(texel(*mips, 3, 0, 116, 18), 238, 238, 238, 255, "0 111 R4G4B4 texel");

    auto font = open_gc(sample("gc_font_dev3.txd"));
    const auto font_palette = font->palette_colours(0);
    ASSERT_EQ(font_palette.size(), 16u);
    expect_rgba(font_palette[0], 0, 0, 0, 255, "565 black");
    expect_rgba(font_palette[1], 132, 0, 0, 255, "565 0x8000");
    expect_rgba(font_palette[2], 0, 130, 0, 255, "565 0x0400");
    expect_rgba(font_palette[15], 255, 255, 255, 255, "565 white");

    // An 8×16 C4 texture is two tiles, one above the other.
    auto small = open_gc(sample("gc_small_pal.txd"));
    EXPECT_EQ(small->stored_level(6, 0).size(), 64u);
    EXPECT_EQ(small->width(6), 8u);
    EXPECT_EQ(small->height(6), 16u);
}

// The preview shows what the texel decoder gives, alpha included.
TEST(GcTxd, RenderShowsTheDecodedTexels) {
    SKIP_WITHOUT_SAMPLES();
    auto logo = open_gc(sample("gc_logo_mips.txd"));
    auto image = logo->render(0, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(pixel_at(*image, 32, 7), (bgra{224, 219, 219, 50}));
    EXPECT_EQ(pixel_at(*image, 35, 7), (bgra{229, 221, 220, 255}));
    auto small = open_gc(sample("gc_small_pal.txd"));
    for (uint32_t t = 0; t < small->texture_count(); ++t) {
        auto picture = small->render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(picture);
        const auto texels = small->level_rgba(t, 0);
        for (uint32_t y = 0; y < picture->height; ++y)
            for (uint32_t x = 0; x < picture->width; ++x) {
                const rgba8 c = texels[size_t(y) * picture->width + x];
                ASSERT_EQ(pixel_at(*picture, x, y), (bgra{c.b, c.g, c.r, c.a}))
                    << t << " " << x << "," << y;
            }
    }
}

TEST(GcTxd, OpensWithTheDefaultPriorityAndByName) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session;
    ASSERT_EQ(session.open(sample("gc_small_pal.txd").string(), 0, k_default_platform_priority),
              open_status::opened)
        << session.error_text();
    EXPECT_STREQ(session.platform_name(), "GameCube");
    EXPECT_EQ(session.dictionary()->family(), txd_family::gamecube);

    const auto named = probe_dictionary(sample("gc_logo_mips.txd"), 0, "GameCube");
    ASSERT_TRUE(named.dictionary) << named.reason;
    EXPECT_EQ(named.platform, txd_platform::gamecube);
    // The command line lists every header field and makes thumbnails of GameCube files.
    const cli_result json = run_cli({"list", sample("gc_menu_mips.txd").string(), "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    for (const char* field :
         {"\"platform\":\"GameCube\"", "\"platform_id\":6",
          "\"gamecube\":{\"filter\":\"0x1103\",\"words\":[0,1,1,0],\"raster_format\":\"0xA104\","
          "\"levels_stored\":9,\"gx_format\":9,\"gx_format_name\":\"C8\",\"verified\":true,"
          "\"palette_format\":2,\"palette_format_name\":\"RGB5A3\",\"palette_entries\":256,"
          "\"alpha\":1,\"data_size\":87456}"})
        EXPECT_NE(json.out.find(field), std::string::npos) << field;
    const auto thumbnail = temp_dir() / "thumb.png";
    const cli_result thumb =
        run_cli({"thumbnail", sample("gc_menu_cmpr.txd").string(), thumbnail.string()});
    EXPECT_EQ(thumb.exit_code, 0) << thumb.err;
    EXPECT_GT(read_file(thumbnail).size(), 1000u);
    // The other classes refuse a GameCube file.
    const auto others = probe_dictionary(sample("gc_logo_mips.txd"), 0, "PS2,PC,iOS,XBOX,TEX");
    EXPECT_FALSE(others.dictionary);
}

// Hostile headers: the reader refuses or reads within the Struct, never beyond it.
TEST(GcTxd, HostileHeaders) {
    struct hostile_row {
        const char* what;
        gc_texture_desc desc;
        bool opens;
        const char* detail; // part of the refusal's detail
    };
    auto c4 = [] {
        gc_texture_desc d;
        d.width = 8;
        d.height = 8;
        d.gx = 8;
        d.palette_format = 2;
        d.depth = 4;
        d.raster_format = 0x4104;
        return d;
    };
    std::vector<hostile_row> rows;
    {
        auto d = c4();
        d.levels = 255; // one level stored
        rows.push_back({"level count beyond the data", d, true, ""});
    }
    {
        auto d = c4();
        d.width = 0;
        rows.push_back({"width 0", d, false, "is 0x8"});
    }
    {
        auto d = c4();
        d.width = 0xFFFF;
        rows.push_back({"width 65535", d, false, "outside"});
    }
    {
        auto d = c4();
        d.gx = 7;
        rows.push_back({"unknown GX format", d, false, "unknown GX texture format 7"});
    }
    {
        auto d = c4();
        d.truncate_to = 120; // inside the palette
        rows.push_back({"Struct ends in the palette", d, false, "needs 172 bytes"});
    }
    {
        auto d = c4();
        d.truncate_to = 171; // one byte short of level 0
        rows.push_back({"level 0 one byte short", d, false, "needs 172 bytes"});
    }
    {
        auto d = c4();
        d.truncate_to = 100;
        rows.push_back({"Struct shorter than its header", d, false, "needs 104 bytes"});
    }
    {
        auto d = c4();
        d.data_size = 0xFFFFFFF0; // a lying data size word is not followed
        rows.push_back({"data size word lies", d, true, ""});
    }
    {
        auto d = c4();
        d.palette_format = 0xFF; // indices without a palette show transparent black
        d.gx = 9;
        rows.push_back({"C8 without palette", d, true, ""});
    }
    {
        auto d = c4();
        d.raster_format = 0x2104; // PAL8 flag on a C4 texture: 256 entries are looked for
        rows.push_back({"PAL8 flag with 16 entries stored", d, false, "needs"});
    }
    for (const hostile_row& row : rows) {
        SCOPED_TRACE(row.what);
        gc_txd txd;
        const auto file = write_temp("hostile.txd", gc_dictionary({gc_texture(row.desc)}));
        const bool opened = txd.load(file, 0, 0x16, 0);
        ASSERT_EQ(opened, row.opens) << txd.last_error << " " << txd.error_detail;
        if (!opened) {
            EXPECT_EQ(txd.last_error, "This is not a GameCube texture.");
            EXPECT_NE(txd.error_detail.find(row.detail), std::string::npos) << txd.error_detail;
            continue;
        }
        // Every level the count allows is either decoded or refused with a message.
        for (uint32_t level = 0; level < 20; ++level) {
            auto image = txd.render(0, view_mode::mixed, swizzle_mode::as_stored, nullptr, level);
            if (!image) {
                EXPECT_FALSE(txd.last_error.empty());
            }
            if (level == 0) {
                EXPECT_TRUE(image) << txd.last_error;
            }
        }
        EXPECT_LE(txd.mip_count(0), 4u);
    }
}

// Formats real files never use, decoded from the console's definition: one tile each.
TEST(GcTxd, UnverifiedFormatsDecode) {
    struct format_row {
        uint8_t gx;
        std::vector<uint8_t> first_bytes; // the rest of the level is zero
        rgba8 first, second;              // texels (0,0) and (1,0)
    };
    const std::vector<format_row> rows = {
        {0, {0x3C}, {0x33, 0x33, 0x33, 255}, {0xCC, 0xCC, 0xCC, 255}},                    // I4
        {1, {0x10, 0xF0}, {0x10, 0x10, 0x10, 255}, {0xF0, 0xF0, 0xF0, 255}},              // I8
        {2, {0x3C, 0xF0}, {0xCC, 0xCC, 0xCC, 0x33}, {0, 0, 0, 255}},                      // IA4
        {3, {0x80, 0x40, 0xFF, 0x20}, {0x40, 0x40, 0x40, 0x80}, {0x20, 0x20, 0x20, 255}}, // IA8
        {4, {0xF8, 0x00, 0x07, 0xE0}, {255, 0, 0, 255}, {0, 255, 0, 255}},                // RGB565
        {10, {0xC0, 0x01, 0x00, 0x00}, {0x44, 0x66, 0x66, 0}, {1, 2, 3, 4}},              // C14X2
    };
    for (const format_row& row : rows) {
        SCOPED_TRACE(int(row.gx));
        gc_texture_desc d;
        d.width = 8;
        d.height = 8;
        d.gx = row.gx;
        d.depth = gx_tile_of(row.gx)->bits;
        d.raster_format = 0x0004;
        if (row.gx == 10) {
            d.palette_format = 2;
            d.raster_format = 0x2104;
            d.palette = {0x0000, 0x0466};
        }
        d.level_bytes = std::vector<uint8_t>(size_t(gx_level_bytes(row.gx, 8, 8)), 0);
        std::copy(row.first_bytes.begin(), row.first_bytes.end(), d.level_bytes.begin());
        gc_txd txd;
        ASSERT_TRUE(txd.load(write_temp("f.txd", gc_dictionary({gc_texture(d)})), 0, 0x16, 0))
            << txd.error_detail;
        EXPECT_FALSE(gx_format_verified(row.gx));
        const auto texels = txd.level_rgba(0, 0);
        ASSERT_EQ(texels.size(), 64u);
        expect_rgba(texels[0], row.first.r, row.first.g, row.first.b, row.first.a, "(0,0)");
        if (row.gx != 10)
            expect_rgba(texels[1], row.second.r, row.second.g, row.second.b, row.second.a, "(1,0)");
        else // index 0 of a two-entry palette
            expect_rgba(texels[1], 0, 0, 0, 0, "(1,0)");
    }
}

// CMPR blocks and DXT1 blocks are the same data in another byte and bit order.
TEST(GcTxd, CmprBlocksBecomeDxt1BlocksExactly) {
    const uint8_t cmpr[8] = {0xF4, 0x2E, 0xEB, 0xAC, 0x2D, 0xAF, 0xAF, 0x2B};
    uint8_t dxt1[8], back[8];
    gx_cmpr_block_to_dxt1(cmpr, dxt1);
    // Words little-endian; row 0 indices 0, 2, 3, 1 from the left, in the low bits first.
    const uint8_t expected[8] = {0x2E, 0xF4, 0xAC, 0xEB, 0x78, 0xFA, 0xFA, 0xE8};
    EXPECT_TRUE(std::equal(dxt1, dxt1 + 8, expected));
    gx_dxt1_block_to_cmpr(dxt1, back);
    EXPECT_TRUE(std::equal(back, back + 8, cmpr));
    // A 12×4 level: three DXT1 blocks from two tiles; the fourth block of the second tile's top
    // row lies outside the picture and is dropped.
    std::vector<uint8_t> level(size_t(gx_level_bytes(14, 12, 4)));
    for (size_t i = 0; i < level.size(); ++i)
        level[i] = uint8_t(i * 7 + 1);
    const auto blocks = gx_cmpr_to_dxt1(12, 4, level);
    ASSERT_EQ(blocks.size(), 24u);
    uint8_t first_of_tile2[8];
    gx_cmpr_block_to_dxt1(&level[32], first_of_tile2);
    EXPECT_TRUE(std::equal(first_of_tile2, first_of_tile2 + 8, blocks.begin() + 16));
    const auto again = gx_dxt1_to_cmpr(12, 4, blocks);
    ASSERT_EQ(again.size(), level.size());
    EXPECT_TRUE(std::equal(again.begin(), again.begin() + 16, level.begin()));
    EXPECT_TRUE(std::equal(again.begin() + 32, again.begin() + 40, level.begin() + 32));
    EXPECT_EQ(again[40], 0); // the dropped block comes back as zero
}

} // namespace quillmap

namespace quillmap {

// The palette view and the pixel inspector read GameCube palette textures.
TEST(GcTxd, PaletteViewAndPixelProbe) {
    SKIP_WITHOUT_SAMPLES();
    gc_txd txd;
    ASSERT_TRUE(txd.load(sample("gc_font_dev3.txd"), 0, 0x16, 0));
    const auto entries = indexed_palette(txd, 0);
    ASSERT_EQ(entries.size(), 16u);
    EXPECT_EQ(entries[1], (std::array<uint8_t, 4>{132, 0, 0, 255}));
    const auto indices = level_indices(txd, 0, 0, false);
    ASSERT_EQ(indices.size(), 256u * 256u);
    const auto texels = txd.level_rgba(0, 0);
    for (size_t i = 0; i < indices.size(); i += 97) {
        const auto& e = entries[indices[i]];
        ASSERT_EQ(e[0], texels[i].r);
        ASSERT_EQ(e[3], texels[i].a);
    }
    const stored_pixel p = probe_stored_pixel(txd, 0, 0, 5, 7, false);
    ASSERT_TRUE(p.index);
    EXPECT_EQ(*p.index, indices[7 * 256 + 5]);
    EXPECT_EQ(p.alpha, 255u);
    // Textures without a palette show none.
    gc_txd logo;
    ASSERT_TRUE(logo.load(sample("gc_logo_mips.txd"), 0, 0x16, 0));
    EXPECT_TRUE(indexed_palette(logo, 0).empty());
    EXPECT_FALSE(probe_stored_pixel(logo, 0, 0, 0, 0, false).index);
}

} // namespace quillmap
