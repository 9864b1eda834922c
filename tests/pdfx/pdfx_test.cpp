#include "tests/report/cardfixture.h"
#include "tests/report/readback.h"

#include "app/printshopdialog.h"
#include "card/batch.h"
#include "card/cardoutput.h"
#include "card/printshop.h"
#include "contact/vcard.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "report/export.h"
#include "report/pdfstream.h"
#include "report/pdfx.h"
#include "zbardecode.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <lcms2.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using namespace reporttest;
using lumo::composeVCard;
using lumo::ContactFields;
using report::TPdfxOptions;
using report::TPressCondition;

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;

ContactFields contact(int i) {
    ContactFields c;
    c.nome = QStringLiteral("Ana %1").arg(i);
    c.sobrenome = QStringLiteral("Araújo");
    c.sufixo = QStringLiteral("Diretora");
    c.celular = QStringLiteral("(11) 98765-%1").arg(4000 + i);
    c.email = QStringLiteral("ana%1@exemplo.com.br").arg(i);
    return c;
}

// Both sides: a photograph behind the front, another behind the back with a logo on
// transparency over it (a soft mask in the renderer's PDF), the icon, black text and a real QR.
lumo::CardDesign photoCard() {
    lumo::CardDesign d;
    d.front = d.back = d.icon = true;
    d.frontColor = d.backColor = QColor(0x1a, 0x3c, 0x6e);
    d.name = QStringLiteral("Maria Silva");
    d.suffix = QStringLiteral("Arquiteta");
    d.frontBackground = makePhoto(700, 1100);
    d.backBackground = makePhoto(700, 1100).mirrored(true, false);
    d.logo = makeLogo();
    d.qr = lumo::qrModulePicture(composeVCard(contact(1)), qrLevelL, 4);
    return d;
}

// What the independent reader says: "pages N" and nothing else when every rule holds.
QString checkRules(const QString& path, double bleedMm, bool marks, const QString& condition) {
    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(LUMO_TEST_DIR "/pdfxcheck.py"), "rules", path,
                                      QString::number(bleedMm), marks ? "1" : "0", condition});
    python.waitForFinished(120000);
    return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()).trimmed();
}

bool haveTools() {
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import pikepdf, PIL"});
    probe.waitForFinished();
    return probe.exitCode() == 0 && QFile::exists("/usr/bin/gs");
}

struct Plates {
    QImage c, m, y, k; // white: no ink
    int ink(const QImage& plate, int x, int y) const { return 255 - qGray(plate.pixel(x, y)); }
};

Plates separations(const QString& pdf, int page, const QString& dir) {
    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(LUMO_TEST_DIR "/pdfxcheck.py"), "plates", pdf,
                                      QString::number(page), "300", dir});
    python.waitForFinished(120000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    return {QImage(dir + "/C.png"), QImage(dir + "/M.png"), QImage(dir + "/Y.png"), QImage(dir + "/K.png")};
}

// The press CMYK (0 to 255) that Little CMS gives for an sRGB colour, relative colorimetric
// with black-point compensation, straight from the embedded profile.
std::array<double, 4> lcmsCmyk(QRgb rgb, TPressCondition condition) {
    const QByteArray icc = report::pressConditionProfile(condition);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE press = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_DBL, press, TYPE_CMYK_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
    const double in[3] = {qRed(rgb) / 255.0, qGreen(rgb) / 255.0, qBlue(rgb) / 255.0};
    double out[4];
    cmsDoTransform(t, in, out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(press);
    cmsCloseProfile(srgb);
    return {out[0] * 2.55, out[1] * 2.55, out[2] * 2.55, out[3] * 2.55};
}

class PrintShop : public testing::Test {
protected:
    void SetUp() override {
        if (!haveTools())
            GTEST_SKIP() << "python3-pikepdf, python3-pil or ghostscript missing";
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(PrintShop, OneCardFollowsEveryRuleForEachBleedMarksAndCondition) {
    struct Case {
        double bleed;
        bool marks;
        TPressCondition condition;
    };
    const lumo::CardDesign design = photoCard();
    for (const Case& c : {Case{3, false, TPressCondition::Fogra39}, Case{2, true, TPressCondition::Fogra29},
                          Case{3, true, TPressCondition::Fogra39}}) {
        SCOPED_TRACE(testing::Message() << c.bleed << " mm, marks " << c.marks);
        const QString out = path("cartao.pdf");
        lumo::exportPrintShopPdf(design, out, TPdfxOptions{c.bleed, c.marks, c.condition, {}});
        EXPECT_EQ(checkRules(out, c.bleed, c.marks, report::pressConditionName(c.condition)).toStdString(),
                  "pages 2");
        if (c.marks)
            continue;
        // The logo's soft mask became a hard one the right way round: the photograph shows in
        // the corners of the logo's square, the logo's blue in its middle.
        const QImage back = rasterizePdf(out, 150, 2);
        const QRectF box = cardBoxes(false).logo;
        const double px = 150 / 96.0, bleed = c.bleed * report::kUnitsPerMm;
        const QRectF square(box.x() + bleed, box.y() + bleed + (box.height() - box.width()) / 2, box.width(),
                            box.width());
        auto at = [&](QPointF units) { return back.pixelColor((units * px).toPoint()); };
        auto distance = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue());
        };
        const QColor beside = at(square.topLeft() + QPointF(-3, 3)),
                     corner = at(square.topLeft() + QPointF(3, 3));
        const QColor middle = at(square.center());
        EXPECT_LT(distance(corner, beside), 40) << "the corner is not the photograph";
        EXPECT_GT(middle.blue(), middle.red() + 60) << "the middle is not the logo's blue";
    }
    // Nothing but the target is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"cartao.pdf"});
}

// Enough cards for three pieces of the conversion, the last one short.
TEST_F(PrintShop, BatchOfManyCardsFollowsEveryRuleAndStoresSharedPicturesOnce) {
    lumo::CardState design;
    design.front = design.back = design.icon = true;
    design.backColor = QColor(0x1a, 0x3c, 0x6e);
    design.frontBackground.image = makePhoto(700, 1100);
    design.logo.image = makeLogo();
    std::vector<ContactFields> contacts;
    for (int i = 0; i < 230; ++i)
        contacts.push_back(contact(i));
    int lastDone = 0, lastTotal = 0;
    const QString out = path("lote.pdf");
    EXPECT_TRUE(lumo::exportPrintShopPdf(design, contacts, out, TPdfxOptions{}, [&](int done, int total) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        lastTotal = total;
        return true;
    }));
    EXPECT_EQ(lastDone, lastTotal);
    EXPECT_EQ(checkRules(out, 3, false, "FOGRA39").toStdString(), "pages 460");

    // Each card carries its own contact's QR code, readable from the composite at 300 dpi:
    // one from the middle piece, and the last card.
    for (int card : {150, 229}) {
        const QList<QByteArray> found = decodeQr(rasterizePdf(out, 300, 2 * card + 1));
        ASSERT_EQ(found.size(), 1) << card;
        EXPECT_EQ(QString::fromUtf8(found[0]), composeVCard(contacts[std::size_t(card)]));
    }

    // The photo and the logo (with its mask) are stored once for all the cards and pages.
    QPDF written;
    written.processFile(out.toUtf8().constData());
    std::set<QPDFObjGen> pictures;
    int named = 0;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(written).getAllPages())
        for (auto [name, picture] : page.getObjectHandle().getKey("/Resources").getKey("/XObject").ditems())
            if (picture.getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceCMYK")) {
                pictures.insert(picture.getObjGen());
                ++named;
            }
    EXPECT_EQ(pictures.size(), 2u);
    EXPECT_GE(named, 230 * 2);

    // Cancelling leaves nothing: while the second piece is drawn and the first converted on
    // the other thread, and in the conversion of the last piece.
    for (int stopAt : {150, 250}) {
        const QString cancelled = path("cancelado.pdf");
        EXPECT_FALSE(lumo::exportPrintShopPdf(design, contacts, cancelled, TPdfxOptions{},
                                              [&](int done, int) { return done < stopAt; }));
        EXPECT_FALSE(QFile::exists(cancelled));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lote.pdf"});
}

TEST_F(PrintShop, TextAndQrAreOnTheBlackPlateAloneWhiteHasNoInkAndFlatColourIsLcms) {
    lumo::CardDesign design = photoCard();
    design.frontBackground = QImage(); // the flat colour shows
    design.back = false;
    const QString out = path("cartao.pdf");
    lumo::exportPrintShopPdf(design, out, TPdfxOptions{3, false, TPressCondition::Fogra39, {}});
    const Plates p = separations(out, 1, dir.path());
    ASSERT_FALSE(p.k.isNull());
    const double px = 300 / 25.4; // pixels per millimetre
    auto at = [&](double xMm, double yMm) { return QPoint(int(xMm * px), int(yMm * px)); };

    // The flat colour, in the bleed and inside the card, within 1 % of Little CMS's values.
    const std::array<double, 4> expected = lcmsCmyk(qRgb(0x1a, 0x3c, 0x6e), TPressCondition::Fogra39);
    for (QPoint where : {at(1, 1), at(30, 12)}) {
        const int ink[4] = {p.ink(p.c, where.x(), where.y()), p.ink(p.m, where.x(), where.y()),
                            p.ink(p.y, where.x(), where.y()), p.ink(p.k, where.x(), where.y())};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(ink[i], expected[i], 2.55)
                << "plate " << i << " at " << where.x() << "," << where.y();
    }

    // The QR plate (45 mm square from 4.5 mm left, 36.5 mm down, plus the bleed): only black
    // ink, modules of full black, the rest none.
    const CardBoxes boxes = cardBoxes(false);
    const QRectF plateMm(boxes.plate.x() / report::kUnitsPerMm + 3, boxes.plate.y() / report::kUnitsPerMm + 3,
                         boxes.plate.width() / report::kUnitsPerMm,
                         boxes.plate.height() / report::kUnitsPerMm);
    const QRect plate =
        QRectF(plateMm.topLeft() * px, plateMm.size() * px).toAlignedRect().adjusted(8, 8, -8, -8);
    int black = 0, white = 0, other = 0;
    for (int y = plate.top(); y <= plate.bottom(); y += 2)
        for (int x = plate.left(); x <= plate.right(); x += 2) {
            const int cmy = p.ink(p.c, x, y) + p.ink(p.m, x, y) + p.ink(p.y, x, y), k = p.ink(p.k, x, y);
            if (cmy == 0 && k == 255)
                ++black;
            else if (cmy == 0 && k == 0)
                ++white;
            else
                ++other;
        }
    EXPECT_GT(black, 1000);
    EXPECT_GT(white, 1000);
    EXPECT_EQ(other, 0);

    // The name: every pixel is either 100 % black alone or the background colour.
    const QRectF nameMm(boxes.name.x() / report::kUnitsPerMm + 3, boxes.name.y() / report::kUnitsPerMm + 3,
                        boxes.name.width() / report::kUnitsPerMm, boxes.name.height() / report::kUnitsPerMm);
    const QRect name = QRectF(nameMm.topLeft() * px, nameMm.size() * px).toAlignedRect();
    int text = 0, mixed = 0;
    for (int y = name.top(); y <= name.bottom(); ++y)
        for (int x = name.left(); x <= name.right(); ++x) {
            const int c = p.ink(p.c, x, y), k = p.ink(p.k, x, y);
            if (c == 0 && p.ink(p.m, x, y) == 0 && p.ink(p.y, x, y) == 0 && k == 255)
                ++text;
            else if (std::abs(c - expected[0]) > 3 || std::abs(k - expected[3]) > 3)
                ++mixed;
        }
    EXPECT_GT(text, 500);
    EXPECT_EQ(mixed, 0);

    // zbar reads the QR code from the black plate alone.
    const QList<QByteArray> found = decodeQr(p.k);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(QString::fromUtf8(found[0]), composeVCard(contact(1)));
}

TEST_F(PrintShop, CropMarksAreOutsideTheBleedInTheRegistrationColour) {
    // A card document's values, as the command line gives them.
    lumo::CardState card;
    card.contact = contact(2);
    card.frontBackground.image = makePhoto(700, 1100);
    const QString out = path("marcas.pdf");
    lumo::exportPrintShopPdf(card, out, TPdfxOptions{3, true, TPressCondition::Fogra39, {}});
    const Plates p = separations(out, 1, dir.path());
    ASSERT_FALSE(p.k.isNull());
    const double px = 300 / 25.4;
    // The page: the card, 3 mm of bleed and 6 mm of marks on every side.
    EXPECT_NEAR(p.k.width(), (54 + 18) * px, 2);
    // On the trim's top line, left of the bleed: a mark on all four plates; just inside the
    // page's edge beyond the mark, and between mark and bleed, no ink.
    const int y = int(9 * px);
    const int mark = int(3 * px), gap = int(5.5 * px);
    EXPECT_EQ(decodeQr(p.k).value(0), composeVCard(contact(2)).toUtf8());
    for (const QImage* plate : {&p.c, &p.m, &p.y, &p.k}) {
        int darkest = 0;
        for (int dy = -2; dy <= 2; ++dy)
            darkest = std::max(darkest, p.ink(*plate, mark, y + dy));
        EXPECT_EQ(darkest, 255);
        EXPECT_EQ(p.ink(*plate, gap, y), 0);
        EXPECT_EQ(p.ink(*plate, 2, 2), 0);
    }
}

TEST_F(PrintShop, WrongBleedIsRefusedAndTheTargetStaysAsItWas) {
    // A card drawn with today's 0.5 mm bleed is not a print-shop card of 3 mm.
    report::TReport card = makeCard(CardOptions().withBleed(true));
    card.PrepareReport(true);
    std::unique_ptr<report::TPDFExport> pdf = lumo::makePdfExport();
    pdf->SetFileName(path("rgb.pdf"));
    card.Export(*pdf);
    const QString out = path("alvo.pdf");
    {
        QFile existing(out);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("anterior");
    }
    try {
        report::convertToPdfx(path("rgb.pdf"), out, TPdfxOptions{});
        FAIL() << "converted";
    } catch (const report::ReportError& error) {
        EXPECT_NE(QString::fromUtf8(error.what()).indexOf("sangria de 3 mm"), -1) << error.what();
    }
    EXPECT_EQ(readFile(out), QByteArray("anterior"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

} // namespace

// The page boxes of every PDF, print shop or not: the trim is the card, the bleed the page.
// Both writers: the single card's and the batch's stream, whose pages are joined from parts.
TEST(PdfPageBoxes, TrimBoxIsTheCardInsideTheBleedAndBleedBoxThePage) {
    QTemporaryDir dir;
    for (const auto& [bleed, streamed] :
         {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        report::TReport card = makeCard(CardOptions().withBleed(bleed));
        card.PrepareReport(true);
        QByteArray bytes;
        if (streamed) {
            const QString path = dir.filePath(QStringLiteral("lote.pdf"));
            report::TPdfPageStream stream(*lumo::makePdfExport(), path, 1);
            for (int copy = 0; copy < 2; ++copy)
                for (const auto& page : card.PreparedPages())
                    stream.AddPage(*page);
            ASSERT_TRUE(stream.Finish());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
        } else {
            bytes = lumo::makePdfExport()->ExportToMemory(card.PreparedPages());
        }
        QPDF pdf;
        pdf.processMemoryFile("card", bytes.constData(), std::size_t(bytes.size()));
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
            QPDFObjectHandle p = page.getObjectHandle();
            auto box = [&](const char* key) {
                std::vector<double> v;
                for (QPDFObjectHandle item : p.getKey(key).getArrayAsVector())
                    v.push_back(item.getNumericValue());
                return v;
            };
            const double inset = bleed ? 0.5 * kPtPerMm : 0;
            const std::vector<double> media = box("/MediaBox"), trim = box("/TrimBox");
            ASSERT_EQ(trim.size(), 4u);
            EXPECT_EQ(box("/BleedBox"), media);
            EXPECT_NEAR(trim[0], inset, 0.002);
            EXPECT_NEAR(trim[1], inset, 0.002);
            EXPECT_NEAR(trim[2] - trim[0], 54 * kPtPerMm, 0.002);
            EXPECT_NEAR(trim[3] - trim[1], 86 * kPtPerMm, 0.002);
            EXPECT_FALSE(p.hasKey("/ArtBox"));
        }
    }
}

// What lies near the trim is found on the drawing and reported by side and edge.
TEST(SafetyMargin, ListsWhatIsCloserThanTheMarginToTheTrim) {
    lumo::CardDesign design;
    design.front = design.back = design.icon = true;
    design.name = QStringLiteral("Maria Silva");
    design.qr = makeQrPicture();
    // Today's layout keeps everything at least 4.4 mm from the trim (the QR plate is closest).
    std::vector<lumo::MarginWarning> found = lumo::safetyMarginWarnings(design, 3);
    for (const auto& w : found)
        ADD_FAILURE() << w.object.toStdString() << " " << w.edge.toStdString() << " " << w.mm;
    EXPECT_EQ(lumo::describeMarginWarnings(found), QStringList{"Nada fica a menos de 3 mm do corte."});

    // A logo as wide as its box reaches 4.5 mm from the left and right edges of the back.
    design.logo = QImage(900, 100, QImage::Format_RGB32);
    design.logo.fill(Qt::red);
    found = lumo::safetyMarginWarnings(design, 5);
    std::vector<std::pair<QString, QString>> logo;
    for (const auto& w : found)
        if (w.object == "o logotipo") {
            logo.emplace_back(w.side, w.edge);
            EXPECT_NEAR(w.mm, 4.5, 0.2);
        }
    EXPECT_EQ(logo, (std::vector<std::pair<QString, QString>>{{"verso", "esquerda"}, {"verso", "direita"}}));
    EXPECT_EQ(
        lumo::describeMarginWarnings(found).filter("o logotipo (verso): 4,5 mm da borda esquerda").size(), 1);
}

// The dialog shows the remembered choice and the margin list, and gives back what is ticked.
TEST(PrintShopDialog, RemembersTheChoiceAndListsTheMargin) {
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(lumo::Settings::path());
    EXPECT_EQ(lumo::rememberedPrintShopChoice(), lumo::PrintShopChoice{}); // 3 mm, no marks, FOGRA39
    const lumo::PrintShopChoice chosen{2, true, TPressCondition::Fogra29};
    lumo::rememberPrintShopChoice(chosen);
    EXPECT_EQ(lumo::rememberedPrintShopChoice(), chosen);

    lumo::PrintShopDialog dialog({QStringLiteral("o logotipo (verso): 2,0 mm da borda esquerda")}, nullptr);
    dialog.SetChoice(lumo::rememberedPrintShopChoice());
    EXPECT_EQ(dialog.Choice(), chosen);
    dialog.findChild<QRadioButton*>("sangria3")->setChecked(true);
    dialog.findChild<QComboBox*>("condicao")->setCurrentIndex(0);
    EXPECT_EQ(dialog.Choice(), (lumo::PrintShopChoice{3, true, TPressCondition::Fogra39}));
    auto* margin = dialog.findChild<QListWidget*>("margem");
    ASSERT_EQ(margin->count(), 1);
    EXPECT_EQ(margin->item(0)->text(), "o logotipo (verso): 2,0 mm da borda esquerda");
    if (const QString shot = qEnvironmentVariable("LUMO_SCREENSHOT_DIR"); !shot.isEmpty()) {
        dialog.adjustSize();
        dialog.grab().save(shot + "/printshopdialog.png");
    }
    QFile::remove(lumo::Settings::path());
}

// What PDF/X-1a has no place for is refused, naming it, and no file is written: a page with a
// pattern, a Type 3 font, a font that is not embedded, transparency, an ICC-based picture.
TEST(PrintShopConversion, RefusesWhatPdfxCannotHold) {
    QTemporaryDir dir;
    struct Case {
        const char* resources;
        const char* content;
        const char* message;
    };
    const Case cases[] = {
        {"<< /Pattern << /P0 << /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB "
         "/Coords [0 0 1 1] /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0] /C1 [1 1 1] /N 1 >> >> >> "
         ">> >>",
         "0 0 10 10 re f", "padrão"},
        {"<< /Font << /F0 << /Type /Font /Subtype /Type3 /FontBBox [0 0 1 1] /FontMatrix [1 0 0 1 0 0] "
         "/CharProcs << >> /Encoding << >> /FirstChar 0 /LastChar 0 /Widths [0] >> >> >>",
         "BT /F0 1 Tf (a) Tj ET", "Type 3"},
        {"<< /Font << /F0 << /Type /Font /Subtype /TrueType /BaseFont /Arial >> >> >>",
         "BT /F0 1 Tf (a) Tj ET", "não está incorporada"},
        {"<< /ExtGState << /G0 << /Type /ExtGState /ca 0.5 >> >> >>", "/G0 gs 0 0 10 10 re f",
         "transparência"},
        {"<< /XObject << /I0 << /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 "
         "/ColorSpace [/ICCBased << /N 3 >>] /Length 3 >> >> >>",
         "/I0 Do", "imagem"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        QPDF pdf;
        pdf.emptyPDF();
        QPDFObjectHandle resources = QPDFObjectHandle::parse(c.resources);
        // An image needs a stream: the parsed dictionary becomes one.
        if (resources.hasKey("/XObject")) {
            QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf, std::string(3, '\0'));
            for (const auto& [key, value] : resources.getKey("/XObject").getKey("/I0").ditems())
                if (key != "/Length")
                    image.getDict().replaceKey(key, value);
            resources.getKey("/XObject").replaceKey("/I0", image);
        }
        QPDFObjectHandle page =
            pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 "
                                                           "170.079 260.787] >>"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, c.content));
        QPDFPageDocumentHelper(pdf).addPage(page, false);
        // The writer keeps the name until it writes.
        const QByteArray input = dir.filePath("in.pdf").toUtf8();
        QPDFWriter writer(pdf, input.constData());
        writer.write();

        const QString out = dir.filePath("out.pdf");
        try {
            report::convertToPdfx(dir.filePath("in.pdf"), out, TPdfxOptions{});
            ADD_FAILURE() << "converted";
        } catch (const report::ReportError& error) {
            EXPECT_NE(QString::fromUtf8(error.what()).indexOf(QString::fromUtf8(c.message)), -1)
                << error.what();
        }
        EXPECT_FALSE(QFile::exists(out));
    }
}
