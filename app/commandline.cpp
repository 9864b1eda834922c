#include "app/commandline.h"

#include "card/batch.h"
#include "card/document.h"
#include "contact/contactimport.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/signals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace lumo {

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

bool stderrIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}

// Cards of every contact of the file in one PDF, on the design of a card document or on the
// default card. Needs the application object (fonts) but no window.
int runBatch(const CommandLine& c) {
    bool interrupted = false;
    installQuitOnSignals([&interrupted](int) { interrupted = true; });
    const bool terminal = stderrIsTerminal();
    try {
        // The file is read a part at a time, twice: first through, so that a bad file is told
        // before any output, then straight into the PDF; only some cards wait in memory.
        ContactFileReader contacts(c.batchContacts);
        const int total = contacts.count();
        CardState design = c.design.isEmpty() ? CardState{} : openCardDocument(c.design);
        if (c.sheet)
            design.sheet = *c.sheet;
        if (c.qrLevel)
            design.qrLevel = *c.qrLevel;
        installFontSubstitutes();
        if (design.icon)
            installIconFont();

        QElapsedTimer sinceEvents;
        sinceEvents.start();
        const auto nextContact = [&] {
            std::optional<ContactFields> contact = contacts.next();
            if (!contact)
                throw UserError(QStringLiteral("O arquivo \"%1\" mudou durante a exportação; nenhum PDF foi "
                                               "gravado.")
                                    .arg(c.batchContacts));
            return std::move(*contact);
        };
        const bool complete = exportBatchPdf(design, total, nextContact, c.output, [&](int done, int total) {
            if (terminal)
                print(stderr, QStringLiteral("\rCartão %1 de %2").arg(done).arg(total));
            // A signal reaches the program through its event loop.
            if (sinceEvents.elapsed() >= 50) {
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            return !interrupted;
        });
        if (terminal)
            print(stderr, QStringLiteral("\n"));
        if (!complete) {
            print(stderr, QStringLiteral("lumocard: interrompido; nenhum PDF foi gravado.\n"));
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        if (terminal)
            print(stderr, QStringLiteral("\n"));
        print(stderr, QStringLiteral("lumocard: %1\n").arg(QString::fromUtf8(error.what())));
        return 1;
    }
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine c;
    auto valueOf = [&](qsizetype& i, const QString& option, QString& into) {
        if (i + 1 >= arguments.size()) {
            c.error = QStringLiteral("A opção %1 precisa de um valor.").arg(option);
            return;
        }
        into = arguments[++i];
    };
    bool onlyFiles = false;
    for (qsizetype i = 0; i < arguments.size() && c.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        if (onlyFiles || !a.startsWith(u'-') || a == u"-") {
            if (!c.document.isEmpty()) {
                c.error = QStringLiteral("Só um cartão pode ser aberto de cada vez.");
                break;
            }
            c.document = a;
        } else if (a == u"--") {
            onlyFiles = true;
        } else if (a == u"-h" || a == u"--help" || a == u"--ajuda") {
            c.help = true;
        } else if (a == u"-v" || a == u"--version" || a == u"--versao") {
            c.version = true;
        } else if (a == u"--batch") {
            valueOf(i, a, c.batchContacts);
        } else if (a == u"--design") {
            valueOf(i, a, c.design);
        } else if (a == u"--output") {
            valueOf(i, a, c.output);
        } else if (a == u"--sheet") {
            QString value;
            valueOf(i, a, value);
            const QString word = value.toLower();
            if (word == u"card" || word == u"cartao")
                c.sheet = SheetKind::Card;
            else if (word == u"a4")
                c.sheet = SheetKind::A4;
            else if (word == u"letter" || word == u"carta")
                c.sheet = SheetKind::Letter;
            else if (c.error.isEmpty())
                c.error = QStringLiteral("Papel desconhecido em --sheet: \"%1\" (use a4, letter ou card).")
                              .arg(value);
        } else if (a == u"--ec") {
            QString value;
            valueOf(i, a, value);
            const qsizetype level =
                value.size() == 1 ? QStringLiteral("LMQH").indexOf(value[0].toUpper()) : -1;
            if (level >= 0)
                c.qrLevel = TQRErrorCorrection(level);
            else if (c.error.isEmpty())
                c.error = QStringLiteral("Nível de correção desconhecido em --ec: \"%1\" (use L, M, Q ou H).")
                              .arg(value);
        } else {
            c.error = QStringLiteral("Opção desconhecida: %1").arg(a);
        }
    }
    if (c.error.isEmpty() && c.batchContacts.isEmpty() &&
        (!c.design.isEmpty() || !c.output.isEmpty() || c.sheet || c.qrLevel))
        c.error = QStringLiteral("As opções --design, --output, --sheet e --ec valem só com --batch.");
    if (c.error.isEmpty() && !c.batchContacts.isEmpty() && c.output.isEmpty())
        c.error = QStringLiteral("Falta --output com o nome do PDF a gravar.");
    return c;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Uso: lumocard [ARQUIVO.lumocard]\n"
        "     lumocard --batch CONTATOS [--design CARTÃO.lumocard] [--sheet a4|letter] [--ec L|M|Q|H]\n"
        "              --output SAÍDA.pdf\n"
        "\n"
        "Lumo Card: cartões de contato de dois lados com código QR.\n"
        "\n"
        "Argumentos:\n"
        "  ARQUIVO.lumocard        cartão a abrir na janela\n"
        "\n"
        "Opções:\n"
        "  -h, --help              mostra esta ajuda e sai\n"
        "  -v, --version           mostra a versão e sai\n"
        "  --batch CONTATOS        faz um PDF com um cartão para cada contato do arquivo\n"
        "                          (.vcf ou .csv), sem abrir janela\n"
        "  --design CARTÃO         usa o desenho deste cartão (.lumocard); sem ela, o padrão\n"
        "  --output SAÍDA.pdf      o PDF a gravar\n"
        "  --sheet a4|letter|card  9 cartões por folha A4 ou Carta, com marcas de corte, ou uma\n"
        "                          página do tamanho do cartão; sem ela, o papel do desenho\n"
        "  --ec L|M|Q|H            correção de erros do código QR; sem ela, a do desenho\n");
}

int runHeadless(const CommandLine& c, int argc, char* argv[]) {
    if (!c.error.isEmpty()) {
        print(stderr,
              QStringLiteral("lumocard: %1\nUse \"lumocard --help\" para ver as opções.\n").arg(c.error));
        return 2;
    }
    if (c.help) {
        print(stdout, commandLineHelp());
        return 0;
    }
    if (c.version) {
        print(stdout, QStringLiteral("Lumo Card %1\n").arg(QStringLiteral(LUMO_VERSION)));
        return 0;
    }
    // A batch works without a display: Qt's offscreen platform unless one is asked for, which
    // still gives the fonts the cards are drawn with.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Lumo Card"));
    return runBatch(c);
}

} // namespace lumo
