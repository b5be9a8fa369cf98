#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_raster_layout.h"
#include "raster/tim2_file.h"
#include "stream/byte_reader.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

// Header words and transfers of real textures, as the game's converter wrote them.
struct golden {
    const char* name;
    uint32_t width, height, depth, levels;
    std::array<uint32_t, 16> words;
    std::vector<uint32_t> trxpos; // per level: DSAX | DSAY << 16
    std::vector<std::pair<uint32_t, uint32_t>> trxreg;
    uint32_t palette_trxpos;
    std::pair<uint32_t, uint32_t> palette_trxreg;
};

const golden k_golden[] = {
    {"vehmirref32",
     32,
     32,
     4,
     1,
     {0x20, 0x20, 4, 0x24504, 0x55408000, 0x20000005, 0x1c, 0, 0x4000, 0x400004, 0x4000, 0x400004,
      0x250, 0xb0, 0x800, 0xfc0},
     {0},
     {{16, 16}},
     0,
     {8, 3}},
    {"flowert",
     64,
     64,
     8,
     4,
     {0x40, 0x40, 8, 0x2b504, 0x99308000, 0x20000005, 0x1c, 0xc, 0x1408010, 0x801508, 0x4000,
      0x400004, 0x16c0, 0x450, 0x800, 0xfc0},
     {0, 0x20, 0x30, 0x38},
     {{32, 32}, {16, 16}, {8, 8}, {8, 4}},
     0x00100030,
     {16, 16}},
    {"policesablack16",
     16,
     16,
     4,
     2,
     {0x10, 0x10, 4, 0x2d504, 0x11408000, 0x20000005, 0x1f, 4, 0x8002, 0x400004, 0x4000, 0x400004,
      0x220, 0xb0, 0x800, 0xfc0},
     {0, 0x10},
     {{16, 8}, {16, 4}},
     0,
     {8, 3}},
    {"policesaspec128",
     128,
     128,
     8,
     5,
     {0x80, 0x80, 8, 0x2b504, 0xdd308000, 0x20000005, 0x5c, 0x10, 0x5008040, 0x805408, 0x8055,
      0x400004, 0x5710, 0x450, 0x1800, 0xfc0},
     {0, 0x00400000, 0x00400020, 0x00400030, 0x00400038},
     {{64, 64}, {32, 32}, {16, 16}, {8, 8}, {8, 4}},
     0x00500030,
     {16, 16}},
};

TEST(Ps2RasterLayout, ReproducesTheConvertersWords) {
    for (const golden& g : k_golden) {
        SCOPED_TRACE(g.name);
        ps2_raster_layout layout;
        std::string error;
        ASSERT_TRUE(compute_ps2_layout(
            {.width_px = g.width, .height_px = g.height, .depth = g.depth, .levels = g.levels},
            layout, error))
            << error;
        for (uint32_t i = 0; i < 16; ++i)
            EXPECT_EQ(layout.words[i], g.words[i]) << "word " << i;
        ASSERT_EQ(layout.levels.size(), g.levels);
        for (uint32_t n = 0; n < g.levels; ++n) {
            const ps2_transfer& t = layout.levels[n].transfer;
            EXPECT_EQ(t.dsax | t.dsay << 16, g.trxpos[n]) << "level " << n;
            EXPECT_EQ(std::make_pair(t.rrw, t.rrh), g.trxreg[n]) << "level " << n;
        }
        const ps2_transfer& p = layout.palette_transfer;
        EXPECT_EQ(p.dsax | p.dsay << 16, g.palette_trxpos);
        EXPECT_EQ(std::make_pair(p.rrw, p.rrh), g.palette_trxreg);
    }
}

TEST(Ps2RasterLayout, VersionAndDepthRules) {
    struct row {
        uint32_t width, height, depth, levels, version;
        bool swizzled;
        uint32_t word3, word13, word14, palette_h;
    };
    const row rows[] = {
        // RenderWare 3.1.0.0 and older send 4-bit data plain with an 8x2 palette.
        {32, 32, 4, 1, 0x0310, false, 0x24504, 0x90, 0x800, 2},
        {32, 32, 4, 1, 0x0401FFFF, true, 0x24504, 0xB0, 0x800, 3},
        {32, 32, 8, 1, 0x0310, true, 0x22504, 0x450, 0x800, 16},
        // A raster that fills its pages exactly puts the palette on a page of its own.
        {128, 64, 8, 1, 0x1803FFFF, true, 0x22504, 0x450, 0x1000, 16},
        {64, 32, 32, 1, 0x1803FFFF, false, 0x20504, 0, 0x800, 0},
        {64, 64, 16, 2, 0x1803FFFF, false, 0x29504, 0, 0x1000, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height) + "x" +
                     std::to_string(r.depth) + " v" + std::to_string(r.version));
        ps2_raster_layout layout;
        std::string error;
        ASSERT_TRUE(compute_ps2_layout({.width_px = r.width,
                                        .height_px = r.height,
                                        .depth = r.depth,
                                        .levels = r.levels,
                                        .pixel_format = r.depth == 16 ? 0x100u : 0x500u,
                                        .rw_version = r.version},
                                       layout, error))
            << error;
        EXPECT_EQ(layout.swizzled, r.swizzled);
        EXPECT_EQ(layout.words[3], r.depth == 16 ? (r.word3 & ~0xF00u) | 0x100 : r.word3);
        EXPECT_EQ(layout.words[13], r.word13);
        EXPECT_EQ(layout.words[14], r.word14);
        EXPECT_EQ(layout.palette_transfer.rrh, r.palette_h);
        EXPECT_EQ(layout.words[12], layout.pixel_data_bytes());
    }
    EXPECT_EQ(ps2_rw_level_count(128, 128), 5u);
    EXPECT_EQ(ps2_rw_level_count(8, 8), 1u);
    EXPECT_EQ(ps2_rw_level_count(1024, 4096), 7u);
    EXPECT_EQ(rw_library_version(0x1803FFFF), 0x36003u);
    EXPECT_EQ(rw_library_version(0x0401FFFF), 0x31001u);

    ps2_raster_layout layout;
    std::string error;
    EXPECT_FALSE(compute_ps2_layout({.width_px = 64, .height_px = 64, .depth = 12}, layout, error));
    EXPECT_FALSE(compute_ps2_layout({.width_px = 0, .height_px = 64, .depth = 8}, layout, error));
    EXPECT_FALSE(compute_ps2_layout({.width_px = 64, .height_px = 64, .depth = 8, .levels = 8},
                                    layout, error));
    // NLOOP has 15 bits: a 1024x1024 8-bit level cannot be one headered transfer.
    EXPECT_FALSE(
        compute_ps2_layout({.width_px = 1024, .height_px = 1024, .depth = 8}, layout, error));
    EXPECT_EQ(error, "The texture's size, depth or level count cannot be stored as a PS2 raster.");
}

const char* const k_ps2_samples[] = {"VEHICLE2.txd", "flowerb.txd", "cspolic.txd", "sav4_HUD.TXD"};

TEST(Ps2RasterLint, RealFilesAreClean) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : k_ps2_samples) {
        SCOPED_TRACE(file);
        ps2_txd txd;
        ASSERT_TRUE(txd.load(sample(file), 0, 0x16, 0)) << txd.last_error;
        for (const auto& p : lint_ps2_textures(txd))
            ADD_FAILURE() << p.texture << " " << p.name << ": " << p.what << " " << p.found
                          << " expected " << p.expected;
        // Every word was compared: no texture has more levels than the rule places.
        for (uint32_t t = 0; t < txd.texture_count(); ++t) {
            ps2_stored_words stored;
            ps2_raster_layout layout;
            std::string error;
            ASSERT_TRUE(read_stored_words(txd, t, stored));
            ASSERT_TRUE(expected_layout(txd, t, stored, layout, error)) << error;
            EXPECT_TRUE(layout.placement_determined) << t;
        }
        EXPECT_EQ(repair_ps2_textures(txd), 0u);
    }
}

// One damaged derived word per row: raster header word (offset into the header) or transfer
// header word (offset into the raster data).
struct damage {
    const char* file;
    uint32_t texture;
    bool in_header;
    size_t offset;
    uint32_t value;
    const char* what;
};

const damage k_damages[] = {
    {"VEHICLE2.txd", 0, true, 4 * 3, 0x4504, "header word 3 (raster format)"},
    {"VEHICLE2.txd", 0, true, 4 * 4, 0, "header word 4 (TEX0 low)"},
    {"VEHICLE2.txd", 0, true, 4 * 6, 0, "header word 6 (palette address)"},
    {"VEHICLE2.txd", 0, true, 4 * 13, 0x90, "header word 13 (palette data size)"},
    {"VEHICLE2.txd", 0, true, 4 * 15, 0, "header word 15 (TEX1 K)"},
    {"VEHICLE2.txd", 0, false, 32, 32, "level 0 TRXREG"},
    {"flowerb.txd", 1, true, 4 * 7, 0x1c, "header word 7 (TEX1 MXL)"},
    {"flowerb.txd", 1, true, 4 * 9, 0, "header word 9 (MIPTBP1 high)"},
    {"flowerb.txd", 1, true, 4 * 14, 0x1000, "header word 14 (GS memory size)"},
    {"flowerb.txd", 1, false, 80 + 4096 + 20, 0x40, "level 1 TRXPOS"},
    {"cspolic.txd", 0, true, 4 * 10, 0x4001, "header word 10 (MIPTBP2 low)"},
    {"cspolic.txd", 0, true, 4 * 12, 0x230, "header word 12 (pixel data size)"},
    {"sav4_HUD.TXD", 5, true, 4 * 5, 0x20000004, "header word 5 (TEX0 high)"},
};

rw_chunk* raster_part(ps2_txd& txd, uint32_t t, uint32_t which) {
    return txd.texture_chunk(t)->child(3)->child(which);
}

std::vector<uint8_t> saved(ps2_txd& txd) {
    const auto path = temp_dir() / "saved.txd";
    EXPECT_TRUE(txd.save(path, 0)) << txd.last_error;
    return read_file(path);
}

TEST(Ps2RasterLint, FindsEachDamagedWordAndRepairRestoresTheFile) {
    SKIP_WITHOUT_SAMPLES();
    for (const damage& d : k_damages) {
        SCOPED_TRACE(std::string(d.file) + " " + d.what);
        const auto original = read_file(sample(d.file));
        ps2_txd txd;
        ASSERT_TRUE(txd.load(sample(d.file), 0, 0x16, 0)) << txd.last_error;
        auto* data = txd.load_data(raster_part(txd, d.texture, d.in_header ? 0 : 1));
        ASSERT_TRUE(data && data->size() >= d.offset + 4);
        ASSERT_NE(u32_at(*data, d.offset).value(), d.value) << "the damage must change the word";
        store_u32(data->data() + d.offset, d.value);

        // Words 12 and 13 also disagree with the data size, which is reported on its own.
        auto problems = lint_ps2_textures(txd);
        const bool size_word = d.offset == 4 * 12 || d.offset == 4 * 13;
        EXPECT_EQ(std::erase_if(problems,
                                [](const ps2_problem& p) { return p.what == "raster data size"; }),
                  size_t(d.in_header && size_word));
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].texture, d.texture);
        EXPECT_EQ(problems[0].what, d.what);
        EXPECT_EQ(repair_ps2_textures(txd), 1u);
        EXPECT_TRUE(lint_ps2_textures(txd).empty());
        EXPECT_EQ(saved(txd), original);
    }
}

// What a tool that fills only width, height, depth and format leaves: repair makes it the
// game's texture again.
TEST(Ps2RasterLint, RepairFillsAHeaderOfZeros) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : k_ps2_samples) {
        SCOPED_TRACE(file);
        const auto original = read_file(sample(file));
        ps2_txd txd;
        ASSERT_TRUE(txd.load(sample(file), 0, 0x16, 0)) << txd.last_error;
        for (uint32_t t = 0; t < txd.texture_count(); ++t) {
            auto* header = txd.load_data(raster_part(txd, t, 0));
            ASSERT_TRUE(header && header->size() >= 64);
            const uint32_t format = u32_at(*header, 12).value();
            std::fill(header->begin() + 12, header->begin() + 64, 0);
            store_u32(header->data() + 12, format & 0x6F0F); // no kind, no mipmap bits
        }
        EXPECT_FALSE(lint_ps2_textures(txd).empty());
        std::vector<std::string> skipped;
        repair_ps2_textures(txd, &skipped);
        EXPECT_TRUE(skipped.empty());
        EXPECT_EQ(saved(txd), original);
    }
}

TEST(Ps2RasterLint, NamesAndSizes) {
    auto texture = [](std::string name, uint32_t w, uint32_t h) {
        return make_ps2_texture({.name = std::move(name), .width = w, .height = h, .depth = 8});
    };
    const auto path =
        write_temp("names.txd", make_dictionary({texture("wall", 64, 64), texture("WALL", 64, 64),
                                                 texture(std::string(32, 'n'), 64, 64),
                                                 texture("odd", 48, 64), texture("huge", 2048, 16)})
                                    .bytes());
    ps2_txd txd;
    ASSERT_TRUE(txd.load(path, 0, 0x16, 0)) << txd.last_error;
    std::vector<std::pair<uint32_t, std::string>> found;
    // The test builder's header words are not the converter's: only these problems are asked.
    for (const auto& p : lint_ps2_textures(txd))
        if (p.what.rfind("name", 0) == 0 || p.what == "size") found.emplace_back(p.texture, p.what);
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {1, "name used twice (case ignored)"},
        {2, "name longer than 31 characters"},
        {3, "size"},
        {4, "size"}};
    EXPECT_EQ(found, expected);
}

} // namespace

namespace {

// The 80-byte transfer headers of a raster data block, found by their NLOOP.
std::vector<std::vector<uint8_t>> transfer_headers(const std::vector<uint8_t>& data) {
    std::vector<std::vector<uint8_t>> headers;
    size_t at = 0;
    while (at + 80 <= data.size() && headers.size() < 9) {
        headers.emplace_back(data.begin() + long(at), data.begin() + long(at) + 80);
        at += 80 + size_t(u32_at(data, at + 64).value() & 0x7FFF) * 16;
    }
    return headers;
}

std::vector<uint8_t> chunk_data(ps2_txd& txd, rw_chunk* chunk) {
    const auto* data = txd.load_data(chunk);
    return data ? *data : std::vector<uint8_t>();
}

// Every PS2 texture of the samples, rebuilt from its own levels and palette, has the file's
// header words, transfer headers, names and flags, and the same pixels.
TEST(Ps2Build, RebuildsEveryRealTextureFromItsLevels) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : k_ps2_samples) {
        ps2_txd real;
        ASSERT_TRUE(real.load(sample(file), 0, 0x16, 0)) << real.last_error;
        ps2_txd built;
        ASSERT_TRUE(built.create_empty(real.root_version()));
        for (uint32_t t = 0; t < real.texture_count(); ++t) {
            SCOPED_TRACE(std::string(file) + " " + real.texture_name(t, name_kind::texture));
            std::vector<std::vector<uint8_t>> plain(real.mip_count(t));
            std::vector<std::span<const uint8_t>> levels;
            for (uint32_t n = 0; n < plain.size(); ++n) {
                ASSERT_TRUE(ps2_plain_level(real, t, n, plain[n])) << n;
                levels.emplace_back(plain[n]);
            }
            const auto palette = real.palette(t);
            ps2_texture_source source;
            source.name = real.texture_name(t, name_kind::texture);
            source.mask = real.texture_name(t, name_kind::mask);
            source.width = real.width(t);
            source.height = real.height(t);
            source.depth = real.depth(t);
            source.levels = levels;
            source.palette = palette;
            source.flags = real.texture_flags(t);
            uint32_t dropped = 9;
            auto texture = built.build_texture(source, &dropped);
            ASSERT_TRUE(texture) << built.last_error;
            EXPECT_EQ(dropped, 0u);
            ASSERT_TRUE(built.append_texture(std::move(texture))) << built.last_error;

            rw_chunk* a = real.texture_chunk(t);
            rw_chunk* b = built.texture_chunk(t);
            for (uint32_t child : {0u, 1u, 2u})
                EXPECT_EQ(chunk_data(built, b->child(child)), chunk_data(real, a->child(child)))
                    << "child " << child;
            EXPECT_EQ(chunk_data(built, b->child(3)->child(0)),
                      chunk_data(real, a->child(3)->child(0)));
            EXPECT_EQ(b->child(3)->child(1)->size, a->child(3)->child(1)->size);
            EXPECT_EQ(transfer_headers(chunk_data(built, b->child(3)->child(1))),
                      transfer_headers(chunk_data(real, a->child(3)->child(1))));
            ASSERT_EQ(built.mip_count(t), real.mip_count(t));
            for (uint32_t n = 0; n < plain.size(); ++n) {
                std::vector<uint8_t> again;
                ASSERT_TRUE(ps2_plain_level(built, t, n, again)) << n;
                EXPECT_EQ(again, plain[n]) << "level " << n;
            }
            const auto built_palette = built.palette(t);
            EXPECT_TRUE(std::equal(palette.begin(), palette.end(), built_palette.begin(),
                                   built_palette.end()));
        }
        EXPECT_TRUE(lint_ps2_textures(built).empty());
    }
}

TEST(Ps2Build, LevelsNamesAndLimits) {
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1803FFFF));
    std::vector<uint8_t> level0(16 * 16), level1(8 * 8), level2(4 * 4), palette(1024, 7);
    ps2_texture_source source;
    source.name = "sixteen";
    source.width = source.height = 16;
    source.depth = 8;
    source.levels = {level0, level1, level2};
    source.palette = palette;
    // RenderWare counts two levels for 16x16: the third is left out.
    uint32_t dropped = 0;
    auto texture = txd.build_texture(source, &dropped);
    ASSERT_TRUE(texture) << txd.last_error;
    EXPECT_EQ(dropped, 1u);
    EXPECT_EQ(u32_at(*texture->child(0)->data, 4).value(), 0x1106u); // mipmapped default flags
    EXPECT_EQ(texture->child(1)->size, 8u); // "sixteen" + zero, padded to 8
    ASSERT_TRUE(txd.append_texture(std::move(texture)));
    EXPECT_EQ(txd.mip_count(0), 2u);
    EXPECT_TRUE(lint_ps2_textures(txd).empty());

    source.name = std::string(32, 'x');
    EXPECT_FALSE(txd.build_texture(source));
    EXPECT_EQ(txd.last_error, "Texture names hold at most 31 characters.");
    source.name = std::string(31, 'x');
    source.levels = {level0};
    texture = txd.build_texture(source);
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->child(1)->size, 32u);
    EXPECT_EQ(u32_at(*texture->child(0)->data, 4).value(), 0x1102u);
    source.levels = {std::span<const uint8_t>(level0).first(100)};
    EXPECT_FALSE(txd.build_texture(source));
    EXPECT_EQ(txd.last_error, "The image holds fewer bytes than its size needs.");
}

} // namespace

namespace {

// TIM2 mipmap pictures carry every stored level out and back in: export, add and replace.
TEST(Ps2Tim2Levels, ExportAddAndReplaceKeepEveryLevel) {
    SKIP_WITHOUT_SAMPLES();
    size_t mipmapped = 0;
    for (const char* file : {"flowerb.txd", "cspolic.txd"}) {
        ps2_txd real;
        ASSERT_TRUE(real.load(sample(file), 0, 0x16, 0)) << real.last_error;
        for (uint32_t t = 0; t < real.texture_count(); ++t) {
            const uint32_t levels = real.mip_count(t);
            if (levels < 2) continue;
            ++mipmapped;
            SCOPED_TRACE(std::string(file) + " " + real.texture_name(t, name_kind::texture));
            const auto picture = temp_dir() / (real.texture_name(t, name_kind::texture) + ".tm2");
            ASSERT_TRUE(real.export_texture(t, view_mode::texture, export_type::tim2, &picture,
                                            swizzle_mode::as_stored))
                << real.last_error;
            tim2_file tim2;
            ASSERT_TRUE(tim2.read(picture)) << tim2.last_error;
            EXPECT_EQ(tim2.level_count(0), levels);
            EXPECT_EQ(tim2.pictures[0].header.gs_miptbp1,
                      u32_at({real.raster_header(t), 64}, 32).value() |
                          uint64_t(u32_at({real.raster_header(t), 64}, 36).value()) << 32);

            ps2_txd added;
            ASSERT_TRUE(added.create_empty(real.root_version()));
            ASSERT_TRUE(added.add_tim2_texture(picture, swizzle_mode::as_stored))
                << added.last_error;
            EXPECT_EQ(added.texture_name(0, name_kind::texture),
                      real.texture_name(t, name_kind::texture));
            ASSERT_EQ(added.mip_count(0), levels);
            EXPECT_EQ(chunk_data(added, added.texture_chunk(0)->child(3)->child(0)),
                      chunk_data(real, real.texture_chunk(t)->child(3)->child(0)));
            for (uint32_t n = 0; n < levels; ++n) {
                std::vector<uint8_t> want, got;
                ASSERT_TRUE(ps2_plain_level(real, t, n, want));
                ASSERT_TRUE(ps2_plain_level(added, 0, n, got));
                EXPECT_EQ(got, want) << "level " << n;
                // Replace brings the level back after it is spoilt.
                std::vector<uint8_t> spoilt(got.size(), 0x5A);
                ASSERT_TRUE(ps2_write_plain_level(added, 0, n, spoilt));
            }
            ASSERT_TRUE(added.replace_texture(0, picture, export_type::tim2, false))
                << added.last_error;
            for (uint32_t n = 0; n < levels; ++n) {
                std::vector<uint8_t> want, got;
                ASSERT_TRUE(ps2_plain_level(real, t, n, want));
                ASSERT_TRUE(ps2_plain_level(added, 0, n, got));
                EXPECT_EQ(got, want) << "replaced level " << n;
            }
        }
    }
    EXPECT_EQ(mipmapped, 4u);
}

// A picture with more levels than RenderWare counts for its size keeps the counted ones.
TEST(Ps2Tim2Levels, LevelsBeyondTheCountAreDropped) {
    tim2_file tim2;
    std::vector<uint8_t> clut(1024, 0x40);
    ASSERT_TRUE(tim2.add_picture(16, 16, 8, std::vector<uint8_t>(256, 1), clut, false));
    ASSERT_TRUE(tim2.add_mip_level(std::vector<uint8_t>(64, 2), false));
    ASSERT_TRUE(tim2.add_mip_level(std::vector<uint8_t>(16, 3), false));
    const auto path = temp_dir() / "three.tm2";
    ASSERT_TRUE(tim2.write(path));
    tim2_file again;
    ASSERT_TRUE(again.read(path)) << again.last_error;
    ASSERT_EQ(again.level_count(0), 3u);
    EXPECT_EQ(again.level_image(0, 2).size(), 16u);
    EXPECT_EQ(again.level_image(0, 2)[0], 3);

    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1803FFFF));
    uint32_t dropped = 0;
    ASSERT_TRUE(txd.add_tim2_texture(path, swizzle_mode::as_stored, &dropped)) << txd.last_error;
    EXPECT_EQ(dropped, 1u);
    EXPECT_EQ(txd.mip_count(0), 2u);
    std::vector<uint8_t> level1;
    ASSERT_TRUE(ps2_plain_level(txd, 0, 1, level1));
    EXPECT_EQ(level1, std::vector<uint8_t>(64, 2));
}

} // namespace

} // namespace quillmap
