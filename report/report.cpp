#include "report/report.h"

#include "report/export.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace report {

void TReportObject::SetBounds(double left, double top, double width, double height) {
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
}

TReportPage::TReportPage(const TReportPage& other)
    : TReportComponent(other), FPaperWidth(other.FPaperWidth), FPaperHeight(other.FPaperHeight),
      FColor(other.FColor) {
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
    if (FColor.isValid())
        painter.fillRect(page, FColor);
    for (const auto& object : FObjects) {
        if (!object->Visible())
            continue;
        painter.save();
        object->Draw(painter, page, options);
        painter.restore();
    }
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

} // namespace

void TReport::Print(QPrinter& printer) const {
    if (FPreparedPages.empty())
        throw ReportError("Não há páginas para imprimir.");

    printer.setFullPage(true);
    if (!printer.setPageLayout(printLayout(*FPreparedPages.front())))
        throw ReportError(QStringLiteral("A impressora \"%1\" não aceita o tamanho de página do cartão.")
                              .arg(printerName(printer))
                              .toStdString());
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(QStringLiteral("Não foi possível iniciar a impressão em \"%1\".")
                              .arg(printerName(printer))
                              .toStdString());
    for (std::size_t i = 0; i < FPreparedPages.size(); ++i) {
        const TReportPage& page = *FPreparedPages[i];
        // The next page's layout has to be set before newPage() so that the new page gets it.
        if (i > 0 && (!printer.setPageLayout(printLayout(page)) || !printer.newPage())) {
            painter.end();
            throw ReportError(QStringLiteral("A impressão em \"%1\" falhou na página %2.")
                                  .arg(printerName(printer))
                                  .arg(i + 1)
                                  .toStdString());
        }
        painter.save();
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        const double scale = printer.resolution() / kUnitsPerInch;
        painter.scale(scale, scale);
        page.Draw(painter, TRenderOptions{double(printer.resolution())});
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
