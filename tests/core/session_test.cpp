// The editor session through its public operations, on real samples: opening with probing,
// refusals, the edit step and its observer, saving, and the recent-files rules.
#include "session/editor_session.h"
#include "session/recent_files.h"
#include "session/session_messages.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

// Keeps what the session reported, in order.
struct edit_log : edit_observer {
    std::vector<std::string> lines;
    void before_edit(const edit_record& edit, ps2_txd& txd) override {
        lines.push_back("before " + std::to_string(int(edit.kind)) + " " +
                        std::to_string(edit.texture) + " of " +
                        std::to_string(txd.texture_count()));
    }
    void after_edit(const edit_record&, bool applied) override {
        lines.push_back(applied ? "applied" : "refused");
    }
};

editor_session opened(const std::string& name) {
    editor_session session;
    EXPECT_EQ(session.open(sample(name).string(), 0, k_all_platforms), open_status::opened)
        << name << ": " << session.last_error();
    return session;
}

TEST(EditorSession, OpensByProbingAndRefusesWhatNoClassAccepts) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        open_status status;
        const char* platform;
        const char* import_refusal;
    };
    const row rows[] = {
        {"flowerb.txd", open_status::opened, "PS2", nullptr},
        {"AMBULAN.TXD", open_status::opened, "PC", nullptr},
        {"radar00.txd", open_status::opened, "XBOX", nullptr},
        {"i8c32.tm2", open_status::unsupported, "?", nullptr},
    };
    for (const row& r : rows) {
        editor_session session;
        EXPECT_EQ(session.open(sample(r.file).string(), 0, k_all_platforms), r.status) << r.file;
        EXPECT_STREQ(session.platform_name(), r.platform) << r.file;
        EXPECT_EQ(session.is_open(), r.status == open_status::opened) << r.file;
        const char* refusal = session.refusal(restrict_import);
        EXPECT_STREQ(refusal ? refusal : "", r.import_refusal ? r.import_refusal : "") << r.file;
        EXPECT_EQ(session.restriction_mask() & restrict_opening, 0u) << r.file;
        if (r.status == open_status::unsupported) {
            EXPECT_EQ(session.last_error(), session_msg::unsupported_file);
        }
    }
}

TEST(EditorSession, RefusedByTheCallerKeepsTheOpenDictionary) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session = opened("VEHICLE2.txd");
    uint32_t mask_seen = 0;
    const open_status status =
        session.open(sample("AMBULAN.TXD").string(), 0, k_all_platforms, [&](ps2_txd&) {
            mask_seen = session.restriction_mask();
            return false;
        });
    EXPECT_EQ(status, open_status::refused);
    EXPECT_TRUE(mask_seen & restrict_opening);
    ASSERT_TRUE(session.is_open());
    EXPECT_EQ(session.path(), sample("VEHICLE2.txd").string());
    EXPECT_EQ(session.dictionary()->texture_count(), 1u);
    EXPECT_EQ(session.restriction_mask(), 0u);
}

TEST(EditorSession, EditsPassTheObserverAndMarkTheSessionModified) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session = opened("cspolic.txd");
    edit_log log;
    session.set_observer(&log);
    EXPECT_FALSE(session.move_up(0));
    EXPECT_FALSE(session.modified());
    EXPECT_FALSE(session.last_error().empty());
    EXPECT_TRUE(session.rename(1, "renamed", name_kind::texture));
    EXPECT_TRUE(session.modified());
    EXPECT_TRUE(session.move_down(1));
    EXPECT_TRUE(session.remove(0));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"before 2 0 of 3", "refused", "before 0 1 of 3",
                                                   "applied", "before 3 1 of 3", "applied",
                                                   "before 1 0 of 3", "applied"}));
    EXPECT_EQ(session.dictionary()->texture_count(), 2u);
    EXPECT_EQ(session.dictionary()->texture_name(1, name_kind::texture), "renamed");
}

TEST(EditorSession, ImportDispatchesByTheFileType) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session = opened("VEHICLE2.txd");
    EXPECT_TRUE(session.import_file(sample("i4c32.tm2").string(), swizzle_mode::as_stored))
        << session.last_error();
    EXPECT_EQ(session.dictionary()->texture_count(), 2u);
    EXPECT_FALSE(
        session.import_file((temp_dir() / "picture.bmp").string(), swizzle_mode::as_stored));
    EXPECT_EQ(session.last_error(), session_msg::bmp_import);
    EXPECT_FALSE(session.import_file((temp_dir() / "x.tm2.d" / "picture").string(),
                                     swizzle_mode::as_stored));
    EXPECT_EQ(session.last_error(), session_msg::unknown_import);
    EXPECT_EQ(session.dictionary()->texture_count(), 2u);
}

TEST(EditorSession, SetVersionSaveAsAndReopen) {
    SKIP_WITHOUT_SAMPLES();
    editor_session session = opened("flowerb.txd");
    EXPECT_FALSE(session.set_version(0xFFFFFFFF));
    EXPECT_FALSE(session.modified());
    ASSERT_TRUE(session.set_version(0x1003FFFF));
    const std::string out = (temp_dir() / "stamped.txd").string();
    ASSERT_TRUE(session.save_as(out)) << session.last_error();
    EXPECT_EQ(session.path(), out);
    EXPECT_EQ(session.offset(), 0u);
    EXPECT_FALSE(session.modified());

    editor_session again = opened(out);
    EXPECT_EQ(again.dictionary()->root_version(), 0x1003FFFFu);
    EXPECT_EQ(again.dictionary()->texture_chunk(0)->version, 0x1003FFFFu);
    EXPECT_EQ(again.dictionary()->texture_count(), 2u);
}

TEST(RecentFiles, NewestFirstWithinTheLimitAndNoRepeatOfTheNewest) {
    const settings_file settings(temp_dir() / "Quillmap.ini");
    settings.write_int(2, "main", "recent_limit");
    const recent_files recent(settings);
    for (const char* path : {"/p/A", "/p/B", "/p/B", "", "/p/C", "/p/D", "/p/A"})
        recent.add(path);
    EXPECT_EQ(recent.entries(), (std::vector<std::string>{"/p/A", "/p/D", "/p/C"}));
    EXPECT_EQ(recent.newest(), "/p/A");
    EXPECT_EQ(recent.at(recent_files::k_max_entries), "");

    // A gap ends the list.
    settings.write_string("recent_files", "recent_01", "");
    EXPECT_EQ(recent.entries(), std::vector<std::string>{"/p/A"});

    EXPECT_FALSE(recent.autoload());
    recent.set_autoload(true);
    EXPECT_TRUE(recent.autoload());
}

TEST(RecentFiles, ALoweredLimitLeavesNoEntryTwice) {
    const settings_file settings(temp_dir() / "Quillmap.ini");
    const recent_files recent(settings);
    for (const char* path : {"/p/A", "/p/B", "/p/C", "/p/D"})
        recent.add(path);
    settings.write_int(1, "main", "recent_limit");
    recent.add("/p/B");
    EXPECT_EQ(recent.entries(), (std::vector<std::string>{"/p/B", "/p/D"}));
    // Relative names are stored absolute, so the same file is one entry.
    recent.add("rel.txd");
    recent.add((std::filesystem::current_path() / "rel.txd").string());
    EXPECT_EQ(recent.entries().front(), (std::filesystem::current_path() / "rel.txd").string());
    EXPECT_EQ(recent.entries().size(), 2u);
}

} // namespace

} // namespace quillmap
