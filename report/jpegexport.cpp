#include "report/export.h"

#include "report/savefiles.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace report {

QString TJPEGExport::PageFileName(const QString& chosen, int number) {
    qsizetype nameStart = chosen.lastIndexOf(QLatin1Char('/')) + 1;
#ifdef Q_OS_WIN
    nameStart = std::max(nameStart, chosen.lastIndexOf(QLatin1Char('\\')) + 1);
#endif
    // The extension starts at the file name's last dot; a dot that begins the name (a hidden
    // file) or one in a folder name does not count.
    const qsizetype dot = chosen.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > nameStart ? chosen.left(dot) : chosen;
    return QStringLiteral("%1.%2.jpg").arg(base).arg(number);
}

QImage TJPEGExport::RenderPage(const TReportPage& page) const {
    const double scale = FResolution / kUnitsPerInch;
    const QRectF rect = page.UnitRect();
    QImage image(int(std::lround(rect.width() * scale)), int(std::lround(rect.height() * scale)),
                 QImage::Format_RGB32);
    if (image.isNull())
        throw ReportError(QStringLiteral("Memória insuficiente para a página \"%1\" a %2 dpi.")
                              .arg(page.Name())
                              .arg(FResolution)
                              .toStdString());
    const int dotsPerMeter = int(std::lround(FResolution / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    // JPEG has no transparency: a page without a colour is white paper.
    image.fill(page.Color().isValid() ? page.Color().rgb() : qRgb(255, 255, 255));

    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    // The whole pixels are the page: the rounding of its size is spread over the page (at
    // most half a pixel) rather than left as a fringe of page colour at its edges.
    painter.scale(image.width() / rect.width(), image.height() / rect.height());
    page.Draw(painter, TRenderOptions{double(FResolution), QColor()});
    return image;
}

QByteArray TJPEGExport::EncodeJpeg(const QImage& image) const {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(FJPEGQuality);
    writer.setOptimizedWrite(false);
    writer.setProgressiveScanWrite(false);
    if (!writer.write(image))
        throw ReportError(QStringLiteral("Não foi possível codificar a página em JPEG: %1.")
                              .arg(writer.errorString())
                              .toStdString());
    return data;
}

void TJPEGExport::Export(const std::vector<std::unique_ptr<TReportPage>>& pages) {
    if (pages.empty())
        throw ReportError("Não há páginas para exportar.");
    std::vector<TOutputFile> files;
    if (FSeparateFiles) {
        for (std::size_t i = 0; i < pages.size(); ++i)
            files.push_back({PageFileName(FileName(), int(i) + 1), EncodeJpeg(RenderPage(*pages[i]))});
    } else {
        std::vector<QImage> rendered;
        int width = 0, height = 0;
        for (const auto& page : pages) {
            rendered.push_back(RenderPage(*page));
            width = std::max(width, rendered.back().width());
            height += rendered.back().height();
        }
        QImage strip(width, height, QImage::Format_RGB32);
        if (strip.isNull())
            throw ReportError("Memória insuficiente para juntar as páginas em uma só imagem.");
        strip.setDotsPerMeterX(rendered.front().dotsPerMeterX());
        strip.setDotsPerMeterY(rendered.front().dotsPerMeterY());
        strip.fill(Qt::white);
        QPainter painter(&strip);
        int y = 0;
        for (const QImage& image : rendered) {
            painter.drawImage(0, y, image);
            y += image.height();
        }
        painter.end();
        files.push_back({FileName(), EncodeJpeg(strip)});
    }
    saveFiles(files);
}

} // namespace report
