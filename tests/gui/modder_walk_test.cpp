// What a modder meets walking the window through real work: imports the game takes, warnings
// only when they hold, conversions that ask, and texts that agree with each other.
#include "imageio/png_codec.h"
#include "imageio/texture_rgba.h"
#include "pc_builders.h"
#include "views/import_choices_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/size_choice_dialog.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cmath>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct modder_walk : ::testing::Test, window_fixture {
    CMainDialog& w() { return *window; }
    CTextureList& list() { return *static_cast<CTextureList*>(texture_list_of(*window)); }
    // A picture of one colour, which quantizes at once whatever its size.
    std::string flat_png(const std::string& name, uint32_t width, uint32_t height) {
        rgba_image image{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 0x60)};
        std::string error;
        return write_file(dir / name, encode_png_rgba(image, error)).string();
    }
};

using size_list = std::vector<std::pair<uint32_t, uint32_t>>;
} // namespace

// Importing into a PS2 dictionary offers only sizes the game takes, for the first picture (in
// the choices dialog) and for each further one (in the size dialog); sides it takes are not
// asked about. The texture comes in at the size chosen first.
TEST_F(modder_walk, a_ps2_import_offers_only_sizes_the_game_takes) {
    struct row {
        uint32_t width, height;
        size_list offered; // empty: not asked
    };
    const row rows[] = {
        {2048, 2048, {{1024, 1024}}},
        {4096, 512, {{1024, 512}, {1024, 1024}}},
        {1024, 1024, {}},
        {64, 2048, {{64, 1024}}},
        {300, 200, {{256, 256}, {256, 128}, {512, 256}}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height));
        ASSERT_TRUE(open(make_dictionary({make_ps2_texture({.name = "kept"})})));
        const std::string first = flat_png("first.png", r.width, r.height);
        const std::string second = flat_png("second.png", r.width, r.height);
        size_list in_choices, in_size_dialog;
        bool size_dialog_asked = false;
        host.answer_file({first, second});
        host.answer_modal([&](modal_dialog& d) {
            in_choices = static_cast<CImportChoicesDialog&>(d).sizes;
            return int(id_ok);
        });
        if (!r.offered.empty())
            host.answer_modal([&](modal_dialog& d) {
                size_dialog_asked = true;
                for (const auto& s : static_cast<CSizeChoiceDialog&>(d).sizes)
                    in_size_dialog.push_back(s);
                static_cast<CSizeChoiceDialog&>(d).chosen = r.offered.front();
                return int(id_ok);
            });
        ASSERT_TRUE(w().run_command(cmd::import_file));
        EXPECT_TRUE(host.all_answers_used());
        EXPECT_EQ(in_choices, r.offered);
        EXPECT_EQ(size_dialog_asked, !r.offered.empty());
        EXPECT_EQ(in_size_dialog, r.offered);
        ps2_txd& txd = *w().dictionary();
        ASSERT_EQ(txd.texture_count(), 3u);
        const auto expected = r.offered.empty() ? std::pair{r.width, r.height} : r.offered.front();
        for (uint32_t t = 1; t < 3; ++t) {
            EXPECT_EQ(txd.width(t), expected.first);
            EXPECT_EQ(txd.height(t), expected.second);
        }
        host.clear_log();
    }
}

// The warning that textures will not be rendered comes exactly when one cannot be: for the
// PowerVR and Adreno compressions of mobile files, never for PS2, PC or other mobile files nor
// for an empty dictionary.
TEST(modder_walk_warning, the_compression_warning_comes_only_when_a_texture_shows_nothing) {
    const auto dxt = [](uint32_t platform, uint8_t compression) {
        pc_texture_desc desc;
        desc.platform = platform;
        desc.compression = compression;
        desc.levels = {dxt1_solid(0xF800, 4)};
        return make_pc_texture(desc);
    };
    pc_texture_desc d3d8;
    d3d8.levels = {fill16(0x7C00, 64)};
    const auto mobile = [](std::vector<uint32_t> platforms) {
        std::vector<mobile_texture_desc> textures;
        for (uint32_t platform : platforms) {
            mobile_texture_desc desc;
            desc.platform = platform;
            desc.name = "m" + std::to_string(textures.size());
            desc.data = platform == 12 ? fill16(0x7FFF, 64) : dxt1_solid(0x07E0, 4);
            textures.push_back(desc);
        }
        return mobile_dictionary_bytes(textures);
    };
    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
        bool warns;
    };
    const row rows[] = {
        {"empty PS2", make_dictionary({}).bytes(), false},
        {"PS2", make_dictionary({make_ps2_texture({.name = "a"})}).bytes(), false},
        {"D3D8 16 bits", make_dictionary({make_pc_texture(d3d8)}).bytes(), false},
        {"D3D9 DXT1", make_dictionary({dxt(9, 8)}).bytes(), false},
        {"mobile plain", mobile({12}), false},
        {"mobile DXT", mobile({9, 12}), false},
        {"mobile PVR", mobile({10}), true},
        {"mobile ATC after a plain one", mobile({12, 11}), true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        window_fixture f("[main]\nenable_thumbs=0\nenable_warnings=1\n");
        const auto path = write_file(f.dir / "t.txd", r.bytes);
        ASSERT_TRUE(f.window->open_dictionary(path.string(), 0));
        const auto messages = f.host.message_texts();
        const bool warned =
            std::find(messages.begin(), messages.end(),
                      "Unsupported compression: \r\n Some textures will not be rendered.") !=
            messages.end();
        EXPECT_EQ(warned, r.warns);
        // The warning tells the truth: some texture renders no picture exactly when it came.
        bool one_unshown = false;
        ps2_txd& txd = *f.window->dictionary();
        for (uint32_t t = 0; t < txd.texture_count(); ++t)
            one_unshown = one_unshown ||
                          !txd.render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        EXPECT_EQ(one_unshown, warned);
    }
}

// Convert TXD to PS2 asks for depth and mip levels: by default each texture keeps its depth and
// its level count; what is chosen reaches every converted texture.
TEST_F(modder_walk, converting_to_ps2_asks_depth_and_levels_and_keeps_levels_by_default) {
    pc_texture_desc d3d8;
    d3d8.name = "levels";
    d3d8.width = 64;
    d3d8.height = 64;
    d3d8.depth = 32;
    d3d8.raster_format = 0x8500; // 8888 with mip levels
    d3d8.mip_count = 3;
    for (uint32_t side = 64; side >= 16; side /= 2) {
        std::vector<uint8_t> level(size_t(side) * side * 4);
        for (size_t i = 0; i < level.size(); ++i)
            level[i] = uint8_t(i * 37 + side);
        d3d8.levels.push_back(level);
    }
    struct row {
        const char* what;
        std::string format;
        int mips;
        uint32_t depth, levels;
    };
    const row rows[] = {
        {"as they are", "", -1, 32, 3},
        {"8 bits, levels kept", "8", -1, 8, 3},
        {"32 bits, one level", "32", 1, 32, 1},
        {"4 bits, two levels", "4", 2, 4, 2},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(open(make_dictionary({make_pc_texture(d3d8)}), "pc.txd"));
        ASSERT_EQ(w().dictionary()->mip_count(0), 3u);
        const std::string out = (dir / "converted.txd").string();
        std::filesystem::remove(out);
        std::vector<std::string> formats;
        int offered_mips = 99;
        std::string title;
        host.answer_modal([&](modal_dialog& d) {
            auto& dialog = static_cast<CImportChoicesDialog&>(d);
            dialog.initialize();
            formats = dialog.formats;
            offered_mips = dialog.current().mips;
            title = dialog.windowTitle().toStdString();
            choice_values chosen = dialog.current();
            chosen.format = r.format;
            chosen.mips = r.mips;
            dialog.set_choices(chosen);
            dialog.press_ok();
            return int(id_ok);
        });
        host.answer_file(out);
        ASSERT_TRUE(w().run_command(cmd::convert_ps2));
        EXPECT_TRUE(host.all_answers_used());
        EXPECT_EQ(title, "Convert TXD to PS2");
        EXPECT_EQ(formats, (std::vector<std::string>{"", "4", "8", "32"}));
        EXPECT_EQ(offered_mips, -1); // the texture's own levels unless asked
        ps2_txd converted;
        ASSERT_TRUE(converted.load(out, 0, 0x16, 0)) << converted.last_error;
        ASSERT_EQ(converted.texture_count(), 1u);
        EXPECT_EQ(converted.depth(0), r.depth);
        EXPECT_EQ(converted.mip_count(0), r.levels);
        host.clear_log();
    }
}

// The PSNR the import dialog shows is the one the stored texture has: its colour measured
// against the picture over red, green and blue, its alpha by itself.
TEST_F(modder_walk, the_import_psnr_is_the_stored_textures_colour_and_alpha) {
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture({.name = "kept"})})));
    rgba_image source{64, 64, std::vector<uint8_t>(64 * 64 * 4)};
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            uint8_t* p = source.pixel(x, y);
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 4);
            p[2] = uint8_t((x * 7 + y * 13) & 0xFF);
            p[3] = uint8_t(x < 32 ? 255 : 64 + y);
        }
    std::string error;
    const std::string picture =
        write_file(dir / "grad.png", encode_png_rgba(source, error)).string();
    double colour = -1, alpha = -1;
    QString text;
    host.answer_file(picture);
    host.answer_modal([&](modal_dialog& d) {
        auto& dialog = static_cast<CImportChoicesDialog&>(d);
        dialog.initialize();
        choice_values chosen = dialog.current();
        chosen.format = "4";
        chosen.mips = 1;
        dialog.set_choices(chosen);
        EXPECT_TRUE(dialog.wait_for_preview(120000));
        colour = dialog.shown_psnr_colour;
        alpha = dialog.shown_psnr_alpha;
        text = dialog.psnr_label->text();
        dialog.press_ok();
        return int(id_ok);
    });
    ASSERT_TRUE(w().run_command(cmd::import_file));
    ps2_txd& txd = *w().dictionary();
    ASSERT_EQ(txd.texture_count(), 2u);
    const rgba_image stored = texture_rgba(txd, 1, 0, error);
    ASSERT_EQ(stored.rgba.size(), source.rgba.size()) << error;
    double colour_squares = 0, alpha_squares = 0;
    for (size_t i = 0; i < stored.rgba.size(); ++i) {
        const double d = double(stored.rgba[i]) - double(source.rgba[i]);
        (i % 4 == 3 ? alpha_squares : colour_squares) += d * d;
    }
    const auto psnr = [](double squares, double samples) {
        return 10.0 * std::log10(255.0 * 255.0 * samples / squares);
    };
    ASSERT_GT(colour_squares, 0.0);
    ASSERT_GT(alpha_squares, 0.0);
    EXPECT_NEAR(colour, psnr(colour_squares, 64.0 * 64 * 3), 1e-9);
    EXPECT_NEAR(alpha, psnr(alpha_squares, 64.0 * 64), 1e-9);
    EXPECT_EQ(text.toStdString(), QStringLiteral("PSNR: colour %1 dB, alpha %2 dB")
                                      .arg(colour, 0, 'f', 2)
                                      .arg(alpha, 0, 'f', 2)
                                      .toStdString());
}

// A message names a texture by the number the list shows it under (from 1).
TEST_F(modder_walk, messages_number_textures_as_the_list_does) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"wheel", "body", "glass"}))));
    list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    host.answer_modal([](modal_dialog& d) {
        static_cast<COneEditDialog&>(d).value = "GLASS";
        return int(id_ok);
    });
    ASSERT_TRUE(w().run_command(cmd::rename));
    const auto messages = host.message_texts();
    ASSERT_EQ(messages.size(), 1u);
    const std::string listed = list().item_text(2, 0).toStdString(); // "3. glass"
    const std::string number = listed.substr(0, listed.find('.'));
    EXPECT_EQ(messages[0].rfind("Texture " + number + " is already named \"glass\"", 0), 0u)
        << messages[0] << " / " << listed;
}

// The tile's alpha line says "<no alpha channel>" only for a texture that has none; one with
// alpha but no mask name is not said to lack it.
TEST_F(modder_walk, only_textures_without_alpha_are_said_to_have_none) {
    pc_texture_desc opaque, with_alpha;
    opaque.name = "opaque";
    opaque.raster_format = 0x200; // 565
    opaque.levels = {fill16(0xF800, 64)};
    with_alpha = opaque;
    with_alpha.name = "alpha";
    with_alpha.raster_format = 0x300; // 4444
    with_alpha.levels = {fill16(0xF0F7, 64)};
    mobile_texture_desc mobile_opaque, mobile_alpha;
    mobile_opaque.data = fill16(0x7FFF, 64);
    mobile_alpha = mobile_opaque;
    mobile_alpha.name = "m_alpha";
    mobile_alpha.alpha = 1;
    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
        std::vector<std::string> alpha_lines;
    };
    const row rows[] = {
        {"PS2: 8 bits with alpha in the palette, 24 bits",
         make_dictionary({make_ps2_texture({.name = "palette", .depth = 8}),
                          make_ps2_texture({.name = "rgb", .depth = 24}),
                          make_ps2_texture({.name = "named", .mask = "nameda", .depth = 8})})
             .bytes(),
         {"<unnamed alpha channel>", "<no alpha channel>", "nameda"}},
        {"PC: 565 and 4444",
         make_dictionary({make_pc_texture(opaque), make_pc_texture(with_alpha)}).bytes(),
         {"<no alpha channel>", "<unnamed alpha channel>"}},
        {"mobile: without and with alpha",
         mobile_dictionary_bytes({mobile_opaque, mobile_alpha}),
         {"<no alpha channel>", "<unnamed alpha channel>"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(w().open_dictionary(write_file(dir / "alpha.txd", r.bytes).string(), 0));
        ASSERT_EQ(list().count(), int(r.alpha_lines.size()));
        for (size_t i = 0; i < r.alpha_lines.size(); ++i)
            EXPECT_EQ(list().item_text(int(i), 1).toStdString(), r.alpha_lines[i]) << i;
    }
}

// Save As and the conversions offer the filter of the platform the file is written for.
TEST_F(modder_walk, save_dialogs_name_the_platform_written) {
    pc_texture_desc pc;
    pc.levels = {fill16(0xF800, 64)};
    mobile_texture_desc mobile;
    mobile.data = fill16(0x7FFF, 64);
    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
        int command;
        const char* filter;
    };
    const row rows[] = {
        {"PS2 save as", make_dictionary({make_ps2_texture({.name = "a"})}).bytes(),
         cmd::file_save_as, "PlayStation2 TXD (*.txd)|*.txd|"},
        {"PC save as", make_dictionary({make_pc_texture(pc)}).bytes(), cmd::file_save_as,
         "PC TXD (*.txd)|*.txd|"},
        {"mobile save as", mobile_dictionary_bytes({mobile}), cmd::file_save_as,
         "Mobile TXD (*.txd)|*.txd|"},
        {"PS2 to XBOX", make_dictionary({make_ps2_texture({.name = "a"})}).bytes(),
         cmd::convert_xbox, "XBOX TXD (*.txd)|*.txd|"},
        {"PS2 to mobile", make_dictionary({make_ps2_texture({.name = "a"})}).bytes(),
         cmd::convert_mobile, "Mobile TXD (*.txd)|*.txd|"},
        {"PC to PS2", make_dictionary({make_pc_texture(pc)}).bytes(), cmd::convert_ps2,
         "PlayStation2 TXD (*.txd)|*.txd|"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(w().open_dictionary(write_file(dir / "f.txd", r.bytes).string(), 0));
        host.clear_log();
        host.answer_modal([](modal_dialog&) { return int(id_ok); }); // a conversion's choices
        host.cancel_file();
        w().run_command(r.command);
        const auto files = host.of_kind(ui_event::file);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files[0].request.save);
        EXPECT_EQ(files[0].request.filter, r.filter);
        host = scripted_ui_host{};
    }
}

// The status line and the information panel tell a swizzled texture's state in the same words.
TEST(modder_walk_swizzle, the_status_line_and_the_information_panel_agree) {
    window_fixture f("[main]\nenable_thumbs=0\nenable_warnings=0\nenable_info=1\n");
    ASSERT_TRUE(f.open(make_dictionary(
        {make_ps2_texture({.name = "sw", .width = 64, .height = 64, .depth = 8, .swizzled = true}),
         make_ps2_texture({.name = "plain", .width = 64, .height = 64, .depth = 8})})));
    auto& list = *static_cast<CTextureList*>(texture_list_of(*f.window));
    auto& info = *static_cast<CTextureInfoList*>(info_list_of(*f.window));
    struct row {
        int texture;
        const char *status, *info;
    };
    for (const row& r : {row{0, "Texture unswizzled", "Yes (shown unswizzled)"},
                         row{1, "Texture have no swizzling", "No"}}) {
        SCOPED_TRACE(r.texture);
        list.setCurrentRow(r.texture, QItemSelectionModel::ClearAndSelect);
        EXPECT_EQ(f.window->status_text(2).toStdString(), r.status);
        EXPECT_EQ(info.value_of("Swizzling state").toStdString(), r.info);
    }
}

// A click on the tile already selected selects it and nothing more: F2 renames (through the
// rename dialog).
TEST_F(modder_walk, a_click_on_the_selected_tile_starts_no_rename) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    w().show();
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    const QPoint tile = list().visualItemRect(list().item(1)).center();
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, tile);
    // The view starts a rename a double-click's time after such a click.
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    EXPECT_EQ(list().findChild<QLineEdit*>(), nullptr);
    EXPECT_TRUE(host.of_kind(ui_event::modal).empty());
    list().setFocus();
    QTest::keyClick(&list(), Qt::Key_F2);
    ASSERT_EQ(host.of_kind(ui_event::modal).size(), 1u);
    EXPECT_EQ(host.of_kind(ui_event::modal)[0].text, "COneEditDialog");
}

// Move Up and Move Down answer their keys (Alt+Up, Alt+Down).
TEST_F(modder_walk, move_up_and_down_answer_their_keys) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
    w().show();
    list().setFocus();
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(&list(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(w().dictionary()->texture_name(0, name_kind::texture), "b");
    QTest::keyClick(&list(), Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(&list(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(w().dictionary()->texture_name(2, name_kind::texture), "b");
    EXPECT_EQ(w().dictionary()->texture_name(0, name_kind::texture), "a");
}

// Keys typed while a command held the window are not run once it is free again.
TEST_F(modder_walk, keys_typed_while_busy_do_not_run_afterwards) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
    w().show();
    list().setFocus();
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    // The rename dialog is where the command holds the window: Delete is typed meanwhile.
    host.answer_modal([this](modal_dialog&) {
        QCoreApplication::postEvent(
            &list(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier));
        QCoreApplication::postEvent(
            &list(), new QKeyEvent(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier));
        QTest::qSleep(400);
        return int(id_cancel);
    });
    ASSERT_TRUE(w().run_command(cmd::rename));
    QCoreApplication::processEvents();
    EXPECT_EQ(w().dictionary()->texture_count(), 3u);
    EXPECT_TRUE(host.message_texts().empty());
    // Typed at a free window, the same key deletes (after its question).
    QTest::keyClick(&list(), Qt::Key_Delete);
    EXPECT_EQ(w().dictionary()->texture_count(), 2u);
}

} // namespace quillmap
