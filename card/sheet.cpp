#include "card/sheet.h"

#include "card/qrpicture.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/printqueue.h"
#include "report/export.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <optional>

namespace lumo {

namespace {

using report::TReportPage;

constexpr double kPointsPerMm = 72 / 25.4;
constexpr double kCardWidth = 54, kCardHeight = 86; // mm, portrait
constexpr double kBleed = 0.5;                      // mm around the trim box of a bleed page
constexpr double kMarkFrom = 2, kMarkTo = 7;        // mm outside the grid
constexpr double kShortestMark = 2;                 // mm: a shorter piece is no help to the cutter
constexpr int kFollowJobMs = 3000;                  // how long a job sent to a queue is followed

QSizeF paperMm(SheetKind kind, bool bleed) {
    switch (kind) {
    case SheetKind::A4:
        return {210, 297};
    case SheetKind::Letter:
        return {215.9, 279.4};
    case SheetKind::Card:
        break;
    }
    const double margin = bleed ? 2 * kBleed : 0;
    return {kCardWidth + margin, kCardHeight + margin};
}

QPointF unitsOf(const QPointF& mm) {
    return mm * report::kUnitsPerMm;
}

// Cards drawn in their places on a sheet: each is the card document's page of its side,
// filled with the card's values, moved to its place and clipped to its bleed box.
class PlacedCardsView final : public report::TReportObject {
public:
    using TReportObject::TReportObject;

    struct Placed {
        QPointF at; // units
        CardDesign card;
    };
    void SetCards(std::shared_ptr<report::TReport> document, QString side, std::vector<Placed> cards) {
        FDocument = std::move(document);
        FSide = std::move(side);
        FCards = std::move(cards);
    }

    std::unique_ptr<TReportObject> Clone() const override { return std::make_unique<PlacedCardsView>(*this); }
    bool Blank() const override { return FCards.empty(); }
    using TReportObject::Draw;
    void Draw(QPainter& painter, const QRectF& /*pageRect*/,
              const report::TRenderOptions& options) const override {
        for (const Placed& placed : FCards) {
            fillCardDocument(*FDocument, placed.card);
            const auto* page = FDocument->Find<TReportPage>(FSide);
            painter.save();
            painter.translate(placed.at);
            painter.setClipRect(page->UnitRect(), Qt::IntersectClip);
            page->Draw(painter, options);
            painter.restore();
        }
    }

private:
    std::shared_ptr<report::TReport> FDocument;
    QString FSide;
    std::vector<Placed> FCards;
};

class CropMarksView final : public report::TReportObject {
public:
    using TReportObject::TReportObject;
    void SetLines(std::vector<QLineF> lines) { FLines = std::move(lines); }

    std::unique_ptr<TReportObject> Clone() const override { return std::make_unique<CropMarksView>(*this); }
    bool Blank() const override { return FLines.empty(); }
    using TReportObject::Draw;
    void Draw(QPainter& painter, const QRectF& /*pageRect*/,
              const report::TRenderOptions& /*options*/) const override {
        QPen pen(Qt::black, kCropMarkPoints * report::kUnitsPerInch / 72);
        pen.setCapStyle(Qt::FlatCap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(pen);
        painter.drawLines(FLines.data(), int(FLines.size()));
    }

private:
    std::vector<QLineF> FLines;
};

void requireSide(const CardDesign& card) {
    if (!card.front && !card.back)
        throw UserError(
            QStringLiteral("Nenhum lado do cartão está marcado: marque a frente, o verso ou os dois."));
}

// Writes the laid-out pages of `document` to `path` as the card's PDF export does.
void writePdf(report::TReport& document, const QString& path) {
    document.PrepareReport(true);
    const std::unique_ptr<report::TPDFExport> pdf = makePdfExport();
    pdf->SetFileName(path);
    try {
        document.Export(*pdf);
    } catch (const report::ReportError& error) {
        throw UserError(QString::fromStdString(error.what()));
    }
}

QString sheetName(SheetKind kind) {
    return kind == SheetKind::Letter ? QStringLiteral("Carta") : QStringLiteral("A4");
}

QString printerName(const QPrinter& printer) {
    return printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : printer.printerName();
}

// Sets the sheet's paper on the printer and keeps its margins: a driver without custom paper
// sizes refuses any layout with margins narrower than its unprintable band, so the layout is
// not set whole, only the paper. Returns the printable part of the paper, in millimetres.
QRectF setSheetPaper(QPrinter& printer, SheetKind kind) {
    const QPageSize paper(kind == SheetKind::Letter ? QPageSize::Letter : QPageSize::A4);
    printer.setFullPage(false);
    printer.setPageOrientation(QPageLayout::Portrait);
    if (!printer.setPageSize(paper) || !printer.pageLayout().pageSize().isEquivalentTo(paper) ||
        printer.pageLayout().orientation() != QPageLayout::Portrait) {
        const QSizeF mm = paper.size(QPageSize::Millimeter);
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        throw UserError(QStringLiteral("A impressora \"%1\" não aceita a folha %2 (%3 × %4 mm).")
                            .arg(printerName(printer), sheetName(kind), brazil.toString(mm.width()),
                                 brazil.toString(mm.height())));
    }
    const QPageLayout layout = printer.pageLayout();
    return layout.fullRect(QPageLayout::Millimeter) - layout.margins(QPageLayout::Millimeter);
}

// Prints the laid-out sheets, all of one paper already set on `printer`, in the page range,
// copies and collation of the print dialog. The painter starts at the printable area's
// corner; it is moved back to the paper's, so that the sheet lands on the paper as laid out.
void printOnPaper(QPrinter& printer, const report::TReport& document) {
    const auto& all = document.PreparedPages();
    const QPageRanges ranges =
        printer.printRange() == QPrinter::PageRange ? printer.pageRanges() : QPageRanges();
    std::vector<const TReportPage*> pages;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (ranges.isEmpty() || ranges.contains(int(i) + 1))
            pages.push_back(all[i].get());
    if (pages.empty())
        throw UserError(
            QStringLiteral("O intervalo de páginas escolhido (%1) não inclui nenhuma das %2 folhas.")
                .arg(printer.pageRanges().toString())
                .arg(all.size()));
    // A printer driver repeats the pages itself; a PDF file gets every copy written into it.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const bool collate = printer.collateCopies();
    std::vector<const TReportPage*> sequence;
    for (int outer = 0; outer < (collate ? copies : 1); ++outer)
        for (const TReportPage* page : pages)
            for (int inner = 0; inner < (collate ? 1 : copies); ++inner)
                sequence.push_back(page);

    const QPointF corner = printer.pageRect(QPrinter::Millimeter).topLeft();
    QPainter painter;
    if (!painter.begin(&printer))
        throw UserError(
            QStringLiteral("Não foi possível iniciar a impressão em \"%1\".").arg(printerName(printer)));
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            throw UserError(QStringLiteral("A impressão em \"%1\" falhou na folha %2.")
                                .arg(printerName(printer))
                                .arg(i + 1));
        }
        painter.save();
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        const double scale = printer.resolution() / report::kUnitsPerInch;
        painter.scale(scale, scale);
        painter.translate(-unitsOf(corner));
        sequence[i]->Draw(painter, report::TRenderOptions{double(printer.resolution()), QColor()});
        painter.restore();
    }
    if (!painter.end())
        throw UserError(
            QStringLiteral("A impressão em \"%1\" não pôde ser concluída.").arg(printerName(printer)));
}

std::unique_ptr<report::TReport> sheetDocument(SheetPages& sheets, const CardDesign& card) {
    auto document = std::make_unique<report::TReport>(QStringLiteral("Folhas"));
    sheets.AddSheets(*document, std::vector<CardDesign>(std::size_t(sheets.Layout().places()), card));
    document->PrepareReport(true);
    return document;
}

QString refusedText(const QString& queue, const QString& reason) {
    return QStringLiteral("A impressora \"%1\" recusou o trabalho: %2").arg(queue, reason);
}

// The layout TReport::Print gives a page of `page`'s size.
QPageLayout cardPrintLayout(const TReportPage& page) {
    const QPageSize size(QSizeF(page.PaperWidth(), page.PaperHeight()), QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    QPageLayout layout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

} // namespace

SheetLayout::SheetLayout(SheetKind k, bool b) : kind(k), bleed(b), pageMm(paperMm(k, b)) {
    pagePoints = pageMm * kPointsPerMm;
    columns = rows = kind == SheetKind::Card ? 1 : 3;
    const double margin = bleed ? kBleed : 0;
    const QSizeF cell(kCardWidth + 2 * margin, kCardHeight + 2 * margin);
    const QPointF origin((pageMm.width() - columns * cell.width()) / 2,
                         (pageMm.height() - rows * cell.height()) / 2);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const QRectF box(origin + QPointF(column * cell.width(), row * cell.height()), cell);
            bleedBoxes.push_back(box);
            trimBoxes.push_back(box.adjusted(margin, margin, -margin, -margin));
        }
    if (kind == SheetKind::Card)
        return;

    // Every trim line once: without bleed a card's right edge is its neighbour's left edge.
    std::vector<double> xs, ys;
    for (int column = 0; column < columns; ++column) {
        const QRectF& trim = trimBoxes[std::size_t(column)];
        if (bleed || column == 0)
            xs.push_back(trim.left());
        xs.push_back(trim.right());
    }
    for (int row = 0; row < rows; ++row) {
        const QRectF& trim = trimBoxes[std::size_t(row * columns)];
        if (bleed || row == 0)
            ys.push_back(trim.top());
        ys.push_back(trim.bottom());
    }
    const QRectF outer = grid();
    for (const double x : xs) {
        cropMarks.emplace_back(x, outer.top() - kMarkFrom, x, outer.top() - kMarkTo);
        cropMarks.emplace_back(x, outer.bottom() + kMarkFrom, x, outer.bottom() + kMarkTo);
    }
    for (const double y : ys) {
        cropMarks.emplace_back(outer.left() - kMarkFrom, y, outer.left() - kMarkTo, y);
        cropMarks.emplace_back(outer.right() + kMarkFrom, y, outer.right() + kMarkTo, y);
    }
}

QRectF SheetLayout::grid() const {
    return bleedBoxes.front().united(bleedBoxes.back());
}

int SheetLayout::FitMarks(const QRectF& printable) {
    constexpr double kSlack = 1e-6; // mm, for margins converted from points
    const std::size_t before = cropMarks.size();
    std::vector<QLineF> kept;
    for (const QLineF& mark : cropMarks) {
        const bool vertical = mark.x1() == mark.x2();
        const double across = vertical ? mark.x1() : mark.y1();
        const double low = vertical ? printable.top() : printable.left();
        const double high = vertical ? printable.bottom() : printable.right();
        if (across < (vertical ? printable.left() : printable.top()) - kSlack ||
            across > (vertical ? printable.right() : printable.bottom()) + kSlack)
            continue;
        // The end near the grid stays where it is; only the outer end is cut back.
        const double from = std::clamp(vertical ? mark.y1() : mark.x1(), low, high);
        const double to = std::clamp(vertical ? mark.y2() : mark.x2(), low, high);
        if (std::abs(to - from) < kShortestMark - kSlack)
            continue;
        kept.push_back(vertical ? QLineF(across, from, across, to) : QLineF(from, across, to, across));
    }
    cropMarks = std::move(kept);
    return int(before - cropMarks.size());
}

SheetKind nearestSheet(const QPageSize& paper) {
    QSizeF size = paper.size(QPageSize::Millimeter);
    if (size.width() > size.height())
        size.transpose();
    const auto distance = [&](SheetKind kind) {
        const QSizeF sheet = paperMm(kind, false);
        return std::abs(size.width() - sheet.width()) + std::abs(size.height() - sheet.height());
    };
    return distance(SheetKind::Letter) < distance(SheetKind::A4) ? SheetKind::Letter : SheetKind::A4;
}

SheetPages::SheetPages(SheetKind kind, bool bleed) : FLayout(kind, bleed), FCard(makeCardDocument(bleed)) {}

void SheetPages::Fill(TReportPage& page, const std::vector<CardDesign>& cards, bool backs) const {
    page.SetPaperSize(FLayout.pageMm.width(), FLayout.pageMm.height());
    page.SetColor(QColor());
    std::vector<PlacedCardsView::Placed> placed;
    const int count = std::min(int(cards.size()), FLayout.places());
    for (int i = 0; i < count; ++i) {
        const int place = backs ? FLayout.backPlace(i) : i;
        placed.push_back({unitsOf(FLayout.bleedBoxes[std::size_t(place)].topLeft()), cards[std::size_t(i)]});
    }
    page.Add<PlacedCardsView>(QStringLiteral("cartoes"))
        .SetCards(FCard, backs ? QStringLiteral("verso") : QStringLiteral("frente"), std::move(placed));
    std::vector<QLineF> marks;
    for (const QLineF& mark : FLayout.cropMarks)
        marks.emplace_back(unitsOf(mark.p1()), unitsOf(mark.p2()));
    page.Add<CropMarksView>(QStringLiteral("marcas")).SetLines(std::move(marks));
}

void SheetPages::Lay(const std::vector<CardDesign>& cards,
                     const std::function<TReportPage&(const QString& name)>& newPage) {
    if (cards.empty())
        return;
    ++FSheets;
    if (cards.front().front)
        Fill(newPage(QStringLiteral("frente %1").arg(FSheets)), cards, false);
    if (cards.front().back)
        Fill(newPage(QStringLiteral("verso %1").arg(FSheets)), cards, true);
}

std::vector<std::unique_ptr<TReportPage>> SheetPages::Sheets(const std::vector<CardDesign>& cards) {
    std::vector<std::unique_ptr<TReportPage>> pages;
    Lay(cards, [&pages](const QString& name) -> TReportPage& {
        return *pages.emplace_back(std::make_unique<TReportPage>(name));
    });
    return pages;
}

void SheetPages::AddSheets(report::TReport& document, const std::vector<CardDesign>& cards) {
    Lay(cards, [&document](const QString& name) -> TReportPage& { return document.AddPage(name); });
}

std::unique_ptr<report::TReport> makeSheetDocument(const CardDesign& card, SheetKind kind) {
    SheetPages sheets(kind, card.bleed);
    return sheetDocument(sheets, card);
}

void exportSheetsPdf(const CardDesign& card, SheetKind kind, const QString& path) {
    requireSide(card);
    const std::unique_ptr<report::TReport> document = makeSheetDocument(card, kind);
    writePdf(*document, path);
}

bool exportSheetsPdf(const CardState& design, const std::vector<ContactFields>& contacts, SheetKind kind,
                     const QString& path, const BatchProgress& progress) {
    if (contacts.empty()) {
        const QImage qr = design.qrText.isEmpty() ? QImage() : renderQrPicture(design.qrText, design.qrLevel);
        exportSheetsPdf(designOf(design, qr), kind, path);
        return true;
    }
    CardState onSheets = design;
    onSheets.sheet = kind;
    return exportBatchPdf(onSheets, contacts, path, progress);
}

int printSheets(QPrinter& printer, const CardDesign& card, SheetKind kind) {
    const QRectF printable = setSheetPaper(printer, kind);
    SheetPages sheets(kind, card.bleed);
    const int leftOut = sheets.FitMarks(printable);
    printOnPaper(printer, *sheetDocument(sheets, card));
    return leftOut;
}

bool printCardOnPaper(QWidget* parent, const report::TReport& cardDocument, const CardDesign& card,
                      SheetKind kind, const QString& nameLine) {
    const std::unique_ptr<QPrinter> printer = platform().makePrinter();
    printer->setFullPage(true);
    // The job's name in the print queue (and the title of a PDF printed to a file).
    printer->setDocName(QStringLiteral("Cartão - ") + nameLine);
    if (!platform().printDialog(parent, *printer))
        return false;

    // Qt hands a job to the print queue and reports success whatever the queue does with it.
    const QString queue =
        printer->outputFormat() == QPrinter::NativeFormat ? printer->printerName() : QString();
    PrintQueues& queues = platform().printQueues();
    int lastJob = 0;
    if (!queue.isEmpty()) {
        if (const std::optional<QString> why = queues.refusal(queue))
            throw UserError(refusedText(queue, *why));
        lastJob = queues.newestJob(queue);
    }

    QStringList notices;
    int leftOut = 0;
    if (kind != SheetKind::Card) {
        leftOut = printSheets(*printer, card, kind);
    } else {
        // A printer without custom paper sizes answers a card-size layout with one of its own.
        const QPageSize paper = printer->pageLayout().pageSize();
        const auto& pages = cardDocument.PreparedPages();
        if (pages.empty() || printer->setPageLayout(cardPrintLayout(*pages.front()))) {
            cardDocument.Print(*printer);
        } else {
            const SheetKind sheet = nearestSheet(paper);
            leftOut = printSheets(*printer, card, sheet);
            notices << QStringLiteral("A impressora não aceita o tamanho do cartão; ele foi impresso em "
                                      "folha %1, 9 por folha, com marcas de corte.")
                           .arg(sheetName(sheet));
        }
    }
    if (leftOut > 0)
        notices << (leftOut == 1 ? QStringLiteral("Uma marca de corte cairia na borda que a impressora não "
                                                  "imprime e ficou de fora.")
                                 : QStringLiteral("%1 marcas de corte cairiam na borda que a impressora não "
                                                  "imprime e ficaram de fora.")
                                       .arg(leftOut));

    if (!queue.isEmpty()) {
        // The window waits while the job is followed.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const std::optional<QString> why =
            queues.jobFailure(queue, lastJob, printer->docName(), kFollowJobMs);
        QGuiApplication::restoreOverrideCursor();
        if (why)
            throw UserError(refusedText(queue, *why));
    }
    if (!notices.isEmpty())
        platform().message(parent, notices.join(u' '));
    return true;
}

} // namespace lumo
