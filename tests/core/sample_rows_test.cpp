// One row per real sample: the class that opens it, its texture count, every texture's level
// count and a hash of every level-0 render. A change in reading, decoding or swizzling of any
// sample shows as the row that changed.
#include "session/editor_session.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

namespace {

struct sample_row {
    const char* file;
    const char* platform;
    uint32_t textures;
    uint32_t levels;      // the levels of all textures together, as the files store them
    uint64_t render_hash; // FNV-1a over every texture's level-0 render
};

void PrintTo(const sample_row& row, std::ostream* out) {
    *out << row.file;
}

uint64_t fnv1a(uint64_t hash, const std::vector<uint8_t>& bytes) {
    for (const uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

class SampleRows : public ::testing::TestWithParam<sample_row> {};

TEST_P(SampleRows, OpensListsAndRendersAsBefore) {
    const sample_row& row = GetParam();
    if (!samples_available()) GTEST_SKIP() << "samples not found in " << samples_dir();
    editor_session session;
    ASSERT_EQ(session.open(sample(row.file).string(), 0, k_all_platforms), open_status::opened)
        << session.open_reason();
    EXPECT_STREQ(session.platform_name(), row.platform);
    ps2_txd& txd = *session.dictionary();
    ASSERT_EQ(txd.texture_count(), row.textures);
    uint32_t levels = 0;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint32_t t = 0; t < txd.texture_count(); ++t) {
        const texture_info info = txd.info(t);
        levels += info.levels;
        const device_bitmap picture =
            txd.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
        ASSERT_TRUE(picture) << info.name;
        hash = fnv1a(hash, picture->bytes);
    }
    EXPECT_EQ(levels, row.levels);
    EXPECT_EQ(hash, row.render_hash) << std::hex << "0x" << hash;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleRows,
                         ::testing::Values(
                             // clang-format off
        sample_row{"VEHICLE2.txd", "PS2", 1, 1, 0xb46579976b099798ull},
        sample_row{"flowerb.txd", "PS2", 2, 5, 0x8692113827d1796eull},
        sample_row{"cscloth.txd", "PS2", 0, 0, 0xcbf29ce484222325ull},
        sample_row{"cspolic.txd", "PS2", 3, 10, 0xfdd864ee06dc511cull},
        sample_row{"sav4_HUD.TXD", "PS2", 70, 70, 0xefe7c38a90bb5793ull},
        sample_row{"AMBULAN.TXD", "PC", 10, 50, 0x91e13000087a6202ull},
        sample_row{"mainsc2.txd", "PC", 1, 1, 0xa463c7266b88b39dull},
        sample_row{"g3le_MISC.TXD", "PC", 19, 19, 0xc3c2291b3dba11f1ull},
        sample_row{"LD_SPAC.txd", "PC", 1, 1, 0x2590af3457808025ull},
        sample_row{"pcbtns.txd", "PC", 4, 4, 0x4b9cba3f7bac77e6ull},
        sample_row{"crsr_misc.txd", "PC", 11, 11, 0x8c6dc41058e6e986ull},
        sample_row{"crsr_hud.txd", "PC", 69, 69, 0x69e8cfa107fd0f60ull},
        sample_row{"tdem_tde.txd", "PC", 38, 38, 0x32eb1237f5d37c87ull},
        sample_row{"radar00.txd", "XBOX", 1, 1, 0xf50be45086eb3b65ull},
        sample_row{"playerh.txd", "XBOX", 1, 1, 0x2ccbbd053490922aull}),
                         // clang-format on
                         [](const ::testing::TestParamInfo<sample_row>& info) {
                             std::string name;
                             for (const char* c = info.param.file; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });
} // namespace

} // namespace quillmap
