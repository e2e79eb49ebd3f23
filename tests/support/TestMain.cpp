// GoogleTest entry point with a Qt application object, so tests can turn the event loop and
// use widgets on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/Privileges.h"

#ifdef FOTOSHUTTLE_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    fotoshuttle::testing::DropPermissionOverride();
    TestApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
