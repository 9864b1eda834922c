// One batch of cards to PDF, for measuring its time, its peak memory (under /usr/bin/time -v)
// and the size it adds per card.
//
//   bench_batch --make-background fundo.jpg       writes a 6000 × 4000 photograph-like JPEG
//   bench_batch --write-csv COUNT contatos.csv    the same contacts with their vCards, as CSV
//                                                 (nome, sobrenome, sufixo, vcard) for gLabels
//   bench_batch --write-files COUNT contatos.vcf desenho.lumocard
//                                                 the same contacts as a .vcf and the design as a
//                                                 card document, for lumocard --batch
//   bench_batch COUNT OUT.pdf [--background fundo.jpg] [--front-only] [--bleed] [--sheet a4|letter]
//
// The contacts are made up, each with its own name, accents and a vCard of about 250 bytes.
// Prints "cards=N pages=P seconds=S bytes=B rss_before_kb=R peak_kb=P": the memory in use once
// the contacts are made, and the peak during the export (Linux).

#include "card/batch.h"
#include "card/document.h"
#include "card/pictureloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

bool makeBackground(const QString& path) {
    QImage picture(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb((x / 24 + y / 40) & 0xFF, (y * 255 / 4000) ^ (x & 7),
                           (x * 255 / 6000 + (y & 15)) & 0xFF);
    }
    return picture.save(path, "JPEG", 90);
}

std::vector<lumo::ContactFields> makeContacts(int count) {
    static const char16_t* const names[] = {u"Ana", u"João", u"Conceição", u"Márcia", u"Zé", u"Luís"};
    static const char16_t* const surnames[] = {u"Lima", u"Araújo", u"Gonçalves", u"Peçanha", u"D'Ávila"};
    std::vector<lumo::ContactFields> contacts(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        lumo::ContactFields& c = contacts[std::size_t(i)];
        c.nome = QString::fromUtf16(names[i % 6]);
        c.sobrenome = QString::fromUtf16(surnames[i % 5]) + QStringLiteral(" %1").arg(i + 1);
        c.sufixo = QStringLiteral("Gerente de Relações, Vendas; Sul");
        c.fixo = QStringLiteral("(11) 3456-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        c.celular = QStringLiteral("(11) 98765-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        c.site = QStringLiteral("https://www.exemplo.com.br");
        c.email = QStringLiteral("contato%1@exemplo.com.br").arg(i + 1);
        c.rua = QStringLiteral("Avenida Paulista");
        c.numero = QString::number(1000 + i);
        c.bairro = QStringLiteral("Bela Vista");
        c.cidade = QStringLiteral("São Paulo");
        c.estado = QStringLiteral("SP");
        c.cep = QStringLiteral("01310-100");
    }
    return contacts;
}

// A line of /proc/self/status, in kilobytes; 0 where there is none.
long statusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Starts the peak memory afresh, so that the contacts made before do not set it.
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeCsv(const std::vector<lumo::ContactFields>& contacts, const QString& path) {
    auto quoted = [](const QString& value) {
        return u'"' + QString(value).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
    };
    QString csv = QStringLiteral("nome,sobrenome,sufixo,vcard\n");
    for (const lumo::ContactFields& c : contacts)
        csv += quoted(c.nome) + u',' + quoted(c.sobrenome) + u',' + quoted(c.sufixo) + u',' +
               quoted(lumo::composeVCard(c)) + u'\n';
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(csv.toUtf8()) == csv.toUtf8().size();
}

// The coloured design of both sides the batches are drawn on.
lumo::CardState makeDesign(const QStringList& args) {
    lumo::CardState design;
    design.back = !args.contains(u"--front-only");
    design.bleed = args.contains(u"--bleed");
    if (const qsizetype at = args.indexOf(u"--sheet"); at > 0)
        design.sheet = args.value(at + 1) == u"letter" ? lumo::SheetKind::Letter : lumo::SheetKind::A4;
    design.frontColor = QColor(240, 240, 230);
    design.backColor = QColor(20, 60, 120);
    design.textColor = QColor(20, 20, 60);
    return design;
}

bool writeFiles(const std::vector<lumo::ContactFields>& contacts, const QString& vcfPath,
                const QString& designPath) {
    QByteArray vcf;
    for (const lumo::ContactFields& c : contacts)
        vcf += lumo::vcfFileBytes(lumo::composeVCard(c));
    QFile file(vcfPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(vcf) != vcf.size())
        return false;
    try {
        lumo::saveCardDocument(designPath, makeDesign({}));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int fail(const QString& what) {
    std::fprintf(stderr, "bench_batch: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == u"--make-background")
        return makeBackground(args[1]) ? 0 : fail("cannot write the background");
    bool ok = false;
    if (args.size() == 3 && args[0] == u"--write-csv") {
        const int count = args[1].toInt(&ok);
        return ok && count > 0 && writeCsv(makeContacts(count), args[2]) ? 0 : fail("cannot write the CSV");
    }
    if (args.size() == 4 && args[0] == u"--write-files") {
        const int count = args[1].toInt(&ok);
        return ok && count > 0 && writeFiles(makeContacts(count), args[2], args[3])
                   ? 0
                   : fail("cannot write the files");
    }
    const int count = args.value(0).toInt(&ok);
    if (args.size() < 2 || !ok || count < 1)
        return fail("usage: bench_batch COUNT OUT.pdf [--background fundo.jpg] [--front-only] [--bleed] "
                    "[--sheet a4|letter]");

    lumo::CardState design = makeDesign(args);
    const int perPage = design.sheet == lumo::SheetKind::Card ? 1 : 9;
    if (const qsizetype at = args.indexOf(u"--background"); at > 0) {
        try {
            design.frontBackground = lumo::readPictureFile(args.value(at + 1));
        } catch (const std::exception& e) {
            return fail(QString::fromStdString(e.what()));
        }
    }
    const std::vector<lumo::ContactFields> contacts = makeContacts(count);
    resetPeak();
    const long before = statusKb("VmRSS:");

    QElapsedTimer timer;
    timer.start();
    try {
        lumo::exportBatchPdf(design, contacts, args[1]);
    } catch (const std::exception& e) {
        return fail(QString::fromStdString(e.what()));
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("cards=%d pages=%d seconds=%.3f bytes=%lld rss_before_kb=%ld peak_kb=%ld\n", count,
                (count + perPage - 1) / perPage * (design.back ? 2 : 1), seconds,
                qlonglong(QFileInfo(args[1]).size()), before, statusKb("VmHWM:"));
    return 0;
}
