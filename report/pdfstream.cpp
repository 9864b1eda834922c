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

[[noreturn]] void broken(const QString& path) {
    fail(path, QStringLiteral("o arquivo intermediário do gerador de PDF está incompleto"));
}

// A number padded with zeros after its decimal point to `length` characters, where it is
// shorter: the same value in the room of the number it replaces.
QByteArray paddedNumber(double value, qsizetype length) {
    QByteArray number = QByteArray::number(value, 'f', 3);
    while (number.size() < length)
        number += '0';
    return number;
}

// A page object with its page boxes set to `points`. Qt writes whole points with six
// decimals ("154.000000"), so the exact size fits in the same room and nothing after the
// page moves.
QByteArray withPageBoxes(const QByteArray& object, const QSizeF& points) {
    static const QRegularExpression box(QStringLiteral(
        "/(MediaBox|CropBox|BleedBox|TrimBox|ArtBox)\\s*\\[\\s*(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s*\\]"));
    QString text = QString::fromLatin1(object);
    QString result;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = box.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        result += QStringView(text).mid(done, m.capturedStart(4) - done);
        result += QString::fromLatin1(paddedNumber(points.width(), m.capturedLength(4)));
        result += QStringView(text).mid(m.capturedEnd(4), m.capturedStart(5) - m.capturedEnd(4));
        result += QString::fromLatin1(paddedNumber(points.height(), m.capturedLength(5)));
        done = m.capturedEnd(5);
    }
    result += QStringView(text).mid(done);
    return result.toLatin1();
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

// The numbers of the page objects, in page order: the kids of Qt's one page tree node. The
// node lists every page, one a line, so it is read a part at a time and only the numbers are
// kept.
std::vector<int> pageNumbers(RawBytes& bytes, RawObjects& objects, const RawFile& file, const QString& path) {
    static const QRegularExpression pagesKey(QStringLiteral("/Pages (\\d+) 0 R"));
    const QByteArray root = objects.DictionaryAt(objects.OffsetOf(file.root), file.root, kSmallObject);
    bool ok = false;
    const int pagesNumber = pagesKey.match(QString::fromLatin1(root)).captured(1).toInt(&ok);
    if (!ok)
        broken(path);

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

TPdfPageStream::TPdfPageStream(const TPDFExport& settings, const QString& path)
    : FPath(path), FAuthor(settings.Author()), FSubject(settings.Subject()), FCreator(settings.Creator()),
      FProducer(settings.Producer()), FVersion(settings.PDFVersion()), FPictureDpi(settings.Quality()) {
    static const QRegularExpression versionPattern(QStringLiteral("^1\\.[4-7]$"));
    if (!versionPattern.match(FVersion).hasMatch())
        fail(path, QStringLiteral("versão de PDF não suportada (\"%1\")").arg(FVersion));
    // Beside the target rather than in the temporary folder: the same disk as the result, and
    // no memory when that folder lives in memory.
    const QFileInfo target(path);
    // Found out now rather than after every page is drawn.
    if (!QFileInfo(target.absolutePath()).isDir())
        fail(
            path,
            QStringLiteral("a pasta \"%1\" não existe").arg(QDir::toNativeSeparators(target.absolutePath())));
    if (target.isDir())
        fail(path, QStringLiteral("o caminho é uma pasta"));
#ifdef Q_OS_LINUX
    FRaw = unnamedFile(target.absolutePath());
#endif
    if (!FRaw) {
        auto named = std::make_unique<QTemporaryFile>(
            target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
        if (!named->open())
            fail(path, lumo::fileErrorText(*named));
        FRaw = std::move(named);
    }
    FWriter = std::make_unique<QPdfWriter>(FRaw.get());
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
    if (FRaw->error() != QFileDevice::NoError)
        fail(FPath, lumo::fileErrorText(*FRaw));

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

bool TPdfPageStream::Finish(const std::function<bool()>& keepGoing) {
    if (FPageCount == 0)
        throw ReportError("Não há páginas para exportar.");
    if (!FPainter.end())
        fail(FPath, QStringLiteral("o gerador de PDF falhou"));
    FWriter.reset();
    if (!FRaw->flush() || FRaw->error() != QFileDevice::NoError)
        fail(FPath, lumo::fileErrorText(*FRaw));
    const auto stopped = [&] { return keepGoing && !keepGoing(); };
    if (stopped())
        return false;

    RawBytes raw(*FRaw, FPath);
    const RawFile file = readTrailer(raw, FRaw->size(), FPath);
    RawObjects objects(raw, file, FPath);
    const std::vector<int> pages = pageNumbers(raw, objects, file, FPath);
    if (pages.size() != std::size_t(FPageCount))
        fail(FPath, QStringLiteral("o gerador de PDF produziu um número errado de páginas"));
    const qint64 infoAt = objects.OffsetOf(file.info), rootAt = objects.OffsetOf(file.root);

    QSaveFile out(FPath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        fail(FPath, lumo::fileErrorText(out));
    auto write = [&](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            fail(FPath, lumo::fileErrorText(out));
    };
    qint64 copied = 0; // of Qt's file
    // Asked once a chunk's worth of bytes is copied or every few pages, whichever comes first.
    qint64 sinceAsked = 0;
    auto copyUpTo = [&](qint64 end) {
        while (copied < end) {
            const QByteArray chunk = raw.At(copied, std::min(end - copied, kCopyChunk));
            if (chunk.isEmpty())
                broken(FPath);
            write(chunk);
            copied += chunk.size();
            sinceAsked += chunk.size();
        }
    };
    // Objects that change length move everything after them; each entry is where such an
    // object started in Qt's file and how far the objects after it move in all.
    std::vector<std::pair<qint64, qint64>> moves;
    auto replace = [&](qint64 at, qsizetype oldLength, const QByteArray& object) {
        copyUpTo(at);
        write(object);
        copied = at + oldLength;
        if (object.size() != oldLength)
            moves.emplace_back(at, (moves.empty() ? 0 : moves.back().second) + object.size() - oldLength);
    };

    if (!raw.At(0, 16).startsWith("%PDF-1."))
        broken(FPath);
    write("%PDF-" + FVersion.toLatin1());
    copied = 8;

    static const QRegularExpression metadata(QStringLiteral("/Metadata\\s+\\d+\\s+0\\s+R"));
    static const QRegularExpression creationDate(QStringLiteral("/CreationDate\\s*\\([^)]*\\)"));
    std::size_t run = 0;
    int pagesInRun = 0;
    auto nextPageSize = [&] {
        while (pagesInRun == FSizes[run].count) {
            ++run;
            pagesInRun = 0;
        }
        ++pagesInRun;
        return FSizes[run].points;
    };
    auto editInfo = [&] {
        const QByteArray old = objects.DictionaryAt(infoAt, file.info, kSmallObject);
        // Qt's own information names Qt as the producer and has no author or subject.
        QByteArray info = QByteArray::number(file.info) + " 0 obj\n<<\n";
        auto entry = [&](const char* key, const QString& value) {
            if (!value.isEmpty())
                info += QByteArray(key) + ' ' + pdfTextString(value) + '\n';
        };
        entry("/Author", FAuthor);
        entry("/Subject", FSubject);
        entry("/Creator", FCreator);
        entry("/Producer", FProducer.isEmpty() ? FCreator : FProducer);
        const QString date = creationDate.match(QString::fromLatin1(old)).captured();
        if (!date.isEmpty())
            info += date.toLatin1() + '\n';
        replace(infoAt, old.size(), info + ">>\nendobj\n");
    };
    auto editRoot = [&] {
        const QByteArray old = objects.DictionaryAt(rootAt, file.root, kSmallObject);
        // Qt's XMP metadata, when there is any, would contradict the information above.
        replace(rootAt, old.size(), QString::fromLatin1(old).remove(metadata).toLatin1());
    };
    // The two other objects changed, in file order, each done once the copy reaches it.
    std::vector<std::pair<qint64, std::function<void()>>> others = {{infoAt, editInfo}, {rootAt, editRoot}};
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t othersDone = 0;
    auto editBefore = [&](qint64 at) {
        for (; othersDone < others.size() && others[othersDone].first < at; ++othersDone)
            others[othersDone].second();
    };
    qint64 previousPage = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if ((i % 256 == 0 || sinceAsked >= kCopyChunk) && stopped())
            return false;
        if (sinceAsked >= kCopyChunk)
            sinceAsked = 0;
        const qint64 pageAt = objects.OffsetOf(pages[i]);
        // Qt writes the pages one after the other, in their order.
        if (pageAt <= previousPage)
            broken(FPath);
        previousPage = pageAt;
        editBefore(pageAt);
        const QByteArray old = objects.DictionaryAt(pageAt, -1, kSmallObject);
        if (!old.contains("\n/Type /Page\n"))
            broken(FPath);
        replace(pageAt, old.size(), withPageBoxes(old, nextPageSize()));
    }
    editBefore(file.xref);
    copyUpTo(file.xref);

    // The cross-reference table again, each offset moved by the objects before it that changed
    // length (normally only the document information).
    const qint64 xref = out.pos();
    write("xref\n0 " + QByteArray::number(file.size) + '\n');
    constexpr int kEntriesAtOnce = 4096;
    for (int first = 0; first < file.size; first += kEntriesAtOnce) {
        if (stopped())
            return false;
        const int count = std::min(kEntriesAtOnce, file.size - first);
        QByteArray entries = raw.At(file.entries + 20 * qint64(first), 20 * qint64(count));
        if (entries.size() != 20 * qint64(count))
            broken(FPath);
        for (int i = 0; i < count; ++i) {
            char* entry = entries.data() + 20 * qsizetype(i);
            if (entry[17] != 'n')
                continue;
            bool ok = false;
            const qint64 offset = QByteArray(entry, 10).toLongLong(&ok);
            if (!ok)
                broken(FPath);
            const auto before = std::lower_bound(moves.begin(), moves.end(), offset,
                                                 [](const auto& move, qint64 at) { return move.first < at; });
            const qint64 moved = offset + (before == moves.begin() ? 0 : std::prev(before)->second);
            std::memcpy(entry, QByteArray::number(moved).rightJustified(10, '0').constData(), 10);
        }
        write(entries);
    }
    write(file.trailer + "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
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
