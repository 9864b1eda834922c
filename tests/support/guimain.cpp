#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

// The GUI tests run on Qt's offscreen platform with TEMP in a folder of their own, where a
// link to a victim file has been planted at the icon font's name.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toLocal8Bit());
    QFile victim(temp.filePath(QStringLiteral("victim.txt")));
    if (victim.open(QIODevice::WriteOnly))
        victim.write("victim");
    victim.close();
    QFile::link(victim.fileName(), temp.filePath(QStringLiteral("icomoon.ttf")));

    // Settings, recent documents and recovery files go to Qt's test folders, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo Card"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
