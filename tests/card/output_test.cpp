#include "app/mainwindow.h"
#include "card/cardlabel.h"
#include "card/cardoutput.h"
#include "card/cardpanel.h"
#include "card/image.h"
#include "formtest.h"
#include "platform/dialogs.h"
#include "tests/report/readback.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/resource.h>

#include <cmath>
#include <csignal>

using reporttest::inspectJpeg;
using reporttest::inspectPdf;
using reporttest::PdfFacts;
using reporttest::rasterizePdf;
using reporttest::readFile;

namespace {

constexpr double kPt = 72 / 25.4;  // points per millimetre
constexpr double kPx = 300.0 / 96; // pixels per unit at 300 dpi

// Bounding box of the pixels darker than mid-grey inside `area`.
QRect inkBox(const QImage& page, QRect area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(page.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

// Pixels inside the band of units [top, bottom) of a 300 dpi page that are clearly blue.
int bluePixels(const QImage& page, double top, double bottom) {
    int count = 0;
    for (int y = int(top * kPx); y < int(bottom * kPx) && y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            count += qBlue(c) > 130 && qRed(c) < 90 && qGreen(c) < 110;
        }
    return count;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// While it lives, no file of this process can grow beyond `bytes`: a write stops halfway
// with an error (EFBIG), as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, FOld.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int);
};

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
    EXPECT_TRUE(fake.saveRequests.empty()); // not even a dialog asks for a name
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
    const Case cases[] = {
        {true, false, false, 1, 54 * kPt, 86 * kPt},
        {false, true, false, 1, 54 * kPt, 86 * kPt},
        {true, true, false, 2, 54 * kPt, 86 * kPt},
        {true, true, true, 2, 55 * kPt, 87 * kPt},
    };
    int n = 0;
    for (const Case& c : cases) {
        form->CheckBox1->setChecked(c.front);
        form->CheckBox2->setChecked(c.back);
        form->sangria->setChecked(c.bleed);
        // The dialog's answer "Ana M. Lima" has a dot but no extension: ".pdf" is added.
        const QString answer =
            dir.filePath(n == 0 ? QStringLiteral("Ana M. Lima") : QStringLiteral("cartao%1.pdf").arg(n));
        const QString path = n++ == 0 ? answer + ".pdf" : answer;
        fake.saveAnswers.push_back(answer);
        form->SpeedButton5->click();
        ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
        const PdfFacts pdf = inspectPdf(readFile(path));
        ASSERT_EQ(pdf.pages.size(), c.pages);
        for (const auto& p : pdf.pages) {
            EXPECT_NEAR(p.mediaBox[2], c.w, 0.002);
            EXPECT_NEAR(p.mediaBox[3], c.h, 0.002);
        }
    }
    EXPECT_EQ(fake.beeps, 4);

    const QImage page = rasterizePdf(dir.filePath("Ana M. Lima.pdf"), 600);
    if (page.isNull())
        GTEST_SKIP() << "pdftoppm missing";
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
    const auto quantization = inspectJpeg(readFile(dir.filePath("cartao.1.jpg"))).quantization;
    EXPECT_FALSE(quantization.empty());
    EXPECT_EQ(quantization, std::vector<int>(quantization.size(), 1)); // quality 100
    EXPECT_EQ(decodeFramed(front, 3), QList<QByteArray>{vcard()});
    const QColor backColour = back.pixelColor(319, 508);
    EXPECT_GT(backColour.red(), 240);
    EXPECT_LT(backColour.blue(), 20);

    // Only the back: it is page 1. With bleed: 650 × 1028. A chosen name with a dot but
    // without the extension gets ".jpg" before the page number replaces it.
    form->CheckBox1->setChecked(false);
    form->sangria->setChecked(true);
    fake.saveAnswers = {dir.filePath("Ana M. Lima")};
    form->SpeedButton4->click();
    EXPECT_TRUE(files().contains("Ana M. Lima.1.jpg"));
    EXPECT_FALSE(files().contains("Ana M. Lima.2.jpg"));
    EXPECT_EQ(QImage(dir.filePath("Ana M. Lima.1.jpg")).size(), QSize(650, 1028));
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
    const QImage page = rasterizePdf(dir.filePath("v40.pdf"), 600);
    if (page.isNull())
        GTEST_SKIP() << "pdftoppm missing";
    EXPECT_EQ(decodeQr(page), QList<QByteArray>{vcard()});
}

TEST_F(Output, CardGeometryMatchesTheDocument) {
    generate("Ana", "Lima");
    form->CheckBox3->setChecked(true);
    fake.saveAnswers = {dir.filePath("g.jpg")};
    form->SpeedButton4->click();
    const QImage page(dir.filePath("g.1.jpg"));
    ASSERT_FALSE(page.isNull());
    const double px = kPx;
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

TEST_F(Output, ColoursTextsAndPicturesReachThePages) {
    form->edtsufixo->setText("Arquiteta");
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
    fake.colorAnswers = {QColor(0xC0, 0x10, 0x10), QColor(Qt::yellow), QColor(0x10, 0x30, 0xC0)};
    form->SpeedButton7->click();  // front colour
    form->SpeedButton10->click(); // back colour
    form->SpeedButton6->click();  // text colour
    fake.openAnswers = {logoPath, widePath};
    form->SpeedButton11->click();
    form->SpeedButton8->click();

    fake.saveAnswers = {dir.filePath("cores.jpg"), dir.filePath("cores.pdf")};
    form->SpeedButton4->click();
    form->SpeedButton5->click();
    const QImage front(dir.filePath("cores.1.jpg"));
    const QImage back(dir.filePath("cores.2.jpg"));
    // The name and the suffix in the text colour, on the JPEG and on the PDF: the name's
    // letters between 76 and 91 units from the top, the suffix's between 92 and 108.
    const QImage pdfFront = rasterizePdf(dir.filePath("cores.pdf"), 300);
    for (const QImage& page : {front, pdfFront}) {
        if (page.isNull())
            continue; // no pdftoppm
        // Thin strokes on green lose most of their pure blue to the JPEG's colour subsampling.
        EXPECT_GT(bluePixels(page, 76, 91), 400);
        EXPECT_GT(bluePixels(page, 92, 108), 40);
    }
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

// The real print path with Qt's PDF engine standing in for a printer (the fake print dialog
// only picks the output): page range, copies, the job's name, card-sized pages without
// transparency.
TEST_F(Output, PrintingHonoursThePrintDialogAndNamesTheJob) {
    generate("Ana M.", "Lima");
    fake.colorAnswers = {QColor(Qt::yellow)};
    form->SpeedButton10->click(); // a plain yellow back, ticks "Verso"
    fake.printAnswers = {false};
    form->SpeedButton2->click();
    EXPECT_EQ(fake.beeps, 0);

    const struct {
        int from, to, copies;
        bool collate;
        QString sides; // F: a page with the QR picture, V: the back
    } cases[] = {
        {0, 0, 1, true, "FV"},   {2, 2, 1, true, "V"},     {1, 1, 1, true, "F"},
        {1, 2, 2, true, "FVFV"}, {0, 0, 2, false, "FFVV"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sides.toStdString());
        const QString path = dir.filePath(QStringLiteral("impresso%1.pdf").arg(++n));
        fake.printAnswers = {true};
        fake.printToPdf = path;
        fake.printChoices = [&](QPrinter& printer) {
            if (c.from) {
                printer.setPrintRange(QPrinter::PageRange);
                printer.setFromTo(c.from, c.to);
            }
            printer.setCopyCount(c.copies);
            printer.setCollateCopies(c.collate);
        };
        form->SpeedButton2->click();
        ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
        PdfFacts pdf = inspectPdf(readFile(path));
        QString sides;
        for (const auto& page : pdf.pages) {
            sides += page.images.empty() ? 'V' : 'F';
            EXPECT_NEAR(page.mediaBox[2], 54 * kPt, 1.0); // a printer gets whole points
            EXPECT_NEAR(page.mediaBox[3], 86 * kPt, 1.0);
            EXPECT_FALSE(page.transparency);
        }
        EXPECT_EQ(sides, c.sides);
        EXPECT_EQ(pdf.info["/Title"], "Cartão - Ana M. Lima");
    }
    EXPECT_EQ(fake.beeps, n);

    // A range holding none of the card's pages prints nothing and says why.
    fake.printAnswers = {true};
    fake.printToPdf = dir.filePath("nada.pdf");
    fake.printChoices = [](QPrinter& printer) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(3, 4);
    };
    form->SpeedButton2->click();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("3-4")) << fake.errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(fake.printToPdf));
    EXPECT_EQ(fake.beeps, n);
}

TEST_F(Output, FailedExportShowsTheErrorAndKeepsExistingFiles) {
    generate();
    for (const char* name : {"antigo.pdf", "antigo.1.jpg", "antigo.vcf"})
        writeFile(dir.filePath(name), "antigo");
    // Targets that cannot be written, even by root: a folder, and a path below a file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("pasta.pdf"));
    fake.saveAnswers = {dir.filePath("pasta.pdf"), dir.filePath("antigo.pdf/x.pdf"),
                        dir.filePath("falta/c.jpg")};
    form->SpeedButton5->click();
    form->SpeedButton5->click();
    form->SpeedButton4->click();
    EXPECT_EQ(fake.errors.size(), 3);
    // A write that stops halfway, at a file size limit, leaves the old file whole: the new
    // content goes to a temporary file that replaces the old one only when complete.
    {
        fake.saveAnswers = {dir.filePath("antigo.pdf"), dir.filePath("antigo.jpg"),
                            dir.filePath("antigo.vcf")};
        const FileSizeLimit limit(64);
        form->SpeedButton5->click();
        form->SpeedButton4->click();
        form->SpeedButton12->click();
    }
    EXPECT_EQ(fake.errors.size(), 6);
    EXPECT_EQ(fake.beeps, 0);
    for (const char* name : {"antigo.pdf", "antigo.1.jpg", "antigo.vcf"})
        EXPECT_EQ(readFile(dir.filePath(name)), "antigo") << name;
    EXPECT_EQ(files(), (QStringList{"antigo.1.jpg", "antigo.pdf", "antigo.vcf"}));
    // The window stays usable.
    fake.saveAnswers = {dir.filePath("bom.pdf")};
    form->SpeedButton5->click();
    EXPECT_EQ(fake.beeps, 1);
}

// Qt's own file dialog, answered by a timer as a user would: a name with a dot gets the
// extension, and the question about replacing a file names the file that will be written.
TEST(SaveDialog, RealDialogAddsTheExtensionToANameWithADot) {
    QTemporaryDir dir;
    writeFile(dir.filePath("Ana M. Lima.vcf"), "antigo");
    lumo::TSaveDialog dialog("SaveDialog3", "vcf", "VCF|*vcf", nullptr);
    dialog.SetFileName(dir.filePath("Ana"));
    QStringList questions;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            auto* name = files->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_TRUE(name);
            name->setText("Ana M. Lima");
            QTest::keyClick(name, Qt::Key_Return);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            questions << box->text();
            // No the first time (back to the dialog), yes the second.
            box->button(questions.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
        } else if (modal && ++ticks > 500) {
            modal->close(); // something else is open: give up rather than hang
        }
    });
    timer.start();
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.FileName(), dir.filePath("Ana M. Lima.vcf"));
    ASSERT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions[0].contains("Ana M. Lima.vcf")) << questions[0].toStdString();
}
