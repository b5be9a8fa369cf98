// Pictures of the window's tools for the README, taken on the offscreen platform from a
// dictionary made here (`qm_gui_tests --screenshots DIR`, see scripts/screenshots). Not a test:
// nothing here runs under ctest.
#include "screenshots.h"

#include "app/app_messages.h"
#include "app/qt_ui_host.h"
#include "imageio/png_codec.h"
#include "session/editor_session.h"
#include "views/import_choices_dialog.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>

#include <cmath>
#include <cstdio>

namespace quillmap {

namespace {
// A picture drawn by `shade(x, y)` written as a PNG.
template <class F>
std::string picture(const std::filesystem::path& path, uint32_t width, uint32_t height, F shade) {
    rgba_image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const std::array<uint8_t, 4> c = shade(x, y);
            std::copy(c.begin(), c.end(), image.pixel(x, y));
        }
    std::string error;
    write_file(path, encode_png_rgba(image, error));
    return path.string();
}

std::array<uint8_t, 4> bricks(uint32_t x, uint32_t y) {
    const uint32_t row = y / 16, shift = (row % 2) * 16;
    const bool mortar = y % 16 < 2 || (x + shift) % 32 < 2;
    if (mortar) return {200, 196, 186, 255};
    const uint8_t grain = uint8_t((x * 37 + y * 91 + row * 53) % 23);
    return {uint8_t(150 + grain), uint8_t(62 + grain / 2), uint8_t(44 + grain / 3), 255};
}

std::array<uint8_t, 4> sky(uint32_t x, uint32_t y) {
    return {uint8_t(60 + y), uint8_t(120 + y / 2), uint8_t(230 - x / 4), 255};
}

std::array<uint8_t, 4> badge(uint32_t x, uint32_t y) {
    const double dx = double(x) - 31.5, dy = double(y) - 31.5, r = std::sqrt(dx * dx + dy * dy);
    const uint8_t alpha = r < 26 ? 255 : r < 30 ? uint8_t(255 * (30 - r) / 4) : 0;
    return {uint8_t(240 - x), uint8_t(180 + y / 2), 40, alpha};
}

std::array<uint8_t, 4> poster(uint32_t x, uint32_t y) {
    return {uint8_t(x), uint8_t((x + y) / 2), uint8_t(255 - y), 255};
}

bool save(const QPixmap& image, const std::filesystem::path& dir, const char* name) {
    const std::string path = (dir / name).string();
    const bool ok = image.save(QString::fromStdString(path), "PNG", 9);
    std::printf("%s %s\n", ok ? "wrote" : "cannot write", path.c_str());
    return ok;
}
} // namespace

int take_screenshots(const std::filesystem::path& out) {
    std::filesystem::create_directories(out);
    const std::filesystem::path dir = temp_dir();
    // The dictionary: three textures made through the session from drawn pictures.
    const std::string file = (dir / "tools.txd").string();
    {
        editor_session session;
        session.create_new(0x1803FFFF);
        import_choices choices;
        choices.format = "8";
        choices.mips = 0u; // the full chain
        if (!session.import_chosen(picture(dir / "bricks.png", 128, 128, bricks),
                                   swizzle_mode::as_stored, choices))
            return std::fprintf(stderr, "%s\n", session.error_text().c_str()), 1;
        choices.format = "4";
        choices.mips = 1u;
        session.import_chosen(picture(dir / "sky.png", 64, 64, sky), swizzle_mode::as_stored,
                              choices);
        choices.format = "32";
        session.import_chosen(picture(dir / "badge.png", 64, 64, badge), swizzle_mode::as_stored,
                              choices);
        if (!session.save_as(file))
            return std::fprintf(stderr, "cannot write %s\n", file.c_str()), 1;
    }

    scripted_ui_host host;
    const std::string ini = "[main]\nenable_thumbs=1\nenable_warnings=0\nenable_info=1\n";
    write_file(dir / "Quillmap.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
    startup_options options;
    options.arguments = {(dir / "quillmap").string()};
    options.settings_path = dir / "Quillmap.ini";
    CMainDialog window(host, options);
    if (!window.open_dictionary(file, 0)) return 1;
    window.resize(1000, 640);
    window.show();
    QApplication::processEvents();
    window.list_fill(0);
    window.set_preview_zoom(300);
    QApplication::processEvents();
    bool ok = true;

    // Pixel inspector: the pointer over the preview, the status bar tells the pixel.
    CPictureControl* preview = picture_of(window);
    QWidget* viewport = preview->viewport();
    const QPoint at = preview->picture_rect().topLeft() + QPoint(3 * 40 + 1, 3 * 21 + 1);
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(viewport->mapToGlobal(at)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QApplication::processEvents();
    ok &= save(window.grab(), out, "window.png");
    ok &= save(status_bar_of(window)->grab(), out, "pixel-inspector.png");
    // Palette view and mip strip of the 8-bit texture with its levels.
    ok &= save(palette_panel_of(window)->grab(), out, "palette-view.png");
    ok &= save(level_strip_of(window)->grab(), out, "mip-strip.png");

    // The import choices dialog with its preview, for a picture of no power-of-two size.
    host.answer_file(picture(dir / "poster.png", 240, 200, poster));
    host.answer_modal([&](modal_dialog& modal) {
        auto& dialog = dynamic_cast<CImportChoicesDialog&>(modal);
        dialog.initialize();
        dialog.set_choices({"4", true, 0, 256, 256});
        dialog.show();
        if (!dialog.wait_for_preview(120000)) ok = false;
        QApplication::processEvents();
        ok &= save(dialog.grab(), out, "import-choices.png");
        dialog.hide();
        return int(id_cancel);
    });
    window.run_command(cmd::import_file);

    // Edit in…: the Texture menu that holds it.
    for (QMenu* menu : window.findChildren<QMenu*>()) {
        QAction* edit_in = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().remove('&').startsWith("Edit in")) edit_in = action;
        if (!edit_in) continue;
        menu->popup(window.mapToGlobal(QPoint(120, 30)));
        QApplication::processEvents();
        menu->setActiveAction(edit_in);
        QApplication::processEvents();
        ok &= save(menu->grab(), out, "edit-in.png");
        menu->hide();
        break;
    }

    // Replace All from Folder: the report, as the window's message box shows it.
    const std::filesystem::path folder = dir / "edited";
    std::filesystem::create_directories(folder);
    picture(folder / "bricks.png", 128, 128, [](uint32_t x, uint32_t y) {
        auto c = bricks(x, y);
        std::swap(c[0], c[2]);
        return c;
    });
    picture(folder / "sky.png", 32, 32, sky);
    picture(folder / "notes.png", 8, 8, sky);
    host.clear_log();
    host.answer_file(folder.string());
    window.run_command(cmd::replace_all_from_folder);
    const auto messages = host.of_kind(ui_event::message);
    if (!messages.empty()) {
        QMessageBox box(QMessageBox::Information, QString::fromStdString(messages.back().caption),
                        QString::fromStdString(messages.back().text), QMessageBox::Ok, &window);
        box.show();
        QApplication::processEvents();
        ok &= save(box.grab(), out, "replace-all-report.png");
    }

    // A conversion's progress window, as the window shows it while a conversion runs.
    qt_ui_host shown;
    shown.parent = &window;
    auto progress = shown.begin_progress(
        QString::asprintf(app_msg::converting_dictionary, "mobile.txd").toStdString(), 0);
    if (auto* dialog = window.findChild<QProgressDialog*>()) {
        dialog->show();
        QApplication::processEvents();
        ok &= save(dialog->grab(), out, "conversion-progress.png");
    }
    progress.reset();
    window.hide();
    return ok ? 0 : 1;
}

} // namespace quillmap
