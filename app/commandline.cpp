#include "app/commandline.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace lumo {

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
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
        } else {
            c.error = QStringLiteral("Opção desconhecida: %1").arg(a);
        }
    }
    if (c.error.isEmpty() && c.batchContacts.isEmpty() && (!c.design.isEmpty() || !c.output.isEmpty()))
        c.error = QStringLiteral("As opções --design e --output valem só com --batch.");
    if (c.error.isEmpty() && !c.batchContacts.isEmpty() && c.output.isEmpty())
        c.error = QStringLiteral("Falta --output com o nome do PDF a gravar.");
    return c;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Uso: lumocard [ARQUIVO.lumocard]\n"
        "     lumocard --batch CONTATOS [--design CARTÃO.lumocard] --output SAÍDA.pdf\n"
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
        "  --output SAÍDA.pdf      o PDF a gravar\n");
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
    (void)argc;
    (void)argv;
    print(stderr, QStringLiteral("lumocard: a geração em lote ainda não está disponível.\n"));
    return 2;
}

} // namespace lumo
