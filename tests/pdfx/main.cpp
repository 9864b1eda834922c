#include "tests/report/cardfixture.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Test discovery runs this program without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the print-shop dialog is a widget
    reporttest::loadIconFont();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
