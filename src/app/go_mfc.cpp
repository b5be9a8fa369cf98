#include "app/go_mfc.h"

#include "app/main_dialog.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "views/theme.h"

#include <QPixmap>

#include <cstdio>
#include <cstdlib>

namespace quillmap {

go_mfc::go_mfc(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Quillmap");
    setWindowIcon(QIcon(":/quillmap/quillmap.png"));
}

int go_mfc::init_instance() {
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
        arguments.push_back(path_from_qt(argument));
    // Screenshot mode wherever its option stands: `quillmap FILE --screenshot OUT.png` works too.
    for (const std::string& argument : arguments)
        if (argument == "--screenshot") return run_screenshot(arguments);
    qt_ui_host host;
    CMainDialog dialog(host, startup_options{arguments, {}, [&host](QWidget* window) {
                                                 if (!host.parent) host.parent = window;
                                             }});
    dialog.exec();
    return 0;
}

// quillmap --screenshot OUT.png [--select N] [--view ...] [--zoom ...] [--theme ...] [FILE],
// the options in any order.
int run_screenshot(const std::vector<std::string>& arguments,
                   const std::filesystem::path& settings_path) {
    std::string out;
    std::string file;
    int select = 0;
    view_mode view = view_mode::texture;
    int zoom = 0; // 0: the picture at its own size
    std::string look;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--screenshot" && i + 1 < arguments.size()) {
            out = arguments[++i];
        } else if (a == "--select" && i + 1 < arguments.size()) {
            select = std::atoi(arguments[++i].c_str());
        } else if (a == "--view" && i + 1 < arguments.size()) {
            const std::string& v = arguments[++i];
            view = v == "alpha"   ? view_mode::alpha
                   : v == "mixed" ? view_mode::mixed
                                  : view_mode::texture;
        } else if (a == "--zoom" && i + 1 < arguments.size()) {
            const std::string& z = arguments[++i];
            zoom = z == "fit" ? -1 : std::atoi(z.c_str());
        } else if (a == "--theme" && i + 1 < arguments.size()) {
            look = arguments[++i];
        } else if (file.empty()) {
            file = a;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: quillmap --screenshot OUT.png [--select N] "
                             "[--view texture|alpha|mixed] [--zoom PERCENT|fit] "
                             "[--theme dark|light] [FILE]\n");
        return 2;
    }
    // Nobody answers dialogs here: messages take their first button and are echoed.
    scripted_ui_host host;
    std::vector<std::string> startup{arguments[0]};
    if (!file.empty()) startup.push_back(file);
    CMainDialog dialog(host, startup_options{startup, settings_path, {}});
    if (!look.empty()) dialog.set_theme(theme_from_name(QString::fromStdString(look)));
    dialog.show();
    QCoreApplication::processEvents();
    dialog.set_alpha_mode(view);
    if (dialog.dictionary()) dialog.list_fill(select);
    if (zoom != 0) dialog.set_preview_zoom(zoom);
    QCoreApplication::processEvents();
    for (const std::string& text : host.message_texts())
        std::fprintf(stderr, "quillmap: %s\n", text.c_str());
    const bool saved = dialog.grab().save(path_to_qt(out), "PNG");
    dialog.hide();
    if (!saved) {
        std::fprintf(stderr, "quillmap: cannot write %s\n", out.c_str());
        return 1;
    }
    return file.empty() || dialog.dictionary() ? 0 : 1;
}

} // namespace quillmap
