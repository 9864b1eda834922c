#include "card/pictureloader.h"

#include "platform/errors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace lumo {

namespace {

QByteArray formatOf(const QString& extension) {
    const QString ext = extension.toLower();
    if (ext == u"jpg" || ext == u"jpeg")
        return "jpeg";
    if (ext == u"png")
        return "png";
    if (ext == u"bmp")
        return "bmp";
    throw UserError(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
}

} // namespace

CardPicture readPictureFile(const QString& path) {
    const QFileInfo info(path);
    const QString extension = info.suffix();
    formatOf(extension);

    const QString shown = QDir::toNativeSeparators(path);
    const auto fail = [&](const QString& reason) {
        throw UserError(QStringLiteral("Não foi possível abrir a imagem \"%1\": %2").arg(shown, reason));
    };
    if (!info.exists())
        fail(QStringLiteral("o arquivo não existe."));
    if (info.isDir())
        fail(QStringLiteral("o caminho é uma pasta."));

    QFile file(path);
    if (file.size() > kMaxPictureFileBytes)
        fail(QStringLiteral("o arquivo é grande demais."));
    if (!file.open(QIODevice::ReadOnly))
        fail(file.errorString());
    CardPicture picture;
    picture.bytes = file.readAll();
    file.close();
    picture.extension = extension.toLower();
    picture.image = decodePicture(picture.bytes, extension, shown);
    return picture;
}

QImage loadPicture(const QString& path) {
    return readPictureFile(path).image;
}

QImage decodePicture(const QByteArray& bytes, const QString& extension, const QString& shownName) {
    const QByteArray format = formatOf(extension);
    const auto fail = [&](const QString& reason) {
        throw UserError(QStringLiteral("Não foi possível abrir a imagem \"%1\": %2").arg(shownName, reason));
    };
    QByteArray data = bytes;
    if (data.isEmpty())
        fail(QStringLiteral("o arquivo está vazio."));
    // A JPEG cut short still decodes, with grey where the data ran out; refuse it instead.
    // Inside the coded data a 0xFF byte is always stuffed, so FF D9 only marks an image's end.
    if (format == "jpeg" && data.startsWith("\xFF\xD8") && !data.contains("\xFF\xD9"))
        fail(QStringLiteral("o arquivo está incompleto."));

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPicturePixels)
        fail(QStringLiteral("a imagem é grande demais (%1 × %2 pixels; o máximo é %3 megapixels).")
                 .arg(size.width())
                 .arg(size.height())
                 .arg(kMaxPicturePixels / 1'000'000));
    // Qt's own limit is set to match, so a header that lies about its size is refused too.
    reader.setAllocationLimit(int(kMaxPicturePixels * 4 / (1024 * 1024)) + 1);
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        const QString reason = reader.errorString();
        fail(reason.endsWith(u'.') ? reason : reason + u'.');
    }
    return image;
}

} // namespace lumo
