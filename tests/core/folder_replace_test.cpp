// Replace All from Folder: each texture takes the picture named after it, one undo step takes
// them all back, and the report says what was replaced, what was skipped and why.
#include "imageio/png_codec.h"
#include "pc_builders.h"
#include "run_cli.h"
#include "session/edit_history.h"
#include "session/editor_session.h"
#include "session/texture_export.h"
#include "session_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillmap {

namespace {
std::vector<uint8_t> dictionary_of(std::initializer_list<std::pair<const char*, uint8_t>> named) {
    std::vector<test_chunk> textures;
    for (const auto& [name, seed] : named)
        textures.push_back(make_ps2_texture(
            {.name = name, .width = 16, .height = 16, .depth = 8, .fill_seed = seed}));
    return make_dictionary(std::move(textures)).bytes();
}

std::vector<uint8_t> rendered(editor_session& session, uint32_t t) {
    const device_bitmap picture =
        session.dictionary()->render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0);
    return picture ? picture->bytes : std::vector<uint8_t>{};
}

const folder_replacement* row_of(const std::vector<folder_replacement>& report,
                                 const std::string& texture, const std::string& file) {
    for (const auto& row : report)
        if (row.texture == texture && row.file == file) return &row;
    return nullptr;
}
} // namespace

TEST(FolderReplace, EachTextureTakesThePictureNamedAfterIt) {
    const auto dir = temp_dir();
    const auto pictures = dir / "edited";
    std::filesystem::create_directories(pictures);
    // The edited pictures: textures of another dictionary, exported under these names.
    const auto source_path = write_file(dir / "source.txd", dictionary_of({{"A", 7}, {"b", 8}}));
    editor_session source;
    ASSERT_EQ(source.open(source_path.string(), 0, k_all_platforms), open_status::opened);
    struct picture {
        uint32_t texture;
        const char* file;
        export_type type;
    };
    for (const picture& p :
         {picture{0, "a.png", export_type::png}, picture{1, "b.png", export_type::png},
          picture{1, "B.bmp", export_type::bmp}, picture{1, "stray.png", export_type::png}}) {
        const auto out = pictures / p.file;
        ASSERT_TRUE(source.export_texture(p.texture, view_mode::texture, p.type, &out,
                                          swizzle_mode::as_stored));
    }

    const auto target_path =
        write_file(dir / "target.txd", dictionary_of({{"a", 1}, {"b", 2}, {"c", 3}}));
    editor_session session;
    edit_history history(session);
    ASSERT_EQ(session.open(target_path.string(), 0, k_all_platforms), open_status::opened);
    const std::vector<uint8_t> before = saved_bytes(session, dir);
    const std::vector<uint8_t> c_before = rendered(session, 2);

    std::vector<folder_replacement> report;
    ASSERT_TRUE(session.replace_all_from_folder(pictures, report)) << session.last_error();
    struct expected {
        std::string texture, file;
        bool replaced;
        std::string why;
    };
    const expected rows[] = {
        {"a", "a.png", true, ""},
        {"b", "b.png", true, ""},
        {"b", "B.bmp", false, "another picture of this name was used: b.png"},
        {"c", "", false, "no picture of this name"},
        {"", "stray.png", false, "no texture of this name"},
    };
    EXPECT_EQ(report.size(), std::size(rows));
    for (const expected& e : rows) {
        const folder_replacement* row = row_of(report, e.texture, e.file);
        ASSERT_NE(row, nullptr) << e.texture << "/" << e.file;
        EXPECT_EQ(row->replaced, e.replaced) << e.texture << "/" << e.file;
        if (!e.replaced) {
            EXPECT_EQ(row->why, e.why) << e.texture << "/" << e.file;
        }
    }
    EXPECT_EQ(rendered(session, 0), rendered(source, 0));
    EXPECT_EQ(rendered(session, 1), rendered(source, 1));
    EXPECT_EQ(rendered(session, 2), c_before);
    EXPECT_TRUE(session.modified());

    // One step back restores the dictionary byte for byte.
    ASSERT_TRUE(history.undo());
    EXPECT_FALSE(history.can_undo());
    EXPECT_EQ(saved_bytes(session, dir), before);

    // The command line does the same and writes the result.
    const auto out = dir / "cli.txd";
    const auto result =
        run_cli({"replace-all", target_path.string(), pictures.string(), "-o", out.string()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("replaced a from a.png"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("skipped c: no picture of this name"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("2 of 3 textures replaced"), std::string::npos) << result.out;
    editor_session written;
    ASSERT_EQ(written.open(out.string(), 0, k_all_platforms), open_status::opened);
    EXPECT_EQ(rendered(written, 0), rendered(source, 0));
}

TEST(FolderReplace, AFolderThatCannotBeReadIsAnError) {
    const auto dir = temp_dir();
    const auto path = write_file(dir / "t.txd", dictionary_of({{"a", 1}}));
    editor_session session;
    ASSERT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened);
    std::vector<folder_replacement> report;
    EXPECT_FALSE(session.replace_all_from_folder(dir / "missing", report));
    EXPECT_NE(session.last_error().find("Cannot read the folder"), std::string::npos);
    EXPECT_FALSE(session.modified());
}

// A picture put back from a folder goes through the same replace as Texture -> Replace does:
// the dictionary ends byte for byte as a replace of that texture from that file leaves it.
TEST(FolderReplace, PutsBackEachPictureAsReplaceDoes) {
    pc_texture_desc pc;
    pc.name = "a";
    pc.depth = 32;
    pc.raster_format = 0x500;
    pc.levels = {std::vector<uint8_t>(8 * 8 * 4, 0x40)};
    struct row {
        const char* what;
        std::vector<uint8_t> dictionary;
        export_type picture;
    };
    const row rows[] = {
        {"PS2 32-bit from DDS",
         make_dictionary({make_ps2_texture({.name = "a", .width = 8, .height = 8, .depth = 32})})
             .bytes(),
         export_type::dds},
        {"PC 8888 from PNG", make_dictionary({make_pc_texture(pc)}).bytes(), export_type::png},
        {"PC 8888 from DDS", make_dictionary({make_pc_texture(pc)}).bytes(), export_type::dds},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        const auto dir = temp_dir();
        const auto donor_path = write_file(
            dir / "donor.txd",
            make_dictionary(
                {make_ps2_texture(
                    {.name = "a", .width = 8, .height = 8, .depth = 32, .fill_seed = 9})})
                .bytes());
        editor_session donor;
        ASSERT_EQ(donor.open(donor_path.string(), 0, k_all_platforms), open_status::opened);
        const auto pictures = dir / "edited";
        std::filesystem::create_directories(pictures);
        const auto picture =
            pictures / (std::string("a") + (r.picture == export_type::png ? ".png" : ".dds"));
        ASSERT_TRUE(donor.export_texture(0, view_mode::texture, r.picture, &picture,
                                         swizzle_mode::as_stored));

        const auto path = write_file(dir / "t.txd", r.dictionary);
        editor_session by_folder, by_replace;
        ASSERT_EQ(by_folder.open(path.string(), 0, k_all_platforms), open_status::opened);
        ASSERT_EQ(by_replace.open(path.string(), 0, k_all_platforms), open_status::opened);
        ASSERT_TRUE(by_replace.replace(0, picture.string(), false)) << by_replace.last_error();
        std::vector<folder_replacement> report;
        ASSERT_TRUE(by_folder.replace_all_from_folder(pictures, report));
        ASSERT_EQ(report.size(), 1u);
        EXPECT_TRUE(report[0].replaced) << report[0].why;
        EXPECT_EQ(saved_bytes(by_folder, dir), saved_bytes(by_replace, dir));
    }
}

// Export All and Replace All with no edit in between change no byte: a picture that is what the
// texture shows leaves the texture alone (DXT blocks are not encoded anew). An edited picture
// is put back, and only that one.
TEST(FolderReplace, AnUneditedExportPutBackChangesNoByte) {
    // Blocks of noise: any encoder would choose other ones for their picture.
    uint32_t state = 2024;
    const auto noise = [&state](size_t bytes) {
        std::vector<uint8_t> out(bytes);
        for (uint8_t& b : out) {
            state = state * 1103515245u + 12345u;
            b = uint8_t(state >> 16);
        }
        return out;
    };
    const auto dxt = [&](const char* name, uint8_t compression, size_t block_bytes) {
        pc_texture_desc desc;
        desc.platform = 9;
        desc.name = name;
        desc.width = 16;
        desc.height = 16;
        desc.compression = compression;
        desc.raster_format = compression == 8 ? 0x200 : 0x300;
        desc.format_word = {'D', 'X', 'T', uint8_t(compression == 8 ? '1' : '3')};
        desc.levels = {noise(16 * block_bytes)};
        return make_pc_texture(desc);
    };
    mobile_texture_desc mobile;
    mobile.platform = 9;
    mobile.name = "m_dxt1";
    mobile.width = 16;
    mobile.height = 16;
    mobile.data = noise(16 * 8);
    struct row {
        const char* what;
        std::vector<uint8_t> dictionary;
        std::vector<std::string> names;
    };
    const row rows[] = {
        {"D3D9 DXT1 and DXT3",
         make_dictionary({dxt("dxt1", 8, 8), dxt("dxt3", 9, 16), dxt("dxt1b", 8, 8)}).bytes(),
         {"dxt1", "dxt3", "dxt1b"}},
        {"mobile DXT1", mobile_dictionary_bytes({mobile}), {"m_dxt1"}},
        {"PS2 8 and 32 bits",
         make_dictionary(
             {make_ps2_texture({.name = "p8", .width = 16, .height = 16, .depth = 8}),
              make_ps2_texture({.name = "p32", .width = 16, .height = 16, .depth = 32})})
             .bytes(),
         {"p8", "p32"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        const auto dir = temp_dir();
        const auto path = write_file(dir / "t.txd", r.dictionary);
        editor_session session;
        ASSERT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened);
        const std::vector<uint8_t> before = saved_bytes(session, dir);
        std::vector<uint32_t> all(session.dictionary()->texture_count());
        for (uint32_t t = 0; t < all.size(); ++t)
            all[t] = t;
        const auto folder = dir / "exported";
        export_report exported;
        ASSERT_TRUE(session.export_textures(all, folder, {}, exported));
        ASSERT_EQ(exported.written.size(), all.size());

        std::vector<folder_replacement> report;
        ASSERT_TRUE(session.replace_all_from_folder(folder, report)) << session.last_error();
        ASSERT_EQ(report.size(), r.names.size());
        for (const folder_replacement& line : report) {
            EXPECT_FALSE(line.replaced) << line.texture;
            EXPECT_EQ(line.why, "unchanged: the picture is what the texture shows");
        }
        EXPECT_FALSE(session.modified());
        EXPECT_EQ(saved_bytes(session, dir), before);

        // One pixel of the first picture edited: that texture alone is put back.
        const auto edited = folder / (r.names.front() + ".png");
        png_picture picture;
        std::string error;
        ASSERT_TRUE(read_png_file(edited, picture, error)) << error;
        rgba_image image = picture.image;
        image.rgba[0] = uint8_t(image.rgba[0] ^ 0x80);
        write_file(edited, encode_png_rgba(image, error));
        ASSERT_TRUE(session.replace_all_from_folder(folder, report));
        for (const folder_replacement& line : report)
            EXPECT_EQ(line.replaced, line.texture == r.names.front())
                << line.texture << ": " << line.why;
        EXPECT_TRUE(session.modified());
    }
}

} // namespace quillmap
