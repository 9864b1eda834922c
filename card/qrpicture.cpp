#include "card/qrpicture.h"

#include "platform/errors.h"
#include "platform/fileio.h"
#include "platform/utf8.h"
#include "qrcode/encoder.h"
#include "qrcode/qrcodegenerator.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumo {

QImage renderQrPicture(const QString& text, TQRErrorCorrection level) {
    TQRCodeGenerator generator;
    // Encoding and level before the data: the generator encodes at every assignment, and a
    // text encoded first with the automatic choice would be measured with a byte-order mark
    // or as ISO-8859-1, not as the UTF-8 bytes the symbol holds.
    generator.SetEncoding(qrUTF8BOM);
    generator.SetErrorCorrection(level);
    generator.SetQuietZone(0);
    generator.SetData(text);
    const int rows = generator.Rows();
    const int columns = generator.Columns();
    if (rows <= 0 || columns <= 0)
        throw UserError(QStringLiteral("Não foi possível gerar o código QR deste vCard."));

    // Each module becomes a solid block: pixel x lies in module x·N / 2000, so a 21-module
    // symbol has blocks of 95 and 96 pixels, with no smoothing at their edges.
    std::vector<int> moduleOf(kQrPictureSide);
    for (int x = 0; x < kQrPictureSide; ++x)
        moduleOf[x] = int(qint64(x) * columns / kQrPictureSide);

    QImage picture(kQrPictureSide, kQrPictureSide, QImage::Format_Grayscale8);
    std::vector<uchar> line(kQrPictureSide);
    int lastRow = -1;
    for (int y = 0; y < kQrPictureSide; ++y) {
        const int r = int(qint64(y) * rows / kQrPictureSide);
        if (r != lastRow) {
            for (int x = 0; x < kQrPictureSide; ++x)
                line[x] = generator.IsBlack(r, moduleOf[x]) ? 0 : 255;
            lastRow = r;
        }
        std::memcpy(picture.scanLine(y), line.data(), kQrPictureSide);
    }
    return picture;
}

int qrEncodedBytes(const QString& text) {
    return int(toUtf8(text).size());
}

int qrMaxBytes(TQRErrorCorrection level) {
    const TErrorCorrectionLevel levels[] = {TErrorCorrectionLevel::L(), TErrorCorrectionLevel::M(),
                                            TErrorCorrectionLevel::Q(), TErrorCorrectionLevel::H()};
    return TEncoder::maxCharacters(qmByte, levels[std::min<int>(level, qrLevelH)]);
}

QString qrCapacityNote(const QString& text, TQRErrorCorrection level) {
    return QStringLiteral("nível %1: %2 bytes, máximo %3")
        .arg(QChar("LMQH"[std::min<int>(level, qrLevelH)]))
        .arg(qrEncodedBytes(text))
        .arg(qrMaxBytes(level));
}

void saveQrPicture(const QImage& picture, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setOptimizedWrite(false);
    writer.setProgressiveScanWrite(false);
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        throw UserError(
            QStringLiteral("Não foi possível codificar a imagem JPEG: %1").arg(writer.errorString()));
    writeFileAtomically(path, bytes);
}

} // namespace lumo
