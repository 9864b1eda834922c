#include "report/export.h"

#include "report/pdfboxes.h"
#include "report/savefiles.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

#include <cmath>

namespace report {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// Device resolution of the Qt writer: fine enough that coordinates rounded by it are
// invisible, and the unit of 1/96 inch maps to 12.5 device pixels.
constexpr int kWriterDpi = 1200;

QSizeF pagePoints(const TReportPage& page) {
    return QSizeF(page.PaperWidth() * kPointsPerMm, page.PaperHeight() * kPointsPerMm);
}

// Qt's writer only knows pages of whole points. Each page is made large enough (rounded
// up) and the card is drawn against its top edge; the exact page box is set afterwards.
QPageLayout writerLayout(const TReportPage& page) {
    const QSizeF points = pagePoints(page);
    const QSize whole(int(std::ceil(points.width() - 1e-9)), int(std::ceil(points.height() - 1e-9)));
    QPageLayout layout(QPageSize(whole, QString(), QPageSize::ExactMatch), QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

QByteArray renderWithQt(const std::vector<std::unique_ptr<TReportPage>>& pages, const QString& creator,
                        int pictureDpi) {
    QByteArray raw;
    QBuffer buffer(&raw);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_1_6);
    writer.setResolution(kWriterDpi);
    writer.setCreator(creator);
    writer.setPageLayout(writerLayout(*pages.front()));

    QPainter painter;
    if (!painter.begin(&writer))
        throw ReportError("o gerador de PDF não pôde ser iniciado");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const TReportPage& page = *pages[i];
        const QPageLayout layout = writerLayout(page);
        if (i > 0) {
            writer.setPageLayout(layout);
            writer.newPage();
        }
        // Qt measures the page from its bottom edge; lift the card so that its top edge is the
        // top of the exact page box.
        const double excessPoints = layout.fullRectPoints().height() - pagePoints(page).height();
        painter.save();
        const double scale = kWriterDpi / kUnitsPerInch;
        painter.scale(scale, scale);
        painter.translate(0, excessPoints / kPointsPerUnit);
        page.Draw(painter, TRenderOptions{double(pictureDpi), QColor()});
        painter.restore();
    }
    if (!painter.end())
        throw ReportError("o gerador de PDF falhou");
    return raw;
}

void setInfo(QPDFObjectHandle& info, const char* key, const QString& value) {
    if (!value.isEmpty())
        info.replaceKey(key, QPDFObjectHandle::newUnicodeString(value.toStdString()));
}

struct Finishing {
    QString author, subject, creator, producer, version;
    bool compressed;
};

// Sets what Qt's writer cannot: the exact page boxes, the version, the document
// information, and (unless compression is wanted) page contents stored without filters.
QByteArray finalizePdf(const QByteArray& raw, const std::vector<std::unique_ptr<TReportPage>>& pages,
                       const Finishing& finishing) {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("PDF", raw.constData(), std::size_t(raw.size()));

    std::vector<QPDFPageObjectHelper> pdfPages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pdfPages.size() != pages.size())
        throw ReportError("o gerador de PDF produziu um número errado de páginas");
    for (std::size_t i = 0; i < pdfPages.size(); ++i) {
        setPageBoxes(pdfPages[i].getObjectHandle(), pagePoints(*pages[i]), pages[i]->Bleed());
        if (!finishing.compressed)
            for (QPDFObjectHandle& contents : pdfPages[i].getPageContents())
                contents.replaceStreamData(contents.getStreamData(qpdf_dl_generalized),
                                           QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    }

    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    setInfo(info, "/Author", finishing.author);
    setInfo(info, "/Subject", finishing.subject);
    setInfo(info, "/Creator", finishing.creator);
    setInfo(info, "/Producer", finishing.producer.isEmpty() ? finishing.creator : finishing.producer);
    if (info.hasKey("/Title") && info.getKey("/Title").isString() &&
        info.getKey("/Title").getUTF8Value().empty())
        info.removeKey("/Title");
    // Qt's XMP metadata, when present, would contradict the document information above.
    pdf.getRoot().removeKey("/Metadata");

    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    // Streams are written as they are: Qt's compressed fonts and pictures stay compressed,
    // the decoded page contents stay plain.
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setPreserveEncryption(false);
    writer.forcePDFVersion(finishing.version.toStdString());
    writer.write();
    const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(out->getBuffer()), qsizetype(out->getSize()));
}

QByteArray makePdf(const TPDFExport& exporter, const std::vector<std::unique_ptr<TReportPage>>& pages,
                   const QString& path) {
    if (pages.empty())
        throw ReportError("Não há páginas para exportar.");
    try {
        static const QRegularExpression versionPattern(QStringLiteral("^1\\.[4-7]$"));
        if (!versionPattern.match(exporter.PDFVersion()).hasMatch())
            throw ReportError(QStringLiteral("versão de PDF não suportada (\"%1\")")
                                  .arg(exporter.PDFVersion())
                                  .toStdString());
        const QByteArray raw = renderWithQt(pages, exporter.Creator(), exporter.Quality());
        return finalizePdf(raw, pages,
                           Finishing{exporter.Author(), exporter.Subject(), exporter.Creator(),
                                     exporter.Producer(), exporter.PDFVersion(), exporter.Compressed()});
    } catch (const std::exception& error) {
        const QString where = path.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(path);
        throw ReportError(QStringLiteral("Não foi possível gerar o PDF%1: %2.")
                              .arg(where, QString::fromStdString(error.what()))
                              .toStdString());
    }
}

} // namespace

QByteArray TPDFExport::ExportToMemory(const std::vector<std::unique_ptr<TReportPage>>& pages) const {
    return makePdf(*this, pages, QString());
}

void TPDFExport::Export(const std::vector<std::unique_ptr<TReportPage>>& pages) {
    saveFiles({TOutputFile{FileName(), makePdf(*this, pages, FileName())}});
}

} // namespace report
