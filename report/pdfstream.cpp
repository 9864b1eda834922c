#include "report/pdfstream.h"

#include "platform/systemerrors.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace report {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// The same device resolution as the single-document export, so pages come out alike.
constexpr int kWriterDpi = 1200;
// Objects up to this size are read whole to be looked at; larger ones (pictures, fonts,
// page contents) are copied in chunks without being looked at.
constexpr qint64 kSmallObject = 64 * 1024;
constexpr qint64 kCopyChunk = 256 * 1024;

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

[[noreturn]] void broken(const QString& path) {
    fail(path, QStringLiteral("o arquivo intermediário do gerador de PDF está incompleto"));
}

// A number of a page box, to 1/1000 point.
QByteArray boxNumber(double value) {
    QByteArray number = QByteArray::number(value, 'f', 3);
    while (number.endsWith('0'))
        number.chop(1);
    if (number.endsWith('.'))
        number.chop(1);
    return number;
}

QByteArray boxOf(double left, double bottom, double right, double top) {
    return '[' + boxNumber(left) + ' ' + boxNumber(bottom) + ' ' + boxNumber(right) + ' ' + boxNumber(top) +
           ']';
}

// A page object with the page boxes of a page of `points` with `bleedMm` on every side: the
// MediaBox and the BleedBox the whole page, the TrimBox the card inside the bleed (the whole
// page without bleed), so that a print shop's tools see where it is cut. Qt's own boxes (its
// whole-point MediaBox, a CropBox) give way to them; the join renumbers the offsets, so the
// dictionary may change length.
QByteArray withPageBoxes(const QByteArray& object, const QSizeF& points, double bleedMm) {
    static const QRegularExpression box(
        QStringLiteral("\\s*/(MediaBox|CropBox|BleedBox|TrimBox|ArtBox)\\s*\\[[^\\]]*\\]"));
    QString text = QString::fromLatin1(object);
    text.remove(box);
    const qsizetype opening = text.indexOf(QStringLiteral("<<"));
    if (opening < 0)
        return object;
    const double w = points.width(), h = points.height();
    const double b = std::clamp(bleedMm * 72.0 / 25.4, 0.0, std::min(w, h) / 2);
    const QByteArray whole = boxOf(0, 0, w, h);
    const QByteArray boxes = "\n/MediaBox " + whole + "\n/BleedBox " + whole + "\n/TrimBox " +
                             (b > 0 ? boxOf(b, b, w - b, h - b) : whole);
    text.insert(opening + 2, QString::fromLatin1(boxes));
    return text.toLatin1();
}

// Qt's file read by offset: every read seeks first, so the lookups of single objects and the
// sequential copy share the one file without disturbing each other.
class RawBytes {
public:
    RawBytes(QFile& file, const QString& path) : FFile(file), FPath(path) {}

    // `length` bytes from `offset`, fewer only where the file ends.
    QByteArray At(qint64 offset, qint64 length) {
        if (!FFile.seek(offset))
            broken(FPath);
        QByteArray bytes = FFile.read(length);
        if (FFile.error() != QFileDevice::NoError)
            fail(FPath, lumo::fileErrorText(FFile));
        return bytes;
    }

private:
    QFile& FFile;
    QString FPath;
};

// What Qt's writer wrote, found from the end of its file: the one cross-reference table of
// 20-byte entries starting at object 0, and the trailer naming /Info and /Root.
struct RawFile {
    qint64 xref = 0;    // where "xref" starts: the objects end here
    qint64 entries = 0; // where the entry of object 0 starts
    int size = 0;
    int info = -1, root = -1;
    QByteArray trailer; // "trailer" up to "startxref", without offsets
};

// The first line of `bytes` from `from`, without its line break; empty when there is none.
QByteArray lineAt(const QByteArray& bytes, qsizetype from) {
    const qsizetype end = bytes.indexOf('\n', from);
    return end < 0 ? QByteArray() : bytes.mid(from, end - from);
}

RawFile readTrailer(RawBytes& raw, qint64 size, const QString& path) {
    RawFile file;
    // Qt's writer keeps its offsets in ints.
    if (size >= qint64(INT_MAX))
        fail(path, QStringLiteral("o PDF passaria de 2 GB; divida a lista de contatos"));
    const QByteArray tail = raw.At(std::max<qint64>(0, size - 1024), 1024);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        broken(path);
    bool ok = false;
    file.xref = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    if (!ok || file.xref <= 0 || file.xref >= size)
        broken(path);
    // "xref", then the one section's "0 SIZE".
    const QByteArray head = raw.At(file.xref, 64);
    const qsizetype sectionAt = head.indexOf('\n') + 1;
    if (head.left(sectionAt).trimmed() != "xref" || sectionAt <= 0)
        broken(path);
    const QByteArray sectionLine = lineAt(head, sectionAt);
    const QList<QByteArray> section = sectionLine.trimmed().split(' ');
    file.size = section.value(1).toInt(&ok);
    if (sectionLine.isEmpty() || section.size() != 2 || section[0] != "0" || !ok || file.size < 1)
        broken(path);
    file.entries = file.xref + sectionAt + sectionLine.size() + 1;
    const qint64 trailerAt = file.entries + 20 * qint64(file.size);
    if (trailerAt >= size)
        broken(path);
    file.trailer = raw.At(trailerAt, size - trailerAt);
    if (lineAt(file.trailer, 0).trimmed() != "trailer")
        broken(path);
    file.trailer = "trailer\n" + file.trailer.mid(file.trailer.indexOf('\n') + 1);
    file.trailer.truncate(file.trailer.lastIndexOf("startxref"));
    static const QRegularExpression info(QStringLiteral("/Info (\\d+) 0 R")),
        root(QStringLiteral("/Root (\\d+) 0 R"));
    const QString text = QString::fromLatin1(file.trailer);
    file.info = info.match(text).captured(1).toInt(&ok);
    if (!ok)
        broken(path);
    file.root = root.match(text).captured(1).toInt(&ok);
    if (!ok)
        broken(path);
    return file;
}

// Single objects of Qt's file, where they lie.
class RawObjects {
public:
    RawObjects(RawBytes& bytes, const RawFile& file, const QString& path)
        : FBytes(bytes), FRaw(file), FPath(path) {}

    qint64 OffsetOf(int number) {
        if (number <= 0 || number >= FRaw.size)
            broken(FPath);
        const QByteArray entry = FBytes.At(FRaw.entries + 20 * qint64(number), 20);
        bool ok = false;
        const qint64 offset = entry.left(10).toLongLong(&ok);
        if (entry.size() != 20 || entry[17] != 'n' || !ok || offset <= 0 || offset >= FRaw.xref)
            broken(FPath);
        return offset;
    }

    // An object without stream data (a dictionary) of at most `limit` bytes, through its
    // "endobj" line; `number` is checked unless it is negative.
    QByteArray DictionaryAt(qint64 offset, int number, qint64 limit) {
        // Most dictionaries Qt writes (pages, the catalogue, the information) take a few
        // hundred bytes: one read nearly always holds the whole object.
        qint64 want = std::min<qint64>(1024, limit);
        QByteArray object;
        qsizetype end = -1;
        for (;;) {
            object = FBytes.At(offset, std::min(want, FRaw.xref - offset));
            end = object.indexOf("endobj\n");
            if (end >= 0 || want >= limit || offset + object.size() >= FRaw.xref)
                break;
            want = std::min(want * 4, limit);
        }
        if (end < 0)
            broken(FPath);
        object.truncate(end + 7);
        static const QRegularExpression anyOpening(QStringLiteral("^\\d+ 0 obj\n"));
        const bool opened = number >= 0 ? object.startsWith(QByteArray::number(number) + " 0 obj\n")
                                        : anyOpening.match(QString::fromLatin1(object.left(24))).hasMatch();
        if (!opened || object.contains("stream"))
            broken(FPath);
        return object;
    }

private:
    RawBytes& FBytes;
    const RawFile& FRaw;
    QString FPath;
};

// The number of Qt's one page tree node, from the catalogue.
int pageTreeOf(const QByteArray& root, const QString& path) {
    static const QRegularExpression pagesKey(QStringLiteral("/Pages (\\d+) 0 R"));
    bool ok = false;
    const int pagesNumber = pagesKey.match(QString::fromLatin1(root)).captured(1).toInt(&ok);
    if (!ok)
        broken(path);
    return pagesNumber;
}

// The numbers of the page objects, in page order: the kids of Qt's one page tree node. The
// node lists every page, one a line, so it is read a part at a time and only the numbers are
// kept.
std::vector<int> pageNumbers(RawBytes& bytes, RawObjects& objects, const RawFile& file, int pagesNumber,
                             const QString& path) {
    bool ok = false;
    enum class Place { Opening, BeforeKids, KidsKey, InKids, AfterKids };
    Place place = Place::Opening;
    std::vector<int> kids;
    std::vector<QByteArray> numbers; // of the reference being read
    auto token = [&](const QByteArray& word) {
        switch (place) {
        case Place::Opening:
        case Place::BeforeKids:
            if (word == "/Kids")
                place = Place::KidsKey;
            else if (word == "stream" || word == "endobj")
                broken(path);
            break;
        case Place::KidsKey:
            if (word != "[")
                broken(path);
            place = Place::InKids;
            break;
        case Place::InKids:
            if (word == "]") {
                if (!numbers.empty())
                    broken(path);
                place = Place::AfterKids;
            } else if (word == "R") {
                const int kid = numbers.size() == 2 && numbers[1] == "0" ? numbers[0].toInt(&ok) : 0;
                if (!ok || kid <= 0)
                    broken(path);
                kids.push_back(kid);
                numbers.clear();
            } else if (numbers.size() < 2) {
                numbers.push_back(word);
            } else {
                broken(path);
            }
            break;
        case Place::AfterKids:
            if (word == "stream")
                broken(path);
            break;
        }
    };

    // Lines are short; a long one means this is not the file Qt writes.
    constexpr qsizetype kLongestLine = 4096;
    const QByteArray opening = QByteArray::number(pagesNumber) + " 0 obj";
    qint64 at = objects.OffsetOf(pagesNumber);
    QByteArray part;
    qsizetype from = 0;
    for (;;) {
        const qsizetype end = part.indexOf('\n', from);
        if (end < 0) {
            if (part.size() - from > kLongestLine || at >= file.xref)
                broken(path);
            const QByteArray more = bytes.At(at, std::min(kCopyChunk, file.xref - at));
            if (more.isEmpty())
                broken(path);
            at += more.size();
            part = part.mid(from) + more;
            from = 0;
            continue;
        }
        const QByteArray line = part.mid(from, end - from).trimmed();
        from = end + 1;
        if (place == Place::Opening) {
            if (line != opening)
                broken(path);
            place = Place::BeforeKids;
            continue;
        }
        if (line == "endobj")
            break;
        QByteArray spaced = line;
        spaced.replace('[', " [ ").replace(']', " ] ");
        for (const QByteArray& word : spaced.simplified().split(' '))
            if (!word.isEmpty())
                token(word);
    }
    if (place != Place::AfterKids)
        broken(path);
    return kids;
}

#ifdef Q_OS_LINUX
// A file without a name in `folder`, gone with its last descriptor; null where the folder's
// file system has no such files.
std::unique_ptr<QFile> unnamedFile(const QString& folder) {
    const int handle = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (handle < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(handle, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return nullptr;
    }
    return file;
}
#endif

} // namespace

TPdfPageStream::TPdfPageStream(const TPDFExport& settings, const QString& path, int pagesPerPart)
    : FPath(path), FAuthor(settings.Author()), FSubject(settings.Subject()), FCreator(settings.Creator()),
      FProducer(settings.Producer()), FVersion(settings.PDFVersion()), FPictureDpi(settings.Quality()),
      FPagesPerPart(std::max(1, pagesPerPart)) {
    static const QRegularExpression versionPattern(QStringLiteral("^1\\.[4-7]$"));
    if (!versionPattern.match(FVersion).hasMatch())
        fail(path, QStringLiteral("versão de PDF não suportada (\"%1\")").arg(FVersion));
    const QFileInfo target(path);
    // Found out now rather than after every page is drawn.
    if (!QFileInfo(target.absolutePath()).isDir())
        fail(
            path,
            QStringLiteral("a pasta \"%1\" não existe").arg(QDir::toNativeSeparators(target.absolutePath())));
    if (target.isDir())
        fail(path, QStringLiteral("o caminho é uma pasta"));
    StartPart();
}

TPdfPageStream::~TPdfPageStream() {
    if (FPainter.isActive())
        FPainter.end();
}

void TPdfPageStream::StartPart() {
    // Beside the target rather than in the temporary folder: the same disk as the result, and
    // no memory when that folder lives in memory.
    const QFileInfo target(FPath);
    std::unique_ptr<QFile> raw;
#ifdef Q_OS_LINUX
    raw = unnamedFile(target.absolutePath());
#endif
    if (!raw) {
        auto named = std::make_unique<QTemporaryFile>(
            target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
        if (!named->open())
            fail(FPath, lumo::fileErrorText(*named));
        raw = std::move(named);
    }
    FWriter = std::make_unique<QPdfWriter>(raw.get());
    FWriter->setPdfVersion(QPagedPaintDevice::PdfVersion_1_6);
    FWriter->setResolution(kWriterDpi);
    FWriter->setCreator(FCreator);
    FParts.push_back(std::move(raw));
    FPagesInPart = 0;
}

void TPdfPageStream::EndPart() {
    if (!FPainter.end())
        fail(FPath, QStringLiteral("o gerador de PDF falhou"));
    FWriter.reset();
#ifdef __GLIBC__
    // What the writer held is free again, scattered through the heap between blocks still in
    // use; glibc keeps such pages in the process unless told to hand them back.
    malloc_trim(0);
#endif
    QFile& raw = *FParts.back();
    if (!raw.flush() || raw.error() != QFileDevice::NoError)
        fail(FPath, lumo::fileErrorText(raw));
}

void TPdfPageStream::AddPage(const TReportPage& page) {
    const QSizeF points = pagePoints(page);
    const QSize whole = wholePoints(points);
    if (FPainter.isActive() && FPagesInPart == FPagesPerPart) {
        EndPart();
        StartPart();
    }
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
    if (FParts.back()->error() != QFileDevice::NoError)
        fail(FPath, lumo::fileErrorText(*FParts.back()));

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

    if (!FSizes.empty() && FSizes.back().points == points && FSizes.back().bleedMm == page.Bleed())
        ++FSizes.back().count;
    else
        FSizes.push_back({points, page.Bleed(), 1});
    ++FPageCount;
    ++FPagesInPart;
}

bool TPdfPageStream::Finish(const std::function<bool()>& keepGoing) {
    if (FPageCount == 0)
        throw ReportError("Não há páginas para exportar.");
    EndPart();
    return Join([&] { return keepGoing && !keepGoing(); });
}

namespace {

// `text` (an object's dictionary) with every reference "N 0 R" numbered anew by `renumber`.
QByteArray renumbered(const QByteArray& text, const std::function<int(int)>& renumber, const QString& path) {
    QByteArray result;
    result.reserve(text.size() + 64);
    qsizetype done = 0;
    for (qsizetype at = text.indexOf(" 0 R"); at >= 0; at = text.indexOf(" 0 R", at + 4)) {
        // The reference ends a word: " 0 R" followed by a delimiter.
        const qsizetype after = at + 4;
        if (after < text.size() && !QByteArrayView("\n\r\t />]").contains(text[after]))
            continue;
        qsizetype first = at;
        while (first > done && text[first - 1] >= '0' && text[first - 1] <= '9')
            --first;
        // A number, not the end of a name or of another token: anything else is not what Qt
        // writes, and a reference left unnumbered would point at a wrong object.
        if (first == at || (first > 0 && !QByteArrayView(" \n\r\t[<").contains(text[first - 1])))
            broken(path);
        bool ok = false;
        const int number = text.mid(first, at - first).toInt(&ok);
        if (!ok)
            broken(path);
        result += text.mid(done, first - done);
        result += QByteArray::number(renumber(number));
        done = at;
    }
    result += text.mid(done);
    return result;
}

constexpr char kNullObject[] = " 0 obj\nnull\nendobj\n";

} // namespace

bool TPdfPageStream::Join(const std::function<bool()>& stopped) {
    if (stopped())
        return false;
    // Each part's objects keep their order and are numbered after those of the parts before;
    // the parts' own catalogue, page tree and information become empty objects, and one of
    // each for the whole document follows the last part.
    std::vector<RawFile> files;
    files.reserve(FParts.size());
    std::vector<int> bases;
    int total = 0;
    for (const auto& part : FParts) {
        RawBytes raw(*part, FPath);
        files.push_back(readTrailer(raw, part->size(), FPath));
        bases.push_back(total);
        total += files.back().size - 1;
    }
    const int pagesNumber = total + 1, rootNumber = total + 2, infoNumber = total + 3;
    const int size = total + 4;

    QSaveFile out(FPath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        fail(FPath, lumo::fileErrorText(out));
    auto write = [&](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            fail(FPath, lumo::fileErrorText(out));
    };
    // The cross-reference entries of the parts' objects and the page tree's kids wait in files
    // of their own while the objects are copied, so that memory does not grow with them.
    const auto sideFile = [&] {
        std::unique_ptr<QFile> file;
#ifdef Q_OS_LINUX
        file = unnamedFile(QFileInfo(FPath).absolutePath());
#endif
        if (!file) {
            auto named = std::make_unique<QTemporaryFile>();
            if (!named->open())
                fail(FPath, lumo::fileErrorText(*named));
            file = std::move(named);
        }
        return file;
    };
    const std::unique_ptr<QFile> entries = sideFile(), kids = sideFile();
    const auto append = [&](QFile& file, const QByteArray& bytes) {
        if (file.write(bytes) != bytes.size())
            fail(FPath, lumo::fileErrorText(file));
    };

    write("%PDF-" + FVersion.toLatin1() + "\n%\xE2\xE3\xCF\xD3\n");
    std::size_t run = 0;
    int pagesInRun = 0;
    auto nextPageSize = [&] {
        while (pagesInRun == FSizes[run].count) {
            ++run;
            pagesInRun = 0;
        }
        ++pagesInRun;
        return FSizes[run];
    };
    static const QRegularExpression metadata(QStringLiteral("/Metadata\\s+\\d+\\s+0\\s+R"));
    static const QRegularExpression creationDate(QStringLiteral("/CreationDate\\s*\\([^)]*\\)"));
    QByteArray catalogue, date;
    int pages = 0;
    int sinceAsked = 0;
    for (std::size_t k = 0; k < FParts.size(); ++k) {
        RawBytes raw(*FParts[k], FPath);
        const RawFile& file = files[k];
        const int base = bases[k];
        RawObjects objects(raw, file, FPath);
        const QByteArray root = objects.DictionaryAt(objects.OffsetOf(file.root), file.root, kSmallObject);
        const int partPages = pageTreeOf(root, FPath);
        const std::vector<int> pageList = pageNumbers(raw, objects, file, partPages, FPath);
        const auto renumber = [&](int number) {
            if (number <= 0 || number >= file.size)
                broken(FPath);
            return number == partPages ? pagesNumber : base + number;
        };
        if (k == 0) {
            // The document's catalogue is the first part's, without Qt's XMP metadata, which
            // would contradict the information written below.
            catalogue = renumbered(QString::fromLatin1(root).remove(metadata).toLatin1(), renumber, FPath);
            date = creationDate
                       .match(QString::fromLatin1(
                           objects.DictionaryAt(objects.OffsetOf(file.info), file.info, kSmallObject)))
                       .captured()
                       .toLatin1();
        }

        // Where each object lies, and the objects in the order they lie.
        // Qt's offsets are below 2 GB (see readTrailer).
        std::vector<quint32> offsets(std::size_t(file.size), 0);
        constexpr int kEntriesAtOnce = 4096;
        for (int first = 0; first < file.size; first += kEntriesAtOnce) {
            const int count = std::min(kEntriesAtOnce, file.size - first);
            const QByteArray block = raw.At(file.entries + 20 * qint64(first), 20 * qint64(count));
            if (block.size() != 20 * qint64(count))
                broken(FPath);
            for (int i = 0; i < count; ++i) {
                const char* entry = block.constData() + 20 * qsizetype(i);
                if (entry[17] != 'n' || first + i == 0)
                    continue;
                bool ok = false;
                const qint64 offset = QByteArray(entry, 10).toLongLong(&ok);
                if (!ok || offset <= 0 || offset >= file.xref)
                    broken(FPath);
                offsets[std::size_t(first + i)] = quint32(offset);
            }
        }
        std::vector<int> order;
        order.reserve(offsets.size());
        for (int n = 1; n < file.size; ++n)
            if (offsets[std::size_t(n)] > 0)
                order.push_back(n);
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return offsets[std::size_t(a)] < offsets[std::size_t(b)]; });
        std::vector<char> isPage(std::size_t(file.size), 0);
        for (const int page : pageList) {
            if (page <= 0 || page >= file.size || offsets[std::size_t(page)] == 0)
                broken(FPath);
            isPage[std::size_t(page)] = 1;
        }

        std::vector<qint64> moved(std::size_t(file.size), 0);
        std::size_t nextKid = 0;
        const auto skipped = [&](int n) { return n == file.root || n == file.info || n == partPages; };
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (++sinceAsked == 256) {
                sinceAsked = 0;
                if (stopped())
                    return false;
            }
            const int n = order[i];
            const qint64 start = offsets[std::size_t(n)];
            const qint64 end = i + 1 < order.size() ? offsets[std::size_t(order[i + 1])] : file.xref;
            moved[std::size_t(n)] = out.pos();
            const QByteArray number = QByteArray::number(base + n);
            if (skipped(n)) {
                write(number + kNullObject);
                continue;
            }
            // The dictionary is rewritten; the stream data after it, if any, is copied as it is.
            const QByteArray head = raw.At(start, std::min(end - start, kSmallObject));
            const QByteArray opening = QByteArray::number(n) + " 0 obj\n";
            if (!head.startsWith(opening))
                broken(FPath);
            const qsizetype streamAt = head.indexOf("\nstream\n");
            qint64 dictionaryEnd = streamAt >= 0 ? streamAt + 1 : head.size();
            if (streamAt < 0 && end - start > head.size())
                broken(FPath);
            QByteArray dictionary =
                number + " 0 obj\n" +
                renumbered(head.mid(opening.size(), dictionaryEnd - opening.size()), renumber, FPath);
            if (isPage[std::size_t(n)]) {
                // Qt writes the pages one after the other, in their order.
                if (nextKid >= pageList.size() || pageList[nextKid] != n || dictionary.contains("stream"))
                    broken(FPath);
                ++nextKid;
                {
                    const SizeRun& size = nextPageSize();
                    dictionary = withPageBoxes(dictionary, size.points, size.bleedMm);
                }
                append(*kids, number + " 0 R\n");
                ++pages;
            }
            write(dictionary);
            for (qint64 at = start + dictionaryEnd; at < end;) {
                const QByteArray chunk = raw.At(at, std::min(end - at, kCopyChunk));
                if (chunk.isEmpty())
                    broken(FPath);
                write(chunk);
                at += chunk.size();
                if (chunk.size() == kCopyChunk && stopped())
                    return false;
            }
        }
        if (nextKid != pageList.size())
            broken(FPath);
        // Numbers Qt's table lists as free are taken by empty objects all the same.
        for (int n = 1; n < file.size; ++n) {
            if (offsets[std::size_t(n)] > 0)
                continue;
            moved[std::size_t(n)] = out.pos();
            write(QByteArray::number(base + n) + kNullObject);
        }
        QByteArray block;
        for (int n = 1; n < file.size; ++n) {
            block += QByteArray::number(moved[std::size_t(n)]).rightJustified(10, '0') + " 00000 n \n";
            if (block.size() >= kSmallObject || n + 1 == file.size) {
                append(*entries, block);
                block.clear();
            }
        }
        // This part's file is no longer needed.
        FParts[k].reset();
    }
    if (pages != FPageCount)
        fail(FPath, QStringLiteral("o gerador de PDF produziu um número errado de páginas"));

    // The document's page tree, catalogue and information.
    const qint64 pagesAt = out.pos();
    write(QByteArray::number(pagesNumber) + " 0 obj\n<<\n/Type /Pages\n/Kids [\n");
    if (!kids->flush() || !kids->seek(0))
        fail(FPath, lumo::fileErrorText(*kids));
    for (;;) {
        const QByteArray chunk = kids->read(kCopyChunk);
        if (kids->error() != QFileDevice::NoError)
            fail(FPath, lumo::fileErrorText(*kids));
        if (chunk.isEmpty())
            break;
        write(chunk);
    }
    write("]\n/Count " + QByteArray::number(pages) + "\n>>\nendobj\n");
    const qint64 rootAt = out.pos();
    if (!catalogue.startsWith(QByteArray::number(files[0].root) + " 0 obj\n"))
        broken(FPath);
    write(QByteArray::number(rootNumber) + catalogue.mid(catalogue.indexOf(' ')));
    const qint64 infoAt = out.pos();
    // Qt's own information names Qt as the producer and has no author or subject.
    QByteArray info = QByteArray::number(infoNumber) + " 0 obj\n<<\n";
    auto entry = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            info += QByteArray(key) + ' ' + pdfTextString(value) + '\n';
    };
    entry("/Author", FAuthor);
    entry("/Subject", FSubject);
    entry("/Creator", FCreator);
    entry("/Producer", FProducer.isEmpty() ? FCreator : FProducer);
    if (!date.isEmpty())
        info += date + '\n';
    write(info + ">>\nendobj\n");

    if (stopped())
        return false;
    const qint64 xref = out.pos();
    write("xref\n0 " + QByteArray::number(size) + "\n0000000000 65535 f \n");
    if (!entries->flush() || !entries->seek(0))
        fail(FPath, lumo::fileErrorText(*entries));
    for (;;) {
        const QByteArray chunk = entries->read(kCopyChunk);
        if (entries->error() != QFileDevice::NoError)
            fail(FPath, lumo::fileErrorText(*entries));
        if (chunk.isEmpty())
            break;
        write(chunk);
    }
    for (const qint64 at : {pagesAt, rootAt, infoAt})
        write(QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n");
    write("trailer\n<<\n/Size " + QByteArray::number(size) + "\n/Info " + QByteArray::number(infoNumber) +
          " 0 R\n/Root " + QByteArray::number(rootNumber) + " 0 R\n>>\nstartxref\n" +
          QByteArray::number(xref) + "\n%%EOF\n");
    // Qt would commit a file whose buffered tail could not be written (a full disk).
    if (!out.flush())
        fail(FPath, lumo::fileErrorText(out));
    if (stopped())
        return false;
    if (!out.commit())
        fail(FPath, lumo::fileErrorText(out));
    return true;
}

} // namespace report
