// Exporting several textures: every texture is tried, failures are collected and named, a
// cancel stops between textures, and names that repeat never overwrite each other.
#include "session/editor_session.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;

struct export_case {
    const char* what;
    const char* in_the_way; // a folder of this name already where one export goes
    uint32_t stop_after;    // 0: never cancelled
    std::vector<std::string> written;
    std::vector<uint32_t> failed;
};

TEST(SessionExport, GoesOnAfterAFailureAndStopsOnlyWhenCancelled) {
    const export_case cases[] = {
        {"all written, repeated names numbered",
         nullptr,
         0,
         {"sky.png", "SKY_2.png", "road.png", "grass.png"},
         {}},
        {"a failure in the middle", "road.png", 0, {"sky.png", "SKY_2.png", "grass.png"}, {2}},
        {"cancelled after two", nullptr, 2, {"sky.png", "SKY_2.png"}, {}},
    };
    std::vector<test_chunk> textures;
    uint8_t seed = 1;
    for (const char* name : {"sky", "SKY", "road", "grass"})
        textures.push_back(
            make_ps2_texture({.name = name, .width = 16, .height = 16, .fill_seed = seed++}));
    const fs::path file = write_temp("four.txd", make_dictionary(std::move(textures)).bytes());
    editor_session session;
    ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
    const std::vector<uint32_t> all = {0, 1, 2, 3};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = temp_dir() / "out";
        if (c.in_the_way) fs::create_directories(folder / c.in_the_way / "x");
        export_report report;
        const auto progress = [&](uint32_t done, uint32_t, const std::string&) {
            return c.stop_after == 0 || done < c.stop_after;
        };
        ASSERT_TRUE(session.export_textures(all, folder, {}, report, progress))
            << session.last_error();
        EXPECT_EQ(report.done, c.stop_after ? c.stop_after : 4u);
        EXPECT_EQ(report.cancelled(), c.stop_after != 0);
        std::vector<std::string> written;
        for (const auto& path : report.written) {
            EXPECT_TRUE(fs::is_regular_file(path)) << path;
            written.push_back(path.filename().string());
        }
        EXPECT_EQ(written, c.written);
        std::vector<uint32_t> failed;
        for (const auto& failure : report.failures) {
            failed.push_back(failure.texture);
            EXPECT_FALSE(failure.error.empty());
        }
        EXPECT_EQ(failed, c.failed);
        // Nothing but the written files (and what was in the way) is left in the folder.
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            files += entry.is_regular_file();
        EXPECT_EQ(files, c.written.size());
    }
    EXPECT_FALSE(session.modified());
}

TEST(SessionExport, RefusesBeforeWritingWhenTheFolderCannotBeMade) {
    const fs::path file = write_temp(
        "one.txd", make_dictionary({make_ps2_texture({.width = 16, .height = 16})}).bytes());
    editor_session session;
    ASSERT_EQ(session.open(file.string(), 0, k_all_platforms), open_status::opened);
    const fs::path blocker = write_temp("blocker", {1, 2, 3});
    export_report report;
    const std::vector<uint32_t> one = {0};
    EXPECT_FALSE(session.export_textures(one, blocker / "out", {}, report));
    EXPECT_NE(session.last_error().find(blocker.string()), std::string::npos)
        << session.last_error();
    const std::vector<uint32_t> missing = {7};
    EXPECT_FALSE(session.export_textures(missing, temp_dir(), {}, report));
    EXPECT_TRUE(report.written.empty());
}
} // namespace

} // namespace quillmap
