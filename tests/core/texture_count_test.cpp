// The dictionary Struct's count is a 16-bit field: no texture of a dictionary with more than 255
// is dropped, and a count that disagrees with the stored textures is told, never acted on in
// silence.
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"
#include "imageio/png_codec.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace quillmap {

namespace {
std::string texture_name(uint32_t t) {
    char name[8];
    std::snprintf(name, sizeof name, "t%03u", t);
    return name;
}

// `stored` small textures whose dictionary Struct says `count` (PS2 device id 6 above it).
std::filesystem::path dictionary_file(const std::filesystem::path& dir, uint32_t stored,
                                      uint32_t count) {
    std::vector<test_chunk> textures;
    for (uint32_t t = 0; t < stored; ++t)
        textures.push_back(make_ps2_texture({.name = texture_name(t),
                                             .width = 8,
                                             .height = 8,
                                             .depth = 4,
                                             .fill_seed = uint8_t(t)}));
    test_chunk dictionary = make_dictionary(std::move(textures));
    dictionary.children[0].data = u32_bytes({0x00060000u | count});
    return write_file(dir / ("d" + std::to_string(stored) + "_" + std::to_string(count) + ".txd"),
                      dictionary.bytes());
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}
} // namespace

TEST(TextureCount, ThreeHundredTexturesAreListedConvertedAndSavedWhole) {
    const auto dir = temp_dir();
    const auto file = dictionary_file(dir, 300, 300);
    editor_session session;
    ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
    ps2_txd& txd = *session.dictionary();
    ASSERT_EQ(txd.texture_count(), 300u);
    EXPECT_EQ(txd.texture_name(299, name_kind::texture), "t299");
    EXPECT_EQ(txd.count_disagreement(), "");

    const auto listed = run_cli({"list", file.string(), "--json"});
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_EQ(occurrences(listed.out, "\"index\":"), 300u);

    const auto converted = dir / "converted.txd";
    ASSERT_EQ(run_cli({"convert", file.string(), "-o", converted.string()}).exit_code, 0);
    const auto saved = dir / "saved.txd";
    ASSERT_TRUE(session.save_as(saved.string())) << session.last_error();
    for (const auto& written : {converted, saved}) {
        ps2_txd reopened;
        ASSERT_TRUE(reopened.load(written, 0, 0x16, 0)) << written;
        EXPECT_EQ(reopened.texture_count(), 300u) << written;
        EXPECT_EQ(reopened.stored_texture_count(), 300u) << written;
        EXPECT_EQ(reopened.texture_name(299, name_kind::texture), "t299") << written;
    }

    // More are never added: the game's own tools store at most 255.
    rgba_image picture{8, 8, std::vector<uint8_t>(8 * 8 * 4, 90)};
    std::string error;
    const auto png = write_file(dir / "extra.png", encode_png_rgba(picture, error));
    EXPECT_FALSE(session.import_file(png.string(), swizzle_mode::as_stored));
    EXPECT_EQ(session.last_error(), "A texture dictionary holds at most 255 textures.");
    EXPECT_EQ(txd.texture_count(), 300u);

    // Both lints say so.
    const auto lint = run_cli({"lint", file.string(), "--json"});
    EXPECT_NE(lint.out.find("\"texture\":null,\"name\":\"\",\"what\":\"more than 255 textures\","
                            "\"found\":\"300\""),
              std::string::npos)
        << lint.out;
    const auto batch = run_cli({"batch", "lint", file.string()});
    EXPECT_NE(batch.out.find("holds 300 textures, more than 255"), std::string::npos)
        << batch.out << batch.err;
}

TEST(TextureCount, ACountThatDisagreesWithTheStoredTexturesIsTold) {
    const struct {
        uint32_t stored, count;
        uint32_t textures; // what the dictionary then holds
        std::string message;
    } cases[] = {
        {3, 3, 3, ""},
        {3, 1, 3, "The dictionary says it holds 1 textures but 3 are stored; all 3 are kept."},
        {2, 5, 5,
         "The dictionary says it holds 5 textures but 2 are stored; the missing ones cannot be "
         "shown."},
        {300, 44, 300,
         "The dictionary says it holds 44 textures but 300 are stored; all 300 are kept."},
    };
    const auto dir = temp_dir();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " stored, count " + std::to_string(c.count));
        const auto file = dictionary_file(dir, c.stored, c.count);
        ps2_txd txd;
        ASSERT_TRUE(txd.load(file, 0, 0x16, 0)) << txd.last_error;
        EXPECT_EQ(txd.texture_count(), c.textures);
        EXPECT_EQ(txd.count_disagreement(), c.message);
        EXPECT_EQ(txd.texture_name(c.stored - 1, name_kind::texture), texture_name(c.stored - 1));
        const auto listed = run_cli({"list", file.string()});
        EXPECT_EQ(listed.err.find(c.message) != std::string::npos, true) << listed.err;
        const auto problems = lint_ps2_textures(txd);
        const bool told = std::any_of(problems.begin(), problems.end(), [](const ps2_problem& p) {
            return p.whole_dictionary && p.what == k_count_disagrees_what;
        });
        EXPECT_EQ(told, !c.message.empty());
    }
}

} // namespace quillmap
