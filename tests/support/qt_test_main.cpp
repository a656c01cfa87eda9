// main() of the Qt tests (the window tests with TESSALY_TEST_WIDGETS). Two
// things must happen before anything else:
//  - without a display, a Qt application needs the offscreen platform (the
//    build lists the tests by running them, outside ctest's environment);
//  - QSettings fixes its file location at first use, so the settings home
//    is pointed at a temporary folder first: the real home is never touched.
#include <QTemporaryDir>
#ifdef TESSALY_TEST_WIDGETS
#include <QApplication>
using Application = QApplication;
#else
#include <QCoreApplication>
using Application = QCoreApplication;
#endif

#include "asan_options.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir config_home;
    if (!config_home.isValid()) return 2;
    qputenv("XDG_CONFIG_HOME", config_home.path().toLocal8Bit());
    Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
