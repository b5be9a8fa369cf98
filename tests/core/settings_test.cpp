#include "platform/settings.h"
#include "platform/system.h"
#include "platform/ui_host.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace quillmap {

namespace {

TEST(SettingsFile, KeysTakeTheirDefaultsWithoutAFile) {
    const settings_file settings(temp_dir() / "Quillmap.ini");
    EXPECT_EQ(settings.read_int("main", "enable_info", 0), 0);
    EXPECT_EQ(settings.read_int("main", "enable_thumbs", 1), 1);
    EXPECT_EQ(settings.read_string("main", "platform_priority", "PS2,PC,iOS", k_priority_buffer),
              "PS2,PC,iOS");
    EXPECT_EQ(settings.read_string("recent_files", "recent_00"), "");
}

TEST(SettingsFile, IntegersRoundTripWithTheirSign) {
    const settings_file settings(temp_dir() / "Quillmap.ini");
    for (int32_t value : {0, 1, -1, -32000, 2147483647, -2147483647 - 1}) {
        ASSERT_TRUE(settings.write_int(value, "main", "pos_left"));
        EXPECT_EQ(settings.read_int("main", "pos_left", 5), value);
    }
}

TEST(SettingsPath, BesideAWritableExecutable) {
    const auto folder = temp_dir();
    EXPECT_EQ(settings_path_for(folder / "quillmap"), folder / "Quillmap.ini");
    // The write probe leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(SettingsPath, ConfigFolderWhenTheExecutableFolderIsReadOnly) {
    const auto folder = temp_dir() / "bin";
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    {
        std::ofstream probe(folder / "probe");
        if (probe) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
            GTEST_SKIP() << "running with rights that ignore folder permissions";
        }
    }
    const auto config = temp_dir() / "config";
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const auto path = settings_path_for(folder / "quillmap");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_EQ(path, config / "Quillmap" / "Quillmap.ini");
    EXPECT_TRUE(std::filesystem::is_directory(config / "Quillmap"));
}

TEST(SettingsPath, ConfigFolderWhenTheExecutableFolderCannotBeWritten) {
    // A folder that does not exist cannot take a file, whatever our rights.
    const auto folder = temp_dir() / "not_there";
    const auto config = temp_dir() / "xdg";
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const auto path = settings_path_for(folder / "quillmap");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(path, config / "Quillmap" / "Quillmap.ini");
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(SettingsPath, ExecutablePathIsTheProgramNotTheCurrentFolder) {
    const auto self = executable_path("whatever");
    EXPECT_TRUE(self.is_absolute());
    EXPECT_TRUE(std::filesystem::exists(self));
    EXPECT_EQ(self.filename(), "qm_core_tests");
}

struct build_case {
    const char* date;
    int number;
};

class SettingsBuildNumber : public ::testing::TestWithParam<build_case> {};

TEST_P(SettingsBuildNumber, FollowsTheDateRule) {
    EXPECT_EQ(build_number_of(GetParam().date), GetParam().number) << GetParam().date;
}

// year * 365 + days to the end of the month + day - 734046, worked by hand.
INSTANTIATE_TEST_SUITE_P(Dates, SettingsBuildNumber,
                         ::testing::Values(build_case{"Mar 21 2012", 445},
                                           build_case{"Jan  1 2012", 366},
                                           build_case{"Dec 31 2011", 734015 + 365 + 31 - 734046},
                                           build_case{"Feb 29 2012", 734380 + 59 + 29 - 734046},
                                           build_case{"Xyz 10 2012", 0},
                                           build_case{"an  10 2012", 0}, build_case{"", 0}));

TEST(SettingsBuildNumber, OwnBuildDateHasTheCompilerForm) {
    EXPECT_GT(build_number(), 445);
    EXPECT_EQ(std::string(build_date()).size(), 11u);
}

TEST(SettingsUtf8, TellsValidFromSingleByteText) {
    EXPECT_TRUE(is_valid_utf8("plain"));
    EXPECT_TRUE(is_valid_utf8("\xC3\x91"
                              "and\xC3\xBA"));
    EXPECT_FALSE(is_valid_utf8("\xD1"
                               "and"));
    EXPECT_FALSE(is_valid_utf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(is_valid_utf8("\xE2\x82"));     // cut short
}

TEST(SettingsFilters, SplitIntoPairs) {
    const auto pairs = split_filter("PlayStation2 TXD (*.txd)|*.txd|PlayStation2 / PSP TEX "
                                    "(*.tex; *.xtx; *.chk)|*.tex; *.xtx; *.chk|");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first, "PlayStation2 TXD (*.txd)");
    EXPECT_EQ(pairs[0].second, "*.txd");
    EXPECT_EQ(pairs[1].second, "*.tex; *.xtx; *.chk");
    EXPECT_TRUE(split_filter("").empty());
    EXPECT_EQ(split_filter("odd|").size(), 1u);
}

} // namespace

} // namespace quillmap
