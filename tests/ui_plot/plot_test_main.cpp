// The spectrum view's tests need one QApplication for the whole run; the engine tests ignore it.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Run without a display when started by hand, as ctest runs the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
