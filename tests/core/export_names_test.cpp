#include "session/export_names.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {
TEST(ExportNames, NamesTakenInAnyCaseGetTheNextFreeNumber) {
    export_name_set names;
    const std::pair<const char*, const char*> rows[] = {
        {"sky.png", "sky.png"},       {"SKY.png", "SKY_2.png"}, {"sky.png", "sky_3.png"},
        {"sky_2.png", "sky_2_2.png"}, {"sky.bmp", "sky.bmp"},   {"plain", "plain"},
        {"Plain", "Plain_2"},         {".png", ".png"},         {".PNG", ".PNG_2"},
    };
    for (const auto& [asked, given] : rows)
        EXPECT_EQ(names.claim(asked), given) << asked;
}

TEST(ExportNames, SeparateSetsDoNotShareNames) {
    export_name_set first, second;
    EXPECT_EQ(first.claim("a.tm2"), "a.tm2");
    EXPECT_EQ(second.claim("a.tm2"), "a.tm2");
}
} // namespace

} // namespace quillmap
