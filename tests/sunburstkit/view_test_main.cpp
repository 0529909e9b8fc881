// GoogleTest with a QApplication, which widgets and fonts need.

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Offscreen unless told otherwise, so renders depend on no display or desktop theme.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
