// Words that no rule places (those of textures with more levels than RenderWare's own count)
// are reported as not checked instead of passing in silence.
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillmap {

namespace fs = std::filesystem;

TEST(LintUnchecked, WordsOfLevelsBeyondTheCountAreNamed) {
    const struct {
        uint32_t levels;
        bool unchecked; // 128 x 128: RenderWare's own count is 5
    } cases[] = {{6, true}, {5, false}, {1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.levels);
        const auto file = write_temp(
            "l.txd",
            make_dictionary(
                {make_ps2_texture({.name = "lv", .width = 128, .height = 128, .levels = c.levels})})
                .bytes());
        ps2_txd txd;
        ASSERT_TRUE(txd.load(file, 0, 0x16, 0)) << txd.last_error;
        const auto problems = lint_ps2_textures(txd);
        for (uint32_t word = 0; word < 16; ++word) {
            if (!ps2_is_placement_word(word)) continue;
            const std::string named = "header word " + std::to_string(word) + " (";
            const bool reported =
                std::any_of(problems.begin(), problems.end(), [&](const ps2_problem& p) {
                    return p.what == k_not_checked && p.found.rfind(named, 0) == 0;
                });
            EXPECT_EQ(reported, c.unchecked) << "word " << word;
        }
        const auto json = run_cli({"lint", file.string(), "--json"});
        EXPECT_EQ(json.out.find("\"what\":\"not checked\"") != std::string::npos, c.unchecked)
            << json.out;
    }
}

TEST(LintUnchecked, NotesAloneDoNotFailAFile) {
    // Repaired, a texture of more levels than RenderWare's count keeps only words no rule checks.
    const fs::path dir = temp_dir();
    const auto file = write_file(
        dir / "n.txd",
        make_dictionary({make_ps2_texture(
                            {.name = "lv", .width = 128, .height = 128, .depth = 32, .levels = 6})})
            .bytes());
    const auto fixed = dir / "fixed.txd";
    ASSERT_EQ(run_cli({"repair", file.string(), "-o", fixed.string()}).exit_code, 0);
    const auto lint = run_cli({"lint", fixed.string(), "--json"});
    ASSERT_NE(lint.out.find("\"what\":\"not checked\""), std::string::npos) << lint.out;
    // Every line is a note...
    size_t lines = 0, notes = 0;
    for (size_t at = lint.out.find("\"what\":"); at != std::string::npos;
         at = lint.out.find("\"what\":", at + 1)) {
        ++lines;
        const std::string note = "\"what\":\"not checked\"";
        notes += lint.out.compare(at, note.size(), note) == 0;
    }
    ASSERT_EQ(lines, notes) << lint.out;
    // ...so the file passes.
    EXPECT_EQ(lint.exit_code, 0) << lint.out;
}

TEST(LintUnchecked, APs2RasterListsAtMostSixteenLevels) {
    const struct {
        uint32_t blocks; // transfer blocks of a 4 x 4 raster, one per level as stored
        uint32_t listed;
        bool told;
    } cases[] = {{16, 16, false}, {17, 16, true}, {2000, 16, true}, {3, 3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blocks);
        const auto file = write_temp(
            "m.txd",
            make_dictionary(
                {make_ps2_texture(
                    {.name = "many", .width = 4, .height = 4, .depth = 32, .levels = c.blocks})})
                .bytes());
        ps2_txd txd;
        ASSERT_TRUE(txd.load(file, 0, 0x16, 0)) << txd.last_error;
        EXPECT_EQ(txd.mip_count(0), c.listed);
        const auto problems = lint_ps2_textures(txd);
        const bool told = std::any_of(problems.begin(), problems.end(),
                                      [](const ps2_problem& p) { return p.what == "level count"; });
        EXPECT_EQ(told, c.told);
        const auto lint = run_cli({"lint", file.string()});
        EXPECT_EQ(lint.out.find("level count: found more than 16 levels") != std::string::npos,
                  c.told)
            << lint.out;
        if (c.told) {
            EXPECT_EQ(lint.exit_code, 1);
        }
    }
}

} // namespace quillmap
