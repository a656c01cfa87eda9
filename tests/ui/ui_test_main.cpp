// Test main of the window tests: headless, with a settings folder of its
// own, so that no test reads or writes the real user's settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "asan_options.h"

int main(int argc, char** argv) {
    // Before anything touches QSettings or the platform plugin; the test
    // discovery at build time runs without ctest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config_home;
    qputenv("XDG_CONFIG_HOME", config_home.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
