// Test runner for the Qt tests: one QApplication for the whole run, without a display.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Listing the tests at build time runs this too, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrum"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
