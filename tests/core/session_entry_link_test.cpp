// The session's link to the archive entry a dictionary came from: every way of replacing or
// rewriting the dictionary as a file of its own drops it.
#include "session/editor_session.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillmap {

namespace {
const archive_entry_link k_link{"/games/gta3.img", "flowerb.txd", 2048, 10240};

TEST(SessionEntryLink, OpenNewCloseAndSaveAsDropTheLinkAFailedOpenKeepsIt) {
    SKIP_WITHOUT_SAMPLES();
    const std::string file = sample("flowerb.txd").string();
    const std::string out = (temp_dir() / "out.txd").string();
    const std::pair<const char*, std::function<void(editor_session&)>> rows[] = {
        {"open", [&](editor_session& s) { s.open(file, 0, k_all_platforms); }},
        {"new", [](editor_session& s) { s.create_new(0x1803FFFF); }},
        {"close", [](editor_session& s) { s.close(); }},
        {"save as", [&](editor_session& s) { EXPECT_TRUE(s.save_as(out)) << s.last_error(); }},
    };
    for (const auto& [what, step] : rows) {
        SCOPED_TRACE(what);
        editor_session session;
        ASSERT_EQ(session.open(file, 0, k_all_platforms), open_status::opened);
        session.set_entry_link(k_link);
        ASSERT_TRUE(session.entry_link());
        step(session);
        EXPECT_FALSE(session.entry_link());
    }
    editor_session session;
    ASSERT_EQ(session.open(file, 0, k_all_platforms), open_status::opened);
    session.set_entry_link(k_link);
    EXPECT_EQ(session.open(sample("i8c16.tm2").string(), 0, k_all_platforms),
              open_status::unsupported);
    ASSERT_TRUE(session.entry_link());
    EXPECT_EQ(session.entry_link()->entry, "flowerb.txd");
    EXPECT_EQ(session.entry_link()->size, 10240u);
}
} // namespace

} // namespace quillmap
