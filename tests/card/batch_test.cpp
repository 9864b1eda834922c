#include "card/batch.h"
#include "card/cardoutput.h"
#include "platform/errors.h"
#include "report/pdfstream.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

using lumo::ContactFields;

ContactFields contact(const QString& nome, const QString& sobrenome, const QString& sufixo = {}) {
    ContactFields c;
    c.nome = nome;
    c.sobrenome = sobrenome;
    c.sufixo = sufixo;
    c.celular = QStringLiteral("(11) 98765-4321");
    c.email = nome.toLower() + QStringLiteral("@exemplo.com.br");
    c.cidade = QStringLiteral("São Paulo");
    return c;
}

// Accents, the characters a vCard escapes, a line break and a character beyond 16 bits.
std::vector<ContactFields> someContacts() {
    std::vector<ContactFields> contacts = {
        contact(QStringLiteral("Conceição"), QStringLiteral("Araújo"),
                QStringLiteral("Diretora; Vendas, Sul")),
        contact(QStringLiteral("João"), QStringLiteral("D'Ávila"), QStringLiteral("C:\\dados")),
        contact(QStringLiteral("Zé"), QStringLiteral("Lima"), QStringLiteral("Gerente")),
    };
    contacts[2].rua = QStringLiteral("Rua A\nBloco 2");
    contacts[2].bairro = QStringLiteral("Vila 🎯");
    return contacts;
}

struct PdfFacts {
    std::vector<QSizeF> pages; // points
    bool warnings = true;      // qpdf had to repair something
    int qrImages = 0;          // 1-bit image objects
    int otherImages = 0;
};

PdfFacts readPdf(const QString& path) {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processFile(path.toLocal8Bit().constData());
    PdfFacts facts;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        QPDFObjectHandle box = page.getObjectHandle().getKey("/MediaBox");
        facts.pages.emplace_back(
            box.getArrayItem(2).getNumericValue() - box.getArrayItem(0).getNumericValue(),
            box.getArrayItem(3).getNumericValue() - box.getArrayItem(1).getNumericValue());
    }
    for (QPDFObjectHandle& object : pdf.getAllObjects()) {
        if (!object.isStream() || !object.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
            continue;
        if (object.getDict().getKey("/BitsPerComponent").getIntValue() == 1)
            ++facts.qrImages;
        else
            ++facts.otherImages;
    }
    facts.warnings = pdf.anyWarnings();
    return facts;
}

// Every page of a PDF rendered by poppler, an independent reader.
std::vector<QImage> rasterize(const QString& pdf, int dpi) {
    const QString prefix = pdf + ".page";
    QProcess::execute("pdftoppm", {"-png", "-r", QString::number(dpi), pdf, prefix});
    const QFileInfo info(prefix);
    std::vector<QImage> pages;
    for (const QString& name :
         QDir(info.path()).entryList({info.fileName() + "-*.png"}, QDir::Files, QDir::Name))
        pages.emplace_back(info.dir().filePath(name));
    return pages;
}

QString pageText(const QString& pdf, int page) {
    QProcess text;
    text.start("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    text.waitForFinished();
    return QString::fromUtf8(text.readAllStandardOutput()).simplified();
}

bool havePoppler() {
    return !QStandardPaths::findExecutable("pdftoppm").isEmpty() &&
           !QStandardPaths::findExecutable("pdftotext").isEmpty();
}

class Batch : public ::testing::Test {
protected:
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(Batch, EveryCardCarriesItsOwnContactAndQrCode) {
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils missing";
    const std::vector<ContactFields> contacts = someContacts();
    lumo::CardState design;
    design.back = true;
    design.backColor = QColor(20, 60, 120);
    const QString path = dir.filePath("lote.pdf");
    ASSERT_TRUE(lumo::exportBatchPdf(design, contacts, path));

    const std::vector<QImage> pages = rasterize(path, 150);
    ASSERT_EQ(pages.size(), 2 * contacts.size());
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        SCOPED_TRACE(i);
        const ContactFields& c = contacts[i];
        EXPECT_EQ(decodeQr(pages[2 * i]), QList<QByteArray>{lumo::composeVCard(c).toUtf8()});
        EXPECT_TRUE(decodeQr(pages[2 * i + 1]).isEmpty());
        EXPECT_EQ(pages[2 * i + 1].pixelColor(10, 10), design.backColor);
        const QString text = pageText(path, int(2 * i + 1));
        EXPECT_TRUE(text.contains(c.nome + ' ' + c.sobrenome)) << text.toStdString();
        EXPECT_TRUE(text.contains(c.sufixo)) << text.toStdString();
    }
    // Screen resolution: a viewer's first look.
    EXPECT_EQ(decodeQr(rasterize(path, 72).front()),
              QList<QByteArray>{lumo::composeVCard(contacts[0]).toUtf8()});
}

TEST_F(Batch, PagesAreTheTickedSidesInOrderAtTheCardsExactSize) {
    struct Case {
        bool front, back, bleed;
        QSizeF size;
    };
    const Case cases[] = {
        {true, false, false, {153.071, 243.780}},
        {false, true, false, {153.071, 243.780}},
        {true, true, false, {153.071, 243.780}},
        {true, true, true, {155.906, 246.614}},
    };
    const std::vector<ContactFields> contacts = someContacts();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.front << c.back << c.bleed);
        lumo::CardState design;
        design.front = c.front;
        design.back = c.back;
        design.bleed = c.bleed;
        design.frontColor = Qt::yellow;
        design.backColor = Qt::blue;
        const QString path =
            dir.filePath(QStringLiteral("lote-%1%2%3.pdf").arg(c.front).arg(c.back).arg(c.bleed));
        ASSERT_TRUE(lumo::exportBatchPdf(design, contacts, path));

        const PdfFacts pdf = readPdf(path);
        EXPECT_FALSE(pdf.warnings);
        const int sides = int(c.front) + int(c.back);
        ASSERT_EQ(pdf.pages.size(), contacts.size() * std::size_t(sides));
        for (const QSizeF& page : pdf.pages) {
            EXPECT_NEAR(page.width(), c.size.width(), 0.0005);
            EXPECT_NEAR(page.height(), c.size.height(), 0.0005);
        }
        EXPECT_EQ(pdf.qrImages, c.front ? int(contacts.size()) : 0);
        if (!havePoppler())
            continue;
        const std::vector<QImage> pages = rasterize(path, 20);
        ASSERT_EQ(pages.size(), pdf.pages.size());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const bool front = c.front && (!c.back || i % 2 == 0);
            EXPECT_EQ(pages[i].pixelColor(2, 2), front ? QColor(Qt::yellow) : QColor(Qt::blue)) << i;
        }
    }
}

TEST_F(Batch, CancelOrFailureLeavesNoFileAndKeepsAnExistingOne) {
    const std::vector<ContactFields> contacts = someContacts();
    const QString fresh = dir.filePath("novo.pdf");
    int calls = 0;
    EXPECT_FALSE(lumo::exportBatchPdf({}, contacts, fresh, [&](int done, int total) {
        EXPECT_EQ(done, ++calls);
        EXPECT_EQ(total, 3);
        return done < 2;
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(files().isEmpty());

    const QString existing = dir.filePath("velho.pdf");
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("o lote de ontem");
    old.close();
    EXPECT_FALSE(lumo::exportBatchPdf({}, contacts, existing, [](int, int) { return false; }));

    // The file is finished in a pass of its own, which can be cancelled too.
    {
        report::TPdfPageStream stream(*lumo::makePdfExport(), existing);
        lumo::CardState design;
        const std::unique_ptr<report::TReport> card = lumo::makeCardDocument(false);
        lumo::fillCardDocument(*card, lumo::designOf(design, lumo::qrModulePicture("x")));
        stream.AddPage(*card->Pages().front());
        EXPECT_FALSE(stream.Finish([] { return false; }));
    }

    // No contact whose vCard fits: no card, no file, and the summary says why.
    std::vector<ContactFields> tooLong = {contacts[1]};
    tooLong[0].sufixo = QString(3000, u'a');
    lumo::BatchSummary summary;
    EXPECT_THROW(lumo::exportBatchPdf({}, tooLong, existing, {}, &summary), lumo::UserError);
    ASSERT_EQ(summary.leftOut.size(), 1u);
    EXPECT_EQ(summary.leftOut[0].name, "João D'Ávila");
    EXPECT_THROW(lumo::exportBatchPdf({}, {}, existing), lumo::UserError);
    lumo::CardState noSide;
    noSide.front = false;
    EXPECT_THROW(lumo::exportBatchPdf(noSide, contacts, existing), lumo::UserError);
    EXPECT_THROW(lumo::exportBatchPdf({}, contacts, dir.filePath("falta/lote.pdf")), lumo::UserError);

    EXPECT_EQ(files(), QStringList{"velho.pdf"});
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "o lote de ontem");
}

// Qt's writer is started afresh every few pages; the parts join into one document whose pages
// keep their order, exact sizes, QR codes and text, and which libqpdf reads without a repair.
TEST_F(Batch, PartsOfQtsWriterJoinIntoOneDocument) {
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils missing";
    const std::vector<ContactFields> contacts = someContacts();
    const QString path = dir.filePath("partes.pdf");
    lumo::CardState design;
    design.back = true;
    {
        report::TPdfPageStream stream(*lumo::makePdfExport(), path, 4);
        for (const bool bleed : {false, true}) {
            design.bleed = bleed;
            const std::unique_ptr<report::TReport> document = lumo::makeCardDocument(bleed);
            lumo::CardDesign card = lumo::designOf(design, QImage());
            for (const ContactFields& c : contacts) {
                card.qr = lumo::qrModulePicture(lumo::composeVCard(c), qrLevelL, 4);
                card.name = c.nome + ' ' + c.sobrenome;
                card.suffix = c.sufixo;
                lumo::fillCardDocument(*document, card);
                for (const auto& page : document->Pages())
                    stream.AddPage(*page);
            }
        }
        ASSERT_TRUE(stream.Finish());
    }
    const PdfFacts pdf = readPdf(path);
    EXPECT_FALSE(pdf.warnings);
    ASSERT_EQ(pdf.pages.size(), 12u);
    const std::vector<QImage> pages = rasterize(path, 150);
    ASSERT_EQ(pages.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const QSizeF size = i < 6 ? QSizeF(153.071, 243.780) : QSizeF(155.906, 246.614);
        EXPECT_NEAR(pdf.pages[i].width(), size.width(), 0.001);
        EXPECT_NEAR(pdf.pages[i].height(), size.height(), 0.001);
        const ContactFields& c = contacts[(i / 2) % 3];
        EXPECT_EQ(decodeQr(pages[i]),
                  i % 2 == 0 ? QList<QByteArray>{lumo::composeVCard(c).toUtf8()} : QList<QByteArray>{});
        if (i % 2 == 0) {
            EXPECT_TRUE(pageText(path, int(i + 1)).contains(c.nome + ' ' + c.sobrenome));
        }
    }
}

// A contact whose vCard does not fit the level is left out, listed with its size and the
// level's maximum; the others get their cards, on pages and on sheets alike.
TEST_F(Batch, ContactsWhoseVCardDoesNotFitAreLeftOutAndListed) {
    std::vector<ContactFields> contacts = someContacts();
    contacts[1].sufixo = QString(1500, u'a'); // fits level L, not H
    contacts.push_back(contacts[1]);
    contacts[3].nome = contacts[3].sobrenome = QString();
    for (const lumo::SheetKind sheet : {lumo::SheetKind::Card, lumo::SheetKind::A4}) {
        lumo::CardState design;
        design.qrLevel = qrLevelH;
        design.sheet = sheet;
        lumo::BatchSummary summary;
        const QString path = dir.filePath(sheet == lumo::SheetKind::Card ? "paginas.pdf" : "folhas.pdf");
        ASSERT_TRUE(lumo::exportBatchPdf(design, contacts, path, {}, &summary));
        EXPECT_EQ(summary.cardsWritten, 2);
        EXPECT_EQ(readPdf(path).qrImages, 2);
        // The size is the vCard's UTF-8 bytes, as the QR code would hold them.
        const auto bytes = [&](int i) {
            return lumo::composeVCard(contacts[std::size_t(i)]).toUtf8().size();
        };
        EXPECT_EQ(
            lumo::batchSummaryLines(summary).join(u'\n'),
            QStringLiteral("2 cartões deixados de fora:\n"
                           "  contato 2, João D'Ávila: o vCard não cabe no código QR (nível H: %1 bytes, "
                           "máximo 1273)\n"
                           "  contato 4, sem nome: o vCard não cabe no código QR (nível H: %2 bytes, "
                           "máximo 1273)")
                .arg(bytes(1))
                .arg(bytes(3)));
    }
    {
        lumo::BatchSummary summary;
        // At level L every card is written, and the cards whose suffix cannot be shown whole are
        // listed to be looked at.
        contacts[0].nome = QStringLiteral("Maria da Conceição Aparecida dos Santos Magalhães Figueiredo");
        contacts[0].sobrenome = QStringLiteral("de Albuquerque e Vasconcelos Cavalcanti");
        ASSERT_TRUE(lumo::exportBatchPdf({}, contacts, dir.filePath("l.pdf"), {}, &summary));
        EXPECT_EQ(summary.cardsWritten, 4);
        EXPECT_EQ(lumo::batchSummaryLines(summary).join(u'\n'),
                  QStringLiteral("3 cartões a conferir:\n"
                                 "  contato 1, %1 %2: o nome sai cortado (…)\n"
                                 "  contato 2, João D'Ávila: o sufixo sai cortado (…)\n"
                                 "  contato 4, sem nome: o sufixo sai cortado (…)")
                      .arg(contacts[0].nome, contacts[0].sobrenome));
    }
}

TEST_F(Batch, SharedPicturesAreStoredOnceWhateverTheNumberOfCards) {
    lumo::CardState design;
    design.back = true;
    design.frontColor = Qt::white; // the photograph has white pixels: they are keyed out
    QImage photo(1200, 800, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, x < 8 ? qRgb(255, 255, 255) : qRgb(x % 256, y % 256, (x * y) % 256));
    design.frontBackground.image = photo;
    QImage logo(300, 200, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    for (int y = 50; y < 150; ++y)
        for (int x = 50; x < 250; ++x)
            logo.setPixel(x, y, qRgba(200, 0, 0, 255));
    design.logo.image = logo;

    std::vector<ContactFields> one = {someContacts().front()};
    std::vector<ContactFields> many;
    for (int i = 0; i < 8; ++i)
        many.push_back(contact(QStringLiteral("Pessoa"), QString::number(i)));
    ASSERT_TRUE(lumo::exportBatchPdf(design, one, dir.filePath("um.pdf")));
    ASSERT_TRUE(lumo::exportBatchPdf(design, many, dir.filePath("oito.pdf")));

    const PdfFacts single = readPdf(dir.filePath("um.pdf"));
    const PdfFacts eight = readPdf(dir.filePath("oito.pdf"));
    EXPECT_GE(single.otherImages, 2); // the photograph and the logo at least
    EXPECT_EQ(eight.otherImages, single.otherImages);
    EXPECT_EQ(eight.qrImages, 8);
    // Each further card adds its two pages and QR picture, a few kilobytes.
    const qint64 perCard =
        (QFileInfo(dir.filePath("oito.pdf")).size() - QFileInfo(dir.filePath("um.pdf")).size()) / 7;
    EXPECT_LT(perCard, 15 * 1024);
}
