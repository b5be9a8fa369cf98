// The GUI tests need one QApplication for the whole run, on the offscreen platform.
#include "screenshots.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    // `--screenshots DIR`: the README's pictures of the window's tools instead of the tests.
    if (argc == 3 && std::strcmp(argv[1], "--screenshots") == 0)
        return quillmap::take_screenshots(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
