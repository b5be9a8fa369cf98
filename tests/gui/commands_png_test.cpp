#include "views/import_choices_dialog.h"

#include "views_support.h"

#include "imageio/png_codec.h"
#include "imageio/texture_png.h"

#include <QComboBox>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct png_commands : ::testing::Test, window_fixture {
    ps2_txd& txd() { return *window->dictionary(); }

    std::filesystem::path gradient_png(const std::string& name) {
        rgba_image image;
        image.width = image.height = 32;
        image.rgba.resize(32 * 32 * 4);
        for (size_t i = 0; i < 32 * 32; ++i) {
            image.rgba[i * 4] = uint8_t(i * 7);
            image.rgba[i * 4 + 1] = uint8_t(i / 4);
            image.rgba[i * 4 + 2] = uint8_t(255 - i / 4);
            image.rgba[i * 4 + 3] = 255;
        }
        std::string error;
        return write_file(dir / name, encode_png_rgba(image, error));
    }
};

// Chooses depth row `depth_row` and mip row `mips_row` and records what the dialog showed.
std::function<int(modal_dialog&)> choose(int depth_row, int mips_row, uint32_t* shown_depth) {
    return [=](modal_dialog& modal) {
        auto& dialog = static_cast<CImportChoicesDialog&>(modal);
        dialog.initialize();
        *shown_depth = dialog.format_box->currentData().toString().toUInt();
        dialog.format_box->setCurrentIndex(depth_row);
        dialog.mips_box->setCurrentIndex(mips_row);
        dialog.press_ok();
        return id_ok;
    };
}
} // namespace

// Import asks for depth and levels once, builds the texture so and remembers the choice.
TEST_F(png_commands, import_asks_once_and_remembers_the_choice) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a"}))));
    const auto first = gradient_png("first.png"), second = gradient_png("second.png");
    uint32_t shown = 0;
    host.answer_file({first.string(), second.string()});
    host.answer_modal(choose(0, 0, &shown)); // 4 bits, RenderWare's count
    window->run_command(cmd::import_file);
    EXPECT_EQ(shown, 8u); // the default before anything was remembered
    ASSERT_EQ(txd().texture_count(), 3u);
    for (uint32_t t : {1u, 2u}) {
        EXPECT_EQ(txd().depth(t), 4u);
        EXPECT_EQ(txd().mip_count(t), 3u); // 32 x 32
    }
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "first");
    EXPECT_TRUE(window->modified());
    EXPECT_EQ(window->settings().read_int("main", "png_import_depth", 0), 4);
    EXPECT_EQ(window->settings().read_int("main", "png_import_mips", -1), 0);

    // A picture of its own name: a texture's name is taken only once.
    const auto third = gradient_png("third.png");
    host.answer_file({third.string()});
    host.answer_modal(choose(2, 1, &shown)); // 32 bits, one level
    window->run_command(cmd::import_file);
    EXPECT_EQ(shown, 4u);
    ASSERT_EQ(txd().texture_count(), 4u);
    EXPECT_EQ(txd().depth(3), 32u);
    EXPECT_EQ(txd().mip_count(3), 1u);
    EXPECT_TRUE(host.all_answers_used());
}

// The Export button writes PNG; Replace takes it back without changing a pixel or a colour. (The
// generated palette also holds alpha above the PS2 range 0..0x80, which no picture can carry.)
TEST_F(png_commands, export_and_replace_through_png_keep_the_texture) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a"}))));
    const auto png = dir / "a.png";
    host.answer_file(png.string());
    window->run_command(cmd::export_button);
    ASSERT_TRUE(std::filesystem::exists(png));
    const auto before = txd().plain_level(0, 0, txd().is_swizzled(0));
    const auto palette = std::vector<uint8_t>(txd().palette(0).begin(), txd().palette(0).end());
    host.answer_file(png.string());
    host.answer_modal([](modal_dialog&) { return int(id_ok); }); // the texture's own depth
    window->run_command(cmd::replace);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(txd().plain_level(0, 0, txd().is_swizzled(0)), before);
    const auto after = txd().palette(0);
    ASSERT_EQ(after.size(), palette.size());
    for (size_t i = 0; i < palette.size(); ++i)
        if (i % 4 != 3 || palette[i] <= 0x80) {
            EXPECT_EQ(after[i], palette[i]) << i;
        }
}

// A PNG (the Export button's and a drag's) is the picture as the texture stores it, whatever
// the view's temporary swizzle override; a BMP follows the override as it always did.
TEST_F(png_commands, png_exports_ignore_the_views_swizzle_override) {
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture(
        {.name = "sw", .width = 32, .height = 32, .depth = 8, .swizzled = true})})));
    auto exported = [&](const std::string& name, bool drag) {
        if (drag) {
            const auto paths = window->export_for_drag({0});
            return paths.empty() ? std::vector<uint8_t>{} : read_file(paths.front());
        }
        const auto path = dir / name;
        host.answer_file(path.string());
        window->run_command(cmd::export_button);
        return read_file(path);
    };
    const auto png = exported("stored.png", false);
    const auto bmp = exported("stored.bmp", false);
    ASSERT_FALSE(png.empty());
    for (const swizzle_mode mode : {swizzle_mode::off, swizzle_mode::on}) {
        SCOPED_TRACE(int(mode));
        window->set_swizzle_mode(mode);
        EXPECT_EQ(exported("override.png", false), png);
        EXPECT_EQ(exported("drag.png", true), png);
        if (mode == swizzle_mode::off) {
            EXPECT_NE(exported("override.bmp", false), bmp);
        }
    }
    window->set_swizzle_mode(swizzle_mode::as_stored);
}

} // namespace quillmap
