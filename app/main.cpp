#include "app/mainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    // 1. The application, its title and Qt's own Portuguese texts for the system dialogs.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    // 2. The main window; its creation installs the icon font and centres it.
    TForm1 Form1;

    // 3. and 4. The about box and the splash come here, before the window is shown.

    // 5. The message loop, with the main window maximised.
    Form1.showMaximized();
    return QApplication::exec();
}
