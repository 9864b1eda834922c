#include "tests/report/cardfixture.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Test discovery runs this program without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    reporttest::loadIconFont();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
