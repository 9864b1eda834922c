#include "app/about.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/splash.h"
#include "card/recovery.h"
#include "platform/dialogsettings.h"
#include "platform/platform.h"
#include "platform/signals.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <clocale>

namespace {

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Cards left behind by windows that did not end by the user's choice are offered back, one
// question each, until one is restored: the window shows one card, and the others wait for
// the next start. A copy that could not be opened was kept aside and is named.
void offerRecovery(TForm1& form, lumo::RecoveryWriter& recovery) {
    lumo::RecoveryScan scan =
        lumo::findPendingRecoveries(lumo::RecoveryWriter::defaultRoot(), lumo::RecoveryWriter::legacyPath());
    for (const QString& problem : scan.problems)
        lumo::platform().error(&form, problem);
    for (const lumo::PendingRecovery& pending : scan.cards) {
        QString name = pending.documentPath.isEmpty() ? pending.card.nameLine().trimmed()
                                                      : QFileInfo(pending.documentPath).completeBaseName();
        const QString question =
            name.isEmpty() ? QStringLiteral("O Lumo Card foi fechado sem salvar. Restaurar o cartão?")
                           : QStringLiteral("O Lumo Card foi fechado sem salvar. Restaurar o cartão \"%1\"?")
                                 .arg(name.left(80));
        const int answer = lumo::platform().question(
            &form, question, {QStringLiteral("Restaurar"), QStringLiteral("Descartar")}, 0);
        // Only a clear "Descartar" removes the card; a box closed otherwise (a logout while it
        // is shown) leaves it for the next start.
        if (answer == 0) {
            form.RestoreCard(pending.card, pending.documentPath);
            // The copy goes once this window's own holds the card.
            recovery.takeOver(pending);
            recovery.writeNow();
            return;
        }
        if (answer == 1)
            lumo::removeRecovery(pending);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Help, version and batches run without a window, so they work without a display.
    const lumo::CommandLine commandLine = lumo::parseCommandLine(argumentsOf(argc, argv));
    if (commandLine.headless())
        return lumo::runHeadless(commandLine, argc, argv);

    // 1. The application, its title and Qt's own Portuguese texts for the system dialogs.
    QApplication app(argc, argv);
    // Qt sets the C library to the user's locale, whose decimal mark may be a comma (pt_BR);
    // the numbers of PDF files, read by libqpdf and written by us, always take a point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo Card"));
    QApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    // A logout (SIGTERM, SIGHUP) or Ctrl+C ends the program through its event loop, so it
    // cleans up as after a normal close; the card's unsaved changes stay in the recovery file.
    bool endedBySignal = false;
    lumo::RecoveryWriter* recoveryOnSignal = nullptr;
    lumo::installQuitOnSignals([&endedBySignal, &recoveryOnSignal](int) {
        endedBySignal = true;
        if (recoveryOnSignal)
            recoveryOnSignal->flush();
        QCoreApplication::exit(0);
    });
    // Qt's own dialogs would otherwise remember folders and custom colours in the user's
    // settings; the program's own settings file is opened by its path and is not affected.
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

    // 5. The message loop, with the main window maximised, showing the card brought back
    //    from a crash or the document named on the command line.
    Form1.showMaximized();
    // From here on every change reaches this window's recovery copy within two seconds; only
    // a quit the user chose removes it.
    lumo::RecoveryWriter recovery(&Form1.Model());
    Form1.AttachRecovery(&recovery);
    Form1.SetClosedHandler([&recovery] { recovery.discard(); });
    offerRecovery(Form1, recovery);
    if (!commandLine.document.isEmpty())
        lumo::runGuarded(&Form1, [&] {
            if (Form1.MaybeSave())
                Form1.OpenDocument(commandLine.document);
        });
    if (endedBySignal)
        return 0;
    recoveryOnSignal = &recovery;
    return QApplication::exec();
}
