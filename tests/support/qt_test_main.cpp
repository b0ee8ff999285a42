// Runs a test executable's tests inside one QApplication on Qt's offscreen
// platform, so that window panels can be built and driven without a display.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char *argv[]) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application{argc, argv};
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
