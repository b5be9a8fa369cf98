#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "stream/byte_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace quillmap {

namespace {
std::unique_ptr<ps2_txd> open_any(const std::filesystem::path& path) {
    auto probe = probe_dictionary(path, 0, k_all_platforms);
    EXPECT_TRUE(probe.dictionary) << probe.reason;
    return std::move(probe.dictionary);
}

// (texture, accepted) of every problem found.
std::set<std::pair<uint32_t, bool>> found_in(ps2_txd& txd) {
    std::set<std::pair<uint32_t, bool>> found;
    for (const ps2_problem& p : lint_pc_textures(txd)) {
        found.insert({p.texture, p.accepted});
        EXPECT_TRUE(p.accepted) << p.texture << " " << p.what << ": " << p.found << " / "
                                << p.expected;
    }
    return found;
}

// Real PC and XBOX files lint clean but for the deviations real files show and games accept.
TEST(PcLint, SamplesShowOnlyTheKnownDeviations) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        std::set<uint32_t> accepted; // textures with an accepted deviation
    };
    const row rows[] = {
        {"AMBULAN.TXD", {5, 6}},
        {"mainsc2.txd", {}},
        {"g3le_MISC.TXD", {}},
        {"crsr_misc.txd", {}},
        {"LD_SPAC.txd", {}},
        {"pcbtns.txd", {}},
        {"crsr_hud.txd", {17, 32, 40, 46, 60, 62, 63}},
        {"tdem_tde.txd", {}},
        {"radar00.txd", {}},
        {"playerh.txd", {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.file);
        auto txd = open_any(sample(r.file));
        ASSERT_TRUE(txd);
        std::set<std::pair<uint32_t, bool>> expected;
        for (uint32_t t : r.accepted)
            expected.insert({t, true});
        EXPECT_EQ(found_in(*txd), expected);
    }
}

// Each damaged header word is found under its name, and repair writes it back.
TEST(PcLint, DamagedWordsAreFoundAndRepaired) {
    struct row {
        const char* what; // start of the problem's name
        std::function<void(pc_texture_desc&)> damage;
        bool repairable;
    };
    const std::vector<uint8_t> red_blocks = dxt1_solid(0xF800, 4);
    auto good = [&] {
        pc_texture_desc desc;
        desc.platform = 8;
        desc.filter_flags = 0x1102;
        desc.raster_format = 0x200;
        desc.width = 8;
        desc.height = 8;
        desc.depth = 16;
        desc.compression = 1;
        desc.levels = {red_blocks};
        return desc;
    };
    const row rows[] = {
        {"depth", [](pc_texture_desc& d) { d.depth = 32; }, true},
        {"raster format", [](pc_texture_desc& d) { d.raster_format = 0x1200; }, true},
        {"raster type", [](pc_texture_desc& d) { d.raster_type = 5; }, true},
        {"hasAlpha",
         [](pc_texture_desc& d) {
             d.format_word = {1, 0, 0, 0};
         },
         true},
        {"filter mode",
         [](pc_texture_desc& d) {
             d.levels.push_back(dxt1_solid(0xF800, 1));
             d.mip_count = 2;
             d.raster_format = 0x8200;
         },
         true},
        {"level data", [](pc_texture_desc& d) { d.levels[0].push_back(0); }, false},
        {"mask field", [](pc_texture_desc& d) { d.mask = std::string("m\0x", 3); }, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        pc_texture_desc desc = good();
        r.damage(desc);
        const auto path =
            write_temp("lint.txd", make_dictionary({make_pc_texture(desc)}, 0x0401FFFF).bytes());
        auto txd = open_any(path);
        ASSERT_TRUE(txd);
        const auto problems = lint_pc_textures(*txd);
        ASSERT_EQ(problems.size(), 1u) << (problems.empty() ? "" : problems[0].what);
        EXPECT_EQ(problems[0].what.rfind(r.what, 0), 0u) << problems[0].what;
        EXPECT_FALSE(problems[0].accepted);
        std::vector<std::string> skipped;
        const uint32_t changed = repair_pc_textures(*txd, &skipped);
        EXPECT_EQ(changed != 0, r.repairable);
        if (r.repairable) {
            EXPECT_TRUE(lint_pc_textures(*txd).empty());
            // What repair wrote is what a save keeps.
            const auto saved = temp_dir() / "repaired.txd";
            ASSERT_TRUE(txd->save(saved, 0)) << txd->last_error;
            auto again = open_any(saved);
            ASSERT_TRUE(again);
            EXPECT_TRUE(lint_pc_textures(*again).empty());
        }
    }
}

// hasAlpha 0 on an alpha format is a deviation games accept only while every texel is opaque.
TEST(PcLint, HasAlphaZeroIsAcceptedOnlyForOpaquePixels) {
    struct row {
        bool accepted; // every texel opaque
    };
    for (const row& r : {row{true}, row{false}}) {
        pc_texture_desc desc;
        desc.platform = 8;
        desc.filter_flags = 0x1102;
        desc.raster_format = 0x500;
        desc.width = 4;
        desc.height = 4;
        desc.depth = 32;
        std::vector<uint8_t> pixels(64, 0xFF);
        if (!r.accepted) pixels[3] = 0x10;
        desc.levels = {pixels};
        const auto path =
            write_temp("alpha.txd", make_dictionary({make_pc_texture(desc)}, 0x0401FFFF).bytes());
        auto txd = open_any(path);
        ASSERT_TRUE(txd);
        const auto problems = lint_pc_textures(*txd);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].accepted, r.accepted) << problems[0].what;
        // Repair leaves an accepted deviation as the file has it.
        EXPECT_EQ(repair_pc_textures(*txd) == 0, r.accepted);
    }
}

TEST(PcLint, WrongDeviceIdIsFoundAndRepaired) {
    pc_texture_desc desc;
    desc.platform = 9;
    desc.filter_flags = 0x1102;
    desc.raster_format = 0x200;
    desc.format_word = {'D', 'X', 'T', '1'};
    desc.compression = 8;
    desc.levels = {dxt1_solid(0x001F, 4)};
    test_chunk dictionary = make_dictionary({make_pc_texture(desc)});
    dictionary.children[0].data = {1, 0, 1, 0}; // device id 1 on D3D9
    auto txd = open_any(write_temp("device.txd", dictionary.bytes()));
    ASSERT_TRUE(txd);
    const auto problems = lint_pc_textures(*txd);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].what, "dictionary device id");
    EXPECT_EQ(problems[0].found, "1");
    EXPECT_EQ(problems[0].expected, "2");
    EXPECT_EQ(repair_pc_textures(*txd), 1u);
    EXPECT_TRUE(lint_pc_textures(*txd).empty());
}
} // namespace

namespace {
// Opaque DXT3 blocks (alpha nibbles 15) are no transparency: D3D9's alpha bit stays 0 for them
// (lint took the decoder's 0xF0 for alpha below 255 before).
TEST(PcLint, OpaqueDxt3BlocksCarryNoAlphaBit) {
    struct row {
        uint8_t alpha4;
        uint8_t byte87;
    };
    for (const row& r : {row{15, 8}, row{7, 9}}) {
        pc_texture_desc desc;
        desc.platform = 9;
        desc.filter_flags = 0x1102;
        desc.raster_format = 0x300;
        desc.format_word = {'D', 'X', 'T', '3'};
        desc.compression = r.byte87;
        desc.levels = {dxt3_solid(0x07E0, r.alpha4, 4)};
        test_chunk dictionary = make_dictionary({make_pc_texture(desc)});
        dictionary.children[0].data = {1, 0, 2, 0};
        auto txd = open_any(write_temp("dxt3.txd", dictionary.bytes()));
        ASSERT_TRUE(txd);
        EXPECT_TRUE(lint_pc_textures(*txd).empty()) << int(r.alpha4);
    }
}
// Old D3D8 files stamp their sky mipmap chunk (0x110) old-style, 3.0.4 or 3.1.0, whatever the
// dictionary's stamp; any other stamp off the dictionary's is still found, on 0x110 as elsewhere.
TEST(PcLint, SkyMipmapChunkMayCarryOldStyleStamps) {
    struct row {
        uint32_t chunk_id;
        uint32_t stamp;
        bool found;
    };
    const row rows[] = {
        {0x110, 0x304, false}, {0x110, 0x310, false},     {0x110, 0x0401FFFF, false},
        {0x110, 0x320, true},  {0x110, 0x0800FFFF, true}, {0x110, 0x300, true},
        {0x03, 0x304, true}, // the Extension itself: no exception
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.chunk_id << " " << r.stamp);
        pc_texture_desc desc;
        desc.platform = 8;
        desc.filter_flags = 0x1102;
        desc.raster_format = 0x200;
        desc.depth = 16;
        desc.compression = 1;
        desc.levels = {dxt1_solid(0xF800, 4)};
        test_chunk dictionary = make_dictionary({make_pc_texture(desc)}, 0x0401FFFF);
        test_chunk& extension = dictionary.children[1].children[1];
        extension.children.push_back(leaf(0x110, {0xC0, 0x0F, 0, 0}, 0x0401FFFF));
        if (r.chunk_id == 0x110)
            extension.children[0].version = r.stamp;
        else
            extension.version = r.stamp;
        auto txd = open_any(write_temp("sky.txd", dictionary.bytes()));
        ASSERT_TRUE(txd);
        const auto problems = lint_pc_textures(*txd);
        if (!r.found) {
            EXPECT_TRUE(problems.empty()) << problems[0].what << ": " << problems[0].found;
            continue;
        }
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].what,
                  "version stamp of a chunk " + std::string(r.chunk_id == 0x110 ? "0x110" : "0x3"));
        EXPECT_FALSE(problems[0].accepted);
    }
}
} // namespace

} // namespace quillmap
