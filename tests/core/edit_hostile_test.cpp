// Edits on damaged dictionaries: whatever the bytes say, no operation reads or writes outside
// a buffer, and every tree an edit leaves behind still keeps its size fields exact.
#include "dictionary/ps2_txd.h"
#include "image_reference.h"
#include "test_files.h"
#include "tree_invariants.h"

#include <gtest/gtest.h>

#include <random>

namespace quillmap {

namespace {

std::vector<uint8_t> base_dictionary() {
    return make_dictionary(
               {make_ps2_texture(
                    {.name = "a", .width = 32, .height = 16, .depth = 8, .swizzled = true}),
                make_ps2_texture(
                    {.name = "b", .width = 16, .height = 16, .depth = 4, .swizzled = true}),
                make_ps2_texture({.name = "c", .width = 8, .height = 4, .depth = 32, .levels = 2})})
        .bytes();
}

TEST(EditHostile, EveryOperationOnCorruptedDictionaries) {
    const auto dir = temp_dir();
    const auto base = base_dictionary();
    const auto tim =
        write_file(dir / "p.tm2", make_tim2_bytes({.width = 32,
                                                   .height = 16,
                                                   .depth = 8,
                                                   .image = std::vector<uint8_t>(512, 3),
                                                   .clut = std::vector<uint8_t>(1024, 4)}));
    const auto bmp =
        write_file(dir / "p.bmp", make_bmp_bytes(32, 16, 8, std::vector<uint8_t>(512, 5),
                                                 std::vector<uint8_t>(1024, 6)));
    std::mt19937 rng(4242);
    int loaded = 0;
    for (int round = 0; round < 150; ++round) {
        auto bytes = base;
        // Damage a few bytes, mostly in the raster headers and transfer headers.
        const int hits = 1 + int(rng() % 4);
        for (int i = 0; i < hits; ++i) {
            const size_t at = rng() % bytes.size();
            bytes[at] =
                (rng() % 3 == 0) ? uint8_t(rng()) : uint8_t(bytes[at] ^ (1u << (rng() % 8)));
        }
        const auto path = write_file(dir / "d.txd", bytes);
        ps2_txd txd;
        if (!txd.load(path, 0, 0x16, 0)) continue;
        ++loaded;
        const bool sound = dictionary_invariant_error(txd).empty();
        const uint32_t count = txd.texture_count();
        for (uint32_t t = 0; t < count + 1; ++t) {
            for (export_type type : {export_type::bmp, export_type::tim2, export_type::rwsect}) {
                const auto out = dir / (std::string("o") + export_extension(type));
                txd.export_texture(t, view_mode_from_number(int(rng() % 3)).value(), type, &out,
                                   swizzle_mode_from_number(int(rng() % 3) - 1).value());
            }
            txd.replace_texture(t, tim, export_type::tim2, false);
            txd.replace_texture(t, bmp, export_type::bmp, true);
            txd.rename_texture(t, "renamed", name_kind_from_number(int(rng() % 2)).value());
        }
        txd.add_tim2_texture(tim, swizzle_mode_from_number(int(rng() % 3) - 1).value());
        const auto section = dir / "o.rwsect";
        if (std::filesystem::exists(section)) txd.add_raw_section(section);
        if (txd.texture_count()) {
            txd.move_texture_up(txd.texture_count() - 1);
            txd.move_texture_down(0);
            txd.delete_texture(uint32_t(rng() % txd.texture_count()));
        }
        if (sound) {
            ASSERT_EQ(dictionary_invariant_error(txd), "") << "round " << round;
        }
        const auto saved = dir / "s.txd";
        if (txd.save(saved, 0) && sound) {
            ps2_txd reopened;
            EXPECT_TRUE(reopened.load(saved, 0, 0x16, 0))
                << "round " << round << ": " << reopened.last_error;
        }
    }
    EXPECT_GT(loaded, 40);
}

} // namespace

} // namespace quillmap
