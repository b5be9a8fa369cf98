// A picture file cut short: the reader's words (what was read, at which offset, how much was
// left) reach the session's error detail and the command line's stderr, under the program's own
// message.
#include "raster/raster_messages.h"
#include "run_cli.h"
#include "session/editor_session.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

struct cut_picture {
    const char* name;
    export_type type;
    size_t keep;         // bytes of the exported file kept
    bool replace;        // replace texture 0, else add the file as a new texture
    const char* message; // the program's message
    const char* detail;  // what the reader said
};

TEST(ErrorDetail, PicturesCutShortNameTheFieldAndOffset) {
    const auto dir = temp_dir();
    const auto file = write_file(
        dir / "d.txd",
        make_dictionary({make_ps2_texture({.name = "t", .width = 16, .height = 16, .depth = 8})})
            .bytes());
    const cut_picture rows[] = {
        {"TIM2 cut in its file header", export_type::tim2, 10, false, raster_msg::not_valid_tim2,
         "TIM2 file header at offset 8 needs 8 bytes, only 2 remain"},
        {"TIM2 cut in its pixels", export_type::tim2, 100, false, raster_msg::not_valid_tim2,
         "TIM2 image data at offset 92 needs 256 bytes, only 8 remain"},
        {"BMP cut in its info header", export_type::bmp, 30, true, raster_msg::not_valid_bmp,
         "BMP info header at offset 14 needs 40 bytes, only 16 remain"},
        {"BMP cut in its rows", export_type::bmp, 1100, true, raster_msg::not_valid_bmp,
         "BMP pixel rows at offset 1078 needs 256 bytes, only 22 remain"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        editor_session session;
        ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
        const auto picture = dir / (std::string("p") + export_extension(row.type));
        ASSERT_TRUE(session.export_texture(0, view_mode::texture, row.type, &picture,
                                           swizzle_mode::as_stored));
        auto bytes = read_file(picture);
        ASSERT_GT(bytes.size(), row.keep);
        bytes.resize(row.keep);
        write_file(picture, bytes);

        const bool done = row.replace
                              ? session.replace(0, picture.string(), false)
                              : session.import_file(picture.string(), swizzle_mode::as_stored);
        EXPECT_FALSE(done);
        EXPECT_EQ(session.last_error(), row.message);
        EXPECT_EQ(session.error_detail(), row.detail);

        const cli_result cli = row.replace
                                   ? run_cli({"replace", file.string(), "-t", "0", picture.string(),
                                              "-o", (dir / "out.txd").string()})
                                   : run_cli({"add", file.string(), picture.string(), "-o",
                                              (dir / "out.txd").string()});
        EXPECT_EQ(cli.exit_code, 1);
        EXPECT_NE(cli.err.find(std::string(row.message) + "\n" + row.detail), std::string::npos)
            << cli.err;
    }
}

} // namespace

} // namespace quillmap
