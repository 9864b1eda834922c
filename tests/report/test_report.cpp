#include "tests/report/cardfixture.h"
#include "tests/report/readback.h"

#include "card/cardoutput.h"
#include "report/export.h"

#include <QDir>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace report;
using namespace reporttest;

namespace {

constexpr double kPx = 300.0 / 96.0; // pixels per unit at 300 dpi

// The program's PDF exporter.
TPDFExport cardPdf(const QString& fileName = {}) {
    TPDFExport pdf = *lumo::makePdfExport();
    pdf.SetFileName(fileName);
    return pdf;
}

TJPEGExport cardJpeg(const QString& fileName = {}) {
    TJPEGExport jpeg;
    jpeg.SetFileName(fileName);
    jpeg.SetResolution(300);
    jpeg.SetJPEGQuality(100);
    return jpeg;
}

TReport preparedCard(const CardOptions& options, bool front = true, bool back = true) {
    TReport card = makeCard(options);
    card.FindObject("frente")->SetVisible(front);
    card.FindObject("verso")->SetVisible(back);
    card.PrepareReport();
    return card;
}

QStringList tree(const QString& root) {
    QStringList all;
    QDir dir(root);
    for (const QString& entry :
         dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        all << entry;
        for (const QString& inner :
             QFileInfo(dir.filePath(entry)).isDir() ? tree(dir.filePath(entry)) : QStringList())
            all << entry + "/" + inner;
    }
    return all;
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Bounding box, as pixel edges, of the pixels that pass the test; all zero when none does.
QRectF inkEdges(const QImage& image, const std::function<bool(QRgb)>& ink) {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image.pixel(x, y))) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return right < 0 ? QRectF() : QRectF(QPointF(left, top), QPointF(right + 1, bottom + 1));
}

void expectNear(const QRectF& actual, const QRectF& expected, double tolerance, const char* what) {
    EXPECT_NEAR(actual.left(), expected.left(), tolerance) << what;
    EXPECT_NEAR(actual.top(), expected.top(), tolerance) << what;
    EXPECT_NEAR(actual.right(), expected.right(), tolerance) << what;
    EXPECT_NEAR(actual.bottom(), expected.bottom(), tolerance) << what;
}

QRectF toPixels(const QRectF& units) {
    return QRectF(units.topLeft() * kPx, units.size() * kPx);
}

bool near(QRgb actual, const QColor& expected, int tolerance = 2) {
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

bool dark(QRgb c) {
    return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
}

TReportPage plainPage(const QColor& colour) {
    TReportPage page("frente");
    page.SetPaperSize(54, 86);
    page.SetColor(colour);
    return page;
}

} // namespace

TEST(CardDocument, ObjectsHaveTheirBoxesFontsAndSettings) {
    for (bool bleed : {false, true}) {
        SCOPED_TRACE(bleed ? "with bleed" : "without bleed");
        const auto card = lumo::makeCardDocument(bleed);
        EXPECT_EQ(card->Name(), bleed ? "Report2" : "Report1");
        const CardBoxes boxes = cardBoxes(bleed);
        QStringList pages;
        for (const auto& page : card->Pages()) {
            pages << page->Name();
            EXPECT_EQ(page->UnitRect(), boxes.page);
        }
        EXPECT_EQ(pages, QStringList({"frente", "verso"}));
        auto box = [&](const char* name) {
            const auto* object = card->Find<TReportObject>(name);
            return object ? QRectF(object->Left(), object->Top(), object->Width(), object->Height())
                          : QRectF();
        };
        const std::pair<const char*, QRectF> placed[] = {
            {"rnome", boxes.name},     {"rsufixo", boxes.suffix}, {"ricone", boxes.icon},
            {"Picture5", boxes.plate}, {"Picture1", boxes.qr},    {"Picture3", boxes.logo},
        };
        for (const auto& [name, expected] : placed)
            expectNear(box(name), expected, 1e-6, name);

        const struct {
            const char* name;
            QString family;
            double height;
            bool bold;
            TVAlign valign;
        } texts[] = {{"rnome", "Arial", 13, true, TVAlign::Top},
                     {"rsufixo", "Arial", 9, false, TVAlign::Top},
                     {"ricone", "icomoon", 24, false, TVAlign::Bottom}};
        for (const auto& t : texts) {
            const auto* memo = card->Find<TMemoView>(t.name);
            ASSERT_TRUE(memo) << t.name;
            EXPECT_EQ(memo->FontName(), t.family) << t.name;
            EXPECT_EQ(memo->FontHeight(), t.height) << t.name;
            EXPECT_EQ(memo->FontBold(), t.bold) << t.name;
            EXPECT_EQ(memo->HAlign(), THAlign::Center) << t.name;
            EXPECT_EQ(memo->VAlign(), t.valign) << t.name;
        }
        EXPECT_EQ(card->Find<TMemoView>("ricone")->Text(), QString(QChar(0xE900)));

        const struct {
            const char* name;
            bool fills, keepAspect, smooth, transparent;
            QColor key;
        } pictures[] = {{"Picture2", true, false, true, true, Qt::white},
                        {"Picture1", false, true, true, true, QColor(0, 255, 0)},
                        {"Picture4", true, false, false, false, QColor()},
                        {"Picture3", false, true, true, true, QColor()}};
        for (const auto& p : pictures) {
            const auto* view = card->Find<TPictureView>(p.name);
            ASSERT_TRUE(view) << p.name;
            EXPECT_EQ(view->FillsPage(), p.fills) << p.name;
            EXPECT_EQ(view->KeepAspectRatio(), p.keepAspect) << p.name;
            EXPECT_EQ(view->Center(), !p.fills) << p.name;
            EXPECT_EQ(view->HighQuality(), p.smooth) << p.name;
            EXPECT_EQ(view->Transparent(), p.transparent) << p.name;
            if (!view->Transparent())
                continue;
            EXPECT_EQ(view->TransparentColor(), p.key) << p.name;
        }
        // The plate is a white square with the rounded corners of its 531-pixel picture.
        const auto* plate = card->Find<TShapeView>("Picture5");
        ASSERT_TRUE(plate);
        EXPECT_EQ(plate->Color(), QColor(Qt::white));
        EXPECT_NEAR(plate->CornerRadius(), boxes.plate.width() * 24 / 531, 1e-6);
    }
}

TEST(ReportDocument, PrepareReportSnapshotsTheVisiblePagesInDocumentOrder) {
    const struct {
        bool front, back;
        QStringList pages;
    } cases[] = {{true, true, {"frente", "verso"}},
                 {true, false, {"frente"}},
                 {false, true, {"verso"}},
                 {false, false, {}}};
    for (const auto& c : cases) {
        TReport card = preparedCard({}, c.front, c.back);
        QStringList names;
        for (const auto& page : card.PreparedPages())
            names << page->Name();
        EXPECT_EQ(names, c.pages);
    }
    // Later changes to the document leave the laid-out pages alone.
    TReport card = preparedCard({});
    card.Find<TMemoView>("rnome")->SetText("Outro Nome");
    card.Find<TReportPage>("frente")->SetColor(Qt::red);
    const TReportPage& front = *card.PreparedPages()[0];
    EXPECT_EQ(static_cast<TMemoView*>(front.FindObject("rnome"))->Text(), "Maria Silva");
    EXPECT_EQ(front.Color(), QColor(Qt::white));
    card.PrepareReport(false); // keeps the last result
    EXPECT_EQ(card.PreparedPages().size(), 4u);
}

TEST(ReportJpeg, PageFileNameReplacesTheExtensionOfTheFileName) {
    const std::pair<QString, QString> cases[] = {
        {"cartao.jpg", "cartao.2.jpg"},
        {"cartao.final", "cartao.2.jpg"},
        {"cartao", "cartao.2.jpg"},
        {"meu.cartao.jpg", "meu.cartao.2.jpg"},
        {"/tmp/a.b/cartao", "/tmp/a.b/cartao.2.jpg"},
        {"/home/u/.cartao", "/home/u/.cartao.2.jpg"},
    };
    for (const auto& [chosen, expected] : cases)
        EXPECT_EQ(TJPEGExport::PageFileName(chosen, 2), expected);
}

TEST(ReportPdf, OnePageOfExactlyThePaperSizePerLaidOutPage) {
    const struct {
        bool bleed, front, back;
        double width, height; // points
    } cases[] = {
        {false, true, true, 153.071, 243.780},  {false, true, false, 153.071, 243.780},
        {false, false, true, 153.071, 243.780}, {true, true, true, 155.906, 246.614},
        {true, false, true, 155.906, 246.614},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "bleed " << c.bleed << " front " << c.front << " back " << c.back);
        TReport card = preparedCard(CardOptions().withBleed(c.bleed).withLogo(makeLogo()), c.front, c.back);
        PdfFacts pdf = inspectPdf(cardPdf().ExportToMemory(card.PreparedPages()));
        ASSERT_EQ(pdf.pages.size(), card.PreparedPages().size());
        for (const PdfPage& page : pdf.pages) {
            EXPECT_EQ(page.mediaBox, (std::vector<double>{0, 0, c.width, c.height}));
            EXPECT_EQ(page.contentFilters, std::vector<std::string>{""}); // one uncompressed stream
        }
        EXPECT_EQ(pdf.version, "1.7");
        EXPECT_FALSE(pdf.encrypted);
        EXPECT_EQ(pdf.info["/Author"], "Lumo Card");
        EXPECT_EQ(pdf.info["/Subject"], "Lumo Card PDF export");
        EXPECT_EQ(pdf.info["/Creator"], "Lumo Card");
        EXPECT_EQ(pdf.info["/Producer"], "Lumo Card");
        EXPECT_EQ(pdf.embeddedFonts > 0, c.front); // the name and suffix
    }
}

TEST(ReportPdf, QrStaysLosslessPhotographsBecomeJpegAtThreeHundredDpiAndNothingIsTransparent) {
    // A photograph with pixels of the front colour (left out, showing that same colour) and a
    // logo with transparent parts, on a back without a picture.
    QImage photo = makePhoto(3000, 2000);
    for (int y = 900; y < 1100; ++y)
        for (int x = 0; x < 3000; ++x)
            photo.setPixel(x, y, qRgb(255, 255, 255));
    TReport card = preparedCard(CardOptions().withFrontBackground(photo).withLogo(makeLogo()));
    const PdfFacts pdf = inspectPdf(cardPdf().ExportToMemory(card.PreparedPages()));
    std::map<int, PdfImage> byWidth;
    for (const PdfPage& page : pdf.pages) {
        EXPECT_FALSE(page.transparency); // the plate is a shape; pictures are laid on their page colour
        for (const PdfImage& image : page.images)
            byWidth[image.width] = image;
    }
    ASSERT_EQ(byWidth.size(), 3u);
    // The QR picture at full resolution, one bit deep.
    EXPECT_EQ(byWidth[2000].bits, 1);
    EXPECT_EQ(byWidth[2000].filter, "/FlateDecode");
    // The photograph stretched over the page, at 300 dpi.
    EXPECT_EQ(byWidth[638].height, 1016);
    EXPECT_EQ(byWidth[638].filter, "/DCTDecode");
    // The logo is a graphic: lossless, 600 pixels in a 45 mm box at 300 dpi.
    EXPECT_EQ(byWidth[532].filter, "/FlateDecode");

    TReport plain = preparedCard({});
    EXPECT_LT(cardPdf().ExportToMemory(plain.PreparedPages()).size(), 200 * 1024);
}

TEST(ReportPdf, RasterizedPdfPageMatchesTheJpegPage) {
    for (bool bleed : {false, true}) {
        QTemporaryDir dir;
        const QColor front(40, 90, 200);
        TReport card =
            preparedCard(CardOptions().withBleed(bleed).withColours(front, Qt::white), true, false);
        TPDFExport pdf = cardPdf(dir.filePath("cartao.pdf"));
        card.Export(pdf);
        const QImage fromPdf = rasterizePdf(dir.filePath("cartao.pdf"), 300);
        if (fromPdf.isNull())
            GTEST_SKIP() << "pdftoppm is not installed";
        const QImage rendered = cardJpeg().RenderPage(*card.PreparedPages()[0]);
        ASSERT_EQ(fromPdf.size(), rendered.size());
        // Compare 8 × 8 pixel cells: the two rasterizers' edge rules differ by a fraction of
        // a pixel, but an object shifted by a pixel or missing shows in many cells.
        int differing = 0, cells = 0;
        for (int y = 0; y + 8 <= rendered.height(); y += 8)
            for (int x = 0; x + 8 <= rendered.width(); x += 8, ++cells) {
                int sum = 0;
                for (int i = 0; i < 64; ++i)
                    sum += qGray(fromPdf.pixel(x + i % 8, y + i / 8)) -
                           qGray(rendered.pixel(x + i % 8, y + i / 8));
                differing += std::abs(sum) / 64 > 40;
            }
        EXPECT_LT(differing, cells / 100) << "bleed " << bleed;
        EXPECT_TRUE(near(fromPdf.pixel(fromPdf.width() - 1, fromPdf.height() - 1), front, 3));
    }
}

TEST(ReportJpeg, OneFilePerLaidOutPageAtThreeHundredDpiAndQualityHundred) {
    const struct {
        bool bleed, front, back;
        QSize pixels;
    } cases[] = {
        {false, true, true, {638, 1016}}, {false, false, true, {638, 1016}}, {true, true, true, {650, 1028}}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        TReport card =
            preparedCard(CardOptions().withBleed(c.bleed).withColours(Qt::white, Qt::red), c.front, c.back);
        TJPEGExport jpeg = cardJpeg(dir.filePath("cartao.jpg"));
        card.Export(jpeg);
        const QStringList files =
            c.front && c.back ? QStringList{"cartao.1.jpg", "cartao.2.jpg"} : QStringList{"cartao.1.jpg"};
        EXPECT_EQ(tree(dir.path()), files); // the chosen name itself is not written
        for (const QString& name : files) {
            const JpegFacts facts = inspectJpeg(readFile(dir.filePath(name)));
            EXPECT_EQ(QSize(facts.width, facts.height), c.pixels);
            EXPECT_TRUE(facts.baseline);
            EXPECT_EQ(facts.components, 3); // full colour, even for a white page
            EXPECT_EQ(std::vector<int>({facts.densityUnit, facts.xDensity, facts.yDensity}),
                      std::vector<int>({1, 300, 300}));
            EXPECT_EQ(facts.quantization, std::vector<int>(facts.quantization.size(), 1)); // quality 100
            EXPECT_FALSE(facts.quantization.empty());
        }
        // The first file is the first laid-out page: the red back when the front is left out.
        const QImage first(dir.filePath("cartao.1.jpg"));
        EXPECT_EQ(near(first.pixel(5, 5), Qt::red, 4), !c.front);
    }
    // Without separate files the pages are stacked in the one chosen file.
    QTemporaryDir dir;
    TReport card = preparedCard({});
    TJPEGExport jpeg = cardJpeg(dir.filePath("cartao.jpg"));
    jpeg.SetSeparateFiles(false);
    card.Export(jpeg);
    EXPECT_EQ(QImage(dir.filePath("cartao.jpg")).size(), QSize(638, 2 * 1016));
}

// Tests may run as root, so the failures used here stop root too.
TEST(ReportFailures, FailedExportLeavesEverythingAsItWas) {
    const struct {
        const char* chosen; // in a scratch folder
        const char* named;  // what the message names
        bool pdf, jpeg;
    } cases[] = {
        {"falta/cartao.pdf", "falta/cartao", true, true},     // a folder that does not exist
        {"arquivo/cartao.pdf", "arquivo/cartao", true, true}, // a path under a regular file
        {"pasta", "pasta", true, true},                       // the target (first page) is a folder
        {"antigo.jpg", "antigo.2.jpg", false, true},          // the second page is a folder
    };
    for (bool pdf : {true, false})
        for (const auto& c : cases) {
            if (!(pdf ? c.pdf : c.jpeg))
                continue;
            SCOPED_TRACE(testing::Message() << (pdf ? "PDF " : "JPEG ") << c.chosen);
            QTemporaryDir dir;
            writeFile(dir.filePath("arquivo"), "um arquivo comum");
            writeFile(dir.filePath("antigo.1.jpg"), "anterior");
            QDir(dir.path()).mkpath(pdf ? "pasta" : "pasta.1.jpg");
            QDir(dir.path()).mkpath("antigo.2.jpg");
            const QStringList before = tree(dir.path());

            TReport card = preparedCard({});
            TPDFExport pdfExport = cardPdf(dir.filePath(c.chosen));
            TJPEGExport jpegExport = cardJpeg(dir.filePath(c.chosen));
            try {
                card.Export(pdf ? static_cast<TExportFilter&>(pdfExport) : jpegExport);
                ADD_FAILURE() << "no error";
            } catch (const ReportError& error) {
                EXPECT_TRUE(QString(error.what()).startsWith("Não foi possível")) << error.what();
                EXPECT_TRUE(QString(error.what()).contains(dir.filePath(c.named))) << error.what();
            }
            EXPECT_EQ(tree(dir.path()), before); // no temporary or partial file left
            EXPECT_EQ(readFile(dir.filePath("antigo.1.jpg")), "anterior");
        }
}

TEST(ReportFailures, NothingLaidOutIsAnErrorAndWritesNothing) {
    QTemporaryDir dir;
    TReport card = preparedCard({}, false, false);
    TPDFExport pdf = cardPdf(dir.filePath("cartao.pdf"));
    TJPEGExport jpeg = cardJpeg(dir.filePath("cartao.jpg"));
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("impresso.pdf"));
    EXPECT_THROW(card.Export(pdf), ReportError);
    EXPECT_THROW(card.Export(jpeg), ReportError);
    EXPECT_THROW(card.Print(printer), ReportError);
    EXPECT_EQ(tree(dir.path()), QStringList());
}

TEST(ReportPrint, EachPageIsPrintedOnItsOwnPaperSize) {
    QTemporaryDir dir;
    TReport report;
    const QSizeF sizes[] = {{54, 86}, {55, 87}, {54, 86}};
    for (QSizeF size : sizes)
        report.AddPage(QString::number(report.Pages().size())).SetPaperSize(size.width(), size.height());
    report.PrepareReport();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("impresso.pdf"));
    report.Print(printer);
    const PdfFacts pdf = inspectPdf(readFile(dir.filePath("impresso.pdf")));
    ASSERT_EQ(pdf.pages.size(), 3u);
    for (int i = 0; i < 3; ++i) { // a printer gets whole points, portrait
        EXPECT_NEAR(pdf.pages[i].mediaBox[2], sizes[i].width() * 72 / 25.4, 0.6) << i;
        EXPECT_NEAR(pdf.pages[i].mediaBox[3], sizes[i].height() * 72 / 25.4, 0.6) << i;
    }

    // A native print engine (Windows) refuses a new layout while it prints: the card's two
    // pages of one size get theirs before the job starts.
    class NativeLikePrinter : public QPrinter {
    public:
        using QPrinter::QPrinter;
        bool setPageLayout(const QPageLayout& layout) override {
            return !paintingActive() && QPrinter::setPageLayout(layout);
        }
    };
    TReport card = preparedCard({});
    NativeLikePrinter native(QPrinter::HighResolution);
    native.setOutputFormat(QPrinter::PdfFormat);
    native.setOutputFileName(dir.filePath("nativo.pdf"));
    card.Print(native);
    EXPECT_EQ(inspectPdf(readFile(dir.filePath("nativo.pdf"))).pages.size(), 2u);
}

TEST(ReportRender, CardObjectsLandInTheirBoxes) {
    for (bool bleed : {false, true}) {
        SCOPED_TRACE(bleed ? "with bleed" : "without bleed");
        const QColor red(200, 0, 0);
        TReport card = makeCard(CardOptions().withBleed(bleed).withColours(red, red));
        for (const char* text : {"rnome", "rsufixo", "ricone"})
            card.FindObject(text)->SetVisible(false);
        const CardBoxes boxes = cardBoxes(bleed);
        const QImage page = cardJpeg().RenderPage(*card.Find<TReportPage>("frente"));
        // The plate is square, as high as its box, centred across it; the QR picture's
        // finder squares reach the edges of its box.
        const QRectF plate(boxes.plate.center().x() - boxes.plate.height() / 2, boxes.plate.top(),
                           boxes.plate.height(), boxes.plate.height());
        expectNear(inkEdges(page, [&](QRgb c) { return !near(c, red, 60); }), toPixels(plate), 1.0, "plate");
        expectNear(inkEdges(page, [](QRgb c) { return qRed(c) < 80; }), toPixels(boxes.qr), 1.0, "QR");

        // A stretched background covers the whole page, its corners at the page's corners.
        const QImage photo = makePhoto(300, 200);
        TReport withPhoto =
            preparedCard(CardOptions().withBleed(bleed).withFrontBackground(photo).withColours(red, red));
        const QImage covered = cardJpeg().RenderPage(*withPhoto.PreparedPages()[0]);
        EXPECT_TRUE(inkEdges(covered, [&](QRgb c) { return near(c, red, 0); }).isNull());
        EXPECT_TRUE(near(covered.pixel(0, 0), photo.pixel(0, 0), 24));
        EXPECT_TRUE(
            near(covered.pixel(covered.width() - 1, covered.height() - 1), photo.pixel(299, 199), 24));

        // The name and the suffix in their colours, centred in their boxes; capitals and
        // ascenders of the 13-unit bold name about 9.3 units high, the 9-unit suffix with
        // its descender about 8.4.
        const QColor blue(0, 0, 190), green(0, 140, 0);
        TReport texts =
            makeCard(CardOptions().withBleed(bleed).withColours(red, red).withTextColours(blue, green));
        texts.FindObject("ricone")->SetVisible(false);
        const QImage written = cardJpeg().RenderPage(*texts.Find<TReportPage>("frente"));
        const struct {
            const char* what;
            QColor colour;
            QRectF box;
            double inkHeight;
        } lines[] = {{"name", blue, boxes.name, 9.3}, {"suffix", green, boxes.suffix, 8.4}};
        for (const auto& line : lines) {
            const QRectF ink = inkEdges(written, [&](QRgb c) { return near(c, line.colour, 40); });
            ASSERT_FALSE(ink.isNull()) << line.what;
            EXPECT_TRUE(toPixels(line.box.adjusted(2, 1, -2, -1)).adjusted(-1, -1, 1, 1).contains(ink))
                << line.what;
            EXPECT_NEAR(ink.center().x(), toPixels(line.box).center().x(), 2) << line.what; // side bearings
            EXPECT_NEAR(ink.height() / kPx, line.inkHeight, 0.35) << line.what;
        }

        // A logo fitted into its box, centred.
        QImage logo(100, 50, QImage::Format_RGB32);
        logo.fill(blue);
        TReport back = makeCard(CardOptions().withBleed(bleed).withColours(red, red).withLogo(logo));
        const QImage verso = cardJpeg().RenderPage(*back.Find<TReportPage>("verso"));
        const QRectF fitted(boxes.logo.left(), boxes.logo.center().y() - boxes.logo.width() / 4,
                            boxes.logo.width(), boxes.logo.width() / 2);
        expectNear(inkEdges(verso, [&](QRgb c) { return near(c, blue, 60); }), toPixels(fitted), 1.0, "logo");
    }
}

// A picture thinner than a pixel at its drawn size still shows as a line one pixel across,
// in the JPEG as in the PDF (and the preview).
TEST(ReportRender, ThinPictureShowsAsALineOnEveryOutput) {
    const QSize sizes[] = {{100000, 1}, {1, 100000}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " × " << size.height());
        QImage logo(size, QImage::Format_RGB32);
        logo.fill(QColor(0, 0, 160));
        TReport card = preparedCard(CardOptions().withLogo(logo), false, true);
        const QRectF box = toPixels(cardBoxes(false).logo);
        const bool wide = size.width() > size.height();
        auto lineOf = [&](const QImage& page) {
            const QRectF ink = inkEdges(page, [](QRgb c) { return qBlue(c) > 100 && qRed(c) < 100; });
            EXPECT_GE(std::min(ink.width(), ink.height()), 1);
            EXPECT_LE(std::min(ink.width(), ink.height()), 2);
            EXPECT_NEAR(wide ? ink.width() : ink.height(), wide ? box.width() : box.height(), 2);
            EXPECT_NEAR(wide ? ink.center().y() : ink.center().x(),
                        wide ? box.center().y() : box.center().x(), 1.5);
        };
        lineOf(cardJpeg().RenderPage(*card.PreparedPages()[0]));
        QTemporaryDir dir;
        TPDFExport pdf = cardPdf(dir.filePath("fino.pdf"));
        card.Export(pdf);
        const QImage fromPdf = rasterizePdf(dir.filePath("fino.pdf"), 300);
        if (fromPdf.isNull())
            GTEST_SKIP() << "pdftoppm is not installed";
        lineOf(fromPdf);
    }
}

TEST(ReportRender, TextIsAlignedInsideItsInsetsAndShowsWholeLinesOnly) {
    const QRectF box = cardBoxes(false).name; // one line of 13 units high
    const QRectF inner = toPixels(box.adjusted(2, 1, -2, -1));
    const QString shortName = "Maria Silva", longName = "Maria Aparecida dos Santos Oliveira";
    const struct {
        THAlign halign;
        TVAlign valign;
        QString text;
        double height; // of the box
        int lines;
    } cases[] = {
        {THAlign::Left, TVAlign::Top, shortName, box.height(), 1},
        {THAlign::Center, TVAlign::Top, shortName, box.height(), 1},
        {THAlign::Right, TVAlign::Top, shortName, box.height(), 1},
        {THAlign::Center, TVAlign::Top, longName, box.height(), 1}, // wraps; the second line is cut
        {THAlign::Center, TVAlign::Top, longName, 60, 2},
        {THAlign::Center, TVAlign::Bottom, longName, 60, 2},
        {THAlign::Center, TVAlign::Center, "[Nome]\n[Sufixo]", 60, 2}, // literal text, line break kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(c.height));
        TReportPage page = plainPage(Qt::white);
        auto& memo = page.Add<TMemoView>("rnome");
        memo.SetBounds(box.left(), box.top(), box.width(), c.height);
        memo.SetFontBold(true);
        memo.SetHAlign(c.halign);
        memo.SetVAlign(c.valign);
        memo.SetText(c.text);
        const QRectF ink = inkEdges(cardJpeg().RenderPage(page), dark);
        const QRectF area =
            toPixels(QRectF(box.left(), box.top(), box.width(), c.height).adjusted(2, 1, -2, -1));
        EXPECT_TRUE(area.adjusted(-1, -1, 1, 1).contains(ink)); // a pixel for anti-aliasing
        // Capitals are about 9.4 units high, lines about 15 units apart.
        EXPECT_NEAR((ink.height() / kPx - 9.4) / 15 + 1, c.lines, 0.35);
        // Side bearings are under a unit; below the last line is its descender space.
        const double left = c.halign == THAlign::Left ? inner.left() : ink.left();
        const double right = c.halign == THAlign::Right ? inner.right() : ink.right();
        const double centre =
            c.halign == THAlign::Center && c.lines == 1 ? inner.center().x() : ink.center().x();
        const double bottom = c.valign == TVAlign::Bottom ? area.bottom() - 3 * kPx : ink.bottom();
        const double middle = c.valign == TVAlign::Center ? area.center().y() : ink.center().y();
        EXPECT_NEAR(ink.left(), left, kPx);
        EXPECT_NEAR(ink.right(), right, kPx);
        EXPECT_NEAR(ink.center().x(), centre, 1.5);
        EXPECT_NEAR(ink.bottom(), bottom, 2 * kPx);
        EXPECT_NEAR(ink.center().y(), middle, 2 * kPx);
    }
}

// The card's name and suffix lines: set smaller in half points down to 7 and 6 points, then
// on two even lines of whole words, and only then cut with "…"; never wider than the box.
TEST(ReportRender, LongNamesAndSuffixesShrinkThenBreakThenAreCut) {
    const double pt = 96.0 / 72;
    const QString maria = "Maria da Conceição Aparecida dos Santos Magalhães";
    const QString longSuffix = "Diretora de Relações Institucionais e Governamentais";
    const QString endless = maria + " de Albuquerque Cavalcanti Bragança e Orléans Saxe-Coburgo";
    const struct {
        const char* object;
        QString text;
        int lines;
        bool cut;
        double minHeight, maxHeight; // font height reached, units
    } cases[] = {
        {"rnome", "Maria Silva", 1, false, 13, 13},
        {"rnome", "Maria da Conceição Aparecida", 1, false, 7 * pt + 0.1, 13 - 0.5},
        {"rnome", maria, 2, false, 7 * pt, 7 * pt},
        {"rnome", "Maria\nda Conceição Aparecida dos Santos\tMagalhães", 2, false, 7 * pt, 7 * pt},
        {"rnome", endless, 2, true, 7 * pt, 7 * pt},
        {"rnome", QString(60, u'M'), 1, true, 7 * pt, 7 * pt},
        {"rsufixo", "Arquiteta", 1, false, 9, 9},
        {"rsufixo", longSuffix, 2, false, 6 * pt, 6 * pt},
        {"rsufixo", longSuffix + " do Nordeste e do Centro-Oeste do Brasil", 2, true, 6 * pt, 6 * pt},
    };
    const CardBoxes boxes = cardBoxes(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.object) + ": " + c.text.toStdString());
        TReport card = makeCard(CardOptions());
        TMemoView& memo = *card.Find<TMemoView>(c.object);
        memo.SetText(c.text);
        const TTextFit fit = memo.Fit();
        ASSERT_EQ(fit.Lines.size(), c.lines) << fit.Lines.join(" | ").toStdString();
        EXPECT_EQ(fit.Cut, c.cut);
        EXPECT_GE(fit.FontHeight, c.minHeight - 1e-9);
        EXPECT_LE(fit.FontHeight, c.maxHeight + 1e-9);
        // Half-point steps from the design height, or the smallest height.
        const double steps = (memo.FontHeight() - fit.FontHeight) / (0.5 * pt);
        EXPECT_TRUE(std::abs(steps - std::round(steps)) < 1e-6 || fit.FontHeight == memo.MinFontHeight());
        const QString words = c.text.simplified();
        if (!c.cut) {
            EXPECT_EQ(fit.Lines.join(' '), words); // every word, whole
        } else {
            EXPECT_TRUE(fit.Lines.back().endsWith(QChar(0x2026)));
            QString shown = fit.Lines.join(' ');
            shown.chop(1);
            EXPECT_TRUE(words.startsWith(shown.trimmed())) << shown.toStdString();
            if (c.lines == 2) {
                EXPECT_TRUE(words.startsWith(fit.Lines[0] + ' ')); // the first line ends at a word
            }
        }

        // On the page the lines stay within the box's sides and are centred on it; two name
        // lines reach up from the box's bottom, two suffix lines down from its top.
        TReportPage page = plainPage(Qt::white);
        page.Add<TMemoView>(c.object) = memo;
        const QRectF ink = inkEdges(cardJpeg().RenderPage(page), dark);
        const QRectF box = toPixels(QRectF(memo.Left(), memo.Top(), memo.Width(), memo.Height()));
        const QRectF inner = box.adjusted(2 * kPx, 0, -2 * kPx, 0);
        EXPECT_GE(ink.left(), inner.left() - 1);
        EXPECT_LE(ink.right(), inner.right() + 1);
        EXPECT_NEAR(ink.center().x(), inner.center().x(), c.cut ? 0.25 * inner.width() : 2.5);
        if (QString(c.object) == "rnome") {
            EXPECT_LE(ink.bottom(), box.bottom());
            EXPECT_GT(ink.top(), toPixels(boxes.icon).bottom());
        } else {
            EXPECT_GE(ink.top(), box.top());
            EXPECT_LT(ink.bottom(), toPixels(boxes.plate).top());
        }
        // Lines of capitals about 0.72 of the font height tall, 1.15 of it apart.
        const double linesSeen = (ink.height() / kPx - 0.72 * fit.FontHeight) / (1.15 * fit.FontHeight) + 1;
        EXPECT_NEAR(linesSeen, c.lines, 0.4);
    }
}

TEST(ReportRender, TransparencyModes) {
    QImage halves(100, 100, QImage::Format_ARGB32); // left opaque lime, right transparent blue
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            halves.setPixel(x, y, x < 50 ? qRgba(0, 255, 0, 255) : qRgba(0, 0, 255, 0));
    QImage lime(100, 100, QImage::Format_RGB32);
    lime.fill(QColor(0, 255, 0));
    const QColor red(200, 0, 0), green(0, 255, 0), white(Qt::white);
    const struct {
        const char* what;
        QImage picture;
        bool transparent;
        QColor key, left, right;
    } cases[] = {
        {"key lime", halves, true, green, red, red},
        {"own alpha", halves, true, QColor(), green, red},
        {"absent key, alpha kept", halves, true, QColor(0, 0, 254), green, red},
        {"opaque, alpha flattened on white", halves, false, green, green, white},
        {"key in an opaque picture", lime, true, green, red, red},
        {"a near colour is not the key", lime, true, QColor(0, 254, 0), green, green},
        {"key in a 16-bit picture", lime.convertToFormat(QImage::Format_RGB16), true, green, red, red},
        {"key in an indexed picture", halves.convertToFormat(QImage::Format_Indexed8), true, green, red, red},
    };
    for (const auto& c : cases) {
        TReportPage page = plainPage(red);
        auto& view = page.Add<TPictureView>("Picture");
        view.SetBounds(10, 10, 100, 100);
        view.SetKeepAspectRatio(false);
        view.SetTransparent(c.transparent);
        view.SetTransparentColor(c.key);
        view.SetPicture(c.picture);
        const QImage image = cardJpeg().RenderPage(page);
        EXPECT_TRUE(near(image.pixel(QPointF(35, 60).toPoint() * kPx), c.left)) << c.what;
        EXPECT_TRUE(near(image.pixel(QPointF(85, 60).toPoint() * kPx), c.right)) << c.what;
    }
    // Logo pixels of the front colour show the back colour; the rest of the logo stays.
    const QColor front(200, 30, 60), back(0, 128, 0);
    TReport card = preparedCard(CardOptions().withLogo(makeLogo()).withColours(front, back), false, true);
    const QImage verso = cardJpeg().RenderPage(*card.PreparedPages()[0]);
    const QPointF centre = cardBoxes(false).logo.center();
    EXPECT_TRUE(near(verso.pixel((centre * kPx).toPoint()), QColor(20, 40, 160)));
    EXPECT_TRUE(near(verso.pixel(((centre + QPointF(50, 0)) * kPx).toPoint()), back));
}
