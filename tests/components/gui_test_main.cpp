// Runs the window components' tests inside one QApplication (offscreen in CTest).

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    // Headless also when the tests are listed outside CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
