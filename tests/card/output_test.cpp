#include "app/mainwindow.h"
#include "card/cardlabel.h"
#include "card/cardoutput.h"
#include "card/cardpanel.h"
#include "card/image.h"
#include "formtest.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <cmath>

namespace {

struct PdfPage {
    double width, height; // points
};

std::vector<PdfPage> pdfPages(const QString& path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    std::vector<PdfPage> pages;
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        QPDFObjectHandle box = page.getObjectHandle().getKey("/MediaBox");
        pages.push_back({box.getArrayItem(2).getNumericValue() - box.getArrayItem(0).getNumericValue(),
                         box.getArrayItem(3).getNumericValue() - box.getArrayItem(1).getNumericValue()});
    }
    return pages;
}

// The first page of a PDF rendered by poppler, an independent reader.
QImage rasterize(const QString& pdf, int dpi) {
    const QString out = pdf + ".raster";
    QProcess::execute("pdftoppm", {"-png", "-r", QString::number(dpi), "-singlefile", pdf, out});
    return QImage(out + ".png");
}

// Bounding box of the pixels darker than mid-grey inside `area`.
QRect inkBox(const QImage& page, QRect area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(page.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

QList<QByteArray> decodeFramed(const QImage& page, int scale) {
    // zbar needs a light margin and likes a few pixels per module: enlarge the page plainly.
    QImage big = page.scaled(page.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return decodeQr(big);
}

class Output : public FormTest {
protected:
    void generate(const QString& name = "Ana", const QString& surname = "Lima") {
        form->edtnome->setText(name);
        form->edtsobrenome->setText(surname);
        form->gerarvcard->click();
        ASSERT_TRUE(vcardgerado);
    }
    QByteArray vcard() const { return form->MemoText().toUtf8(); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(Output, NothingHappensWhileTheVCardIsStale) {
    for (QToolButton* button : {form->SpeedButton2, form->SpeedButton4, form->SpeedButton5})
        button->click();
    generate();
    form->edtcep->setText("1");
    for (QToolButton* button : {form->SpeedButton2, form->SpeedButton4, form->SpeedButton5})
        button->click();
    EXPECT_TRUE(fake.saveRequests.empty());
    EXPECT_EQ(fake.printDialogs, 0);
    EXPECT_EQ(fake.beeps, 0);
}

TEST_F(Output, CancelledDialogsDoNothingAndSoundNothing) {
    generate();
    form->SpeedButton4->click();
    form->SpeedButton5->click();
    form->SpeedButton2->click();
    ASSERT_EQ(fake.saveRequests.size(), 2u);
    EXPECT_EQ(fake.saveRequests[0].dialogName, "SaveDialog1");
    EXPECT_EQ(fake.saveRequests[0].fileName, "Ana Lima");
    EXPECT_EQ(fake.saveRequests[1].dialogName, "SaveDialog2");
    EXPECT_EQ(fake.saveRequests[1].defaultSuffix, "pdf");
    EXPECT_EQ(fake.printDialogs, 1);
    EXPECT_EQ(fake.beeps, 0);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(Output, NoSideTickedOutputsNothing) {
    generate();
    form->CheckBox1->setChecked(false);
    fake.saveAnswers = {dir.filePath("c.jpg"), dir.filePath("c.pdf")};
    fake.printAnswers = {true};
    form->SpeedButton4->click();
    form->SpeedButton5->click();
    form->SpeedButton2->click();
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(fake.printDialogs, 0);
    EXPECT_EQ(fake.beeps, 0);
    EXPECT_TRUE(fake.errors.isEmpty());
}

TEST_F(Output, PdfPagesHaveTheCardSizeAndTheQrScans) {
    generate();
    struct Case {
        bool front, back, bleed;
        size_t pages;
        double w, h;
    };
    const double pt = 72 / 25.4;
    const Case cases[] = {
        {true, false, false, 1, 54 * pt, 86 * pt},
        {false, true, false, 1, 54 * pt, 86 * pt},
        {true, true, false, 2, 54 * pt, 86 * pt},
        {true, true, true, 2, 55 * pt, 87 * pt},
    };
    int n = 0;
    for (const Case& c : cases) {
        form->CheckBox1->setChecked(c.front);
        form->CheckBox2->setChecked(c.back);
        form->sangria->setChecked(c.bleed);
        const QString path = dir.filePath(QStringLiteral("cartao%1.pdf").arg(++n));
        fake.saveAnswers.push_back(path);
        form->SpeedButton5->click();
        ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
        const auto pages = pdfPages(path);
        ASSERT_EQ(pages.size(), c.pages);
        for (const PdfPage& p : pages) {
            EXPECT_NEAR(p.width, c.w, 0.002);
            EXPECT_NEAR(p.height, c.h, 0.002);
        }
    }
    EXPECT_EQ(fake.beeps, 4);

    if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
        GTEST_SKIP() << "pdftoppm missing";
    const QImage page = rasterize(dir.filePath("cartao1.pdf"), 600);
    EXPECT_EQ(decodeQr(page), QList<QByteArray>{vcard()});
}

TEST_F(Output, JpegPagesAreNumberedSizedAndScan) {
    generate();
    fake.colorAnswers = {QColor(Qt::yellow)};
    form->SpeedButton10->click(); // back colour, ticks "Verso"
    fake.saveAnswers = {dir.filePath("cartao.jpg")};
    form->SpeedButton4->click();
    EXPECT_EQ(files(), (QStringList{"cartao.1.jpg", "cartao.2.jpg"}));
    EXPECT_EQ(fake.beeps, 1);
    const QImage front(dir.filePath("cartao.1.jpg"));
    const QImage back(dir.filePath("cartao.2.jpg"));
    EXPECT_EQ(front.size(), QSize(638, 1016));
    EXPECT_EQ(back.size(), QSize(638, 1016));
    EXPECT_NEAR(front.dotsPerMeterX() * 0.0254, 300, 0.5);
    EXPECT_EQ(decodeFramed(front, 3), QList<QByteArray>{vcard()});
    const QColor backColour = back.pixelColor(319, 508);
    EXPECT_GT(backColour.red(), 240);
    EXPECT_LT(backColour.blue(), 20);

    // Only the back: it is page 1. With bleed: 650 × 1028.
    form->CheckBox1->setChecked(false);
    form->sangria->setChecked(true);
    fake.saveAnswers = {dir.filePath("so_verso")};
    form->SpeedButton4->click();
    EXPECT_TRUE(files().contains("so_verso.1.jpg"));
    EXPECT_FALSE(files().contains("so_verso.2.jpg"));
    EXPECT_EQ(QImage(dir.filePath("so_verso.1.jpg")).size(), QSize(650, 1028));
}

TEST_F(Output, LargestSymbolScansOnBothOutputs) {
    form->edtsufixo->setText(QString(2800, u'a'));
    generate();
    ASSERT_GT(vcard().size(), 2809); // more than version 39 holds
    fake.saveAnswers = {dir.filePath("v40.pdf"), dir.filePath("v40.jpg")};
    form->SpeedButton5->click();
    form->SpeedButton4->click();
    ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    EXPECT_EQ(decodeFramed(QImage(dir.filePath("v40.1.jpg")), 3), QList<QByteArray>{vcard()});
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
        GTEST_SKIP() << "pdftoppm missing";
    EXPECT_EQ(decodeQr(rasterize(dir.filePath("v40.pdf"), 600)), QList<QByteArray>{vcard()});
}

TEST_F(Output, CardGeometryMatchesTheDocument) {
    generate("Ana", "Lima");
    form->CheckBox3->setChecked(true);
    fake.saveAnswers = {dir.filePath("g.jpg")};
    form->SpeedButton4->click();
    const QImage page(dir.filePath("g.1.jpg"));
    ASSERT_FALSE(page.isNull());
    const double px = 300.0 / 96;
    // The QR symbol fills its 40 mm box: 26.457 units from the left, 147.402 from the top.
    const QRect qr = inkBox(page, QRect(60, 430, 520, 520));
    EXPECT_NEAR(qr.left(), 26.45669291 * px, 1.5);
    EXPECT_NEAR(qr.top(), 147.4015748 * px, 1.5);
    EXPECT_NEAR(qr.width(), 151.18110236 * px, 2.5);
    EXPECT_NEAR(qr.height(), 151.18110236 * px, 2.5);
    // The name is centred in its box.
    const QRect name = inkBox(page, QRect(0, int(75.2 * px), 638, int(18.8 * px)));
    ASSERT_FALSE(name.isEmpty());
    EXPECT_NEAR(name.center().x(), (17.00787402 + 170.16 / 2) * px, 2.5);
    // The icon is shown with "NFC" and sits in the upper box.
    EXPECT_FALSE(inkBox(page, QRect(0, int(7.5 * px), 638, int(40 * px))).isEmpty());

    form->CheckBox3->setChecked(false);
    fake.saveAnswers = {dir.filePath("h.jpg")};
    form->SpeedButton4->click();
    EXPECT_TRUE(
        inkBox(QImage(dir.filePath("h.1.jpg")), QRect(0, int(7.5 * px), 638, int(40 * px))).isEmpty());
}

TEST_F(Output, ColoursAndPicturesReachThePages) {
    generate();
    // A logo with a stripe of exactly the front colour: on the back that stripe shows the back colour.
    QImage logo(100, 100, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    for (int y = 40; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            logo.setPixelColor(x, y, QColor(0xC0, 0x10, 0x10));
    const QString logoPath = dir.filePath("logo.png");
    logo.save(logoPath);
    QImage wide(300, 20, QImage::Format_RGB32);
    wide.fill(Qt::green);
    const QString widePath = dir.filePath("fundo.png");
    wide.save(widePath);
    fake.colorAnswers = {QColor(0xC0, 0x10, 0x10), QColor(Qt::yellow)};
    form->SpeedButton7->click();  // front colour
    form->SpeedButton10->click(); // back colour
    fake.openAnswers = {logoPath, widePath};
    form->SpeedButton11->click();
    form->SpeedButton8->click();

    fake.saveAnswers = {dir.filePath("cores.jpg")};
    form->SpeedButton4->click();
    const QImage front(dir.filePath("cores.1.jpg"));
    const QImage back(dir.filePath("cores.2.jpg"));
    // The stretched background covers the whole front page, corners included.
    for (QPoint p : {QPoint(3, 3), QPoint(634, 1012), QPoint(319, 200)}) {
        const QColor c = front.pixelColor(p);
        EXPECT_TRUE(c.green() > 230 && c.red() < 25 && c.blue() < 25) << p.x() << "," << p.y();
    }
    // The logo box is 45 × 77 mm from 4.5 mm: a square logo is 531 px wide, centred at the page's middle.
    const QColor blue = back.pixelColor(319, 508 - 160);
    EXPECT_TRUE(blue.blue() > 230 && blue.red() < 25) << blue.name().toStdString();
    const QColor keyed = back.pixelColor(319, 508);
    EXPECT_TRUE(keyed.red() > 230 && keyed.green() > 230 && keyed.blue() < 25) << keyed.name().toStdString();
}

TEST_F(Output, PrintingUsesThePrintDialogAndCardSizedPages) {
    generate();
    form->CheckBox2->setChecked(true);
    fake.printAnswers = {false};
    form->SpeedButton2->click();
    EXPECT_EQ(fake.beeps, 0);

    fake.printAnswers = {true};
    fake.printToPdf = dir.filePath("impresso.pdf");
    form->SpeedButton2->click();
    EXPECT_EQ(fake.beeps, 1);
    const auto pages = pdfPages(fake.printToPdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NEAR(pages[0].width, 54 * 72 / 25.4, 1.0);
    EXPECT_NEAR(pages[0].height, 86 * 72 / 25.4, 1.0);
}

TEST_F(Output, FailedExportShowsTheErrorAndKeepsExistingFiles) {
    generate();
    const QString existing = dir.filePath("antigo.pdf");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("antigo");
    }
    // Targets that cannot be written, even by root: a folder, and a path below a file.
    fake.saveAnswers = {dir.path(), existing + "/x.pdf", dir.filePath("falta/c.jpg")};
    form->SpeedButton5->click();
    form->SpeedButton5->click();
    form->SpeedButton4->click();
    EXPECT_EQ(fake.errors.size(), 3);
    EXPECT_EQ(fake.beeps, 0);
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "antigo");
    EXPECT_EQ(files(), QStringList{"antigo.pdf"});
    // The window stays usable.
    fake.saveAnswers = {dir.filePath("bom.pdf")};
    form->SpeedButton5->click();
    EXPECT_EQ(fake.beeps, 1);
}

TEST(CardDocument, PagesAndObjectsAsDesigned) {
    for (bool bleed : {false, true}) {
        auto doc = lumo::makeCardDocument(bleed);
        EXPECT_EQ(doc->Name(), bleed ? "Report2" : "Report1");
        auto* front = doc->Find<report::TReportPage>("frente");
        auto* back = doc->Find<report::TReportPage>("verso");
        ASSERT_TRUE(front && back);
        EXPECT_EQ(front->PaperWidth(), bleed ? 55 : 54);
        EXPECT_EQ(back->PaperHeight(), bleed ? 87 : 86);
        for (const char* name : {"Picture1", "Picture2", "Picture3", "Picture4", "Picture5"})
            EXPECT_TRUE(doc->Find<report::TPictureView>(name)) << name;
        for (const char* name : {"rnome", "rsufixo", "ricone"})
            EXPECT_TRUE(doc->Find<report::TMemoView>(name)) << name;
        const double dx = bleed ? 1.88976378 : 0, dy = bleed ? 1.95094488 : 0;
        auto* qr = doc->Find<report::TPictureView>("Picture1");
        EXPECT_NEAR(qr->Left(), 26.45669291 + dx, 1e-6);
        EXPECT_NEAR(qr->Top(), 147.4015748 + dy, 1e-6);
        EXPECT_EQ(qr->TransparentColor(), QColor(0, 255, 0));
        EXPECT_NEAR(doc->Find<report::TMemoView>("ricone")->Top(), bleed ? 9.51 : 7.55905512, 1e-6);
        auto* logo = doc->Find<report::TPictureView>("Picture3");
        EXPECT_NEAR(logo->Left(), bleed ? 19.38685943 : 17.00787402, 1e-6);
        EXPECT_NEAR(logo->Top(), bleed ? 19.40622176 : 17.00787402, 1e-6);
        EXPECT_FALSE(doc->Find<report::TPictureView>("Picture5")->Picture().isNull());
    }
}
