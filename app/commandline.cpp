#include "app/commandline.h"

#include "app/contactlist.h"
#include "app/nfccommand.h"
#include "card/batch.h"
#include "card/document.h"
#include "card/printshop.h"
#include "contact/contactcli.h"
#include "contact/contactimport.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <clocale>
#include <cstdio>
#include <filesystem>

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

void printSummary(const QStringList& lines) {
    for (const QString& line : lines)
        print(stderr, QStringLiteral("lumocard: %1\n").arg(line));
}

report::TPdfxOptions printShopOptions(const CommandLine& c) {
    report::TPdfxOptions options;
    options.BleedMm = c.bleedMm;
    options.Marks = c.marks;
    if (!c.condition.isEmpty())
        options.Condition = *report::pressConditionNamed(c.condition);
    return options;
}

// The print shop's file of one card document.
int runPrintShopCard(const CommandLine& c) {
    try {
        const CardState card = openCardDocument(c.document);
        installFontSubstitutes();
        if (card.icon)
            installIconFont();
        exportPrintShopPdf(card, c.output, printShopOptions(c));
        return 0;
    } catch (const std::exception& error) {
        print(stderr, QStringLiteral("lumocard: %1\n").arg(QString::fromUtf8(error.what())));
        return 1;
    }
}

// Cards of every contact of the file in one PDF, on the design of a card document or on the
// default card. Needs the application object (fonts) but no window.
int runBatch(const CommandLine& c) {
    // Ctrl+C, SIGTERM and SIGHUP are asked for between cards and while the file is finished,
    // without waiting for the event loop.
    installQuitOnSignals([](int) {});
    const auto interrupted = [] { return quitSignalReceived() != 0; };
    const bool terminal = stderrIsTerminal();
    BatchSummary summary;
    try {
        // The file is read a part at a time, twice: first through, so that a bad file is told
        // before any output, then straight into the PDF; only some cards wait in memory.
        ContactFileReader contacts(c.batchContacts);
        if (!c.columns.isEmpty())
            contacts.setCsvOptions({parseColumnsOption(c.columns), {}});
        int total = 0;
        try {
            total = contacts.count([&] { return !interrupted(); });
        } catch (const CsvColumnsNeeded& error) {
            print(stderr, QStringLiteral("lumocard: %1\n").arg(columnsNeededText(error)));
            return 1;
        }
        if (total < 0) {
            print(stderr, QStringLiteral("lumocard: interrompido; nenhum PDF foi gravado.\n"));
            return 1;
        }
        if (c.dryRun) {
            // What the counting pass found, before the contacts are read again.
            const ImportResult found = contacts.stats();
            std::vector<ContactFields> first;
            while (int(first.size()) < kDryRunContacts)
                if (std::optional<ContactFields> contact = contacts.next())
                    first.push_back(std::move(*contact));
                else
                    break;
            print(stdout, dryRunText(found, total, first));
            return 0;
        }
        ImportResult skipped;
        skipped.skippedLines = contacts.skippedLines();
        skipped.firstSkipped = contacts.firstSkipped();
        print(stderr, QStringLiteral("lumocard: %1\n").arg(importSummary(total, skipped.skippedLines)));
        printSummary(skippedLinesText(skipped));
        CardState design = c.design.isEmpty() ? CardState{} : openCardDocument(c.design);
        if (c.sheet)
            design.sheet = *c.sheet;
        if (c.qrLevel)
            design.qrLevel = *c.qrLevel;
        installFontSubstitutes();
        if (design.icon)
            installIconFont();

        const auto nextContact = [&] {
            std::optional<ContactFields> contact = contacts.next();
            if (!contact)
                throw UserError(QStringLiteral("O arquivo \"%1\" mudou durante a exportação; nenhum PDF foi "
                                               "gravado.")
                                    .arg(c.batchContacts));
            return std::move(*contact);
        };
        const BatchProgress progress = [&](int done, int total) {
            if (terminal)
                print(stderr, QStringLiteral("\rCartão %1 de %2").arg(done).arg(total));
            return !interrupted();
        };
        if (!c.eachFolder.isEmpty()) {
            std::vector<ContactFields> list;
            list.reserve(std::size_t(total));
            for (int i = 0; i < total; ++i)
                list.push_back(nextContact());
            const QStringList written = exportEachPdf(design, list, c.eachFolder, progress, &summary);
            if (terminal)
                print(stderr, QStringLiteral("\n"));
            if (written.size() + qsizetype(summary.leftOut.size()) < total) {
                print(stderr, QStringLiteral("lumocard: interrompido; %1 de %2 PDFs gravados.\n")
                                  .arg(written.size())
                                  .arg(total));
                return 1;
            }
            printSummary(batchSummaryLines(summary));
            print(stderr, QStringLiteral("lumocard: %1 PDFs gravados em \"%2\".\n")
                              .arg(written.size())
                              .arg(QDir::toNativeSeparators(c.eachFolder)));
            return 0;
        }
        const bool complete =
            !interrupted() &&
            (c.pdfx ? exportPrintShopPdf(design, total, nextContact, c.output, printShopOptions(c), progress,
                                         &summary)
                    : exportBatchPdf(design, total, nextContact, c.output, progress, &summary));
        if (terminal)
            print(stderr, QStringLiteral("\n"));
        if (!complete) {
            print(stderr, QStringLiteral("lumocard: interrompido; nenhum PDF foi gravado.\n"));
            return 1;
        }
        printSummary(batchSummaryLines(summary));
        return 0;
    } catch (const std::exception& error) {
        if (terminal)
            print(stderr, QStringLiteral("\n"));
        printSummary(batchSummaryLines(summary));
        print(stderr, QStringLiteral("lumocard: %1\n").arg(QString::fromUtf8(error.what())));
        return 1;
    }
}

// Whether `a` and `b` name the same file, through links or not.
bool sameFile(const QString& a, const QString& b) {
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(QFile::encodeName(a).toStdString()),
                                       std::filesystem::path(QFile::encodeName(b).toStdString()), error) &&
           !error;
}

// Qt's own options, taken by the application object (QGuiApplication) when it is made; with
// a value or without.
constexpr const char* kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
    "display",     "geometry",           "title",         "name"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine c;
    QCommandLineParser parser;
    // "-platform xcb", as Qt's options are written; "-h" and "-v" stay single letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(
        QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("ajuda")});
    const QCommandLineOption version(
        QStringList{QStringLiteral("v"), QStringLiteral("version"), QStringLiteral("versao")});
    const QCommandLineOption batch(QStringLiteral("batch"), QString(), QStringLiteral("CONTATOS"));
    const QCommandLineOption designOption(QStringLiteral("design"), QString(), QStringLiteral("CARTÃO"));
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("SAÍDA"));
    const QCommandLineOption sheet(QStringLiteral("sheet"), QString(), QStringLiteral("PAPEL"));
    const QCommandLineOption ec(QStringLiteral("ec"), QString(), QStringLiteral("NÍVEL"));
    const QCommandLineOption pdfx(QStringLiteral("pdfx"));
    const QCommandLineOption bleed(QStringLiteral("bleed"), QString(), QStringLiteral("MM"));
    const QCommandLineOption marks(QStringLiteral("marks"));
    const QCommandLineOption condition(QStringLiteral("condition"), QString(), QStringLiteral("CONDIÇÃO"));
    const QCommandLineOption columns(QStringLiteral("columns"), QString(), QStringLiteral("COLUNAS"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption each(QStringLiteral("each"), QString(), QStringLiteral("PASTA"));
    const QCommandLineOption nfc(QStringLiteral("nfc"), QString(), QStringLiteral("CARTÃO"));
    const QCommandLineOption reader(QStringLiteral("reader"), QString(), QStringLiteral("NOME"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SEGUNDOS"));
    parser.addOptions({help, version, batch, designOption, output, sheet, ec, columns, dryRun, each, pdfx,
                       bleed, marks, condition, nfc, reader, timeout});
    QStringList valueOptions = {
        QStringLiteral("batch"),     QStringLiteral("design"),  QStringLiteral("output"),
        QStringLiteral("sheet"),     QStringLiteral("ec"),      QStringLiteral("bleed"),
        QStringLiteral("condition"), QStringLiteral("nfc"),     QStringLiteral("reader"),
        QStringLiteral("timeout"),   QStringLiteral("columns"), QStringLiteral("each")};
    for (const char* name : kQtOptionsWithValue) {
        valueOptions << QLatin1StringView(name);
        parser.addOption(QCommandLineOption(QLatin1StringView(name), QString(), QStringLiteral("VALOR")));
    }
    for (const char* name : kQtFlags)
        parser.addOption(QCommandLineOption(QLatin1StringView(name)));

    // The parser wants the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("lumocard")} + arguments)) {
        // Its own texts are Qt's; the program's say the same in its words.
        const QStringList unknown = parser.unknownOptionNames();
        QString named;
        for (const QString& a : arguments) {
            if (a == u"--")
                break;
            const QString name = a.mid(a.startsWith(u"--") ? 2 : 1).section(u'=', 0, 0);
            if (a.startsWith(u'-') && a != u"-" &&
                (unknown.isEmpty() ? valueOptions.contains(name) : unknown.contains(name)))
                named = a;
            if (!unknown.isEmpty() && !named.isEmpty())
                break;
        }
        c.error = unknown.isEmpty() ? QStringLiteral("A opção %1 precisa de um valor.").arg(named)
                                    : QStringLiteral("Opção desconhecida: %1").arg(named);
        return c;
    }
    c.help = parser.isSet(help);
    c.version = parser.isSet(version);
    // The last value counts when an option is given twice.
    c.batchContacts = parser.value(batch);
    c.design = parser.value(designOption);
    c.output = parser.value(output);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        c.error = QStringLiteral("Só um cartão pode ser aberto de cada vez.");
        return c;
    }
    c.document = files.value(0);
    if (parser.isSet(sheet)) {
        const QString value = parser.value(sheet);
        const QString word = value.toLower();
        if (word == u"card" || word == u"cartao")
            c.sheet = SheetKind::Card;
        else if (word == u"a4")
            c.sheet = SheetKind::A4;
        else if (word == u"letter" || word == u"carta")
            c.sheet = SheetKind::Letter;
        else
            c.error =
                QStringLiteral("Papel desconhecido em --sheet: \"%1\" (use a4, letter ou card).").arg(value);
    }
    if (parser.isSet(ec) && c.error.isEmpty()) {
        const QString value = parser.value(ec);
        const qsizetype level = value.size() == 1 ? QStringLiteral("LMQH").indexOf(value[0].toUpper()) : -1;
        if (level >= 0)
            c.qrLevel = TQRErrorCorrection(level);
        else
            c.error = QStringLiteral("Nível de correção desconhecido em --ec: \"%1\" (use L, M, Q ou H).")
                          .arg(value);
    }
    c.columns = parser.value(columns);
    c.dryRun = parser.isSet(dryRun);
    c.eachFolder = parser.value(each);
    if (!c.columns.isEmpty() && c.error.isEmpty()) {
        try {
            parseColumnsOption(c.columns);
        } catch (const UserError& error) {
            c.error = QString::fromUtf8(error.what());
        }
    }
    c.pdfx = parser.isSet(pdfx);
    c.marks = parser.isSet(marks);
    c.nfcDocument = parser.value(nfc);
    c.reader = parser.value(reader);
    if (parser.isSet(bleed) && c.error.isEmpty()) {
        const QString value = parser.value(bleed);
        if (value == u"2" || value == u"3")
            c.bleedMm = value.toInt();
        else
            c.error = QStringLiteral("Sangria desconhecida em --bleed: \"%1\" (use 2 ou 3).").arg(value);
    }
    if (parser.isSet(condition) && c.error.isEmpty()) {
        c.condition = parser.value(condition);
        if (!report::pressConditionNamed(c.condition))
            c.error =
                QStringLiteral("Condição de impressão desconhecida em --condition: \"%1\" (use fogra39 ou "
                               "fogra29).")
                    .arg(c.condition);
    }
    if (parser.isSet(timeout) && c.error.isEmpty()) {
        bool number = false;
        const int seconds = parser.value(timeout).toInt(&number);
        // At most a day: a wait is measured in milliseconds.
        if (number && seconds > 0 && seconds <= 86400)
            c.timeoutSeconds = seconds;
        else
            c.error = QStringLiteral(
                          "Tempo inválido em --timeout: \"%1\" (um número inteiro de segundos, até 86400).")
                          .arg(parser.value(timeout));
    }
    if (c.error.isEmpty() && parser.isSet(nfc) && c.nfcDocument.isEmpty())
        c.error = QStringLiteral("A opção --nfc precisa de um valor.");
    if (c.error.isEmpty() && !c.nfcDocument.isEmpty() &&
        (parser.isSet(batch) || c.pdfx || parser.isSet(output) || !c.document.isEmpty()))
        c.error =
            QStringLiteral("A opção --nfc não vai junto com --batch, --pdfx, --output ou um cartão a abrir.");
    if (c.error.isEmpty() && c.nfcDocument.isEmpty() && (parser.isSet(reader) || parser.isSet(timeout)))
        c.error = QStringLiteral("As opções --reader e --timeout valem só com --nfc.");
    if (c.error.isEmpty() && !c.pdfx && (parser.isSet(bleed) || c.marks || parser.isSet(condition)))
        c.error = QStringLiteral("As opções --bleed, --marks e --condition valem só com --pdfx.");
    if (c.error.isEmpty() && c.pdfx && c.batchContacts.isEmpty() && !parser.isSet(batch)) {
        // One card: the document named alone, to the print shop's file.
        if (c.document.isEmpty())
            c.error = QStringLiteral("Falta o cartão (.lumocard) a exportar com --pdfx.");
        else if (parser.isSet(designOption) || parser.isSet(sheet) || parser.isSet(ec))
            c.error =
                QStringLiteral("Com --pdfx sem --batch, o cartão é o arquivo dado; --design, --sheet e --ec "
                               "valem só com --batch.");
        else if (c.output.isEmpty())
            c.error = QStringLiteral("Falta --output com o nome do PDF a gravar.");
        else if (sameFile(c.output, c.document))
            c.error = QStringLiteral(
                          "--output é o próprio cartão (\"%1\"); escolha outro nome para o PDF. Nada foi "
                          "gravado.")
                          .arg(QDir::toNativeSeparators(c.output));
        return c;
    }
    if (c.error.isEmpty() && c.pdfx && c.sheet)
        c.error =
            QStringLiteral("Com --pdfx cada cartão vai numa página do seu tamanho; --sheet não vale junto.");
    if (c.error.isEmpty() && c.batchContacts.isEmpty() &&
        (parser.isSet(designOption) || parser.isSet(output) || c.sheet || c.qrLevel ||
         parser.isSet(columns) || c.dryRun || parser.isSet(each)))
        c.error = QStringLiteral(
            "As opções --design, --output, --sheet, --ec, --columns, --dry-run e --each valem só "
            "com --batch.");
    if (c.error.isEmpty() && parser.isSet(batch) && c.batchContacts.isEmpty())
        c.error = QStringLiteral("A opção --batch precisa de um valor.");
    if (c.error.isEmpty() && !c.eachFolder.isEmpty() && (parser.isSet(output) || c.pdfx))
        c.error =
            QStringLiteral("--each grava um PDF por contato na pasta dada; não vai junto com --output nem "
                           "--pdfx.");
    if (c.error.isEmpty() && !c.batchContacts.isEmpty() && c.output.isEmpty() && c.eachFolder.isEmpty() &&
        !c.dryRun)
        c.error = QStringLiteral("Falta --output com o nome do PDF a gravar.");
    // The PDF would replace the very file it is made from.
    if (c.error.isEmpty() && !c.batchContacts.isEmpty() && sameFile(c.output, c.batchContacts))
        c.error =
            QStringLiteral("--output é o próprio arquivo de contatos (\"%1\"); escolha outro nome para o "
                           "PDF. Nada foi gravado.")
                .arg(QDir::toNativeSeparators(c.output));
    if (c.error.isEmpty() && !c.design.isEmpty() && sameFile(c.output, c.design))
        c.error =
            QStringLiteral("--output é o próprio cartão de --design (\"%1\"); escolha outro nome para o "
                           "PDF. Nada foi gravado.")
                .arg(QDir::toNativeSeparators(c.output));
    return c;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Uso: lumocard [ARQUIVO.lumocard]\n"
        "     lumocard --batch CONTATOS [--design CARTÃO.lumocard] [--sheet a4|letter] [--ec L|M|Q|H]\n"
        "              --output SAÍDA.pdf\n"
        "     lumocard --batch CONTATOS [--design CARTÃO.lumocard] [--columns COLUNAS] --each PASTA\n"
        "     lumocard --batch CONTATOS [--columns COLUNAS] --dry-run\n"
        "     lumocard --batch CONTATOS [--design CARTÃO.lumocard] --output SAÍDA.pdf --pdfx\n"
        "              [--bleed 2|3] [--marks] [--condition fogra39|fogra29]\n"
        "     lumocard --pdfx CARTÃO.lumocard --output SAÍDA.pdf [--bleed 2|3] [--marks]\n"
        "              [--condition fogra39|fogra29]\n"
        "     lumocard --nfc CARTÃO.lumocard [--reader NOME] [--timeout SEGUNDOS]\n"
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
        "  --ec L|M|Q|H            correção de erros do código QR; sem ela, a do desenho\n"
        "  --columns \"COLUNA=caixa,…\"\n"
        "                          as caixas das colunas de uma planilha (ou \"ignorar\"), por\n"
        "                          exemplo \"Nome completo=nome,Celular/WhatsApp=celular\"\n"
        "  --dry-run               lê e associa os contatos, mostra o resumo e os 10 primeiros\n"
        "                          numa tabela e não grava nada\n"
        "  --each PASTA            um PDF por contato na pasta, \"Nome Sobrenome.pdf\", em vez\n"
        "                          de --output\n"
        "  --pdfx                  o arquivo para a gráfica: PDF/X-1a em CMYK, um cartão por\n"
        "                          página, com sangria\n"
        "  --bleed 2|3             a sangria em milímetros (padrão 3)\n"
        "  --marks                 marcas de corte fora da sangria\n"
        "  --condition fogra39|fogra29\n"
        "                          papel couché (FOGRA39, o padrão) ou não revestido (FOGRA29)\n"
        "  --nfc CARTÃO            grava o vCard do cartão no chip NFC aproximado do leitor e o\n"
        "                          confere lendo de volta, sem abrir janela\n"
        "  --reader NOME           o leitor NFC a usar; sem ela, o primeiro\n"
        "  --timeout SEGUNDOS      quanto esperar pelo chip (padrão 30)\n");
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
    // Qt's own notices (in English, for developers) stay out of the batch's messages.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fputs(qPrintable(message + u'\n'), stderr);
    });
    QGuiApplication app(argc, argv);
    // Qt sets the C library to the user's locale, whose decimal mark may be a comma (pt_BR);
    // the numbers of PDF files, read by libqpdf and written by us, always take a point.
    std::setlocale(LC_NUMERIC, "C");
    QGuiApplication::setApplicationName(QStringLiteral("Lumo Card"));
    // Qt's own texts (a picture it cannot read, a JSON error, a file error) in Portuguese, as
    // in the window.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    if (!c.nfcDocument.isEmpty())
        return runNfcCommand(c.nfcDocument, c.reader, c.timeoutSeconds);
    if (c.pdfx && c.batchContacts.isEmpty())
        return runPrintShopCard(c);
    return runBatch(c);
}

} // namespace lumo
