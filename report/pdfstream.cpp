#include "report/pdfstream.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace report {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// The same device resolution as the single-document export, so pages come out alike.
constexpr int kWriterDpi = 1200;
// Objects up to this size are read whole to be looked at; larger ones (pictures, fonts,
// page contents) are copied in chunks without being looked at.
constexpr qint64 kSmallObject = 64 * 1024;
constexpr qint64 kCopyChunk = 1024 * 1024;

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw ReportError(
        QStringLiteral("Não foi possível gerar o PDF \"%1\": %2.").arg(path, reason).toStdString());
}

QSizeF pagePoints(const TReportPage& page) {
    return QSizeF(page.PaperWidth() * kPointsPerMm, page.PaperHeight() * kPointsPerMm);
}

// Qt's writer only knows pages of whole points: each page is made large enough and the page
// is drawn against its top edge; the exact box is written when the file is finished.
QSize wholePoints(const QSizeF& points) {
    return QSize(int(std::ceil(points.width() - 1e-9)), int(std::ceil(points.height() - 1e-9)));
}

QPageLayout writerLayout(const QSize& whole) {
    QPageLayout layout(QPageSize(whole, QString(), QPageSize::ExactMatch), QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

// A PDF text string: literal when it is plain ASCII, otherwise UTF-16BE with a byte-order mark.
QByteArray pdfTextString(const QString& text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u' ' && c <= u'~'; });
    if (ascii) {
        QByteArray literal = text.toLatin1();
        literal.replace('\\', "\\\\").replace('(', "\\(").replace(')', "\\)");
        return '(' + literal + ')';
    }
    QByteArray hex = "<FEFF";
    for (QChar c : text)
        hex += QByteArray::number(c.unicode() | 0x10000, 16).mid(1).toUpper();
    return hex + '>';
}

QByteArray boxArray(const QSizeF& points) {
    return "[0 0 " + QByteArray::number(points.width(), 'f', 3) + ' ' +
           QByteArray::number(points.height(), 'f', 3) + ']';
}

// Where Qt's writer put each object, read back from the file's cross-reference table.
struct RawLayout {
    struct Object {
        qint64 offset;
        int number;
    };
    std::vector<Object> objects; // in file order
    int size = 0;                // object numbers run below this
    qint64 firstObject = 0, xref = 0;
    QByteArray trailer; // "trailer" up to "startxref", without offsets
    int info = -1, root = -1;
};

// Reads what Qt's writer writes: one classic cross-reference table (20-byte entries) and a
// trailer naming /Info and /Root. Anything else means the file is not the one just written.
RawLayout readLayout(QFile& raw, const QString& path) {
    auto broken = [&] {
        fail(path, QStringLiteral("o arquivo intermediário do gerador de PDF está incompleto"));
    };
    RawLayout layout;
    const qint64 size = raw.size();
    raw.seek(std::max<qint64>(0, size - 1024));
    const QByteArray tail = raw.read(1024);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        broken();
    bool ok = false;
    layout.xref = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    if (!ok || layout.xref <= 0 || layout.xref >= size || !raw.seek(layout.xref) ||
        raw.readLine().trimmed() != "xref")
        broken();

    std::vector<qint64> offsets;
    for (;;) {
        const QByteArray line = raw.readLine().trimmed();
        if (line == "trailer")
            break;
        const QList<QByteArray> section = line.split(' ');
        bool firstOk = false, countOk = false;
        const int first = section.value(0).toInt(&firstOk);
        const int count = section.value(1).toInt(&countOk);
        if (section.size() != 2 || !firstOk || !countOk || first < 0 || count < 0 || first > (1 << 28) ||
            count > (1 << 28))
            broken();
        if (offsets.size() < std::size_t(first) + std::size_t(count))
            offsets.resize(std::size_t(first) + std::size_t(count), -1);
        for (int i = 0; i < count; ++i) {
            const QByteArray entry = raw.read(20);
            if (entry.size() != 20)
                broken();
            if (entry[17] == 'n')
                offsets[std::size_t(first + i)] = entry.left(10).toLongLong();
        }
    }
    layout.trailer = "trailer\n" + raw.read(size - raw.pos());
    layout.trailer.truncate(layout.trailer.lastIndexOf("startxref"));
    static const QRegularExpression info(QStringLiteral("/Info (\\d+) 0 R")),
        root(QStringLiteral("/Root (\\d+) 0 R"));
    const QString trailerText = QString::fromLatin1(layout.trailer);
    layout.info = info.match(trailerText).captured(1).toInt(&ok);
    if (!ok)
        broken();
    layout.root = root.match(trailerText).captured(1).toInt(&ok);
    if (!ok)
        broken();

    layout.size = int(offsets.size());
    for (std::size_t n = 0; n < offsets.size(); ++n)
        if (offsets[n] >= 0)
            layout.objects.push_back({offsets[n], int(n)});
    std::sort(layout.objects.begin(), layout.objects.end(),
              [](const RawLayout::Object& a, const RawLayout::Object& b) { return a.offset < b.offset; });
    for (std::size_t i = 0; i < layout.objects.size(); ++i) {
        const qint64 end = i + 1 < layout.objects.size() ? layout.objects[i + 1].offset : layout.xref;
        if (layout.objects[i].offset >= end)
            broken();
    }
    if (layout.objects.empty())
        broken();
    layout.firstObject = layout.objects.front().offset;
    return layout;
}

} // namespace

TPdfPageStream::TPdfPageStream(const TPDFExport& settings, const QString& path)
    : FPath(path), FAuthor(settings.Author()), FSubject(settings.Subject()), FCreator(settings.Creator()),
      FProducer(settings.Producer()), FVersion(settings.PDFVersion()), FPictureDpi(settings.Quality()) {
    static const QRegularExpression versionPattern(QStringLiteral("^1\\.[4-7]$"));
    if (!versionPattern.match(FVersion).hasMatch())
        fail(path, QStringLiteral("versão de PDF não suportada (\"%1\")").arg(FVersion));
    // Beside the target rather than in the temporary folder: the same disk as the result, and
    // no memory when that folder lives in memory.
    const QFileInfo target(path);
    FRaw.setFileTemplate(target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!FRaw.open())
        fail(path, FRaw.errorString());
    FWriter = std::make_unique<QPdfWriter>(&FRaw);
    FWriter->setPdfVersion(QPagedPaintDevice::PdfVersion_1_6);
    FWriter->setResolution(kWriterDpi);
    FWriter->setCreator(FCreator);
}

TPdfPageStream::~TPdfPageStream() {
    if (FPainter.isActive())
        FPainter.end();
}

void TPdfPageStream::AddPage(const TReportPage& page) {
    const QSizeF points = pagePoints(page);
    const QSize whole = wholePoints(points);
    if (!FPainter.isActive()) {
        FWriter->setPageLayout(writerLayout(whole));
        if (!FPainter.begin(FWriter.get()))
            fail(FPath, QStringLiteral("o gerador de PDF não pôde ser iniciado"));
    } else {
        // The next page's layout has to be set before newPage() so that the new page gets it.
        if (whole != FWriterPage)
            FWriter->setPageLayout(writerLayout(whole));
        if (!FWriter->newPage())
            fail(FPath, QStringLiteral("o gerador de PDF falhou na página %1").arg(FPageCount + 1));
    }
    FWriterPage = whole;
    if (FRaw.error() != QFileDevice::NoError)
        fail(FPath, FRaw.errorString());

    // Qt measures the page from its bottom edge; the page is lifted so that its top edge is the
    // top of the exact page box.
    FPainter.save();
    const double scale = kWriterDpi / kUnitsPerInch;
    FPainter.scale(scale, scale);
    FPainter.translate(0, (whole.height() - points.height()) / kPointsPerUnit);
    TRenderOptions options;
    options.PictureDpi = FPictureDpi;
    page.Draw(FPainter, options);
    FPainter.restore();

    if (!FSizes.empty() && FSizes.back().points == points)
        ++FSizes.back().count;
    else
        FSizes.push_back({points, 1});
    ++FPageCount;
}

void TPdfPageStream::Finish() {
    if (FPageCount == 0)
        throw ReportError("Não há páginas para exportar.");
    if (!FPainter.end())
        fail(FPath, QStringLiteral("o gerador de PDF falhou"));
    FWriter.reset();
    if (!FRaw.flush() || FRaw.error() != QFileDevice::NoError)
        fail(FPath, FRaw.errorString());

    const RawLayout layout = readLayout(FRaw, FPath);
    QSaveFile out(FPath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        fail(FPath, out.errorString());
    auto write = [&](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            fail(FPath, out.errorString());
    };
    auto read = [&](qint64 length) {
        QByteArray bytes = FRaw.read(length);
        if (bytes.size() != length)
            fail(FPath, QStringLiteral("o arquivo intermediário do gerador de PDF não pôde ser lido"));
        return bytes;
    };

    FRaw.seek(0);
    QByteArray header = read(layout.firstObject);
    if (!header.startsWith("%PDF-1."))
        fail(FPath, QStringLiteral("o arquivo intermediário do gerador de PDF está incompleto"));
    header.replace(5, 3, FVersion.toLatin1());
    write(header);

    std::vector<qint64> written(std::size_t(layout.size), -1);
    static const QRegularExpression boxes(
        QStringLiteral("/(MediaBox|CropBox|BleedBox|TrimBox|ArtBox)\\s*\\[[^\\]]*\\]"));
    static const QRegularExpression metadata(QStringLiteral("/Metadata\\s+\\d+\\s+0\\s+R"));
    static const QRegularExpression creationDate(QStringLiteral("/CreationDate\\s*\\([^)]*\\)"));
    std::size_t run = 0;
    int pagesInRun = 0, pages = 0;
    for (std::size_t i = 0; i < layout.objects.size(); ++i) {
        const RawLayout::Object& object = layout.objects[i];
        const qint64 end = i + 1 < layout.objects.size() ? layout.objects[i + 1].offset : layout.xref;
        const qint64 length = end - object.offset;
        written[std::size_t(object.number)] = out.pos();
        if (length > kSmallObject) {
            for (qint64 left = length; left > 0; left -= kCopyChunk)
                write(read(std::min(left, kCopyChunk)));
            continue;
        }
        QByteArray bytes = read(length);
        const QByteArray opening = QByteArray::number(object.number) + " 0 obj\n";
        if (!bytes.startsWith(opening))
            fail(FPath, QStringLiteral("o arquivo intermediário do gerador de PDF está incompleto"));
        if (object.number == layout.info) {
            // Qt's own information names Qt as the producer and has no author or subject.
            QByteArray info = opening + "<<\n";
            auto entry = [&](const char* key, const QString& value) {
                if (!value.isEmpty())
                    info += QByteArray(key) + ' ' + pdfTextString(value) + '\n';
            };
            entry("/Author", FAuthor);
            entry("/Subject", FSubject);
            entry("/Creator", FCreator);
            entry("/Producer", FProducer.isEmpty() ? FCreator : FProducer);
            const QString date = creationDate.match(QString::fromLatin1(bytes)).captured();
            if (!date.isEmpty())
                info += date.toLatin1() + '\n';
            bytes = info + ">>\nendobj\n";
        } else if (bytes.startsWith(opening + "<<\n/Type /Page\n")) {
            while (run < FSizes.size() && pagesInRun == FSizes[run].count) {
                ++run;
                pagesInRun = 0;
            }
            if (run == FSizes.size())
                fail(FPath, QStringLiteral("o gerador de PDF produziu um número errado de páginas"));
            const QByteArray box = boxArray(FSizes[run].points);
            QString text = QString::fromLatin1(bytes);
            text.replace(boxes, QStringLiteral("/\\1 ") + QString::fromLatin1(box));
            bytes = text.toLatin1();
            ++pagesInRun;
            ++pages;
        } else if (object.number == layout.root) {
            // Qt's XMP metadata, when there is any, would contradict the information above.
            bytes = QString::fromLatin1(bytes).remove(metadata).toLatin1();
        }
        write(bytes);
    }
    if (pages != FPageCount)
        fail(FPath, QStringLiteral("o gerador de PDF produziu um número errado de páginas"));

    const qint64 xref = out.pos();
    QByteArray table = "xref\n0 " + QByteArray::number(layout.size) + '\n';
    for (qint64 offset : written) {
        table += offset < 0 ? QByteArray("0000000000 65535 f \n")
                            : QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        if (table.size() >= kCopyChunk) {
            write(table);
            table.clear();
        }
    }
    write(table + layout.trailer + "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    if (!out.commit())
        fail(FPath, out.errorString());
}

} // namespace report
