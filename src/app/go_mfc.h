#pragma once

#include <QApplication>

// The application object: it runs the main window as a modal dialog and exits when it closes.
class go_mfc : public QApplication {
    Q_OBJECT

  public:
    go_mfc(int& argc, char** argv);
    // Runs the editor (or its screenshot mode) and returns the exit code.
    int init_instance();

  private:
    int run_screenshot(const std::vector<std::string>& arguments);
};
