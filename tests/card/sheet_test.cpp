// Cards on sheets of office paper: the grid, the crop marks, the mirrored backs, what the
// PDF and the printer get, and the window's paper choice.

#include "card/sheet.h"
#include "contact/vcard.h"
#include "cupsd.h"
#include "formtest.h"
#include "platform/printqueue.h"
#include "tests/report/readback.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <tuple>

using lumo::SheetKind;
using lumo::SheetLayout;
using reporttest::inspectPdf;
using reporttest::rasterizePdf;
using reporttest::readFile;

namespace {

constexpr int kDpi = 150;
constexpr double kPxPerMm = kDpi / 25.4;

int px(double mm) {
    return int(std::lround(mm * kPxPerMm));
}

QRect pixelsOf(const QRectF& mm) {
    return QRect(QPoint(px(mm.left()), px(mm.top())), QPoint(px(mm.right()) - 1, px(mm.bottom()) - 1));
}

// Bounding box of the pixels darker than `below` inside `area`.
QRect inkBox(const QImage& page, const QRect& area, int below = 160) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(page.pixel(x, y)) < below)
                box |= QRect(x, y, 1, 1);
    return box;
}

lumo::ContactFields contact(int i) {
    lumo::ContactFields c;
    c.nome = QStringLiteral("Pessoa");
    c.sobrenome = QString::number(i);
    c.celular = QStringLiteral("(11) 9%1-0000").arg(1000 + i);
    return c;
}

struct Paper {
    SheetKind kind;
    bool bleed;
    QSizeF points;
    QPointF firstTrim; // mm
    int marks;
};
const Paper kPapers[] = {
    {SheetKind::A4, false, {595.276, 841.89}, {24, 19.5}, 16},
    {SheetKind::A4, true, {595.276, 841.89}, {23, 18.5}, 24},
    {SheetKind::Letter, false, {612, 792}, {26.95, 10.7}, 16},
    {SheetKind::Letter, true, {612, 792}, {25.95, 9.7}, 24},
};

} // namespace

TEST(SheetLayout, CardsMarksAndBacksFollowTheGrid) {
    for (const Paper& p : kPapers) {
        SCOPED_TRACE(QStringLiteral("%1%2").arg(int(p.kind)).arg(p.bleed ? " bleed" : "").toStdString());
        const SheetLayout layout(p.kind, p.bleed);
        EXPECT_NEAR(layout.pagePoints.width(), p.points.width(), 0.001);
        EXPECT_NEAR(layout.pagePoints.height(), p.points.height(), 0.001);
        ASSERT_EQ(layout.places(), 9);
        const double pitchX = p.bleed ? 55 : 54, pitchY = p.bleed ? 87 : 86;
        for (int i = 0; i < 9; ++i) {
            const QRectF trim = layout.trimBoxes[std::size_t(i)];
            EXPECT_NEAR(trim.left(), p.firstTrim.x() + i % 3 * pitchX, 0.01) << i;
            EXPECT_NEAR(trim.top(), p.firstTrim.y() + i / 3 * pitchY, 0.01) << i;
            EXPECT_NEAR(trim.width(), 54, 1e-9);
            EXPECT_NEAR(trim.height(), 86, 1e-9);
            const double bleed = p.bleed ? 0.5 : 0;
            EXPECT_EQ(layout.bleedBoxes[std::size_t(i)], trim.adjusted(-bleed, -bleed, bleed, bleed));
            // Long-edge duplex mirrors left and right: the back's place is the front's, mirrored.
            const QRectF back = layout.bleedBoxes[std::size_t(layout.backPlace(i))];
            EXPECT_NEAR(back.left(), layout.pageMm.width() - layout.bleedBoxes[std::size_t(i)].right(), 1e-9);
            EXPECT_EQ(back.top(), layout.bleedBoxes[std::size_t(i)].top());
        }
        EXPECT_EQ(layout.backPlace(0), 2);
        EXPECT_EQ(layout.backPlace(4), 4);
        EXPECT_EQ(layout.backPlace(8), 6);

        // Every trim line has a mark at both ends of the grid, 2 to 7 mm outside it, on the page.
        ASSERT_EQ(int(layout.cropMarks.size()), p.marks);
        const QRectF grid = layout.grid();
        const QRectF page(QPointF(0, 0), layout.pageMm);
        for (const QRectF& trim : layout.trimBoxes)
            for (const double x : {trim.left(), trim.right()})
                EXPECT_EQ(std::count_if(layout.cropMarks.begin(), layout.cropMarks.end(),
                                        [&](const QLineF& m) { return m.x1() == x && m.x2() == x; }),
                          2);
        for (const QLineF& mark : layout.cropMarks) {
            // A hair wide, so that the rectangle tests below see it.
            const QRectF span = QRectF(mark.p1(), mark.p2()).normalized().adjusted(-1e-6, -1e-6, 1e-6, 1e-6);
            EXPECT_NEAR(std::max(span.width(), span.height()), 5, 1e-5);
            EXPECT_TRUE(page.contains(span));
            EXPECT_FALSE(span.intersects(grid.adjusted(-1.99, -1.99, 1.99, 1.99)));
        }
    }
}

TEST(SheetPdf, ExactPagesAndMarksOnlyInTheMargins) {
    QTemporaryDir dir;
    lumo::CardState state;
    state.contact = contact(1);
    state.qrText = lumo::composeVCard(state.contact);
    for (const Paper& p : kPapers) {
        SCOPED_TRACE(QStringLiteral("%1%2").arg(int(p.kind)).arg(p.bleed ? " bleed" : "").toStdString());
        state.bleed = p.bleed;
        const QString path = dir.filePath("folha.pdf");
        ASSERT_TRUE(lumo::exportSheetsPdf(state, {}, p.kind, path));
        const reporttest::PdfFacts pdf = inspectPdf(readFile(path));
        ASSERT_EQ(pdf.pages.size(), 1u);
        EXPECT_NEAR(pdf.pages[0].mediaBox[2], p.points.width(), 0.001);
        EXPECT_NEAR(pdf.pages[0].mediaBox[3], p.points.height(), 0.001);

        const QImage page = rasterizePdf(path, kDpi);
        if (page.isNull())
            GTEST_SKIP() << "pdftoppm missing";
        const SheetLayout layout(p.kind, p.bleed);
        const QRect grid = pixelsOf(layout.grid());
        // Each mark is a line of ink along its whole length, and the margins hold nothing else.
        QImage margins = page;
        QPainter wipe(&margins);
        wipe.fillRect(grid, Qt::white);
        for (const QLineF& mark : layout.cropMarks) {
            const QRect line = pixelsOf(QRectF(mark.p1(), mark.p2()).normalized()).adjusted(-2, -2, 2, 2);
            const QRect ink = inkBox(page, line, 200);
            EXPECT_GE(std::max(ink.width(), ink.height()), px(5) - 2) << mark.x1() << ", " << mark.y1();
            EXPECT_LE(std::min(ink.width(), ink.height()), 2) << mark.x1() << ", " << mark.y1();
            wipe.fillRect(line, Qt::white);
        }
        wipe.end();
        EXPECT_TRUE(inkBox(margins, margins.rect(), 250).isEmpty()) << "stray ink in the margins";
        // No mark goes on into the grid: the trim lines across the white cards stay white.
        for (const QLineF& mark : layout.cropMarks) {
            const bool vertical = mark.x1() == mark.x2();
            const QRect across = vertical ? QRect(px(mark.x1()) - 1, grid.top(), 3, grid.height())
                                          : QRect(grid.left(), px(mark.y1()) - 1, grid.width(), 3);
            EXPECT_TRUE(inkBox(page, across, 250).isEmpty()) << mark.x1() << ", " << mark.y1();
        }
    }
}

TEST(SheetPdf, BatchScansInListOrderAndBacksLandBehindTheirFronts) {
    QTemporaryDir dir;
    lumo::CardState design;
    design.bleed = true;
    design.back = true;
    design.backColor = QColor(255, 220, 0);
    std::vector<lumo::ContactFields> contacts;
    for (int i = 0; i < 11; ++i)
        contacts.push_back(contact(i));
    const QString path = dir.filePath("lote.pdf");
    std::vector<std::pair<int, int>> told;
    ASSERT_TRUE(lumo::exportSheetsPdf(design, contacts, SheetKind::A4, path, [&](int done, int total) {
        told.emplace_back(done, total);
        return true;
    }));
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{9, 11}, {11, 11}}));
    ASSERT_EQ(inspectPdf(readFile(path)).pages.size(), 4u); // fronts 1, backs 1, fronts 2, backs 2

    const SheetLayout layout(SheetKind::A4, true);
    for (int sheet = 0; sheet < 2; ++sheet) {
        const QImage front = rasterizePdf(path, kDpi, 2 * sheet + 1);
        const QImage back = rasterizePdf(path, kDpi, 2 * sheet + 2);
        if (front.isNull() || back.isNull())
            GTEST_SKIP() << "pdftoppm missing";
        for (int place = 0; place < 9; ++place) {
            SCOPED_TRACE(sheet * 9 + place);
            const std::size_t card = std::size_t(sheet * 9 + place);
            const QRectF trim = layout.trimBoxes[std::size_t(place)];
            const QRgb backColour =
                back.pixel(pixelsOf(layout.trimBoxes[std::size_t(layout.backPlace(place))]).center());
            if (card >= contacts.size()) { // the last sheet's empty places stay blank
                EXPECT_TRUE(inkBox(front, pixelsOf(trim), 250).isEmpty());
                EXPECT_EQ(backColour, qRgb(255, 255, 255));
                continue;
            }
            const QImage cell = front.copy(pixelsOf(trim));
            EXPECT_EQ(decodeQr(cell.scaled(cell.size() * 2)),
                      QList<QByteArray>{lumo::composeVCard(contacts[card]).toUtf8()});
            // The QR code is where the card's own page has it: 7 mm in, 39 mm down, 40 mm square.
            const QRect qr = inkBox(front, pixelsOf(trim.adjusted(5, 37, -5, -5)));
            const QRect expected = pixelsOf(QRectF(trim.left() + 7, trim.top() + 39, 40, 40));
            EXPECT_LE((qr.topLeft() - expected.topLeft()).manhattanLength(), 3);
            EXPECT_LE((qr.bottomRight() - expected.bottomRight()).manhattanLength(), 3);
            EXPECT_GT(qRed(backColour), 230);
            EXPECT_LT(qBlue(backColour), 60);
        }
    }
}

using SheetWindow = FormTest;

TEST_F(SheetWindow, PaperChoiceReachesPdfAndPrintAndARefusingPrinterGetsSheets) {
    QTemporaryDir dir;
    form->edtnome->setText("Ana");
    form->gerarvcard->click();
    form->Model().SetSheet(SheetKind::Letter);
    EXPECT_TRUE(form->findChild<QAction*>("PapelCarta")->isChecked());
    form->findChild<QAction*>("PapelA4")->trigger();
    EXPECT_EQ(form->Model().Sheet(), SheetKind::A4);

    fake.saveAnswers = {dir.filePath("folha.pdf")};
    form->SpeedButton5->click();
    auto pages = inspectPdf(readFile(dir.filePath("folha.pdf"))).pages;
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NEAR(pages[0].mediaBox[2], 595.276, 0.001);
    EXPECT_NEAR(pages[0].mediaBox[3], 841.89, 0.001);
    // The whole list goes on the same paper: ten contacts, two sheets.
    form->Model().SetContacts(std::vector<lumo::ContactFields>(10, contact(0)));
    fake.saveAnswers = {dir.filePath("lista.pdf")};
    form->ExportarTodos1->trigger();
    pages = inspectPdf(readFile(dir.filePath("lista.pdf"))).pages;
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NEAR(pages[1].mediaBox[3], 841.89, 0.001);

    // Printed on sheets when asked; on card-size paper a printer without custom sizes gets
    // the sheet of its own paper, and a notice. Its driver's margins are kept: the sheet is
    // still centred on the paper, and what crop marks would fall in the band is cut or left
    // out.
    const struct {
        SheetKind kind;
        bool refuses, bleed;
        double marginPoints;
        QPageSize::PageSizeId paper;
        QSizeF points;
        const char* notice;
    } cases[] = {
        {SheetKind::A4, false, false, 12, QPageSize::Letter, {595, 842}, nullptr},
        {SheetKind::A4, true, false, 12, QPageSize::Letter, {595, 842}, nullptr},
        {SheetKind::Card, true, false, 12, QPageSize::Letter, {612, 792}, "folha Carta"},
        {SheetKind::Card, true, true, 12, QPageSize::A4, {595, 842}, "folha A4"},
        {SheetKind::Card, true, true, 18, QPageSize::Letter, {612, 792}, "12 marcas de corte"},
        {SheetKind::Card, false, false, 12, QPageSize::A4, {153.07, 243.78}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        form->Model().SetSheet(c.kind);
        form->Model().SetBleed(c.bleed);
        fake.messages.clear();
        fake.errors.clear();
        fake.printerRefusesCustomSizes = c.refuses;
        fake.printerMarginPoints = c.marginPoints;
        fake.printAnswers = {true};
        fake.printToPdf = dir.filePath(QStringLiteral("impresso%1.pdf").arg(&c - cases));
        fake.printChoices = [&](QPrinter& printer) { printer.setPageSize(QPageSize(c.paper)); };
        form->SpeedButton2->click();
        ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
        pages = inspectPdf(readFile(fake.printToPdf)).pages;
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_NEAR(pages[0].mediaBox[2], c.points.width(), 1.0); // a printer gets whole points
        EXPECT_NEAR(pages[0].mediaBox[3], c.points.height(), 1.0);
        if (c.notice) {
            ASSERT_EQ(fake.messages.size(), 1);
            EXPECT_TRUE(fake.messages[0].contains(c.notice)) << fake.messages[0].toStdString();
            EXPECT_FALSE(fake.messages[0].contains(u'\n'));
        } else {
            EXPECT_TRUE(fake.messages.isEmpty());
        }
        if (c.points.width() < 500)
            continue;
        const QImage page = rasterizePdf(fake.printToPdf, kDpi);
        if (page.isNull())
            GTEST_SKIP() << "pdftoppm missing";
        SheetLayout layout(c.points.width() > 600 ? SheetKind::Letter : SheetKind::A4, c.bleed);
        // The QR code of the first place is where the layout puts it on the paper.
        const QRectF trim = layout.trimBoxes[0];
        const QRect qr = inkBox(page, pixelsOf(trim.adjusted(5, 37, -5, -5)));
        const QRect expected = pixelsOf(QRectF(trim.left() + 7, trim.top() + 39, 40, 40));
        EXPECT_LE((qr.topLeft() - expected.topLeft()).manhattanLength(), 3);
        EXPECT_LE((qr.bottomRight() - expected.bottomRight()).manhattanLength(), 3);
        // Nothing in the unprintable band; the marks reach the band's edge, not past it.
        const int band = px(c.marginPoints / 72 * 25.4);
        QImage inside = page;
        QPainter wipe(&inside);
        wipe.fillRect(page.rect().adjusted(band, band, -band, -band), Qt::white);
        wipe.end();
        EXPECT_TRUE(inkBox(inside, inside.rect(), 250).isEmpty()) << "ink in the unprintable band";
        const QRect top = inkBox(page, QRect(0, 0, page.width(), pixelsOf(layout.grid()).top() - 2), 200);
        if (QString::fromUtf8(c.notice).contains("marcas"))
            EXPECT_TRUE(top.isEmpty());
        else
            EXPECT_LE(top.top(), std::max(band, px(layout.grid().top() - 7)) + 1);
    }

    // A printer without A4 paper says so, naming the sheet.
    fake.printChoices = nullptr;
    form->Model().SetSheet(SheetKind::A4);
    fake.printerRefusesCustomSizes = true;
    fake.printerPapers = {QPageSize::Letter};
    fake.printAnswers = {true};
    form->SpeedButton2->click();
    EXPECT_EQ(fake.errors.join('\n').toStdString(),
              QStringLiteral("A impressora \"%1\" não aceita a folha A4 (210 × 297 mm).")
                  .arg(fake.printToPdf)
                  .toStdString());

    // The print dialog's page range and copies choose among the sheets (fronts, then backs).
    form->Model().SetBack(true);
    fake.printerPapers.clear();
    for (const auto& [from, copies, sheets] : {std::tuple{0, 2, 4}, std::tuple{2, 3, 3}}) {
        fake.printAnswers = {true};
        fake.printToPdf = dir.filePath(QStringLiteral("copias%1.pdf").arg(from));
        fake.printChoices = [from = from, copies = copies](QPrinter& printer) {
            if (from) {
                printer.setPrintRange(QPrinter::PageRange);
                printer.setFromTo(from, from);
            }
            printer.setCopyCount(copies);
        };
        form->SpeedButton2->click();
        EXPECT_EQ(inspectPdf(readFile(fake.printToPdf)).pages.size(), std::size_t(sheets)) << from;
    }
}

// The print action against a CUPS daemon of the test's own: its cups-pdf queue has an office
// printer's driver (12 pt margins, no custom sizes), and the test refuses, stops or breaks it.
TEST_F(SheetWindow, RealQueueTakesTheSheetAndRefusedOrStoppedJobsAreReported) {
    if (TestCupsd::program().isEmpty())
        GTEST_SKIP() << "cupsd is not installed (Debian: cups-daemon cups-client printer-driver-cups-pdf)";
    TestCupsd cups;
    const QString failed = cups.start();
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    ASSERT_EQ(cups.addQueue("escritorio", 12), QString());
    ASSERT_EQ(cups.addQueue("quebrada", 12, true), QString());
    form->edtnome->setText("Ana");
    form->gerarvcard->click();
    form->Model().SetSheet(SheetKind::Card);

    const struct {
        const char* queue;
        std::vector<QStringList> commands; // run before printing
        const char* reason;                // of the error; none when the job goes through
    } cases[] = {
        {"escritorio", {}, nullptr},
        {"escritorio",
         {{"cupsreject", "-r", "Sem papel na bandeja 2", "escritorio"}},
         "a fila não está aceitando trabalhos (Sem papel na bandeja 2)"},
        {"escritorio",
         {{"cupsaccept", "escritorio"}, {"cupsdisable", "-r", "Em manutenção", "escritorio"}},
         "a fila está parada e o trabalho ficou esperando nela (Em manutenção)"},
        {"quebrada", {}, "o trabalho foi parado (Filter failed)"},
    };
    lumo::PrintQueues& queues = lumo::cupsQueues();
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        for (const QStringList& command : c.commands) {
            const QString said = cups.run(command.front(), command.mid(1));
            ASSERT_EQ(cups.lastExitCode, 0) << said.toStdString();
        }
        const QString queue = QString::fromLatin1(c.queue);
        const int before = queues.newestJob(queue);
        fake.messages.clear();
        fake.errors.clear();
        fake.printToPdf.clear();
        fake.printAnswers = {true};
        fake.printChoices = [&](QPrinter& printer) { printer.setPrinterName(queue); };
        form->SpeedButton2->click();
        const int after = queues.newestJob(queue);
        if (!c.reason) {
            // The driver takes no card-size paper; the A4 sheet prints within its margins.
            ASSERT_TRUE(fake.errors.isEmpty())
                << fake.errors.join("\n").toStdString() << cups.log().toStdString();
            ASSERT_EQ(fake.messages.size(), 1);
            EXPECT_TRUE(fake.messages[0].contains("folha A4")) << fake.messages[0].toStdString();
            ASSERT_GT(after, before);
            // What cups-pdf made of the job: the sheet on A4, its cards where the layout puts
            // them on the paper, through Qt's CUPS engine, the driver's filters and Ghostscript.
            EXPECT_EQ(queues.jobFailure(queue, before, QStringLiteral("Cartão - Ana"), 30000), std::nullopt);
            const QString output = cups.pdfOutput(after);
            ASSERT_FALSE(output.isEmpty()) << "no cups-pdf output" << cups.log().toStdString();
            const auto printed = inspectPdf(readFile(output)).pages;
            const QImage page = rasterizePdf(output, kDpi);
            QFile::remove(output);
            ASSERT_EQ(printed.size(), 1u);
            EXPECT_NEAR(printed[0].mediaBox[3], 842, 1.0);
            if (page.isNull())
                GTEST_SKIP() << "pdftoppm missing";
            const QRectF trim = SheetLayout(SheetKind::A4, false).trimBoxes[4];
            const QRect qr = inkBox(page, pixelsOf(trim.adjusted(5, 37, -5, -5)));
            const QRect expected = pixelsOf(QRectF(trim.left() + 7, trim.top() + 39, 40, 40));
            EXPECT_LE((qr.topLeft() - expected.topLeft()).manhattanLength(), 3);
            EXPECT_LE((qr.bottomRight() - expected.bottomRight()).manhattanLength(), 3);
            continue;
        }
        EXPECT_EQ(fake.errors.join('\n').toStdString(),
                  QStringLiteral("A impressora \"%1\" recusou o trabalho: %2")
                      .arg(queue, QString::fromUtf8(c.reason))
                      .toStdString())
            << cups.log().toStdString();
        EXPECT_EQ(after > before, c.commands.size() != 1) << "a refused job never reaches the queue";
        if (after == before) { // following a job that never came finds the refusal
            EXPECT_EQ(queues.jobFailure(queue, after, QStringLiteral("Cartão - Ana"), 0),
                      queues.refusal(queue));
        }
        if (const QString left = cups.pdfOutput(after); after > before && !left.isEmpty())
            QFile::remove(left);  // the empty file of a broken job
        EXPECT_EQ(fake.beeps, 1); // only the job that went through
    }
    cups.run("cancel", {"-a"});
}
