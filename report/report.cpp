#include "report/report.h"

#include "report/export.h"

#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace report {

void TReportObject::SetBounds(double left, double top, double width, double height) {
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
}

TReportPage::TReportPage(const TReportPage& other)
    : TReportComponent(other), FPaperWidth(other.FPaperWidth), FPaperHeight(other.FPaperHeight),
      FBleed(other.FBleed), FColor(other.FColor) {
    FObjects.reserve(other.FObjects.size());
    for (const auto& object : other.FObjects)
        FObjects.push_back(object->Clone());
}

void TReportPage::SetPaperSize(double widthMm, double heightMm) {
    FPaperWidth = widthMm;
    FPaperHeight = heightMm;
}

QRectF TReportPage::UnitRect() const {
    return QRectF(0, 0, FPaperWidth * kUnitsPerMm, FPaperHeight * kUnitsPerMm);
}

TReportObject* TReportPage::FindObject(const QString& name) const {
    for (const auto& object : FObjects)
        if (object->Name() == name)
            return object.get();
    return nullptr;
}

void TReportPage::Draw(QPainter& painter, const TRenderOptions& options) const {
    const QRectF page = UnitRect();
    TRenderOptions objectOptions = options;
    objectOptions.Backdrop = QColor();
    if (FColor.isValid()) {
        painter.fillRect(page, FColor);
        if (FColor.alpha() == 255)
            objectOptions.Backdrop = FColor;
    }
    for (const auto& object : FObjects) {
        if (!object->Visible())
            continue;
        painter.save();
        object->Draw(painter, page, objectOptions);
        painter.restore();
        if (!object->Blank())
            objectOptions.Backdrop = QColor();
    }
}

std::unique_ptr<TReportObject> TShapeView::Clone() const {
    return std::make_unique<TShapeView>(*this);
}

void TShapeView::Draw(QPainter& painter, const QRectF& /*pageRect*/,
                      const TRenderOptions& /*options*/) const {
    const QRectF box(Left(), Top(), Width(), Height());
    if (!FColor.isValid() || box.isEmpty())
        return;
    const double radius = std::clamp(FCornerRadius, 0.0, std::min(box.width(), box.height()) / 2);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(FColor);
    painter.drawRoundedRect(box, radius, radius, Qt::AbsoluteSize);
}

TReportPage& TReport::AddPage(const QString& name) {
    FPages.push_back(std::make_unique<TReportPage>(name));
    return *FPages.back();
}

TReportComponent* TReport::FindObject(const QString& name) const {
    for (const auto& page : FPages)
        if (page->Name() == name)
            return page.get();
    for (const auto& page : FPages)
        if (TReportObject* object = page->FindObject(name))
            return object;
    return nullptr;
}

void TReport::PrepareReport(bool clearLastReport) {
    if (clearLastReport)
        FPreparedPages.clear();
    for (const auto& page : FPages)
        if (page->Visible())
            FPreparedPages.push_back(std::make_unique<TReportPage>(*page));
}

namespace {

QPageLayout printLayout(const TReportPage& page) {
    const QPageSize size(QSizeF(page.PaperWidth(), page.PaperHeight()), QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    QPageLayout layout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

QString printerName(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return printer.outputFileName();
    return printer.printerName();
}

// The laid-out pages the print dialog's page range asks for, numbered from 1 in layout order.
// Without a range (all pages; a selection or a current page, which a card does not have)
// every page is chosen.
std::vector<const TReportPage*> chosenPages(const std::vector<std::unique_ptr<TReportPage>>& pages,
                                            const QPrinter& printer) {
    const QPageRanges ranges =
        printer.printRange() == QPrinter::PageRange ? printer.pageRanges() : QPageRanges();
    std::vector<const TReportPage*> chosen;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (ranges.isEmpty() || ranges.contains(int(i) + 1))
            chosen.push_back(pages[i].get());
    return chosen;
}

} // namespace

void TReport::Print(QPrinter& printer) const {
    if (FPreparedPages.empty())
        throw ReportError("Não há páginas para imprimir.");
    const std::vector<const TReportPage*> pages = chosenPages(FPreparedPages, printer);
    if (pages.empty()) {
        const qsizetype count = qsizetype(FPreparedPages.size());
        throw ReportError(
            QStringLiteral(
                "O intervalo de páginas escolhido (%1) não inclui nenhuma página do cartão, que tem %2.")
                .arg(printer.pageRanges().toString(),
                     count == 1 ? QStringLiteral("1 página") : QStringLiteral("%1 páginas").arg(count))
                .toStdString());
    }
    // A printer driver repeats the pages itself; a PDF file gets every copy written into it.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const bool collate = printer.collateCopies();

    // The layout is set before the job starts: a native print engine refuses a new layout
    // while it prints. Pages of another size (never a card's two sides) need it mid-job.
    printer.setFullPage(true);
    QPageLayout current = printLayout(*pages.front());
    if (!printer.setPageLayout(current))
        throw ReportError(QStringLiteral("A impressora \"%1\" não aceita o tamanho de página do cartão.")
                              .arg(printerName(printer))
                              .toStdString());
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(QStringLiteral("Não foi possível iniciar a impressão em \"%1\".")
                              .arg(printerName(printer))
                              .toStdString());
    // Collated copies print the whole card again and again; uncollated ones repeat each page.
    std::vector<const TReportPage*> sequence;
    for (int outer = 0; outer < (collate ? copies : 1); ++outer)
        for (const TReportPage* page : pages)
            for (int inner = 0; inner < (collate ? 1 : copies); ++inner)
                sequence.push_back(page);
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const TReportPage& page = *sequence[i];
        if (i > 0) {
            const QPageLayout layout = printLayout(page);
            // The next page's layout has to be set before newPage() so that the new page gets it.
            const bool relaid = layout.isEquivalentTo(current) || printer.setPageLayout(layout);
            current = layout;
            if (!relaid || !printer.newPage()) {
                painter.end();
                throw ReportError(QStringLiteral("A impressão em \"%1\" falhou na página %2.")
                                      .arg(printerName(printer))
                                      .arg(i + 1)
                                      .toStdString());
            }
        }
        painter.save();
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        const double scale = printer.resolution() / kUnitsPerInch;
        painter.scale(scale, scale);
        page.Draw(painter, TRenderOptions{double(printer.resolution()), QColor()});
        painter.restore();
    }
    if (!painter.end())
        throw ReportError(QStringLiteral("A impressão em \"%1\" não pôde ser concluída.")
                              .arg(printerName(printer))
                              .toStdString());
}

void TReport::Export(TExportFilter& filter) const {
    filter.Export(FPreparedPages);
}

} // namespace report
