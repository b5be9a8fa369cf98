// Structural edits: rename, delete, move, append, the built texture layout and saving.
#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"
#include "raster/ps2_swizzling.h"
#include "test_files.h"
#include "tree_invariants.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmap {

namespace {

std::unique_ptr<ps2_txd> open_dictionary(const test_chunk& dictionary) {
    auto txd = std::make_unique<ps2_txd>();
    const auto path = write_temp("d.txd", dictionary.bytes());
    EXPECT_TRUE(txd->load(path, 0, 0x16, 0)) << txd->last_error;
    return txd;
}

std::unique_ptr<ps2_txd> three_textures() {
    return open_dictionary(make_dictionary({make_ps2_texture({.name = "abc", .mask = "abca"}),
                                            make_ps2_texture({.name = "second", .depth = 4}),
                                            make_ps2_texture({.name = "third", .depth = 32})}));
}

std::vector<std::string> names(ps2_txd& txd) {
    std::vector<std::string> out;
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        out.push_back(txd.texture_name(t, name_kind::texture));
    return out;
}

std::vector<uint8_t> saved_bytes(ps2_txd& txd) {
    const auto path = temp_dir() / "saved.txd";
    EXPECT_TRUE(txd.save(path, 0)) << txd.last_error;
    return read_file(path);
}

TEST(EditRename, SizeArithmeticFromAbcToAbcd) {
    auto txd = three_textures();
    rw_chunk* texture = txd->texture_chunk(0);
    ASSERT_EQ(texture->child(1)->size, 4u); // "abc" and its NUL
    const uint32_t texture_size = texture->size, root_size = txd->root->size;
    const uint32_t allocated = txd->allocated_bytes;

    // Names are stored as the game stores them: NUL-terminated and padded to a multiple of 4.
    ASSERT_TRUE(txd->rename_texture(0, "abcd", name_kind::texture)) << txd->last_error;
    EXPECT_EQ(texture->child(1)->size, 8u);
    EXPECT_EQ(texture->size, texture_size + 4);
    EXPECT_EQ(txd->root->size, root_size + 4);
    EXPECT_EQ(txd->allocated_bytes, allocated + 4);
    ASSERT_EQ(texture->child(1)->data->size(), 8u);
    EXPECT_EQ(std::memcmp(texture->child(1)->data->data(), "abcd\0\0\0\0", 8), 0);
    EXPECT_EQ(txd->texture_name(0, name_kind::texture), "abcd");
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
}

TEST(EditRename, MaskNameAndShorterNamesAndSaveReopen) {
    auto txd = three_textures();
    ASSERT_TRUE(txd->rename_texture(1, "a-much-longer-mask-name", name_kind::mask));
    ASSERT_TRUE(txd->rename_texture(2, "x", name_kind::texture));
    EXPECT_EQ(txd->texture_chunk(2)->child(1)->size, 4u); // "x", its NUL and padding
    EXPECT_EQ(dictionary_invariant_error(*txd), "");

    const auto path = temp_dir() / "renamed.txd";
    ASSERT_TRUE(txd->save(path, 0));
    ps2_txd reopened;
    ASSERT_TRUE(reopened.load(path, 0, 0x16, 0)) << reopened.last_error;
    EXPECT_EQ(reopened.texture_name(1, name_kind::mask), "a-much-longer-mask-name");
    EXPECT_EQ(reopened.texture_name(2, name_kind::texture), "x");
    EXPECT_EQ(reopened.texture_name(0, name_kind::texture), "abc");
    EXPECT_EQ(dictionary_invariant_error(reopened), "");
    EXPECT_EQ(read_file(path).size(), uint64_t(reopened.root->size) + 12);
}

TEST(EditRename, RefusesATextureWhoseNameIsNoString) {
    // A texture whose name slots hold other chunks (a Struct, an Extension).
    auto odd = make_ps2_texture({.name = "odd"});
    odd.children[1] = leaf(0x01, std::vector<uint8_t>(16, 7));
    odd.children[2] = node(0x03, {});
    auto txd = open_dictionary(make_dictionary({make_ps2_texture({.name = "ps2"}), odd}));
    const auto before = saved_bytes(*txd);
    EXPECT_FALSE(txd->rename_texture(1, "renamed", name_kind::texture));
    EXPECT_EQ(txd->last_error,
              "The texture's name cannot be changed: it is not stored as a name section.");
    EXPECT_FALSE(txd->rename_texture(1, "renamed", name_kind::mask)); // child 2 is an Extension
    EXPECT_EQ(saved_bytes(*txd), before);
}

TEST(EditRename, MissingTexture) {
    auto txd = three_textures();
    EXPECT_FALSE(txd->rename_texture(3, "x", name_kind::texture));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
}

TEST(EditMove, LimitsAndSwaps) {
    auto txd = three_textures();
    const auto before = saved_bytes(*txd);
    EXPECT_FALSE(txd->move_texture_up(0));
    EXPECT_EQ(txd->last_error, "First texture cannot be moved up.");
    EXPECT_FALSE(txd->move_texture_down(2));
    EXPECT_EQ(txd->last_error, "Last texture cannot be moved down.");
    EXPECT_FALSE(txd->move_texture_down(3));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
    EXPECT_EQ(saved_bytes(*txd), before);

    const uint32_t root_size = txd->root->size;
    ASSERT_TRUE(txd->move_texture_up(1));
    EXPECT_EQ(names(*txd), (std::vector<std::string>{"second", "abc", "third"}));
    ASSERT_TRUE(txd->move_texture_down(1));
    EXPECT_EQ(names(*txd), (std::vector<std::string>{"second", "third", "abc"}));
    EXPECT_EQ(txd->root->size, root_size);
    EXPECT_EQ(txd->width(2), 32u);
    EXPECT_EQ(txd->depth(0), 4u);
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
}

TEST(EditDelete, KeepsSizesAndCount) {
    auto txd = three_textures();
    const uint32_t root_size = txd->root->size;
    const uint32_t removed = txd->texture_chunk(1)->size + 12;
    ASSERT_TRUE(txd->delete_texture(1));
    EXPECT_EQ(txd->root->size, root_size - removed);
    EXPECT_EQ(names(*txd), (std::vector<std::string>{"abc", "third"}));
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
    EXPECT_FALSE(txd->delete_texture(2));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
}

TEST(EditDelete, TheOnlyTextureLeavesCountWordZero) {
    auto txd = open_dictionary(make_dictionary({make_ps2_texture({.name = "only"})}));
    ASSERT_TRUE(txd->delete_texture(0));
    EXPECT_EQ(txd->texture_count(), 0u);
    EXPECT_EQ(*txd->root->child(0)->data, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
    // Root, count Struct and empty Extension.
    const auto bytes = saved_bytes(*txd);
    EXPECT_EQ(bytes.size(), 40u);
    EXPECT_FALSE(txd->delete_texture(0));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
}

TEST(EditDelete, CountByteBeyondTheTexturesNeverRemovesTheExtension) {
    auto dictionary = make_dictionary({make_ps2_texture({})});
    dictionary.children[0].data = u32_bytes({3});
    auto txd = open_dictionary(dictionary);
    EXPECT_FALSE(txd->delete_texture(1)); // child 2 is the Extension
    EXPECT_EQ(txd->last_error, "Texture not found.");
    EXPECT_EQ(txd->root->child_count(), 3u);
    EXPECT_EQ(txd->root->child(2)->id, 0x03u);
}

TEST(EditAppend, GoesBeforeTheExtensionOrToTheEnd) {
    auto txd = three_textures();
    auto built = txd->build_texture_native("", nullptr, "new", 16, 16, 8, nullptr, false);
    ASSERT_TRUE(built);
    const uint32_t added = built->size + 12, root_size = txd->root->size;
    ASSERT_TRUE(txd->append_texture(std::move(built)));
    EXPECT_EQ(txd->root->size, root_size + added);
    EXPECT_EQ(txd->texture_count(), 4u);
    EXPECT_EQ(txd->texture_name(3, name_kind::texture), "new");
    EXPECT_EQ(txd->root->children.back()->id, 0x03u);
    EXPECT_EQ(dictionary_invariant_error(*txd), "");

    // A dictionary without an Extension gets the texture at the end.
    auto bare = make_dictionary({});
    bare.children.pop_back();
    auto no_extension = open_dictionary(bare);
    ASSERT_TRUE(no_extension->append_texture(
        no_extension->build_texture_native("", nullptr, "a", 16, 4, 8, nullptr, false)));
    EXPECT_EQ(no_extension->root->child(1)->id, 0x15u);
    EXPECT_EQ(no_extension->texture_count(), 1u);
}

TEST(EditAppend, RefusesTheTwoHundredFiftySixthTexture) {
    std::vector<test_chunk> textures;
    for (int i = 0; i < 255; ++i)
        textures.push_back(make_ps2_texture(
            {.name = "t" + std::to_string(i), .width = 16, .height = 4, .depth = 8}));
    auto txd = open_dictionary(make_dictionary(std::move(textures)));
    ASSERT_EQ(txd->texture_count(), 255u);
    const uint32_t root_size = txd->root->size;
    EXPECT_FALSE(txd->append_texture(
        txd->build_texture_native("", nullptr, "extra", 16, 4, 8, nullptr, false)));
    EXPECT_EQ(txd->last_error, "A texture dictionary holds at most 255 textures.");
    EXPECT_EQ(txd->texture_count(), 255u);
    EXPECT_EQ(txd->root->size, root_size);
    EXPECT_EQ(txd->root->child_count(), 257u);
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
}

TEST(EditAppend, NeedsATree) {
    ps2_txd txd;
    auto chunk = std::make_unique<rw_chunk>();
    chunk->id = 0x15;
    EXPECT_FALSE(txd.append_texture(std::move(chunk)));
    EXPECT_EQ(txd.last_error, "RW Stream is not opened.");
}

TEST(EditSave, CreateEmptySavesFortyBytesAndTakesTextures) {
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x0401FFFF));
    auto bytes = saved_bytes(txd);
    ASSERT_EQ(bytes.size(), 40u);
    auto expected = make_dictionary({}, 0x0401FFFF);
    expected.children[0].data = u32_bytes({0x00060000}); // count 0, PS2 device id 6
    EXPECT_EQ(bytes, expected.bytes());

    std::vector<uint8_t> pixels(64 * 32), palette(1024);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 7);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i * 3);
    ASSERT_TRUE(txd.append_texture(
        txd.build_texture_native("m", pixels.data(), "n", 64, 32, 8, palette.data(), false)));
    const auto path = temp_dir() / "one.txd";
    ASSERT_TRUE(txd.save(path, 0));
    ps2_txd reopened;
    ASSERT_TRUE(reopened.load(path, 0, 0x16, 0)) << reopened.last_error;
    EXPECT_EQ(dictionary_invariant_error(reopened), "");
    for (const auto& header : file_chunk_headers(read_file(path)))
        EXPECT_EQ(header.version, 0x0401FFFFu);
    std::vector<uint8_t> plain; // stored swizzled, as 8-bit data always is
    ASSERT_TRUE(ps2_plain_level(reopened, 0, 0, plain));
    EXPECT_EQ(plain, pixels);
    auto colours = reopened.palette(0);
    EXPECT_EQ(std::vector<uint8_t>(colours.begin(), colours.end()), palette);
}

TEST(EditSave, SetVersionStampsEveryChunkHeader) {
    auto txd = three_textures();
    ASSERT_TRUE(txd->set_version(0x0800FFFF));
    const auto bytes = saved_bytes(*txd);
    const auto headers = file_chunk_headers(bytes);
    ASSERT_EQ(headers.size(), 1 + 1 + 3 * 9 + 1u);
    for (const auto& header : headers)
        EXPECT_EQ(header.version, 0x0800FFFFu) << std::hex << header.id;
}

TEST(EditExportType, CaseAndDotRules) {
    struct row {
        const char* extension;
        int type; // the stored number, 0 for none
    };
    const row rows[] = {{"bmp", 1},  {".bmp", 1}, {".BMP", 0},   {"Bmp", 0},     {"tm2", 2},
                        {".tm2", 2}, {".TM2", 0}, {"rwsect", 4}, {".rwsect", 4}, {".RWSECT", 0},
                        {"", 0},     {".", 0},    {"txd", 0},    {"..bmp", 0},   {".bmp ", 0}};
    for (const auto& r : rows)
        EXPECT_EQ(export_type_of_extension(r.extension), export_type_from_number(r.type))
            << '"' << r.extension << '"';
}

// The legacy entry point, checked against a real file: VEHICLE2's 32x32 swizzled 4-bit texture
// rebuilt from its own stored pixels and palette.
TEST(EditBuild, MatchesTheRasterLayoutOfARealFile) {
    SKIP_WITHOUT_SAMPLES();
    ps2_txd real;
    ASSERT_TRUE(real.load(sample("VEHICLE2.txd"), 0, 0x16, 0)) << real.last_error;
    ASSERT_TRUE(real.is_swizzled(0));
    auto pixels = real.pixels(0, 0);
    auto palette = real.palette(0);
    ASSERT_EQ(pixels.size(), 512u);
    ASSERT_EQ(palette.size(), 64u);
    auto built = real.build_texture_native("", pixels.data(), "vehmirref32", 32, 32, 4,
                                           palette.data(), true);
    ASSERT_TRUE(built);

    const rw_chunk* raster = real.texture_chunk(0)->child(3);
    const auto* real_data = real.load_data(raster->child(1));
    const rw_chunk* built_raster = built->child(3);
    ASSERT_EQ(built_raster->size, raster->size);
    ASSERT_EQ(built_raster->child(1)->size, raster->child(1)->size);
    // Transfer headers, pixels and palette as stored; only the bytes after the palette may differ.
    EXPECT_TRUE(std::equal(real_data->begin(), real_data->begin() + 768 - 32,
                           built_raster->child(1)->data->begin()));
    const auto* real_header = real.raster_header(0);
    EXPECT_EQ(*built_raster->child(0)->data, std::vector<uint8_t>(real_header, real_header + 64));
}

struct build_case {
    uint32_t width, height, depth;
    bool given_swizzled; // the pixels handed over are in swizzled order
    uint32_t format, palette_size, transfer_w, transfer_h, nloop, palette_w, palette_h,
        palette_qwords, data_size;
};

class EditBuildLayout : public ::testing::TestWithParam<build_case> {};

TEST_P(EditBuildLayout, HeaderWordsAndReadBack) {
    const build_case& c = GetParam();
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1803FFFF));
    const size_t pixel_bytes = size_t(c.width) * c.height * c.depth / 8;
    const size_t palette_bytes = c.depth <= 8 ? size_t(4) << c.depth : 0;
    std::vector<uint8_t> pixels(pixel_bytes), palette(palette_bytes);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 5 + 1);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i * 11 + 3);
    std::vector<uint8_t> given = pixels;
    if (c.given_swizzled) ps2_swizzling::swizzle_raster(given, c.width, c.height, c.depth);
    auto built =
        txd.build_texture_native("mask", given.data(), "name", c.width, c.height, c.depth,
                                 palette.empty() ? nullptr : palette.data(), c.given_swizzled);
    ASSERT_TRUE(built) << txd.last_error;

    // Sizes from the layout: Struct 8, names + 4, raster F + 168, Extension 16.
    const uint32_t name_sizes = (4 + 4) + (4 + 4);
    EXPECT_EQ(built->size, (8 + 12) + name_sizes + 24 + (c.data_size + 88 + 12) + (16 + 12));
    EXPECT_EQ(built->child(0)->size, 8u);
    EXPECT_EQ(*built->child(0)->data, (std::vector<uint8_t>{'P', 'S', '2', 0, 2, 0x11, 0, 0}));
    EXPECT_EQ(built->child(1)->size, 8u);
    EXPECT_EQ(built->child(3)->size, c.data_size + 88);
    EXPECT_EQ(built->child(3)->child(1)->size, c.data_size);
    EXPECT_EQ(built->child(4)->size, 16u);
    EXPECT_EQ(built->child(4)->child(0)->id, 0x110u);
    EXPECT_EQ(u32_at(*built->child(4)->child(0)->data, 0).value(), 4032u);

    const auto& header = *built->child(3)->child(0)->data;
    EXPECT_EQ(u32_at(header, 12).value(), c.format);
    EXPECT_EQ(u32_at(header, 52).value(), c.palette_size);
    EXPECT_EQ(uint64_t(u32_at(header, 48).value()) + u32_at(header, 52).value(), c.data_size);
    const auto& data = *built->child(3)->child(1)->data;
    EXPECT_EQ(u32_at(data, 0).value(), 3u);
    EXPECT_EQ(u32_at(data, 32).value(), c.transfer_w);
    EXPECT_EQ(u32_at(data, 36).value(), c.transfer_h);
    EXPECT_EQ(u32_at(data, 64).value(), c.nloop);
    const size_t palette_at = 80 + size_t(c.nloop) * 16;
    if (c.depth <= 8) {
        EXPECT_EQ(u32_at(data, palette_at + 32).value(), c.palette_w);
        EXPECT_EQ(u32_at(data, palette_at + 36).value(), c.palette_h);
        EXPECT_EQ(u32_at(data, palette_at + 64).value(), c.palette_qwords);
    }

    ASSERT_TRUE(txd.append_texture(std::move(built)));
    EXPECT_EQ(dictionary_invariant_error(txd), "");
    EXPECT_EQ(txd.is_swizzled(0), c.depth <= 8);
    EXPECT_EQ(txd.mip_count(0), 1u);
    EXPECT_EQ(txd.width(0), c.width);
    EXPECT_EQ(txd.texture_name(0, name_kind::mask), "mask");
    std::vector<uint8_t> stored;
    ASSERT_TRUE(ps2_plain_level(txd, 0, 0, stored));
    EXPECT_EQ(stored, pixels);
    auto colours = txd.palette(0);
    EXPECT_EQ(std::vector<uint8_t>(colours.begin(), colours.end()), palette);
    EXPECT_TRUE(lint_ps2_textures(txd).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Edit, EditBuildLayout,
    ::testing::Values(
        // 4- and 8-bit data is swizzled under 3.6 whatever order it comes in; the 4-bit palette
        // moves as 8x3 with 32 extra bytes.
        build_case{32, 32, 4, false, 0x24504, 176, 16, 16, 32, 8, 3, 6, 80 + 512 + 80 + 96},
        build_case{32, 32, 4, true, 0x24504, 176, 16, 16, 32, 8, 3, 6, 80 + 512 + 80 + 96},
        build_case{64, 64, 8, false, 0x22504, 1104, 32, 32, 256, 16, 16, 64, 80 + 4096 + 80 + 1024},
        build_case{64, 64, 8, true, 0x22504, 1104, 32, 32, 256, 16, 16, 64, 80 + 4096 + 80 + 1024},
        build_case{16, 8, 16, false, 0x20104, 0, 16, 8, 16, 0, 0, 0, 80 + 256},
        build_case{16, 8, 32, false, 0x20504, 0, 16, 8, 32, 0, 0, 0, 80 + 512},
        build_case{4, 2, 24, false, 0x20604, 0, 4, 2, 2, 0, 0, 0, 80 + 32},
        // A small level is padded to a whole swizzle block (32x4 at 4 bits), as real files pad.
        build_case{4, 2, 4, false, 0x24504, 176, 16, 2, 4, 8, 3, 6, 80 + 64 + 80 + 96}));

} // namespace

namespace {

// A texture of another platform, taken in from a raw section, is carried along: it moves,
// deletes and exports as a section, while what needs the PS2 layout fails with a message.
TEST(EditForeignTexture, CarriedAlongAndRefusedWhereThePs2LayoutIsNeeded) {
    auto pc = node(0x15, {leaf(0x01, std::vector<uint8_t>(88, 9)), node(0x03, {})});
    auto txd = open_dictionary(make_dictionary({make_ps2_texture({.name = "ps2"})}));
    const auto section = write_temp("pc.rwsect", pc.bytes());
    ASSERT_TRUE(txd->add_raw_section(section)) << txd->last_error;
    EXPECT_EQ(txd->texture_count(), 2u);
    EXPECT_EQ(dictionary_invariant_error(*txd), "");

    const auto dir = temp_dir();
    for (export_type type : {export_type::bmp, export_type::tim2}) {
        const auto path = dir / (std::string("x") + export_extension(type));
        EXPECT_FALSE(
            txd->export_texture(1, view_mode::texture, type, &path, swizzle_mode::as_stored));
        EXPECT_FALSE(txd->last_error.empty());
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    const auto picture = write_temp("p.tm2", std::vector<uint8_t>{'T', 'I', 'M', '2', 4, 0, 0, 0});
    EXPECT_FALSE(txd->replace_texture(1, picture, export_type::tim2, false));
    EXPECT_FALSE(txd->rename_texture(1, "name", name_kind::texture));
    const auto again = dir / "again.rwsect";
    ASSERT_TRUE(txd->export_texture(1, view_mode::texture, export_type::rwsect, &again,
                                    swizzle_mode::as_stored));
    EXPECT_EQ(read_file(again), pc.bytes());
    ASSERT_TRUE(txd->move_texture_up(1));
    EXPECT_EQ(txd->texture_name(1, name_kind::texture), "ps2");
    ASSERT_TRUE(txd->delete_texture(1));
    EXPECT_EQ(dictionary_invariant_error(*txd), "");
    EXPECT_EQ(saved_bytes(*txd).size(), 40u + pc.bytes().size());
}

} // namespace

} // namespace quillmap
