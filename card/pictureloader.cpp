#include "card/pictureloader.h"

#include "platform/errors.h"
#include "platform/systemerrors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QList>
#include <QMutex>
#include <QtEndian>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lumo {

namespace {

[[noreturn]] void cannotOpen(const QString& path, const QString& reason) {
    throw UserError(QStringLiteral("Não foi possível abrir a imagem \"%1\": %2")
                        .arg(QDir::toNativeSeparators(path), reason));
}

QByteArray formatOf(const QString& extension) {
    const QString ext = extension.toLower();
    if (ext == u"jpg" || ext == u"jpeg")
        return "jpeg";
    if (ext == u"png")
        return "png";
    if (ext == u"bmp")
        return "bmp";
    throw UserError(QStringLiteral("Extensão de imagem desconhecida (.%1).").arg(extension));
}

// Reads the file whole, refusing anything but a regular file before a byte is read: a named
// pipe would block the open or the read forever, a device such as /dev/zero never ends.
QByteArray readPictureBytes(const QString& path) {
    const auto fail = [&path](const QString& reason) { cannotOpen(path, reason); };
    const QFileInfo info(path); // follows links: a link to a picture is fine
    if (!info.exists())
        fail(QStringLiteral("o arquivo não existe."));
    if (info.isDir())
        fail(QStringLiteral("o caminho é uma pasta."));
    if (!info.isFile())
        fail(QStringLiteral("o caminho não é um arquivo comum."));

    QFile file;
#ifdef Q_OS_UNIX
    // The path may have been swapped since the check above: opened without blocking (a pipe
    // opens at once), then the open file itself is checked.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fail(systemErrorText(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        fail(QStringLiteral("o caminho não é um arquivo comum."));
    }
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(fileErrorText(file));
#endif
    if (file.size() > kMaxPictureFileBytes)
        fail(QStringLiteral("o arquivo é grande demais."));
    // One byte more than the limit tells a file that grew while it was read.
    const QByteArray data = file.read(std::min(file.size(), kMaxPictureFileBytes) + 1);
    if (data.size() > kMaxPictureFileBytes)
        fail(QStringLiteral("o arquivo é grande demais."));
    if (data.isEmpty())
        fail(QStringLiteral("o arquivo está vazio."));
    return data;
}

// Qt's BMP reader fills the rows missing from a file cut short with black, so the pixel data
// the header declares is checked against the file. Headers Qt cannot read are left to it.
bool bmpCutShort(const QByteArray& data) {
    if (data.size() < 26 || !data.startsWith("BM"))
        return false;
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 dataOffset = qFromLittleEndian<quint32>(p + 10);
    const qint64 headerSize = qFromLittleEndian<quint32>(p + 14);
    // Qt reads every header but the old OS/2 one with the layout of the 40-byte header,
    // whatever size it declares.
    const bool oldHeader = headerSize == 12;
    if (data.size() < 14 + (oldHeader ? 12 : 40))
        return true;
    qint64 width, height, bitsPerPixel, compression = 0, imageBytes = 0;
    if (oldHeader) { // 16-bit sizes, no compression
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bitsPerPixel = qFromLittleEndian<quint16>(p + 24);
    } else {
        width = std::abs(qint64(qFromLittleEndian<qint32>(p + 18)));
        height = std::abs(qint64(qFromLittleEndian<qint32>(p + 22))); // negative: rows top down
        bitsPerPixel = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
        imageBytes = qFromLittleEndian<quint32>(p + 34);
    }
    const qint64 start = std::max(dataOffset, 14 + headerSize);
    const qint64 available = data.size() - start;
    if (available < 0)
        return true;
    switch (compression) {
    case 0:   // uncompressed
    case 3:   // bit fields
    case 6: { // bit fields with alpha
        if (bitsPerPixel < 1 || bitsPerPixel > 32)
            return false;
        const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4; // rows padded to 4 bytes
        return rowBytes > 0 && height > available / rowBytes;
    }
    case 1: // run-length coded: only the declared size tells where the data ends
    case 2:
        return imageBytes > available;
    default:
        return false;
    }
}

// The memory a JPEG decoder keeps for the coefficients of the whole picture when the picture
// comes in several scans; 0 for a single scan, which decodes a row of blocks at a time, and
// for data the walk through the markers cannot follow (the decoder refuses those itself).
qint64 jpegCoefficientBytes(const QByteArray& data) {
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    if (size < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return 0;
    struct Component {
        int horizontal, vertical; // sampling factors
    };
    QList<Component> components;
    int width = 0, height = 0;
    bool progressive = false;
    qint64 at = 2;
    while (at + 4 <= size) {
        // Like the decoder, bytes up to the next marker are skipped: an 0xFF followed by
        // anything but 0x00 (a coded 0xFF) or another 0xFF (fill).
        const uchar marker = p[at + 1];
        if (p[at] != 0xFF || marker == 0x00 || marker == 0xFF) {
            at += p[at] == 0xFF && marker == 0x00 ? 2 : 1;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length follows
            at += 2;
            continue;
        }
        if (marker == 0xD9)
            return 0;
        const qint64 length = qFromBigEndian<quint16>(p + at + 2);
        if (length < 2 || at + 2 + length > size)
            return 0;
        const uchar* segment = p + at + 4;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && length >= 8) {
            height = qFromBigEndian<quint16>(segment + 1);
            width = qFromBigEndian<quint16>(segment + 3);
            const int count = segment[5];
            if (length < 8 + 3 * count)
                return 0;
            components.clear();
            for (int i = 0; i < count; ++i) {
                const uchar* c = segment + 6 + 3 * i;
                components.append({std::max(1, c[1] >> 4), std::max(1, c[1] & 15)});
            }
            // Progressive and hierarchical frames: C2, C3, C6, C7, CA, CB, CE, CF.
            progressive = (marker & 3) >= 2;
        }
        if (marker == 0xDA) { // the first scan: the frame is known by now
            if (components.isEmpty() || length < 3)
                return 0;
            if (!progressive && segment[0] >= components.size())
                return 0;
            int maxH = 1, maxV = 1;
            for (const Component& c : components) {
                maxH = std::max(maxH, c.horizontal);
                maxV = std::max(maxV, c.vertical);
            }
            qint64 bytes = 0;
            for (const Component& c : components) {
                const qint64 columns = (qint64(width) * c.horizontal + 8 * maxH - 1) / (8 * maxH);
                const qint64 rows = (qint64(height) * c.vertical + 8 * maxV - 1) / (8 * maxV);
                bytes += columns * rows * 64 * 2;
            }
            return bytes;
        }
        at += 2 + length;
    }
    return 0;
}

// What Qt's JPEG reader reports while it decodes: libjpeg's warnings come as Qt warnings,
// which this collects for the thread reading, passing them on to the handler before it. The
// handler is installed around one read at a time.
class DecoderWarnings {
public:
    DecoderWarnings() : lock(&mutex) {
        sink = &warnings;
        previous = qInstallMessageHandler(collect);
    }
    ~DecoderWarnings() {
        qInstallMessageHandler(previous);
        sink = nullptr;
    }
    DecoderWarnings(const DecoderWarnings&) = delete;
    DecoderWarnings& operator=(const DecoderWarnings&) = delete;

    // The data ran out before the picture did. Qt 6.4 feeds the decoder an end marker at the
    // end of the file, so a cut picture shows up as "premature end of data segment" from the
    // coded data; "Premature end of JPEG file" is what libjpeg's own file reader says. An end
    // marker missing after complete data says neither.
    bool dataRanOut() const {
        return std::any_of(warnings.begin(), warnings.end(), [](const QString& text) {
            return text.contains(QLatin1String("premature end"), Qt::CaseInsensitive);
        });
    }

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (sink && type == QtWarningMsg)
            sink->append(text);
        if (previous)
            previous(type, context, text);
    }

    static inline QMutex mutex;
    static inline QtMessageHandler previous = nullptr;
    static inline thread_local QStringList* sink = nullptr;
    QMutexLocker<QMutex> lock;
    QStringList warnings;
};

} // namespace

QSize pictureDecodeSize(QSize size) {
    if (size.isEmpty())
        return size;
    const double shorter = std::min(size.width(), size.height());
    const double longer = std::max(size.width(), size.height());
    const double scale = std::min({1.0, kPictureShortSide / shorter, kPictureLongSide / longer});
    if (scale >= 1.0)
        return size;
    const auto side = [scale](int pixels) { return std::max(1, int(std::lround(pixels * scale))); };
    return QSize(side(size.width()), side(size.height()));
}

CardPicture readPictureFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    formatOf(extension);
    CardPicture picture;
    picture.bytes = readPictureBytes(path);
    picture.extension = extension.toLower();
    picture.image = decodePicture(picture.bytes, extension, path);
    return picture;
}

QImage loadPicture(const QString& path) {
    return readPictureFile(path).image;
}

QImage decodePicture(const QByteArray& bytes, const QString& extension, const QString& shownName) {
    const QByteArray format = formatOf(extension);
    const auto fail = [&shownName](const QString& reason) { cannotOpen(shownName, reason); };
    if (bytes.isEmpty())
        fail(QStringLiteral("o arquivo está vazio."));
    QByteArray data = bytes;
    const QString incomplete = QStringLiteral("o arquivo está incompleto.");
    if (format == "bmp" && bmpCutShort(data))
        fail(incomplete);

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    // A top-down BMP declares a negative height, and Qt passes it on.
    const QSize declared = reader.size();
    const QSize size(std::abs(declared.width()), std::abs(declared.height()));
    const auto tooBig = [&](qint64 limit, const QString& which) {
        fail(QStringLiteral("a imagem é grande demais (%1 × %2 pixels; o máximo%3 é %4 megapixels).")
                 .arg(size.width())
                 .arg(size.height())
                 .arg(which)
                 .arg(limit / 1'000'000));
    };
    const qint64 pixels = size.isValid() ? qint64(size.width()) * size.height() : 0;
    if (pixels > kMaxPicturePixels)
        tooBig(kMaxPicturePixels, QString());
    if (format != "jpeg" && pixels > kMaxWholeDecodePixels)
        tooBig(kMaxWholeDecodePixels, QStringLiteral(" para PNG e BMP"));
    if (format == "jpeg" && jpegCoefficientBytes(data) > kMaxJpegCoefficientBytes)
        fail(QStringLiteral("a imagem é grande demais (%1 × %2 pixels) para um JPEG progressivo; "
                            "salve-a como JPEG comum (não progressivo).")
                 .arg(size.width())
                 .arg(size.height()));
    // A JPEG decodes straight at a fraction of its size (libjpeg scales by eighths), so even
    // the largest stays within the allocation limit; the others decode whole, then scale.
    if (size.isValid() && pictureDecodeSize(size) != size)
        reader.setScaledSize(pictureDecodeSize(size));
    // Also refuses a header that lies about its size.
    reader.setAllocationLimit(256);

    QImage image;
    bool read = false;
    bool ranOut = false;
    {
        const DecoderWarnings warnings;
        read = reader.read(&image);
        ranOut = warnings.dataRanOut();
    }
    if (!read || image.isNull()) {
        const QString reason = reader.errorString();
        fail(reason.endsWith(u'.') ? reason : reason + u'.');
    }
    // A JPEG cut short still decodes, grey where the data ran out; it is refused instead.
    if (ranOut)
        fail(incomplete);
    // A header Qt reads one way for its size and another way for the picture decodes whole:
    // the picture is brought down to the sides a card needs all the same.
    const QSize needed = pictureDecodeSize(image.size());
    if (needed != image.size())
        image = image.scaled(needed, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace lumo
