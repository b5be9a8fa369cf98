#pragma once

#include <QApplication>

#include <filesystem>
#include <string>
#include <vector>

namespace quillmap {

// The application object: it runs the main window as a modal dialog and exits when it closes.
class go_mfc : public QApplication {
    Q_OBJECT

  public:
    go_mfc(int& argc, char** argv);
    // Runs the editor (or its screenshot mode) and returns the exit code.
    int init_instance();
};

// quillmap --screenshot OUT.png [--select N] [--view texture|alpha|mixed] [--zoom PERCENT|fit]
// [--theme dark|light] [FILE]: starts the window as usual in the given theme, opens FILE,
// selects texture N, renders it at the given zoom and saves a picture of the window.
// 0 on success, 1 when FILE did not open or the picture could not be written, 2 on bad usage.
int run_screenshot(const std::vector<std::string>& arguments,
                   const std::filesystem::path& settings_path = {});

} // namespace quillmap
