// The numbers modes are stored and drawn as turn into typed modes only when they name one.
#include "dictionary/export_type.h"
#include "dictionary/name_kind.h"
#include "dictionary/swizzle_mode.h"
#include "raster/view_mode.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace quillmap {

TEST(TypedModes, ViewModeNumbersRoundTripAndUnknownOnesGiveNone) {
    for (view_mode mode :
         {view_mode::texture, view_mode::alpha, view_mode::mixed, view_mode::reverse})
        EXPECT_EQ(view_mode_from_number(view_mode_number(mode)), mode);
    EXPECT_EQ(view_mode_from_number(0), view_mode::texture);
    EXPECT_EQ(view_mode_from_number(2), view_mode::mixed);
    for (int unknown : {-1, 4, 8, INT_MIN, INT_MAX})
        EXPECT_EQ(view_mode_from_number(unknown), std::nullopt) << unknown;
}

TEST(TypedModes, SwizzleModeNumbersRoundTripAndUnknownOnesGiveNone) {
    EXPECT_EQ(swizzle_mode_from_number(-1), swizzle_mode::as_stored);
    EXPECT_EQ(swizzle_mode_from_number(0), swizzle_mode::off);
    EXPECT_EQ(swizzle_mode_from_number(1), swizzle_mode::on);
    for (swizzle_mode mode : {swizzle_mode::as_stored, swizzle_mode::off, swizzle_mode::on})
        EXPECT_EQ(swizzle_mode_from_number(swizzle_mode_number(mode)), mode);
    for (int unknown : {-2, 2, INT_MIN, INT_MAX})
        EXPECT_EQ(swizzle_mode_from_number(unknown), std::nullopt) << unknown;
}

TEST(TypedModes, SwizzleModeDecidesTheReadOrder) {
    EXPECT_TRUE(reads_swizzled(swizzle_mode::as_stored, true));
    EXPECT_FALSE(reads_swizzled(swizzle_mode::as_stored, false));
    EXPECT_TRUE(reads_swizzled(swizzle_mode::on, false));
    EXPECT_FALSE(reads_swizzled(swizzle_mode::off, true));
}

TEST(TypedModes, StepsGoRoundTheWindowsOrder) {
    EXPECT_EQ(next_user_view(view_mode::texture), view_mode::alpha);
    EXPECT_EQ(next_user_view(view_mode::alpha), view_mode::mixed);
    EXPECT_EQ(next_user_view(view_mode::mixed), view_mode::texture);
    EXPECT_EQ(next_swizzle_mode(swizzle_mode::as_stored), swizzle_mode::off);
    EXPECT_EQ(next_swizzle_mode(swizzle_mode::off), swizzle_mode::on);
    EXPECT_EQ(next_swizzle_mode(swizzle_mode::on), swizzle_mode::as_stored);
}

TEST(TypedModes, ExportTypeNumbersAndExtensionsRoundTrip) {
    for (export_type type : {export_type::bmp, export_type::tim2, export_type::rwsect,
                             export_type::png, export_type::dds}) {
        EXPECT_EQ(export_type_from_number(export_type_number(type)), type);
        EXPECT_EQ(export_type_of_extension(export_extension(type)), type);
    }
    // The numbers between and beyond the five name no kind (3 was never one).
    for (int unknown : {0, 3, 5, 6, 7, 9, 17, 32, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(export_type_from_number(unknown), std::nullopt) << unknown;
}

TEST(TypedModes, NameKindNumbersRoundTripAndUnknownOnesGiveNone) {
    for (name_kind kind : {name_kind::texture, name_kind::mask})
        EXPECT_EQ(name_kind_from_number(name_kind_number(kind)), kind);
    for (int unknown : {-1, 2, INT_MIN, INT_MAX})
        EXPECT_EQ(name_kind_from_number(unknown), std::nullopt) << unknown;
}

} // namespace quillmap
