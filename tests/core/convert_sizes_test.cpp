// Conversion to PS2 writes only sizes the game takes: other sides are scaled to the nearest
// allowed one and named; the filter of a texture that gains mip levels stays of its kind.
#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"
#include "session/editor_session.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
// A 32-bit PC texture of one colour.
test_chunk solid_pc_texture(const std::string& name, uint16_t width, uint16_t height,
                            uint32_t filter_flags = 0x1106) {
    pc_texture_desc desc;
    desc.name = name;
    desc.filter_flags = filter_flags;
    desc.width = width;
    desc.height = height;
    desc.depth = 32;
    desc.raster_format = 0x500;
    desc.format_word = {1, 0, 0, 0};
    std::vector<uint8_t> pixels;
    for (uint32_t i = 0; i < uint32_t(width) * height; ++i)
        pixels.insert(pixels.end(), {40, 160, 220, 255});
    desc.levels = {pixels};
    return make_pc_texture(desc);
}

const struct size_case {
    uint16_t width, height;
    uint32_t new_width, new_height; // 0: unchanged
} k_size_cases[] = {
    {48, 48, 64, 64}, {100, 20, 128, 16}, {2048, 16, 1024, 16}, {32, 64, 0, 0}, {40, 8, 32, 8},
};

// A PC dictionary holding one texture "texN" per row of k_size_cases.
std::filesystem::path write_size_cases(const std::filesystem::path& path) {
    std::vector<test_chunk> textures;
    for (size_t i = 0; i < std::size(k_size_cases); ++i)
        textures.push_back(solid_pc_texture("tex" + std::to_string(i), k_size_cases[i].width,
                                            k_size_cases[i].height));
    return write_file(path, make_dictionary(std::move(textures)).bytes());
}

// "texN: scaled from WxH to W'xH'", the note a conversion gives for row i.
std::string scaled_note(size_t i) {
    const auto& c = k_size_cases[i];
    return "tex" + std::to_string(i) + ": scaled from " + std::to_string(c.width) + "x" +
           std::to_string(c.height) + " to " + std::to_string(c.new_width) + "x" +
           std::to_string(c.new_height);
}
} // namespace

TEST(ConvertSizes, SidesTheGameRefusesAreScaledNamedAndLintClean) {
    const auto& cases = k_size_cases;
    const auto dir = temp_dir();
    const auto source = write_size_cases(dir / "pc.txd");

    const auto out = dir / "ps2.txd";
    const auto converted = run_cli({"convert", source.string(), "-o", out.string()});
    ASSERT_EQ(converted.exit_code, 0) << converted.err;
    ps2_txd ps2;
    ASSERT_TRUE(ps2.load(out, 0, 0x16, 0)) << ps2.last_error;
    ASSERT_EQ(ps2.texture_count(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(converted.out.find(scaled_note(i)) != std::string::npos, c.new_width != 0)
            << converted.out;
        EXPECT_EQ(ps2.width(uint32_t(i)), c.new_width ? c.new_width : c.width);
        EXPECT_EQ(ps2.height(uint32_t(i)), c.new_height ? c.new_height : c.height);
    }
    EXPECT_TRUE(lint_ps2_textures(ps2).empty());
    const auto lint = run_cli({"lint", out.string()});
    EXPECT_EQ(lint.exit_code, 0) << lint.out;

    // The window's conversion goes through the session and names them in its note.
    editor_session session;
    ASSERT_EQ(session.open(source.string(), 0, k_all_platforms), open_status::opened);
    const auto window_out = dir / "window.txd";
    ASSERT_TRUE(session.convert_to_ps2(window_out)) << session.last_error();
    EXPECT_NE(session.last_note().find("tex0: scaled from 48x48 to 64x64"), std::string::npos)
        << session.last_note();
    ps2_txd again;
    ASSERT_TRUE(again.load(window_out, 0, 0x16, 0));
    EXPECT_EQ(again.width(0), 64u);
}

// Batch convert runs the same rule as convert: the dictionary it writes is the one convert
// writes, byte for byte, and its report carries the same notes, in text and JSON alike.
TEST(ConvertSizes, BatchConvertScalesAndNamesAsConvertDoes) {
    const auto dir = temp_dir();
    std::filesystem::create_directories(dir / "in");
    const auto source = write_size_cases(dir / "in" / "pc.txd");
    const auto single = dir / "single.txd";
    ASSERT_EQ(run_cli({"convert", source.string(), "-o", single.string()}).exit_code, 0);
    const struct {
        const char* format; // "" for text
        std::string (*shown)(size_t);
    } reports[] = {
        {"", [](size_t i) { return "  " + scaled_note(i) + "\n"; }},
        {"--json", [](size_t i) { return "\"" + scaled_note(i) + "\""; }},
    };
    for (const auto& report : reports) {
        SCOPED_TRACE(*report.format ? report.format : "text");
        const auto out = temp_dir();
        std::vector<std::string> args = {"batch", "convert",    (dir / "in").string(),
                                         "-o",    out.string(), "--quiet"};
        if (*report.format) args.push_back(report.format);
        const auto batch = run_cli(args);
        ASSERT_EQ(batch.exit_code, 0) << batch.out << batch.err;
        EXPECT_EQ(read_file(out / "in" / "pc.txd"), read_file(single));
        for (size_t i = 0; i < std::size(k_size_cases); ++i)
            EXPECT_EQ(batch.out.find(report.shown(i)) != std::string::npos,
                      k_size_cases[i].new_width != 0)
                << batch.out;
    }
    ps2_txd ps2;
    ASSERT_TRUE(ps2.load(single, 0, 0x16, 0)) << ps2.last_error;
    EXPECT_TRUE(lint_ps2_textures(ps2).empty());
}

// The source's filter travels with the texture; gaining mip levels makes it the mip variant of
// the same filter.
TEST(ConvertSizes, FiltersStayOfTheirKind) {
    const struct {
        uint32_t flags;
        const char* mips;
        uint32_t expected;
    } cases[] = {
        {0x1101, "auto", 0x1103}, {0x1102, "auto", 0x1106}, {0x3301, "1", 0x3301},
        {0x1102, "1", 0x1102},    {0x1106, "auto", 0x1106}, {0x1103, "auto", 0x1103},
    };
    const auto dir = temp_dir();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.flags) + " mips " + c.mips);
        std::vector<test_chunk> textures;
        textures.push_back(solid_pc_texture("t", 64, 64, c.flags));
        const auto source = write_file(dir / "f.txd", make_dictionary(std::move(textures)).bytes());
        const auto out = dir / "f_ps2.txd";
        ASSERT_EQ(
            run_cli({"convert", source.string(), "-o", out.string(), "--mips", c.mips}).exit_code,
            0);
        ps2_txd ps2;
        ASSERT_TRUE(ps2.load(out, 0, 0x16, 0));
        EXPECT_EQ(ps2.texture_flags(0), c.expected);
    }
}

} // namespace quillmap
