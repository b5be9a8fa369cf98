// A dictionary class accepts a file only when every texture Struct fits its own layout, so that a
// file of another kind goes on to the class it belongs to, or is refused with the reason.
#include "pc_builders.h"
#include "test_files.h"

#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "dictionary/xbox_txd.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
constexpr uint16_t k_red565 = 0xF800;

pc_texture_desc d3d9_dxt1(uint16_t size) {
    pc_texture_desc desc;
    desc.platform = 9;
    desc.format_word = {'D', 'X', 'T', '1'};
    desc.compression = 8;
    desc.raster_format = 0x100;
    desc.width = desc.height = size;
    desc.levels = {dxt1_solid(k_red565, uint32_t(size / 4) * (size / 4))};
    return desc;
}

pc_texture_desc d3d9_8888(uint16_t size, uint8_t fill) {
    pc_texture_desc desc;
    desc.platform = 9;
    desc.depth = 32;
    desc.raster_format = 0x500;
    desc.width = desc.height = size;
    desc.levels = {std::vector<uint8_t>(size_t(size) * size * 4, fill)};
    return desc;
}

std::vector<uint8_t> d3d9_file() {
    return make_dictionary({make_pc_texture(d3d9_dxt1(8)), make_pc_texture(d3d9_8888(8, 0x7F)),
                            make_pc_texture(d3d9_dxt1(64))})
        .bytes();
}

template <class Txd> std::string refusal(const std::vector<uint8_t>& bytes) {
    Txd txd;
    if (txd.load(write_temp("fit.txd", bytes), 0, 0x16, 0)) return "accepted";
    return txd.last_error + " / " + txd.error_detail;
}
} // namespace

TEST(ClassFit, MobileClassRefusesAPcDictionary) {
    // Platform 9 is also the mobile DXT word: only the Struct layout tells the two apart.
    EXPECT_EQ(refusal<ios_txd>(d3d9_file()),
              "This is not an iOS / Android texture. / texture 0 is 63488x0, outside 1x1 to "
              "16384x16384");
    EXPECT_EQ(refusal<pc_txd>(d3d9_file()), "accepted");
}

TEST(ClassFit, PcDictionaryWhoseRootSizeIsWrongIsRefusedByEveryClass) {
    // The root claims 16 bytes more than the file holds: no repair applies, the PC class refuses
    // the file at the length check and the mobile class, which skips that check, at the Structs.
    auto bytes = d3d9_file();
    bytes[4] = uint8_t(bytes[4] + 16);
    auto result = probe_dictionary(write_temp("wrong.txd", bytes), 0, k_all_platforms);
    EXPECT_FALSE(result.dictionary);
}

TEST(ClassFit, EachClassRefusesTexturesOfAnotherKindAfterTheFirst) {
    pc_texture_desc xbox = d3d9_dxt1(8);
    xbox.platform = 5;
    xbox.compression = 12;
    xbox.xbox_layout = true;
    mobile_texture_desc mobile;
    mobile.data = fill16(k_red565, 64);
    const auto pc = make_pc_texture(d3d9_dxt1(8));

    EXPECT_EQ(refusal<pc_txd>(make_dictionary({pc, make_pc_texture(xbox)}).bytes()),
              "This is not a valid PC texture. / texture 1 is no PC texture (platform id 5)");
    EXPECT_EQ(refusal<xbox_txd>(make_dictionary({make_pc_texture(xbox), pc}).bytes()),
              "This is not a XBOX texture. / texture 1 is no XBOX texture (platform id 9)");
    EXPECT_EQ(refusal<ps2_txd>(make_dictionary({make_ps2_texture({}), pc}).bytes()),
              "This is not a PS2 texture. / texture 1 is no PS2 texture (platform id 9)");
    auto mixed_mobile = mobile_dictionary_bytes({mobile});
    EXPECT_EQ(refusal<ios_txd>(mixed_mobile), "accepted");
    EXPECT_EQ(refusal<ps2_txd>(make_dictionary({make_ps2_texture({.width = 0})}).bytes()),
              "This is not a PS2 texture. / texture 0 is 0x32, outside 1x1 to 4096x4096");
    EXPECT_EQ(refusal<ps2_txd>(make_dictionary({make_ps2_texture({.depth = 12})}).bytes()),
              "This is not a PS2 texture. / texture 0 has an unsupported depth of 12 bits");
}

TEST(ClassFit, D3d9SamplesAreNoMobileDictionaries) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* name : {"LD_SPAC.txd", "pcbtns.txd", "crsr_hud.txd", "tdem_tde.txd"}) {
        if (!std::filesystem::exists(sample(name))) continue;
        ios_txd txd;
        EXPECT_FALSE(txd.load(sample(name), 0, 0x16, 0)) << name;
        EXPECT_EQ(txd.error_detail.rfind("texture ", 0), 0u) << name << ": " << txd.error_detail;
    }
}

} // namespace quillmap
