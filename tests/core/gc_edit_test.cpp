#include "gc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/gc_raster_check.h"
#include "dictionary/gc_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "imageio/convert_gc.h"
#include "imageio/png_codec.h"
#include "imageio/texture_dds.h"
#include "imageio/texture_png.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
const char* const k_gc_samples[] = {"gc_menu_cmpr.txd", "gc_menu_mips.txd", "gc_logo_mips.txd",
                                    "gc_font_dev3.txd", "gc_small_pal.txd"};

std::vector<std::string> failures(const std::vector<ps2_problem>& problems) {
    std::vector<std::string> out;
    for (const ps2_problem& p : problems)
        if (!p.accepted)
            out.push_back(p.name + ": " + p.what + " " + p.found + " -> " + p.expected);
    return out;
}

// A picture whose colours all differ: a gradient, with alpha when asked.
rgba_image gradient(uint32_t w, uint32_t h, bool alpha) {
    rgba_image picture;
    picture.width = w;
    picture.height = h;
    picture.rgba.resize(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = picture.pixel(x, y);
            p[0] = uint8_t(x * 255 / std::max(1u, w - 1));
            p[1] = uint8_t(y * 255 / std::max(1u, h - 1));
            p[2] = uint8_t((x + y) * 8);
            p[3] = alpha ? uint8_t(x < w / 2 ? 0 : 255) : 255;
        }
    return picture;
}

std::filesystem::path write_png(const rgba_image& picture, const std::string& name) {
    std::string error;
    const auto png = encode_png_rgba(picture, error);
    EXPECT_FALSE(png.empty()) << error;
    return write_temp(name, png);
}
} // namespace

// Every texture of every sample replaced from its own exported PNG: the file saves byte for byte
// (header words, palettes and texels all as they were).
TEST(GcEdit, EveryTextureRebuiltFromItsOwnPngKeepsItsBytes) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : k_gc_samples) {
        SCOPED_TRACE(file);
        editor_session session;
        ASSERT_EQ(session.open(sample(file).string(), 0, k_all_platforms), open_status::opened);
        ps2_txd& txd = *session.dictionary();
        for (uint32_t t = 0; t < txd.texture_count(); ++t) {
            std::vector<uint8_t> png;
            std::string error;
            ASSERT_TRUE(
                texture_png(txd, t, 0, view_mode::mixed, swizzle_mode::as_stored, png, error))
                << error;
            const auto picture = write_temp("own.png", png);
            ASSERT_TRUE(session.replace(t, picture.string(), false)) << session.error_text();
            EXPECT_EQ(session.last_note(), "") << t;
        }
        const auto out = temp_dir() / file;
        ASSERT_TRUE(session.save_as(out.string())) << session.error_text();
        EXPECT_EQ(read_file(out), read_file(sample(file)));
    }
}

// CMPR levels as DXT1 blocks in a DDS: the same blocks, and back again unchanged.
TEST(GcEdit, CmprDdsExportCarriesTheBlocks) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session;
    ASSERT_EQ(session.open(sample("gc_menu_cmpr.txd").string(), 0, k_all_platforms),
              open_status::opened);
    auto& gc = dynamic_cast<gc_txd&>(*session.dictionary());
    dds_image dds;
    std::string error;
    ASSERT_TRUE(texture_dds(gc, 2, dds, error)) << error;
    ASSERT_EQ(dds.format, dds_format::dxt1);
    ASSERT_EQ(dds.levels.size(), 1u);
    EXPECT_EQ(dds.levels[0], gx_cmpr_to_dxt1(512, 512, gc.stored_level(2, 0)));
    // The DDS decoder widens by rounding and blends its own way: within two steps a channel.
    const auto decoded = dds_level_rgba(dds, 0);
    const auto texels = gc.level_rgba(2, 0);
    ASSERT_EQ(decoded.size(), texels.size() * 4);
    int worst = 0;
    for (size_t i = 0; i < texels.size(); ++i) {
        worst = std::max({worst, std::abs(decoded[i * 4] - texels[i].r),
                          std::abs(decoded[i * 4 + 1] - texels[i].g),
                          std::abs(decoded[i * 4 + 2] - texels[i].b)});
        ASSERT_EQ(decoded[i * 4 + 3], texels[i].a);
    }
    EXPECT_LE(worst, 2);
    // Other kinds go out as 32-bit pixels.
    dds_image rgba8;
    ASSERT_TRUE(texture_dds(gc, 3, rgba8, error)) << error;
    EXPECT_EQ(rgba8.format, dds_format::argb8888);

    const auto file = temp_dir() / "bg.dds";
    ASSERT_TRUE(export_texture_dds(gc, 2, file, error)) << error;
    ASSERT_TRUE(session.replace(2, file.string(), false)) << session.error_text();
    const auto out = temp_dir() / "same.txd";
    ASSERT_TRUE(session.save_as(out.string()));
    EXPECT_EQ(read_file(out), read_file(sample("gc_menu_cmpr.txd")));
}

// New textures in every format: the determined words follow the rules (lint is clean) and the
// picture comes back as the format holds it.
TEST(GcEdit, AddedTexturesFollowTheRules) {
    struct add_row {
        const char* format;
        bool alpha;
        uint8_t gx, palette;
        uint32_t raster_format; // with the full chain of 16×16 (5 levels)
        int tolerance;          // largest channel difference from the picture
    };
    const std::vector<add_row> rows = {
        {"c4", false, 8, 1, 0xC204, 64},       {"c4", true, 8, 2, 0xC104, 64},
        {"c8", false, 9, 1, 0xA204, 24},       {"c8", true, 9, 2, 0xA104, 24},
        {"rgb5a3", true, 5, 0xFF, 0x8304, 17}, {"rgba8", true, 6, 0xFF, 0x8504, 0},
        {"cmpr", false, 14, 0xFF, 0x8004, 48},
    };
    for (const add_row& row : rows) {
        SCOPED_TRACE(std::string(row.format) + (row.alpha ? " alpha" : ""));
        // (An empty dictionary is any platform's: the new texture joins a GameCube one.)
        const auto file = write_temp("one.txd", gc_dictionary({gc_texture({})}));
        const auto picture = gradient(16, 16, row.alpha);
        const auto png = write_png(picture, "pic.png");
        const auto out = temp_dir() / "added.txd";
        const cli_result added = run_cli({"add", file.string(), png.string(), "--format",
                                          row.format, "--mips", "auto", "-o", out.string()});
        ASSERT_EQ(added.exit_code, 0) << added.out << added.err;
        gc_txd txd;
        ASSERT_TRUE(txd.load(out, 0, 0x16, 0)) << txd.error_detail;
        ASSERT_EQ(txd.texture_count(), 2u);
        const auto f = txd.fields(1);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->gx, row.gx);
        EXPECT_EQ(f->palette_format, row.palette);
        EXPECT_EQ(f->raster_format, row.raster_format);
        EXPECT_EQ(f->levels, 5u);
        EXPECT_EQ(f->filter, 0x1103u);
        EXPECT_EQ(f->alpha, row.alpha || row.gx == 14 ? 1u : 0u);
        EXPECT_EQ(txd.texture_name(1, name_kind::texture), "pic");
        EXPECT_EQ(failures(lint_gc_textures(txd)), std::vector<std::string>{});
        const auto texels = txd.level_rgba(1, 0);
        ASSERT_EQ(texels.size(), 256u);
        int worst = 0;
        for (size_t i = 0; i < texels.size(); ++i) {
            const uint8_t* p = &picture.rgba[i * 4];
            worst = std::max(worst, std::abs(texels[i].a - p[3]));
            // The colour of a transparent texel is free.
            if (p[3] != 0)
                worst = std::max({worst, std::abs(texels[i].r - p[0]), std::abs(texels[i].g - p[1]),
                                  std::abs(texels[i].b - p[2])});
        }
        EXPECT_LE(worst, row.tolerance) << worst;
        for (uint32_t level = 0; level < 5; ++level)
            EXPECT_TRUE(txd.render(1, view_mode::mixed, swizzle_mode::as_stored, nullptr, level));
    }
}

// Replacing with another format and mip levels; rename, move and delete in the Struct.
TEST(GcEdit, FormatsLevelsAndNamesChange) {
    SKIP_WITHOUT_SAMPLES();
    const auto source = sample("gc_small_pal.txd");
    const auto picture = write_png(gradient(16, 16, true), "alpha.png");
    const auto step1 = temp_dir() / "step1.txd";
    // Texture 0 is a 16×16 PAL4 565 texture: a picture with alpha as rgba8 with a full chain.
    cli_result r = run_cli({"replace", source.string(), "-t", "0", picture.string(), "--format",
                            "rgba8", "--mips", "auto", "-o", step1.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    gc_txd txd;
    ASSERT_TRUE(txd.load(step1, 0, 0x16, 0));
    auto f = txd.fields(0);
    EXPECT_EQ(f->gx, gx_format::rgba8);
    EXPECT_EQ(f->levels, 5u);
    EXPECT_EQ(f->filter, 0x1103u);
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "s0601_sn016"); // the name stays
    EXPECT_EQ(failures(lint_gc_textures(txd)), std::vector<std::string>{});
    // A picture with alpha given to an RGB565 palette texture takes RGB5A3 entries.
    const auto step2 = temp_dir() / "step2.txd";
    r = run_cli(
        {"replace", step1.string(), "-t", "1", picture.string(), "--resize", "-o", step2.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("PAL4 1555"), std::string::npos) << r.out;
    // Back to one level: the filter follows.
    const auto step3 = temp_dir() / "step3.txd";
    r = run_cli({"mips", step2.string(), "-t", "0", "--mips", "1", "-o", step3.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    gc_txd again;
    ASSERT_TRUE(again.load(step3, 0, 0x16, 0));
    EXPECT_EQ(again.fields(0)->levels, 1u);
    EXPECT_EQ(again.fields(0)->filter, 0x1101u);
    EXPECT_EQ(again.fields(1)->palette_format, gx_palette::rgb5a3);
    EXPECT_EQ(failures(lint_gc_textures(again)), std::vector<std::string>{});
    // Level 0 stayed byte for byte through the level change.
    EXPECT_TRUE(std::ranges::equal(again.stored_level(0, 0), txd.stored_level(0, 0)));

    editor_session session;
    ASSERT_EQ(session.open(source.string(), 0, k_all_platforms), open_status::opened);
    const std::string second = session.dictionary()->texture_name(1, name_kind::texture);
    ASSERT_TRUE(session.rename(0, "renamed", name_kind::texture));
    ASSERT_TRUE(session.move_down(0));
    ASSERT_TRUE(session.remove(2));
    const auto edited = temp_dir() / "edited.txd";
    ASSERT_TRUE(session.save_as(edited.string()));
    gc_txd named;
    ASSERT_TRUE(named.load(edited, 0, 0x16, 0));
    ASSERT_EQ(named.texture_count(), 7u);
    EXPECT_EQ(named.texture_name(0, name_kind::texture), second);
    EXPECT_EQ(named.texture_name(1, name_kind::texture), "renamed");
    EXPECT_FALSE(session.rename(0, std::string(32, 'x'), name_kind::texture));
}

// Every other sample converted to GameCube: palettes stay palettes with their indices, DXT1
// blocks go across as they are, the result follows the rules and renders.
TEST(GcConvert, FromEveryPlatform) {
    SKIP_WITHOUT_SAMPLES();
    for (const auto& path : sample_files(".txd")) {
        if (path.filename().string().rfind("gc_", 0) == 0) continue;
        SCOPED_TRACE(path.filename().string());
        auto probe = probe_dictionary(path, 0, k_all_platforms);
        if (!probe.dictionary) continue;
        ps2_txd& source = *probe.dictionary;
        gc_txd target;
        std::vector<std::string> skipped, notes;
        std::string error;
        ASSERT_TRUE(convert_to_gc(source, target, {}, skipped, notes, error)) << error;
        ASSERT_EQ(target.texture_count() + skipped.size(), source.texture_count());
        EXPECT_EQ(failures(lint_gc_textures(target)), std::vector<std::string>{});
        auto* pc = dynamic_cast<pc_txd*>(&source);
        for (uint32_t t = 0, g = 0; t < source.texture_count(); ++t) {
            if (std::find(skipped.begin(), skipped.end(),
                          source.texture_name(t, name_kind::texture)) != skipped.end())
                continue;
            SCOPED_TRACE(t);
            EXPECT_TRUE(target.render(g, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0));
            const auto f = target.fields(g);
            const auto blocks = pc ? pc->dxt_blocks(t, 0) : std::nullopt;
            if (blocks && blocks->dxt == 1) {
                EXPECT_EQ(f->gx, gx_format::cmpr);
                EXPECT_EQ(gx_cmpr_to_dxt1(f->width, f->height, target.stored_level(g, 0)),
                          std::vector<uint8_t>(blocks->bytes.begin(), blocks->bytes.end()));
            }
            const uint32_t d = source.depth(t);
            if (source.compression(t) == 0 && (d == 4 || d == 8) &&
                source.family() != txd_family::ps2) {
                EXPECT_EQ(f->gx, d == 4 ? gx_format::c4 : gx_format::c8);
            }
            ++g;
        }
        // Saved and opened as any file is.
        const auto out = temp_dir() / "converted.txd";
        ASSERT_TRUE(target.save(out, 0));
        const auto again = probe_dictionary(out, 0, k_all_platforms);
        ASSERT_TRUE(again.dictionary) << again.reason;
        // (An empty dictionary is any platform's; the PS2 class takes it first.)
        if (target.texture_count() != 0) {
            EXPECT_EQ(again.dictionary->family(), txd_family::gamecube);
        }
    }
}

// GameCube samples to every other platform through the command line, and back unchanged.
TEST(GcConvert, ToEveryPlatform) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : {"gc_small_pal.txd", "gc_logo_mips.txd"}) {
        for (const char* to : {"ps2", "d3d8", "d3d9", "xbox", "mobile"}) {
            SCOPED_TRACE(std::string(file) + " to " + to);
            const auto out = temp_dir() / "out.txd";
            const cli_result r =
                run_cli({"convert", sample(file).string(), "--to", to, "-o", out.string()});
            ASSERT_EQ(r.exit_code, 0) << r.err;
            const auto opened = probe_dictionary(out, 0, k_all_platforms);
            ASSERT_TRUE(opened.dictionary) << opened.reason;
            EXPECT_NE(opened.dictionary->family(), txd_family::gamecube);
            ASSERT_EQ(opened.dictionary->texture_count(),
                      std::string(file) == "gc_small_pal.txd" ? 8u : 1u);
            // Palettes stay palettes where the target has them (PS2 and D3D8).
            const bool palettes = std::string(file) == "gc_small_pal.txd" &&
                                  (std::string(to) == "ps2" || std::string(to) == "d3d8");
            for (uint32_t t = 0; t < opened.dictionary->texture_count(); ++t) {
                EXPECT_TRUE(opened.dictionary->render(t, view_mode::mixed, swizzle_mode::as_stored,
                                                      nullptr, 0));
                if (palettes) {
                    EXPECT_LE(opened.dictionary->depth(t), 8u) << t;
                }
            }
        }
        const auto same = temp_dir() / "same.txd";
        const cli_result r =
            run_cli({"convert", sample(file).string(), "--to", "gamecube", "-o", same.string()});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(read_file(same), read_file(sample(file)));
    }
    const cli_result bad = run_cli({"convert", sample("gc_small_pal.txd").string(), "--to", "wii",
                                    "-o", (temp_dir() / "x.txd").string()});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("ps2, d3d8, d3d9, xbox, mobile or gamecube"), std::string::npos);
}

// A PS2 palette's alpha (0..0x80) goes into RGB5A3's 3 bits and is named when it rounds.
TEST(GcConvert, PaletteRoundingIsNamed) {
    ps2_texture_desc desc;
    desc.width = 16;
    desc.height = 16;
    desc.depth = 8;
    const auto file = write_temp("ps2.txd", make_dictionary({make_ps2_texture(desc)}).bytes());
    auto probe = probe_dictionary(file, 0, k_all_platforms);
    ASSERT_TRUE(probe.dictionary);
    gc_txd target;
    std::vector<std::string> skipped, notes;
    std::string error;
    ASSERT_TRUE(convert_to_gc(*probe.dictionary, target, {}, skipped, notes, error)) << error;
    ASSERT_EQ(target.texture_count(), 1u);
    EXPECT_EQ(target.fields(0)->gx, gx_format::c8);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("tex: "), std::string::npos);
    EXPECT_NE(notes[0].find("palette colour(s) rounded"), std::string::npos) << notes[0];
    EXPECT_EQ(failures(lint_gc_textures(target)), std::vector<std::string>{});
}

} // namespace quillmap
