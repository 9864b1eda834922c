// The print-shop file (PDF/X-1a in CMYK, 3 mm of bleed) against today's batch PDF of the same
// cards, and one card by itself.
//
//   bench_printshop COUNT DIR [--background fundo.jpg] [--only batch|pdfx]
//
// Writes DIR/lote.pdf (exportBatchPdf, with bleed) and DIR/grafica.pdf (exportPrintShopPdf)
// of COUNT two-sided cards on the coloured design of bench_batch, five times each in turn
// (medians), then one card five times.
// Prints "cards=N batch_seconds=S pdfx_seconds=T ratio=R pdfx_bytes=B peak_kb=P
// card_ms=M" (the card's median; peak memory of the whole run, Linux). With --only, writes
// that one file once and prints "seconds=S peak_kb=P", for /usr/bin/time -v to measure alone.

#include "card/batch.h"
#include "card/cardmodel.h"
#include "card/pictureloader.h"
#include "card/printshop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>

namespace {

lumo::ContactFields makeContact(int i) {
    lumo::ContactFields c;
    {
        c.nome = QStringLiteral("Conceição");
        c.sobrenome = QStringLiteral("Araújo %1").arg(i + 1);
        c.sufixo = QStringLiteral("Gerente de Relações, Vendas; Sul");
        c.celular = QStringLiteral("(11) 98765-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        c.site = QStringLiteral("https://www.exemplo.com.br");
        c.email = QStringLiteral("contato%1@exemplo.com.br").arg(i + 1);
        c.rua = QStringLiteral("Avenida Paulista");
        c.numero = QString::number(1000 + i);
        c.cidade = QStringLiteral("São Paulo");
        c.cep = QStringLiteral("01310-100");
    }
    return c;
}

std::vector<lumo::ContactFields> makeContacts(int count) {
    std::vector<lumo::ContactFields> contacts;
    for (int i = 0; i < count; ++i)
        contacts.push_back(makeContact(i));
    return contacts;
}

long peakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

int fail(const QString& what) {
    std::fprintf(stderr, "bench_printshop: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    const int count = args.value(0).toInt(&ok);
    if (args.size() < 2 || !ok || count < 1)
        return fail("usage: bench_printshop COUNT DIR [--background fundo.jpg]");
    const QDir dir(args[1]);

    lumo::CardState design;
    design.back = design.icon = design.bleed = true;
    design.frontColor = QColor(240, 240, 230);
    design.backColor = QColor(20, 60, 120);
    design.textColor = QColor(20, 20, 60);
    if (const qsizetype at = args.indexOf(u"--background"); at > 0) {
        try {
            design.frontBackground = lumo::readPictureFile(args.value(at + 1));
        } catch (const std::exception& e) {
            return fail(QString::fromStdString(e.what()));
        }
    }
    const QString batchPath = dir.filePath(QStringLiteral("lote.pdf"));
    const QString pdfxPath = dir.filePath(QStringLiteral("grafica.pdf"));
    if (const qsizetype at = args.indexOf(u"--only"); at > 0) {
        QElapsedTimer timer;
        timer.start();
        // The contacts are made as they are read, as from a file: the list takes no memory.
        int next = 0;
        const auto nextContact = [&] { return makeContact(next++); };
        try {
            if (args.value(at + 1) == u"batch")
                lumo::exportBatchPdf(design, count, nextContact, batchPath);
            else
                lumo::exportPrintShopPdf(design, count, nextContact, pdfxPath, report::TPdfxOptions{});
        } catch (const std::exception& e) {
            return fail(QString::fromStdString(e.what()));
        }
        std::printf("seconds=%.3f peak_kb=%ld\n", double(timer.nsecsElapsed()) / 1e9, peakKb());
        return 0;
    }
    const std::vector<lumo::ContactFields> contacts = makeContacts(count);
    try {
        // Five rounds, each the batch then the print-shop file: medians of a shared machine.
        QElapsedTimer timer;
        std::vector<double> batches, pdfxs;
        for (int round = 0; round < 5; ++round) {
            timer.start();
            lumo::exportBatchPdf(design, contacts, batchPath);
            batches.push_back(double(timer.nsecsElapsed()) / 1e9);
            timer.restart();
            lumo::exportPrintShopPdf(design, contacts, pdfxPath, report::TPdfxOptions{});
            pdfxs.push_back(double(timer.nsecsElapsed()) / 1e9);
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double batch = median(batches), pdfx = median(pdfxs);

        design.contact = contacts.front();
        lumo::CardDesign card =
            lumo::designOf(design, lumo::qrModulePicture(lumo::composeVCard(contacts.front())));
        std::vector<double> ms;
        for (int i = 0; i < 5; ++i) {
            timer.restart();
            lumo::exportPrintShopPdf(card, dir.filePath(QStringLiteral("cartao.pdf")),
                                     report::TPdfxOptions{});
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("cards=%d batch_seconds=%.3f pdfx_seconds=%.3f ratio=%.2f pdfx_bytes=%lld "
                    "peak_kb=%ld card_ms=%.0f\n",
                    count, batch, pdfx, pdfx / batch, qlonglong(QFileInfo(pdfxPath).size()), peakKb(), ms[2]);
    } catch (const std::exception& e) {
        return fail(QString::fromStdString(e.what()));
    }
    return 0;
}
