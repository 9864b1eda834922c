#include "app/about.h"
#include "app/mainwindow.h"
#include "app/splash.h"
#include "platform/dialogsettings.h"
#include "platform/signals.h"

#include <QApplication>
#include <QIcon>
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
    // A logout (SIGTERM, SIGHUP) or Ctrl+C ends the program through its event loop, so it
    // cleans up as after a normal close.
    bool endedBySignal = false;
    lumo::installQuitOnSignals([&endedBySignal](int) {
        endedBySignal = true;
        QCoreApplication::exit(0);
    });
    // The program keeps nothing between runs; Qt's own dialogs would otherwise remember
    // folders and custom colours in the user's settings.
    lumo::keepDialogSettingsPerRun();

    // 2. The main window; its creation installs the icon font and centres it.
    TForm1 Form1;

    // The program's icon, for every window.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/lumocard.png")));

    // 3. The about box, hidden until the "i" button asks for it.
    TFormInfo FormInfo;
    Form1.SetAboutHandler([&FormInfo] { FormInfo.showOrRaise(); });

    // 4. The splash. Its creation shows it modally and returns once it has closed, about six
    //    seconds later, so the main window appears only after it.
    TForm2 Form2;
    if (endedBySignal)
        return 0;

    // 5. The message loop, with the main window maximised.
    Form1.showMaximized();
    return QApplication::exec();
}
