#include "test_files.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_txd.h"
#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_probe.h"
#include "imageio/convert_pc.h"
#include "imageio/texture_pc.h"
#include "imageio/texture_rgba.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
std::unique_ptr<ps2_txd> open_any(const std::filesystem::path& path) {
    auto probe = probe_dictionary(path, 0, k_all_platforms);
    EXPECT_TRUE(probe.dictionary) << path << ": " << probe.reason;
    return std::move(probe.dictionary);
}

std::vector<std::string> damage(ps2_txd& txd) {
    std::vector<std::string> found;
    for (const ps2_problem& p : lint_pc_textures(txd))
        if (!p.accepted) found.push_back(std::to_string(p.texture) + " " + p.what);
    return found;
}

rgba_image picture_of(ps2_txd& txd, uint32_t t) {
    std::string error;
    rgba_image out = texture_rgba(txd, t, 0, error);
    EXPECT_FALSE(out.rgba.empty()) << error;
    return out;
}

// One sample of each source platform, converted to each PC layout and back: every result opens
// as its layout, keeps every texture and name, and lints clean.
TEST(PcConvert, EveryPairLintsClean) {
    SKIP_WITHOUT_SAMPLES();
    const char* const sources[] = {"cspolic.txd",  "flowerb.txd", "AMBULAN.TXD", "g3le_MISC.TXD",
                                   "crsr_hud.txd", "pcbtns.txd",  "radar00.txd", "playerh.txd"};
    struct target {
        pc_layout layout;
        uint32_t platform;
    };
    const target targets[] = {{pc_layout::d3d8, 8}, {pc_layout::d3d9, 9}, {pc_layout::xbox, 5}};
    for (const char* file : sources)
        for (const target& to : targets) {
            SCOPED_TRACE(std::string(file) + " to " + pc_layout_name(to.layout));
            auto source = open_any(sample(file));
            ASSERT_TRUE(source);
            const auto out = temp_dir() / "converted.txd";
            std::vector<std::string> skipped, notes;
            std::string error;
            ASSERT_TRUE(convert_to_pc(*source, out, {.layout = to.layout}, skipped, notes, error))
                << error;
            EXPECT_TRUE(skipped.empty());
            auto converted = open_any(out);
            ASSERT_TRUE(converted);
            ASSERT_EQ(converted->texture_count(), source->texture_count());
            for (uint32_t t = 0; t < source->texture_count(); ++t) {
                EXPECT_EQ(converted->platform_id(t), to.platform);
                EXPECT_EQ(converted->texture_name(t, name_kind::texture),
                          source->texture_name(t, name_kind::texture));
            }
            EXPECT_EQ(damage(*converted), std::vector<std::string>{});
            // And back to PS2: the existing conversion takes every PC layout.
            ps2_txd back;
            ASSERT_TRUE(convert_to_ps2(*converted, back, error)) << error;
            EXPECT_EQ(back.texture_count(), source->texture_count());
            EXPECT_TRUE(lint_ps2_textures(back).empty());
        }
}

// PS2 palettes go to D3D8 PAL8 / PAL4 without a colour changing; DXT blocks travel between the
// PC layouts byte for byte.
TEST(PcConvert, PalettesAndBlocksGoAcrossUnchanged) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        pc_layout layout;
        uint32_t palette_bits; // of texture 0 afterwards
        bool same_blocks;
    };
    const row rows[] = {
        {"flowerb.txd", pc_layout::d3d8, 0x4000, false}, // 4-bit
        {"cspolic.txd", pc_layout::d3d8, 0x4000, false}, // 4-bit with 2 levels
        {"sav4_HUD.TXD", pc_layout::d3d8, 0x4000, false}, {"AMBULAN.TXD", pc_layout::d3d9, 0, true},
        {"crsr_hud.txd", pc_layout::d3d8, 0, true},       {"radar00.txd", pc_layout::d3d8, 0, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.file);
        auto source = open_any(sample(r.file));
        ASSERT_TRUE(source);
        pc_txd target;
        std::vector<std::string> skipped, notes;
        std::string error;
        ASSERT_TRUE(convert_to_pc(*source, target, {.layout = r.layout}, skipped, notes, error))
            << error;
        EXPECT_EQ(target.raster_format(0) & 0x6000, r.palette_bits);
        for (uint32_t t = 0; t < source->texture_count(); ++t) {
            EXPECT_EQ(picture_of(target, t).rgba, picture_of(*source, t).rgba) << t;
            auto* pc_source = dynamic_cast<pc_txd*>(source.get());
            if (r.same_blocks && pc_source) {
                const auto a = pc_source->stored_level(t, 0);
                const auto b = target.stored_level(t, 0);
                EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << t;
            }
        }
    }
}

TEST(PcConvert, PalettesOutsideD3D8AreRefused) {
    SKIP_WITHOUT_SAMPLES();
    auto source = open_any(sample("flowerb.txd"));
    ASSERT_TRUE(source);
    pc_txd target;
    std::vector<std::string> skipped, notes;
    std::string error;
    EXPECT_FALSE(convert_to_pc(*source, target,
                               {.layout = pc_layout::d3d9, .format = pc_format::pal8}, skipped,
                               notes, error));
    EXPECT_EQ(error.rfind("pal8: only D3D8", 0), 0u) << error;
}
} // namespace

} // namespace quillmap
