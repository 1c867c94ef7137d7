// main() of the GUI tests: an offscreen QApplication made before any test runs.
#include <QApplication>
#include <gtest/gtest.h>

#include "gui/DesignFonts.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LoadTahoma();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
