#include "gc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/gc_raster_check.h"
#include "dictionary/gc_txd.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
std::vector<std::string> whats(const std::vector<ps2_problem>& problems) {
    std::vector<std::string> out;
    for (const ps2_problem& p : problems)
        out.push_back(p.what + ": " + p.found + " -> " + p.expected + (p.accepted ? " (ok)" : ""));
    return out;
}

gc_texture_desc opaque_c4() {
    gc_texture_desc d; // 8×8 C4, RGB5A3 palette, every texel index 0
    d.palette = {0xFFFF};
    d.alpha = 0;
    return d;
}
} // namespace

TEST(GcLint, SamplesAreClean) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : {"gc_menu_cmpr.txd", "gc_menu_mips.txd", "gc_logo_mips.txd",
                             "gc_font_dev3.txd", "gc_small_pal.txd"}) {
        SCOPED_TRACE(file);
        gc_txd txd;
        ASSERT_TRUE(txd.load(sample(file), 0, 0x16, 0)) << txd.error_detail;
        EXPECT_EQ(whats(lint_gc_textures(txd)), std::vector<std::string>{});
        std::vector<std::string> skipped;
        EXPECT_EQ(repair_gc_textures(txd, &skipped), 0u);
        EXPECT_TRUE(skipped.empty());
    }
    const cli_result lint = run_cli({"lint", sample("gc_menu_cmpr.txd").string()});
    EXPECT_EQ(lint.exit_code, 0) << lint.out << lint.err;
}

// One damaged or deviating header per row: what lint reports, and whether repair mends it.
TEST(GcLint, DamagedWordsAreFoundAndRepaired) {
    struct lint_row {
        const char* what;
        gc_texture_desc desc;
        std::vector<std::string> found;
        bool repaired; // lint is clean after repair
    };
    std::vector<lint_row> rows;
    auto add = [&](const char* what, auto change, std::vector<std::string> found, bool repaired) {
        gc_texture_desc d = opaque_c4();
        change(d);
        rows.push_back({what, d, std::move(found), repaired});
    };
    add(
        "clean", [](gc_texture_desc&) {}, {}, true);
    add(
        "mip filter on one level", [](gc_texture_desc& d) { d.filter = 0x1103; },
        {"filter word (4): 0x1103 -> 0x1101"}, true);
    add(
        "high filter bits", [](gc_texture_desc& d) { d.filter = 0x10001102; },
        {"filter word (4): 0x10001102 -> 0x1102"}, true);
    add(
        "linear filter with a full chain",
        [](gc_texture_desc& d) {
            d.filter = 0x1102;
            d.levels = 4;
            d.raster_format = 0xC104;
            d.level_bytes.assign(128, 0);
        },
        {"filter word (4): 0x1102 -> 0x1106"}, true);
    add(
        "unknown word", [](gc_texture_desc&) {}, {}, true);
    add(
        "raster format of another kind", [](gc_texture_desc& d) { d.raster_format = 0x4204; },
        {"raster format (88): 0x4204 -> 0x4104"}, true);
    add(
        "automipmap flag", [](gc_texture_desc& d) { d.raster_format = 0x5104; },
        {"raster format (88): 0x5104 -> 0x4104"}, true);
    add(
        "depth", [](gc_texture_desc& d) { d.depth = 8; }, {"depth (96): 8 -> 4"}, true);
    add(
        "alpha flag with translucent texels", [](gc_texture_desc& d) { d.palette = {0x0466}; },
        {"alpha flag (100): 0 -> 1 (ok)"}, true);
    add(
        "data size", [](gc_texture_desc& d) { d.data_size = 33; }, {"data size: 33 -> 32"}, true);
    add(
        "bytes after the last level", [](gc_texture_desc& d) { d.level_bytes.assign(40, 0); },
        {"data size: 40 -> 32", "bytes after the last level: 8 -> 0"}, true);
    add(
        "partial chain",
        [](gc_texture_desc& d) {
            d.levels = 2;
            d.filter = 0x1103;
            d.raster_format = 0xC104;
            d.level_bytes.assign(64, 0);
        },
        {"level count (97): 2 -> 1 or 4"}, false);
    add(
        "unverified GX format",
        [](gc_texture_desc& d) {
            d.gx = 0;
            d.palette_format = 0xFF;
        },
        {"GX format (98): 0 (I4) -> C4, C8, RGB5A3, RGBA8 or CMPR"}, false);
    add(
        "indexed texture without palette", [](gc_texture_desc& d) { d.palette_format = 0xFF; },
        {"palette format (99): 255 -> 1 (RGB565) or 2 (RGB5A3)"}, false);
    for (lint_row& row : rows) {
        SCOPED_TRACE(row.what);
        auto bytes = gc_dictionary({gc_texture(row.desc)});
        if (std::string(row.what) == "unknown word") {
            // Word 8 sits 12 (chunk headers) + 12 + 12 + 8 bytes in.
            const size_t word8 = 12 + 12 + 4 + 12 + 12 + 8;
            bytes[word8 + 3] = 7;
            row.found = {"words 8-20: 7 1 1 0 -> 0 1 1 0"};
        }
        gc_txd txd;
        ASSERT_TRUE(txd.load(write_temp("lint.txd", bytes), 0, 0x16, 0)) << txd.error_detail;
        EXPECT_EQ(whats(lint_gc_textures(txd)), row.found);
        std::vector<std::string> skipped;
        const uint32_t changed = repair_gc_textures(txd, &skipped);
        if (row.repaired) {
            EXPECT_EQ(changed > 0, !row.found.empty());
            EXPECT_EQ(whats(lint_gc_textures(txd)), std::vector<std::string>{});
            // The repaired dictionary reads back as it was left in memory.
            const auto out = temp_dir() / "repaired.txd";
            ASSERT_TRUE(txd.save(out, 0));
            gc_txd again;
            ASSERT_TRUE(again.load(out, 0, 0x16, 0)) << again.error_detail;
            EXPECT_EQ(whats(lint_gc_textures(again)), std::vector<std::string>{});
        } else {
            EXPECT_EQ(skipped, std::vector<std::string>{"tex"});
        }
    }
}

TEST(GcLint, CliReportsInTheSharedFormat) {
    gc_texture_desc d = opaque_c4();
    d.depth = 8;
    const auto file = write_temp("depth.txd", gc_dictionary({gc_texture(d)}));
    const cli_result lint = run_cli({"lint", file.string()});
    EXPECT_EQ(lint.exit_code, 1);
    EXPECT_NE(lint.out.find(": texture 0 \"tex\": depth (96): found 8, expected 4"),
              std::string::npos)
        << lint.out;
    const auto fixed = temp_dir() / "fixed.txd";
    const cli_result repair = run_cli({"repair", file.string(), "-o", fixed.string()});
    EXPECT_EQ(repair.exit_code, 0) << repair.err;
    EXPECT_EQ(run_cli({"lint", fixed.string()}).exit_code, 0);
}

} // namespace quillmap
