// The import and replace choices dialog: what is chosen reaches the session, the preview shows
// what the texture becomes, and the PSNR shown is the session's.
#include "views/import_choices_dialog.h"

#include "views_support.h"

#include "imageio/png_codec.h"
#include "imageio/texture_rgba.h"
#include "session/import_choices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
// A picture of many colours, so that depths and dithering give different results.
std::filesystem::path gradient_png(const std::filesystem::path& path, uint32_t width,
                                   uint32_t height) {
    rgba_image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = image.pixel(x, y);
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height);
            p[2] = uint8_t((x * 7 + y * 13) & 0xFF);
            p[3] = 255;
        }
    std::string error;
    return write_file(path, encode_png_rgba(image, error));
}

import_choices session_choices(const choice_values& v) {
    import_choices c;
    c.format = v.format;
    c.dither = v.dither;
    if (v.mips >= 0)
        c.mips = uint32_t(v.mips);
    else
        c.mips.reset();
    c.width = v.width;
    c.height = v.height;
    return c;
}

// The session's own preview of `values` for the window's open dictionary.
choices_preview session_preview(CMainDialog& window, const std::string& picture,
                                std::optional<uint32_t> replaced, const choice_values& values) {
    std::string error;
    auto source = choices_preview_source::make(window.session(), picture, replaced, false, error);
    if (!source) return {};
    return source->render(session_choices(values));
}

std::vector<uint8_t> rgba_bytes(const QImage& image) {
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::vector<uint8_t> bytes;
    for (int y = 0; y < rgba.height(); ++y)
        bytes.insert(bytes.end(), rgba.constScanLine(y), rgba.constScanLine(y) + rgba.width() * 4);
    return bytes;
}

struct row {
    const char* what;
    test_chunk dictionary;
    bool replace;        // replace texture 0, else import
    uint32_t width = 32; // of the picture
    uint32_t height = 32;
    choice_values chosen;
    std::vector<std::string> offered; // the formats the dialog lists
    // What the texture must be afterwards: its format as the session names it and its size.
    std::string format;
    uint32_t texture_width = 32, texture_height = 32;
    // Choices whose result must differ from the chosen one's (the choice matters).
    std::optional<choice_values> differs_from;
};
} // namespace

TEST(import_choices_dialog, the_choices_reach_the_session_and_the_preview_shows_its_result) {
    const auto ps2 = [] {
        return make_dictionary({make_ps2_texture({.name = "a", .width = 32, .height = 32})});
    };
    const row rows[] = {
        {"a 4-bit import", ps2(), false, 32, 32, {"4", true, 1}, {"4", "8", "32"}, "4"},
        {"an undithered import",
         ps2(),
         false,
         32,
         32,
         {"4", false, 1},
         {"4", "8", "32"},
         "4",
         32,
         32,
         choice_values{"4", true, 1}},
        {"an import scaled to a chosen size",
         ps2(),
         false,
         48,
         20,
         {"8", true, 0, 64, 32},
         {"4", "8", "32"},
         "8",
         64,
         32},
        {"a replace at another depth", ps2(), true, 32, 32, {"4", true, -1}, {"4", "8", "32"}, "4"},
        {"a D3D8 palette import",
         make_dictionary({pc_texture({.platform = 8, .name = "pc"})}),
         false,
         32,
         32,
         {"pal4", true, 1},
         {"", "dxt1", "dxt3", "dxt5", "8888", "888", "pal8", "pal4"},
         "pal4"},
        {"a D3D9 import takes no palette and the size chosen",
         make_dictionary({pc_texture({.platform = 9, .name = "pc"})}),
         false,
         48,
         20,
         {"888", true, 1, 64, 32},
         {"", "dxt1", "dxt3", "dxt5", "8888", "888"},
         "888",
         64,
         32},
        {"a mobile replace in 4444",
         make_dictionary({mobile_texture({.name = "m", .width = 32, .height = 32})}),
         true,
         32,
         32,
         {"4444", true, -1},
         {"dxt1", "dxt3", "565", "4444"},
         "4444"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        window_fixture f;
        ASSERT_TRUE(f.open(r.dictionary));
        const std::string picture = gradient_png(f.dir / "grad.png", r.width, r.height).string();
        const std::optional<uint32_t> replaced =
            r.replace ? std::optional<uint32_t>(0) : std::nullopt;
        const choices_preview expected = session_preview(*f.window, picture, replaced, r.chosen);
        ASSERT_TRUE(expected.ok) << expected.error;

        std::vector<std::string> offered;
        double shown_colour = -1, shown_alpha = -1;
        QString psnr_text;
        QImage shown;
        f.host.answer_file(picture);
        f.host.answer_modal([&](modal_dialog& modal) {
            auto& dialog = dynamic_cast<CImportChoicesDialog&>(modal);
            dialog.initialize();
            for (int i = 0; i < dialog.format_box->count(); ++i)
                offered.push_back(dialog.format_box->itemData(i).toString().toStdString());
            // Choices changed while a preview is computed replace it: only the last is shown.
            choice_values first = r.chosen;
            first.format = offered.back();
            dialog.set_choices(first);
            dialog.set_choices(r.chosen);
            EXPECT_TRUE(dialog.wait_for_preview(120000));
            EXPECT_EQ(dialog.shown_for, r.chosen);
            shown_colour = dialog.shown_psnr_colour;
            shown_alpha = dialog.shown_psnr_alpha;
            psnr_text = dialog.psnr_label->text();
            shown = dialog.shown_picture;
            dialog.press_ok();
            return id_ok;
        });
        ASSERT_TRUE(f.window->run_command(r.replace ? cmd::replace : cmd::import_file));
        EXPECT_TRUE(f.host.message_texts().empty()) << f.host.message_texts().front();
        EXPECT_EQ(offered, r.offered);
        EXPECT_EQ(shown_colour, expected.psnr.colour);
        EXPECT_EQ(shown_alpha, expected.psnr.alpha);
        EXPECT_EQ(psnr_text,
                  CImportChoicesDialog::psnr_text(expected.psnr.colour, expected.psnr.alpha));
        EXPECT_GT(expected.psnr.colour, 10.0);

        ps2_txd& txd = *f.window->dictionary();
        const uint32_t t = r.replace ? 0 : txd.texture_count() - 1;
        EXPECT_EQ(f.window->history().undo_steps(), 1u);
        EXPECT_EQ(texture_format(txd, t), r.format);
        EXPECT_EQ(txd.width(t), r.texture_width);
        EXPECT_EQ(txd.height(t), r.texture_height);
        // The preview is what the texture became.
        std::string error;
        const rgba_image made = texture_rgba(txd, t, 0, error);
        EXPECT_EQ(made.rgba, expected.picture.rgba);
        EXPECT_EQ(rgba_bytes(shown), made.rgba);
        if (r.differs_from) {
            ASSERT_TRUE(f.window->run_command(cmd::edit_undo));
            const choices_preview other =
                session_preview(*f.window, picture, replaced, *r.differs_from);
            ASSERT_TRUE(other.ok) << other.error;
            EXPECT_NE(other.picture.rgba, made.rgba);
        }
    }
}

// The PSNRs: colour over red, green and blue, alpha by itself; infinity for equal channels,
// the textbook values for known errors, nothing for pictures of different sizes.
TEST(import_choices_dialog, psnr_of_known_pictures) {
    rgba_image a;
    a.width = 2;
    a.height = 1;
    a.rgba = {10, 20, 30, 255, 40, 50, 60, 255};
    rgba_image b = a;
    EXPECT_TRUE(std::isinf(picture_psnr(a, b).colour));
    EXPECT_TRUE(std::isinf(picture_psnr(a, b).alpha));
    EXPECT_EQ(CImportChoicesDialog::psnr_text(picture_psnr(a, b).colour, picture_psnr(a, b).alpha),
              "PSNR: no loss (identical to the picture)");
    // One colour channel of six off by 8: MSE 64 / 6. The alpha, whole, counts for nothing.
    b.rgba[0] += 8;
    EXPECT_NEAR(picture_psnr(a, b).colour, 10.0 * std::log10(255.0 * 255.0 * 6.0 / 64.0), 1e-9);
    EXPECT_TRUE(std::isinf(picture_psnr(a, b).alpha));
    EXPECT_EQ(CImportChoicesDialog::psnr_text(picture_psnr(a, b).colour, picture_psnr(a, b).alpha),
              "PSNR: colour 37.85 dB, alpha no loss");
    // One alpha of two off by 16: MSE 128.
    b.rgba[7] -= 16;
    EXPECT_NEAR(picture_psnr(a, b).alpha, 10.0 * std::log10(255.0 * 255.0 / 128.0), 1e-9);
    EXPECT_EQ(CImportChoicesDialog::psnr_text(picture_psnr(a, b).colour, picture_psnr(a, b).alpha),
              "PSNR: colour 37.85 dB, alpha 27.06 dB");
    b.width = 1;
    b.height = 2;
    EXPECT_EQ(picture_psnr(a, b).colour, 0.0);
    EXPECT_EQ(picture_psnr(a, b).alpha, 0.0);
}

} // namespace quillmap
