// Export and import: round trips through BMP, TIM2 and raw section files, the TIM2 samples added
// and rendered, and the refusals of replace and add.
#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"
#include "image_reference.h"
#include "test_files.h"
#include "tree_invariants.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillmap {

namespace {

std::unique_ptr<ps2_txd> open_dictionary(const test_chunk& dictionary) {
    auto txd = std::make_unique<ps2_txd>();
    const auto path = write_temp("d.txd", dictionary.bytes());
    EXPECT_TRUE(txd->load(path, 0, 0x16, 0)) << txd->last_error;
    return txd;
}

std::vector<uint8_t> copy(std::span<const uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// PS2 alpha runs to 0x80; BMP files carry it scaled, so round trips need alphas in that range.
void clamp_alpha(std::span<uint8_t> rgba) {
    for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = uint8_t(rgba[i] % 0x81);
}

struct texture_case {
    uint32_t depth;
    bool swizzled;
};

void PrintTo(const texture_case& c, std::ostream* out) {
    *out << c.depth << "-bit " << (c.swizzled ? "swizzled" : "plain");
}

std::string case_name(const ::testing::TestParamInfo<texture_case>& info) {
    return std::to_string(info.param.depth) + (info.param.swizzled ? "bitSwizzled" : "bitPlain");
}

class EditRoundTrip : public ::testing::TestWithParam<texture_case> {
  protected:
    void SetUp() override {
        const auto& c = GetParam();
        txd = open_dictionary(make_dictionary(
            {make_ps2_texture({.name = "first", .width = 32, .height = 16, .depth = 8}),
             make_ps2_texture({.name = "subject",
                               .mask = "subjecta",
                               .width = 64,
                               .height = 32,
                               .depth = c.depth,
                               .swizzled = c.swizzled,
                               .fill_seed = 9})}));
        ASSERT_EQ(txd->is_swizzled(1), c.swizzled);
        // The edits below must survive release_pixels, so the data lives in memory from here.
        ASSERT_TRUE(txd->load_all(txd->texture_chunk(1)));
        if (c.depth == 32) clamp_alpha(txd->pixels(1, 0));
        if (c.depth <= 8) clamp_alpha(txd->palette(1));
        pixels = copy(txd->pixels(1, 0));
        palette = copy(txd->palette(1));
    }
    void scramble() {
        for (auto& b : txd->pixels(1, 0))
            b = uint8_t(~b);
        for (auto& b : txd->palette(1))
            b = uint8_t(b ^ 0x5A);
        ASSERT_NE(copy(txd->pixels(1, 0)), pixels);
    }
    void expect_restored() {
        EXPECT_EQ(copy(txd->pixels(1, 0)), pixels);
        EXPECT_EQ(copy(txd->palette(1)), palette);
        EXPECT_EQ(dictionary_invariant_error(*txd), "");
    }

    std::unique_ptr<ps2_txd> txd;
    std::vector<uint8_t> pixels, palette;
};

TEST_P(EditRoundTrip, BmpExportThenReplace) {
    const auto path = temp_dir() / "subject.bmp";
    // Mixed view keeps the alpha, which replace takes back with keep_alpha.
    ASSERT_TRUE(
        txd->export_texture(1, view_mode::mixed, export_type::bmp, &path, swizzle_mode::as_stored))
        << txd->last_error;
    scramble();
    ASSERT_TRUE(txd->replace_texture(1, path, export_type::bmp, true)) << txd->last_error;
    expect_restored();
}

TEST_P(EditRoundTrip, TimExportThenReplaceWithEverySwizzleSetting) {
    for (swizzle_mode swizzle : {swizzle_mode::as_stored, swizzle_mode::off, swizzle_mode::on}) {
        const auto path = temp_dir() / "subject.tm2";
        ASSERT_TRUE(txd->export_texture(1, view_mode::texture, export_type::tim2, &path, swizzle))
            << txd->last_error;
        scramble();
        ASSERT_TRUE(txd->replace_texture(1, path, export_type::tim2, false)) << txd->last_error;
        SCOPED_TRACE(swizzle_mode_number(swizzle));
        if (swizzle == swizzle_mode::on && !GetParam().swizzled && GetParam().depth <= 8) {
            // Forcing the swizzle on a plain texture writes a different picture on purpose.
            continue;
        }
        expect_restored();
    }
}

TEST_P(EditRoundTrip, TimExportThenAddGivesTheSamePicture) {
    for (swizzle_mode export_swizzle : {swizzle_mode::as_stored, swizzle_mode::off}) {
        for (swizzle_mode add_swizzle : {swizzle_mode::as_stored, swizzle_mode::on}) {
            SCOPED_TRACE(std::to_string(swizzle_mode_number(export_swizzle)) + " " +
                         std::to_string(swizzle_mode_number(add_swizzle)));
            const auto path = temp_dir() / "subject.tm2";
            ASSERT_TRUE(txd->export_texture(1, view_mode::texture, export_type::tim2, &path,
                                            export_swizzle))
                << txd->last_error;
            ASSERT_TRUE(txd->add_tim2_texture(path, add_swizzle)) << txd->last_error;
            const uint32_t added = txd->texture_count() - 1;
            EXPECT_EQ(txd->texture_name(added, name_kind::texture), "subject");
            EXPECT_EQ(txd->texture_name(added, name_kind::mask), "");
            EXPECT_EQ(copy(txd->palette(added)), palette);
            const bool palettised = GetParam().depth <= 8;
            // The game's rule decides the stored order: 4- and 8-bit data swizzled under 3.6.
            EXPECT_EQ(txd->is_swizzled(added), palettised);
            // Stored the same way as the source, the bytes are the source's bytes.
            if (!palettised || txd->is_swizzled(added) == GetParam().swizzled) {
                EXPECT_EQ(copy(txd->pixels(added, 0)), pixels);
            }
            for (view_mode mode : k_user_views) {
                auto original = txd->render(1, mode, swizzle_mode::as_stored, nullptr, 0);
                auto again = txd->render(added, mode, swizzle_mode::as_stored, nullptr, 0);
                ASSERT_TRUE(original && again) << txd->last_error;
                EXPECT_EQ(original->bytes, again->bytes) << "mode " << view_mode_number(mode);
            }
            EXPECT_EQ(dictionary_invariant_error(*txd), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Edit, EditRoundTrip,
                         ::testing::Values(texture_case{4, false}, texture_case{4, true},
                                           texture_case{8, false}, texture_case{8, true},
                                           texture_case{32, false}, texture_case{32, true}),
                         case_name);

TEST(EditRawSection, ExportThenAddTakesTheOtherVersion) {
    auto source = open_dictionary(make_dictionary(
        {make_ps2_texture({.name = "keep", .mask = "keepa", .depth = 4, .swizzled = true})},
        0x1803FFFF));
    const auto path = temp_dir() / "keep.rwsect";
    ASSERT_TRUE(source->export_texture(0, view_mode::texture, export_type::rwsect, &path,
                                       swizzle_mode::as_stored))
        << source->last_error;
    const auto section = read_file(path);
    EXPECT_EQ(section.size(), source->texture_chunk(0)->size + 12u);
    // The raw section is the chunk as stored.
    EXPECT_EQ(
        section,
        make_ps2_texture({.name = "keep", .mask = "keepa", .depth = 4, .swizzled = true}).bytes());
    // Its data is in memory for good now.
    EXPECT_FALSE(source->release_pixels(0));

    auto target = open_dictionary(make_dictionary({make_ps2_texture({.name = "old"})}, 0x0401FFFF));
    ASSERT_TRUE(target->add_raw_section(path)) << target->last_error;
    EXPECT_EQ(target->texture_count(), 2u);
    EXPECT_EQ(target->texture_name(1, name_kind::texture), "keep");
    EXPECT_EQ(target->texture_name(1, name_kind::mask), "keepa");
    EXPECT_TRUE(target->is_swizzled(1));
    EXPECT_EQ(dictionary_invariant_error(*target), "");
    const auto saved = temp_dir() / "target.txd";
    ASSERT_TRUE(target->save(saved, 0));
    const auto headers = file_chunk_headers(read_file(saved));
    ASSERT_EQ(headers.size(), 2 + 2 * 9 + 1u);
    for (const auto& header : headers)
        EXPECT_EQ(header.version, 0x0401FFFFu) << std::hex << header.id;
}

TEST(EditRawSection, RefusesFilesThatAreNoTextureNative) {
    auto target = open_dictionary(make_dictionary({}));
    const auto dictionary = write_temp("d.rwsect", make_dictionary({}).bytes());
    EXPECT_FALSE(target->add_raw_section(dictionary));
    EXPECT_EQ(target->last_error, "Wrong root section ID.");
    EXPECT_FALSE(target->add_raw_section(temp_dir() / "missing.rwsect"));
    EXPECT_EQ(target->last_error, "Cant open RW stream file");
    // A section whose children overrun it.
    auto bytes = make_ps2_texture({}).bytes();
    bytes.resize(bytes.size() - 40);
    EXPECT_FALSE(target->add_raw_section(write_temp("cut.rwsect", bytes)));
    EXPECT_EQ(target->last_error, "It's not a valid RW file");
    EXPECT_EQ(target->texture_count(), 0u);
    EXPECT_EQ(dictionary_invariant_error(*target), "");
}

TEST(EditExport, WithoutAPathWritesIntoTheCurrentDirectory) {
    auto txd = open_dictionary(
        make_dictionary({make_ps2_texture({.name = "car", .mask = "cara", .depth = 8}),
                         make_ps2_texture({.name = "../escape", .depth = 8})}));
    const auto previous = std::filesystem::current_path();
    const auto dir = temp_dir();
    std::filesystem::current_path(dir);
    const bool texture = txd->export_texture(0, view_mode::texture, export_type::bmp, nullptr,
                                             swizzle_mode::as_stored);
    const bool alpha = txd->export_texture(0, view_mode::alpha, export_type::tim2, nullptr,
                                           swizzle_mode::as_stored);
    const bool section = txd->export_texture(0, view_mode::texture, export_type::rwsect, nullptr,
                                             swizzle_mode::as_stored);
    const bool escaped = txd->export_texture(1, view_mode::texture, export_type::bmp, nullptr,
                                             swizzle_mode::as_stored);
    std::filesystem::current_path(previous);
    EXPECT_TRUE(texture && alpha && section && escaped) << txd->last_error;
    EXPECT_TRUE(std::filesystem::exists(dir / "car.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "cara.tm2")); // the mask name in alpha view
    EXPECT_TRUE(std::filesystem::exists(dir / "car.rwsect"));
    // A name from the file never leads outside the directory.
    EXPECT_TRUE(std::filesystem::exists(dir / ".._escape.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir.parent_path() / "escape.bmp"));
}

TEST(EditExport, UnknownTypeAndMissingTexture) {
    auto txd = open_dictionary(make_dictionary({make_ps2_texture({})}));
    const auto path = temp_dir() / "x.png";
    EXPECT_FALSE(txd->export_texture(0, view_mode::texture, export_type::png, &path,
                                     swizzle_mode::as_stored));
    EXPECT_EQ(txd->last_error, "Unknown export type/extension");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(txd->export_texture(1, view_mode::texture, export_type::bmp, &path,
                                     swizzle_mode::as_stored));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
}

TEST(EditExport, TimMarkerDescribesTheWrittenPixels) {
    struct row {
        bool stored_swizzled;
        swizzle_mode swizzle;
        uint8_t marker;
    };
    // 0x00 only when the file's pixels are in swizzled order.
    const row rows[] = {
        {true, swizzle_mode::as_stored, 0x64}, {true, swizzle_mode::on, 0x64},
        {true, swizzle_mode::off, 0x00},       {false, swizzle_mode::as_stored, 0x64},
        {false, swizzle_mode::off, 0x64},      {false, swizzle_mode::on, 0x64}};
    for (const auto& r : rows) {
        auto txd = open_dictionary(
            make_dictionary({make_ps2_texture({.depth = 8, .swizzled = r.stored_swizzled})}));
        const auto path = temp_dir() / "m.tm2";
        ASSERT_TRUE(
            txd->export_texture(0, view_mode::texture, export_type::tim2, &path, r.swizzle));
        const auto bytes = read_file(path);
        ASSERT_GT(bytes.size(), 16u + 76);
        EXPECT_EQ(std::string(bytes.begin() + 16 + 64, bytes.begin() + 16 + 68), "swiz");
        EXPECT_EQ(bytes[16 + 72], r.marker)
            << r.stored_swizzled << " " << swizzle_mode_number(r.swizzle);
    }
}

// --- Replace refusals -------------------------------------------------------------------------

TEST(EditReplace, DimensionAndDepthMessages) {
    auto txd = open_dictionary(
        make_dictionary({make_ps2_texture({.width = 32, .height = 32, .depth = 4})}));
    const auto before = copy(txd->pixels(0, 0));
    const std::vector<uint8_t> palette(1024, 0x40);
    const auto bmp8 =
        write_temp("p8.bmp", make_bmp_bytes(32, 32, 8, std::vector<uint8_t>(32 * 32, 1), palette));
    EXPECT_FALSE(txd->replace_texture(0, bmp8, export_type::bmp, false));
    EXPECT_EQ(txd->last_error, "Images must have same BPP!");
    const auto small =
        write_temp("s.bmp", make_bmp_bytes(16, 32, 4, std::vector<uint8_t>(16 * 16, 1),
                                           std::vector<uint8_t>(64, 0)));
    EXPECT_FALSE(txd->replace_texture(0, small, export_type::bmp, false));
    EXPECT_EQ(txd->last_error, "Image must have same dimensions!");

    const auto tim8 =
        write_temp("p8.tm2", make_tim2_bytes({.width = 32,
                                              .height = 32,
                                              .depth = 8,
                                              .image = std::vector<uint8_t>(1024, 2),
                                              .clut = std::vector<uint8_t>(1024, 3)}));
    EXPECT_FALSE(txd->replace_texture(0, tim8, export_type::tim2, false));
    EXPECT_EQ(txd->last_error, "Sorry, at the moment supported only equivalent bits per pixel.");
    const auto tim_wide =
        write_temp("w.tm2", make_tim2_bytes({.width = 64,
                                             .height = 32,
                                             .depth = 4,
                                             .image = std::vector<uint8_t>(1024, 2),
                                             .clut = std::vector<uint8_t>(64, 3)}));
    EXPECT_FALSE(txd->replace_texture(0, tim_wide, export_type::tim2, false));
    EXPECT_EQ(txd->last_error, "Image must have equivalent dimensions!");
    // An unreadable TIM2 file has no picture, so its size is 0 x 0.
    EXPECT_FALSE(
        txd->replace_texture(0, write_temp("no.tm2", {'X', 'X'}), export_type::tim2, false));
    EXPECT_EQ(txd->last_error, "Image must have equivalent dimensions!");

    EXPECT_FALSE(txd->replace_texture(0, write_temp("x.rwsect", {1}), export_type::rwsect, false));
    EXPECT_EQ(txd->last_error, "Unknown import format.");
    EXPECT_FALSE(
        txd->replace_texture(0, write_temp("bad.bmp", {'M', 'B', 0, 0}), export_type::bmp, false));
    EXPECT_EQ(txd->last_error, "This is not valid BMP file.");
    EXPECT_FALSE(txd->replace_texture(1, bmp8, export_type::bmp, false));
    EXPECT_EQ(txd->last_error, "Texture not exists.");
    EXPECT_EQ(copy(txd->pixels(0, 0)), before);
}

TEST(EditReplace, EightBitBmpReplacesPixelsAndPalette) {
    auto txd = open_dictionary(
        make_dictionary({make_ps2_texture({.width = 16, .height = 4, .depth = 8})}));
    std::vector<uint8_t> rows(16 * 4), bgra(1024);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = uint8_t(i * 3);
    for (size_t i = 0; i < 256; ++i) {
        bgra[i * 4] = uint8_t(i);            // blue
        bgra[i * 4 + 1] = uint8_t(255 - i);  // green
        bgra[i * 4 + 2] = uint8_t(i ^ 0x55); // red
        bgra[i * 4 + 3] = 0xFF;
    }
    const auto path = write_temp("r.bmp", make_bmp_bytes(16, 4, 8, rows, bgra));
    ASSERT_TRUE(txd->replace_texture(0, path, export_type::bmp, false)) << txd->last_error;
    EXPECT_EQ(copy(txd->pixels(0, 0)), rows); // a plain texture keeps plain rows, top row first
    const auto palette = copy(txd->palette(0));
    for (uint32_t i = 0; i < 256; ++i) {
        // BMP entry i goes to the console slot of i, as red, green, blue, opaque PS2 alpha.
        const uint32_t g = (i >> 3) & 3, slot = g == 1 ? i + 8 : g == 2 ? i - 8 : i;
        EXPECT_EQ(palette[slot * 4], uint8_t(i ^ 0x55)) << i;
        EXPECT_EQ(palette[slot * 4 + 1], uint8_t(255 - i)) << i;
        EXPECT_EQ(palette[slot * 4 + 2], uint8_t(i)) << i;
        EXPECT_EQ(palette[slot * 4 + 3], 0x80) << i;
    }
    // The replaced data is in memory for good.
    EXPECT_FALSE(txd->release_pixels(0));
}

// --- Adding TIM2 pictures ---------------------------------------------------------------------

TEST(EditAddTim, DimensionLimit) {
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1803FFFF));
    const auto big =
        write_temp("big.tm2", make_tim2_bytes({.width = 4096,
                                               .height = 4096,
                                               .depth = 4,
                                               .image = std::vector<uint8_t>(4096 * 2048, 0x21),
                                               .clut = std::vector<uint8_t>(64, 0x80)}));
    ASSERT_TRUE(txd.add_tim2_texture(big, swizzle_mode::as_stored)) << txd.last_error;
    EXPECT_EQ(txd.width(0), 4096u);
    EXPECT_EQ(txd.height(0), 4096u);
    const auto wide =
        write_temp("wide.tm2", make_tim2_bytes({.width = 4097,
                                                .height = 16,
                                                .depth = 8,
                                                .image = std::vector<uint8_t>(4097 * 16, 1),
                                                .clut = std::vector<uint8_t>(1024, 2)}));
    EXPECT_FALSE(txd.add_tim2_texture(wide, swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "Texture dimension limit is 4096 x 4096");
    EXPECT_EQ(txd.texture_count(), 1u);
    EXPECT_EQ(dictionary_invariant_error(txd), "");
}

TEST(EditAddTim, ReadFailuresAndNames) {
    ps2_txd txd;
    ASSERT_TRUE(txd.create_empty(0x1803FFFF));
    EXPECT_FALSE(txd.add_tim2_texture(temp_dir() / "missing.tm2", swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "Can't open file for reading.");
    EXPECT_FALSE(txd.add_tim2_texture(write_temp("bad.tm2", {'T', 'I', 'M', '3', 0, 0, 0, 0}),
                                      swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "This is not a valid PlayStation 2 TIM2 file.");
    EXPECT_EQ(txd.texture_count(), 0u);
    const auto file =
        write_temp("name.with.dots.tm2", make_tim2_bytes({.width = 16,
                                                          .height = 4,
                                                          .depth = 8,
                                                          .image = std::vector<uint8_t>(64, 1),
                                                          .clut = std::vector<uint8_t>(1024, 2)}));
    ASSERT_TRUE(txd.add_tim2_texture(file, swizzle_mode::as_stored));
    EXPECT_EQ(txd.texture_name(0, name_kind::texture), "name.with.dots");
    // Models name textures without extensions; the game reads at most 31 characters.
    const auto long_name = write_temp(std::string(32, 'n') + ".tm2", read_file(file));
    EXPECT_FALSE(txd.add_tim2_texture(long_name, swizzle_mode::as_stored));
    EXPECT_EQ(txd.last_error, "Texture names hold at most 31 characters.");
    EXPECT_EQ(txd.texture_count(), 1u);
}

// A standard TIM2 file (48-byte header, or 76 bytes without our tag) holds plain pixels whatever
// byte stands where our marker would be.
TEST(EditAddTim, OnlyTaggedFilesSayTheirPixelsAreSwizzled) {
    std::vector<uint8_t> image(32 * 16);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i);
    image[72 - 48] = 0; // where a 76-byte header's marker byte would be
    std::vector<uint8_t> clut(1024);
    for (size_t i = 0; i < clut.size(); ++i)
        clut[i] = uint8_t(i / 4);
    struct row {
        uint16_t header_size;
        bool tag;
        uint8_t marker;
        bool swizzled_in_file;
    };
    const row rows[] = {
        {48, false, 0, false}, {76, false, 0, false}, {76, true, 0x64, false}, {76, true, 0, true}};
    for (const auto& r : rows) {
        ps2_txd txd;
        ASSERT_TRUE(txd.create_empty(0x1803FFFF));
        const auto path = write_temp("p.tm2", make_tim2_bytes({.width = 32,
                                                               .height = 16,
                                                               .depth = 8,
                                                               .image = image,
                                                               .clut = clut,
                                                               .header_size = r.header_size,
                                                               .tag = r.tag,
                                                               .marker = r.marker}));
        ASSERT_TRUE(txd.add_tim2_texture(path, swizzle_mode::off)) << txd.last_error;
        EXPECT_TRUE(txd.is_swizzled(0));
        std::vector<uint8_t> stored;
        ASSERT_TRUE(ps2_plain_level(txd, 0, 0, stored));
        if (r.swizzled_in_file)
            EXPECT_NE(stored, image) << r.header_size; // brought to plain order
        else
            EXPECT_EQ(stored, image) << r.header_size << " " << r.tag;
    }
}

// Every TIM2 sample, added swizzled and plain, renders exactly like the picture in the file.
class EditTimSamples : public ::testing::TestWithParam<int> {};

TEST_P(EditTimSamples, AddedPictureRendersLikeTheFile) {
    SKIP_WITHOUT_SAMPLES();
    const auto files = sample_files(".tm2");
    ASSERT_FALSE(files.empty()) << "no .tm2 samples in " << samples_dir();
    const swizzle_mode swizzle = swizzle_mode_from_number(GetParam()).value();
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const reference_picture expected = decode_tim2_reference(read_file(file));
        ASSERT_TRUE(expected.error.empty()) << expected.error;
        ps2_txd txd;
        ASSERT_TRUE(txd.create_empty(0x1803FFFF));
        ASSERT_TRUE(txd.add_tim2_texture(file, swizzle)) << txd.last_error;
        EXPECT_EQ(txd.depth(0), expected.depth);
        EXPECT_EQ(txd.is_swizzled(0), expected.depth <= 8);

        // Through the saved file too, so the built layout is what the reader finds.
        const auto saved = temp_dir() / "added.txd";
        ASSERT_TRUE(txd.save(saved, 0));
        ps2_txd reopened;
        ASSERT_TRUE(reopened.load(saved, 0, 0x16, 0)) << reopened.last_error;
        for (ps2_txd* dictionary : {&txd, &reopened}) {
            auto picture =
                dictionary->render(0, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
            ASSERT_TRUE(picture) << dictionary->last_error;
            ASSERT_EQ(picture->width, expected.width);
            ASSERT_EQ(picture->height, expected.height);
            const int tolerance = expected.five_bit_colour ? 7 : 0;
            int mismatches = 0;
            for (uint32_t y = 0; y < expected.height && mismatches < 5; ++y)
                for (uint32_t x = 0; x < expected.width && mismatches < 5; ++x) {
                    const uint8_t* bgr = picture->top_row(y) + x * 3;
                    const uint8_t* rgba = expected.at(x, y);
                    if (std::abs(bgr[2] - rgba[0]) > tolerance ||
                        std::abs(bgr[1] - rgba[1]) > tolerance ||
                        std::abs(bgr[0] - rgba[2]) > tolerance) {
                        ++mismatches;
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(bgr[2]) << ","
                                      << int(bgr[1]) << "," << int(bgr[0]) << " but the file has "
                                      << int(rgba[0]) << "," << int(rgba[1]) << "," << int(rgba[2]);
                    }
                }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Edit, EditTimSamples, ::testing::Values(-1, 0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1   ? std::string("On")
                                    : info.param == 0 ? "Off"
                                                      : "Auto";
                         });

} // namespace

namespace {

// Position of pixel (x, y) in a swizzled raster of width w, in pixels (nibbles at 4 bits).
uint32_t reference_swizzle_offset(uint32_t x, uint32_t y, uint32_t w) {
    return ((y & ~3u) | ((y & 1) << 1)) * w + 2 * (x & ~15u) + 4 * ((((y + 2) & ~3u) + x) & 7) +
           ((x >> 2) & 2) + ((y >> 1) & 1);
}

uint8_t nibble(const std::vector<uint8_t>& bytes, uint64_t index) {
    return (index & 1) ? bytes[index / 2] >> 4 : bytes[index / 2] & 0x0F;
}

// A swizzled 4-bit texture 16 pixels wide is stored 32 pixels wide; its export holds the left
// 16 columns of the unswizzled 32-pixel rows.
TEST(EditExport, NarrowSwizzledTexturesExportTheLeftColumnsOfTheirStoredRows) {
    SKIP_WITHOUT_SAMPLES();
    ps2_txd txd;
    ASSERT_TRUE(txd.load(sample("sav4_HUD.TXD"), 0, 0x16, 0)) << txd.last_error;
    const uint32_t t = 1; // radar_tshirt, 16x16
    ASSERT_EQ(txd.width(t), 16u);
    ASSERT_EQ(txd.depth(t), 4u);
    ASSERT_TRUE(txd.is_swizzled(t));
    rw_chunk* data_chunk = txd.texture_chunk(t)->child(3)->child(1);
    const std::vector<uint8_t> data = *txd.load_data(data_chunk);
    ASSERT_GE(data.size(), 80u + 256);
    const std::vector<uint8_t> stored(data.begin() + 80, data.begin() + 80 + 256);

    const auto path = temp_dir() / "narrow.tm2";
    ASSERT_TRUE(txd.export_texture(t, view_mode::texture, export_type::tim2, &path,
                                   swizzle_mode::as_stored))
        << txd.last_error;
    const auto file = read_file(path);
    ASSERT_EQ(file.size(), 16u + 76 + 128 + 64);
    const std::vector<uint8_t> image(file.begin() + 92, file.begin() + 92 + 128);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            ASSERT_EQ(nibble(image, y * 16 + x), nibble(stored, reference_swizzle_offset(x, y, 32)))
                << x << "," << y;
    EXPECT_EQ(file[16 + 72], 0x64); // plain pixels

    // Replaced from a changed picture, the left columns take it and the right ones stay.
    auto changed = file;
    for (size_t i = 92; i < 92 + 128; ++i)
        changed[i] = uint8_t(changed[i] ^ 0xA5);
    const auto changed_path = write_temp("changed.tm2", changed);
    ASSERT_TRUE(txd.replace_texture(t, changed_path, export_type::tim2, false)) << txd.last_error;
    const std::vector<uint8_t> after(data_chunk->data->begin() + 80,
                                     data_chunk->data->begin() + 80 + 256);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 32; ++x) {
            const uint32_t at = reference_swizzle_offset(x, y, 32);
            if (x < 16)
                ASSERT_EQ(nibble(after, at),
                          nibble(image, y * 16 + x) ^ ((y * 16 + x) & 1 ? 0xA : 0x5))
                    << x << "," << y;
            else
                ASSERT_EQ(nibble(after, at), nibble(stored, at)) << x << "," << y;
        }
}

} // namespace

namespace {

// Game sizes are stored swizzled in padded transfer rectangles; other sizes whose swizzled layout
// the reader could not give back stay plain. Either way the exported picture is the one added.
TEST(EditAddTim, SmallAndOddSizesExportAsAdded) {
    struct row {
        uint32_t width, height, depth;
        bool swizzled;
    };
    const row rows[] = {{16, 16, 4, true}, {8, 8, 4, true},  {8, 8, 8, true}, {24, 8, 8, false},
                        {32, 6, 8, false}, {32, 8, 4, true}, {16, 4, 8, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height) + " " +
                     std::to_string(r.depth));
        std::vector<uint8_t> image(size_t(r.width) * r.height * r.depth / 8);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = uint8_t(i * 37 + 1);
        std::vector<uint8_t> clut(size_t(4) << r.depth);
        for (size_t i = 0; i < clut.size(); ++i)
            clut[i] = uint8_t(i % 4 == 3 ? 0x80 : i);
        const auto path = write_temp("s.tm2", make_tim2_bytes({.width = r.width,
                                                               .height = r.height,
                                                               .depth = r.depth,
                                                               .image = image,
                                                               .clut = clut}));
        ps2_txd txd;
        ASSERT_TRUE(txd.create_empty(0x1803FFFF));
        ASSERT_TRUE(txd.add_tim2_texture(path, swizzle_mode::on)) << txd.last_error;
        EXPECT_EQ(txd.is_swizzled(0), r.swizzled);
        if (!r.swizzled) {
            EXPECT_EQ(copy(txd.pixels(0, 0)), image);
        }
        // Exported again with the swizzle as stored, the picture is the one that came in.
        const auto again = temp_dir() / "again.tm2";
        ASSERT_TRUE(txd.export_texture(0, view_mode::texture, export_type::tim2, &again,
                                       swizzle_mode::as_stored))
            << txd.last_error;
        const auto bytes = read_file(again);
        ASSERT_EQ(bytes.size(), 16 + 76 + image.size() + clut.size());
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 92, bytes.begin() + 92 + long(image.size())),
                  image);
    }
}

} // namespace

} // namespace quillmap
