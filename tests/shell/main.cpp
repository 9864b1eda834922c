#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// The shell's windows run on Qt's offscreen platform (an 800 × 600 screen), with TEMP in a
// folder of their own for the main window's icon font.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo Card"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
