#include "views/texture_info_list.h"

#include "views_support.h"

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
QStringList labels(const CTextureInfoList& view) {
    QStringList out;
    for (const auto& row : view.rows())
        out << row.label;
    return out;
}

QString hex(uint64_t value) {
    return "0x" + QString::number(value, 16).toUpper();
}

uint32_t raster_data_offset(ps2_txd& txd, uint32_t t) {
    return txd.texture_chunk(t)->child(3)->child(1)->data_offset;
}
} // namespace

TEST(texture_info, ps2_texture_with_palette_and_no_raster_info) {
    auto txd = load_as<ps2_txd>(write_dictionary(
        "info.txd", make_dictionary({make_ps2_texture({.name = "car",
                                                       .mask = "cara",
                                                       .width = 256,
                                                       .height = 128,
                                                       .depth = 8,
                                                       .raster_format = 0x2504})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_EQ(labels(view),
              QStringList({"Texture Name", "Alpha Name", "Width", "Height", "Color Depth",
                           "Mip Levels", "Color Format", "Swizzling state", "Raster address",
                           "Palette address", "Filter Flags", "Raster Flags"}));
    EXPECT_EQ(view.value_of("Texture Name"), "car");
    EXPECT_EQ(view.value_of("Alpha Name"), "cara");
    EXPECT_EQ(view.value_of("Width"), "256 px");
    EXPECT_EQ(view.value_of("Height"), "128 px");
    EXPECT_EQ(view.value_of("Color Depth"), "8 bpp");
    EXPECT_EQ(view.value_of("Mip Levels"), "1");
    EXPECT_EQ(view.value_of("Color Format"), "RGBA 32 bit");
    EXPECT_EQ(view.value_of("Swizzling state"), "No");
    const uint32_t offset = raster_data_offset(*txd, 0);
    ASSERT_NE(offset, 0u);
    EXPECT_EQ(view.value_of("Raster address"), hex(offset + 80));
    EXPECT_EQ(view.value_of("Palette address"), hex(offset + 256 * 128 + 160));
    EXPECT_EQ(view.value_of("Filter Flags"), "0x1102");
    EXPECT_EQ(view.value_of("Raster Flags"), "0x2504");
    EXPECT_EQ(view.rows()[10].group, CTextureInfoList::group_flags);
    EXPECT_EQ(view.group_heading(0), "Common Info");
    EXPECT_EQ(view.group_heading(1), "Raster Info");
    EXPECT_EQ(view.group_heading(2), "Flags");
    EXPECT_EQ(view.group_heading(4), "Platform-Specific");
    EXPECT_FALSE(view.has_row("RW Platform"));
}

TEST(texture_info, ps2_texture_with_raster_info) {
    auto txd = load_as<ps2_txd>(write_dictionary(
        "info.txd",
        make_dictionary({make_ps2_texture(
            {.name = "sw", .width = 64, .height = 64, .depth = 8, .swizzled = true})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    // The preview unswizzles it as the status line says ("Texture unswizzled").
    EXPECT_EQ(view.value_of("Swizzling state"), "Yes (shown unswizzled)");
    view.shown_swizzle = swizzle_mode::on;
    view.show_texture_info(0);
    EXPECT_EQ(view.value_of("Swizzling state"), "Yes");
    EXPECT_EQ(view.value_of("RAW Width"), "32");
    EXPECT_EQ(view.value_of("RAW Height"), "32");
    EXPECT_EQ(view.value_of("RAW Raster Size"), "256 / 4096");
    EXPECT_EQ(view.value_of("RAW Palette Size"), "64 / 1024");
    for (const auto& row : view.rows())
        if (row.label.startsWith("RAW")) {
            EXPECT_EQ(row.group, CTextureInfoList::group_raster);
        }
}

TEST(texture_info, thirty_two_bit_ps2_texture_has_no_palette_rows) {
    auto txd = load_as<ps2_txd>(write_dictionary(
        "info.txd",
        make_dictionary({make_ps2_texture(
            {.name = "t", .width = 32, .height = 32, .depth = 32, .swizzled = true})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_TRUE(view.has_row("RAW Width"));
    EXPECT_FALSE(view.has_row("Palette address"));
    EXPECT_FALSE(view.has_row("RAW Palette Size"));
}

TEST(texture_info, colour_format_index_wraps_at_eleven) {
    auto txd = load_as<ps2_txd>(write_dictionary(
        "info.txd",
        make_dictionary({make_ps2_texture({.name = "b", .depth = 32, .raster_format = 0xB04}),
                         make_ps2_texture({.name = "c", .depth = 32, .raster_format = 0xC04})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_EQ(view.value_of("Color Format"), "N/A");
    view.show_texture_info(1);
    EXPECT_EQ(view.value_of("Color Format"), "RGBA 1555");
}

TEST(texture_info, an_index_past_the_end_keeps_the_rows) {
    auto txd = load_as<ps2_txd>(
        write_dictionary("info.txd", make_dictionary(named_textures({"one", "two"}))));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(1, txd.get());
    const auto before = labels(view);
    view.show_texture_info(2);
    EXPECT_EQ(labels(view), before);
    EXPECT_EQ(view.value_of("Texture Name"), "two");
}

TEST(texture_info, pc_texture_without_raster_format) {
    auto txd = load_as<pc_txd>(write_dictionary(
        "pc.txd",
        make_dictionary(
            {pc_texture(
                 {.platform = 8, .name = "pc", .raster_format = 0, .depth = 16, .compression = 1}),
             pc_texture({.platform = 8, .name = "flat", .raster_format = 0x600, .depth = 32})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_EQ(view.group_heading(4), "PC-Specific");
    EXPECT_EQ(view.value_of("Compression"), "DXT-1");
    EXPECT_FALSE(view.has_row("Color Format"));
    ASSERT_EQ(view.rows().size(), 8u);
    EXPECT_EQ(view.rows()[7].label, "RW Platform");
    EXPECT_EQ(view.rows()[7].value, "DirectX 8");
    EXPECT_EQ(view.rows()[7].group, CTextureInfoList::group_platform);

    view.show_texture_info(1);
    EXPECT_EQ(view.value_of("Compression"), "Not used");
    EXPECT_EQ(view.value_of("Color Format"), "RGB  24 bit");
    EXPECT_EQ(view.rows()[8].label, "RW Platform");
}

TEST(texture_info, xbox_texture_under_a_platform_heading) {
    auto txd = load_as<xbox_txd>(
        write_dictionary("xbox.txd", make_dictionary({pc_texture({.platform = 5,
                                                                  .name = "x",
                                                                  .raster_format = 0x200,
                                                                  .depth = 16,
                                                                  .compression = 15})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_EQ(view.group_heading(4), "Platform-Specific");
    EXPECT_EQ(view.value_of("RW Platform"), "XBOX");
    EXPECT_EQ(view.value_of("Compression"), "DXT-5");
    EXPECT_EQ(view.value_of("Color Format"), "RGB  565");
}

TEST(texture_info, mobile_textures_get_the_mobile_rows) {
    auto txd = load_as<ios_txd>(write_dictionary(
        "mobile.txd", make_dictionary({mobile_texture({.platform = 11, .name = "atc", .alpha = 0}),
                                       mobile_texture({.platform = 9, .name = "dxt", .alpha = 1}),
                                       mobile_texture({.platform = 12, .name = "plain"})})));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    view.show_texture_info(0, txd.get());
    EXPECT_EQ(view.value_of("Raster format"), "RGB  565");
    EXPECT_EQ(view.value_of("Compression"), "ATC");
    EXPECT_EQ(view.value_of("RW Platform"), "ATC (Adreno)");
    EXPECT_EQ(view.value_of("Color Depth"), "16 bpp");

    // Platform word 9 in a mobile dictionary is DXT, not Direct3D 9.
    view.show_texture_info(1);
    EXPECT_EQ(view.value_of("Raster format"), "RGBA 4444");
    EXPECT_EQ(view.value_of("Compression"), "DXT");
    EXPECT_EQ(view.value_of("RW Platform"), "DXT (mobile)");
    EXPECT_FALSE(view.has_row("Color Format"));

    view.show_texture_info(2);
    EXPECT_EQ(view.value_of("Compression"), "Not used");
    EXPECT_EQ(view.value_of("RW Platform"), "UNC / mali");
}

TEST(texture_info, platform_names) {
    EXPECT_STREQ(CTextureInfoList::platform_name(1), "DirectX 7");
    EXPECT_STREQ(CTextureInfoList::platform_name(9), "DirectX 9");
    EXPECT_STREQ(CTextureInfoList::platform_name(10), "PVR (PowerVR)");
    EXPECT_STREQ(CTextureInfoList::platform_name(7), "Unknown");
}

TEST(texture_info, row_formats) {
    CTextureInfoList view;
    view.add_info_row(0, 0, L"ss", {L"Label", L"text"});
    view.add_info_row(1, 0, L"sd>", {L"Width", 12, L" px"});
    view.add_info_row(2, 4, L"sd<", {L"Compression", 3, L"DXT-"});
    view.add_info_row(3, 2, L"sx", {L"Flags", 0xabcdu});
    view.add_info_row(4, 0, L"sf", {L"Scale", 1.5});
    view.add_info_row(5, 0, L"su", {L"Kept"});
    view.add_info_row(6, 0, L"ss", {L"None", static_cast<const wchar_t*>(nullptr)});
    view.add_info_row(0, 1, L"sd", {L"First", -7});
    ASSERT_EQ(view.rows().size(), 8u);
    EXPECT_EQ(view.rows()[0].label, "First");
    EXPECT_EQ(view.rows()[0].value, "-7");
    EXPECT_EQ(view.rows()[0].group, 1);
    EXPECT_EQ(view.rows()[1].value, "text");
    EXPECT_EQ(view.rows()[2].value, "12 px");
    EXPECT_EQ(view.rows()[3].value, "DXT-3");
    EXPECT_EQ(view.rows()[4].value, "0xABCD");
    EXPECT_EQ(view.rows()[5].value, "1.500000");
    EXPECT_EQ(view.rows()[6].label, "Kept");
    EXPECT_EQ(view.rows()[6].value, "");
    EXPECT_EQ(view.rows()[7].value, "");
}

TEST(texture_info, groups_are_made_once_and_empty_ones_hidden) {
    auto txd =
        load_as<ps2_txd>(write_dictionary("info.txd", make_dictionary(named_textures({"one"}))));
    ASSERT_TRUE(txd);
    CTextureInfoList view;
    EXPECT_FALSE(view.initialised());
    view.show_texture_info(0, txd.get());
    view.show_texture_info(0);
    EXPECT_TRUE(view.initialised());
    EXPECT_EQ(view.topLevelItemCount(), 4);
    EXPECT_EQ(view.columnCount(), 2);
    EXPECT_EQ(view.headerItem()->text(0), "Name");
    EXPECT_EQ(view.headerItem()->text(1), "Value");
    // No transfer-header bit, no platform rows: those two groups stay hidden.
    EXPECT_FALSE(view.topLevelItem(0)->isHidden());
    EXPECT_TRUE(view.topLevelItem(1)->isHidden());
    EXPECT_FALSE(view.topLevelItem(2)->isHidden());
    EXPECT_TRUE(view.topLevelItem(3)->isHidden());
    EXPECT_EQ(view.topLevelItem(0)->childCount(), 10);
    EXPECT_EQ(view.topLevelItem(2)->child(0)->text(0), "Filter Flags");
}

} // namespace quillmap
