#include "platform/profile.h"
#include "platform/settings.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quillmap {

namespace {

std::filesystem::path ini_with(const std::string& text) {
    const auto path = temp_dir() / "test.ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string text_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(IniRead, MissingFileGivesDefaults) {
    const auto path = temp_dir() / "absent.ini";
    EXPECT_EQ(profile_read_string(path, "main", "key", "fallback", 512), "fallback");
    EXPECT_EQ(profile_read_int(path, "main", "key", 77), 77);
    EXPECT_EQ(profile_read_section(path, "rw_version", 1024), std::string(1, '\0'));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(IniRead, NamesCompareWithoutCaseAndFirstMatchWins) {
    const auto path = ini_with("[Main]\nEnable_Info=1\nenable_info=2\n[main]\nenable_info=3\n");
    EXPECT_EQ(profile_read_int(path, "main", "enable_info", 0), 1);
    EXPECT_EQ(profile_read_int(path, "MAIN", "ENABLE_INFO", 0), 1);
    EXPECT_EQ(profile_read_int(path, "other", "enable_info", 9), 9);
}

struct int_case {
    const char* value_line;
    int32_t expected;
};

class IniIntRules : public ::testing::TestWithParam<int_case> {};

TEST_P(IniIntRules, ReadsLeadingDecimal) {
    const auto path = ini_with(std::string("[main]\n") + GetParam().value_line + "\n");
    EXPECT_EQ(profile_read_int(path, "main", "k", 55), GetParam().expected)
        << GetParam().value_line;
}

INSTANTIATE_TEST_SUITE_P(Values, IniIntRules,
                         ::testing::Values(int_case{"k=12", 12}, int_case{"k=12abc", 12},
                                           int_case{"k=abc", 0}, int_case{"k=", 55},
                                           int_case{"k=   ", 55}, int_case{"k=-40", -40},
                                           int_case{"k = 7 ", 7}, int_case{"k=\"\"", 55},
                                           int_case{"k=99999999999999999999", 2147483647},
                                           int_case{"k=-99999999999999999999", -2147483647 - 1},
                                           int_case{"j=3", 55}));

TEST(IniRead, EmptyStringValueIsMissing) {
    const auto path = ini_with("[main]\nname=\nother=x\n");
    EXPECT_EQ(profile_read_string(path, "main", "name", "def", 512), "def");
    EXPECT_EQ(profile_read_string(path, "main", "name", "", 512), "");
    EXPECT_EQ(profile_read_string(path, "main", "other", "def", 512), "x");
}

TEST(IniRead, BufferLimitsCutLongValues) {
    const std::string long_value(600, 'a');
    const auto path =
        ini_with("[main]\nlong=" + long_value + "\nprio=" + std::string(80, 'P') + "\n");
    EXPECT_EQ(profile_read_string(path, "main", "long", "", k_setting_buffer).size(), 511u);
    EXPECT_EQ(profile_read_string(path, "main", "prio", "", k_priority_buffer).size(), 59u);
    EXPECT_EQ(profile_read_string(path, "main", "prio", "", k_name_buffer).size(), 63u);
}

TEST(IniRead, SurroundingBlanksAndQuotesAreRemoved) {
    const auto path = ini_with("[ main ]\n  name  =  \"GTA III\"  \r\nsingle='x'\n");
    EXPECT_EQ(profile_read_string(path, "main", "name", "", 512), "GTA III");
    EXPECT_EQ(profile_read_string(path, "main", "single", "", 512), "x");
}

TEST(IniRead, SingleByteEncodingReadsAsBytes) {
    // "Ñandú" in Latin-1, as a hand-edited file on another system would hold it.
    const std::string latin1 = "\xD1"
                               "and\xFA";
    const auto path = ini_with("[rw_version]\n0x1803FFFF=" + latin1 + "\n[M\xC4IN]\nk=1\n");
    EXPECT_EQ(profile_read_string(path, "rw_version", "0x1803ffff", "", 64), latin1);
    EXPECT_EQ(profile_read_int(path, "M\xC4IN", "k", 0), 1);
}

TEST(IniRead, CommentsAndLinesWithoutEqualsNeverGiveValues) {
    const auto path = ini_with("[main]\n;k=1\nk\nk=5\n");
    EXPECT_EQ(profile_read_int(path, "main", "k", 9), 9); // the bare "k" line is the first match
    EXPECT_EQ(profile_read_int(path, "main", ";k", 9), 9);
}

TEST(IniWrite, CreatesFileSectionAndKey) {
    const auto path = temp_dir() / "new.ini";
    ASSERT_TRUE(profile_write_string(path, "main", "pos_left", "12"));
    EXPECT_EQ(profile_read_int(path, "main", "pos_left", 0), 12);
    ASSERT_TRUE(profile_write_string(path, "recent_files", "recent_00", "/a b/c.txd"));
    EXPECT_EQ(profile_read_string(path, "recent_files", "recent_00", "", 512), "/a b/c.txd");
    EXPECT_EQ(text_of(path), "[main]\npos_left=12\n[recent_files]\nrecent_00=/a b/c.txd\n");
}

TEST(IniWrite, UpdatesInPlaceKeepingEveryOtherLine) {
    const std::string before = "; my settings\r\n[Main]\r\nenable_info=0\r\n\r\n; window\r\n"
                               "pos_left=5\r\n\r\n[rw_version]\r\n0x1803FFFF=GTA SA\r\n";
    const auto path = ini_with(before);
    ASSERT_TRUE(profile_write_string(path, "main", "POS_LEFT", "-20"));
    ASSERT_TRUE(profile_write_string(path, "main", "pos_top", "30"));
    EXPECT_EQ(text_of(path), "; my settings\r\n[Main]\r\nenable_info=0\r\n\r\n; window\r\n"
                             "POS_LEFT=-20\r\npos_top=30\r\n\r\n[rw_version]\r\n0x1803FFFF=GTA "
                             "SA\r\n");
    EXPECT_EQ(profile_read_int(path, "main", "pos_left", 0), -20);
}

TEST(IniWrite, RefusesNamesThatCouldNotBeReadBack) {
    const auto path = temp_dir() / "refuse.ini";
    EXPECT_FALSE(profile_write_string(path, "main", "a=b", "1"));
    EXPECT_FALSE(profile_write_string(path, "ma]in", "a", "1"));
    EXPECT_FALSE(profile_write_string(path, "main", "a\nb", "1"));
    ASSERT_TRUE(profile_write_string(path, "main", "a", "one\ntwo"));
    EXPECT_EQ(profile_read_string(path, "main", "a", "", 512), "one two");
}

TEST(IniWrite, UnwritableFolderReportsFailure) {
    const auto path = temp_dir() / "no_such_folder" / "x.ini";
    EXPECT_FALSE(profile_write_string(path, "main", "a", "1"));
}

TEST(IniSection, VersionKeysInFileOrder) {
    const auto path = ini_with("[main]\nx=1\n[rw_version]\n0x1803FFFF=GTA San Andreas\n"
                               "; comment\n0x0C02FFFF=GTA Vice City\nbare line\n[other]\ny=2\n");
    const std::vector<std::string> expected = {"0x1803FFFF", "0x0C02FFFF", "bare line"};
    EXPECT_EQ(version_keys(path), expected);
}

TEST(IniSection, BlockOf1024CharactersDropsLinesThatDoNotFit) {
    std::string text = "[rw_version]\n";
    // Each line is 10 + 1 + 89 = 100 characters, 101 with its NUL: ten fit in 1024, the
    // eleventh would need 1112.
    for (int i = 0; i < 12; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "0x%08X", 0x1000 + i);
        text += std::string(key) + "=" + std::string(89, 'n') + "\n";
    }
    const auto path = ini_with(text);
    const auto keys = version_keys(path);
    ASSERT_EQ(keys.size(), 10u);
    EXPECT_EQ(keys.front(), "0x00001000");
    EXPECT_EQ(keys.back(), "0x00001009");
    const std::string block = profile_read_section(path, "rw_version", 1024);
    EXPECT_LE(block.size(), 1024u);
}

TEST(IniSection, EmptyOrMissingSectionHasNoKeys) {
    EXPECT_TRUE(version_keys(ini_with("[rw_version]\n\n[main]\na=1\n")).empty());
    EXPECT_TRUE(version_keys(ini_with("[main]\na=1\n")).empty());
}

TEST(IniRead, OversizedFileCountsAsUnreadable) {
    const auto path = temp_dir() / "huge.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << "[main]\nk=4\n";
        out.seekp(static_cast<std::streamoff>(k_profile_max_bytes) + 10);
        out << "x";
    }
    EXPECT_EQ(profile_read_int(path, "main", "k", 3), 3);
    EXPECT_FALSE(
        profile_write_string(path, "main", "k", "5")); // never truncates what it cannot read
}

} // namespace

} // namespace quillmap
