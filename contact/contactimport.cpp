#include "contact/contactimport.h"

#include "contact/csvreader.h"
#include "contact/importrules.h"
#include "contact/vcardreader.h"
#include "platform/systemerrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace lumo {

namespace {

bool looksLikeVCard(const QByteArray& bytes) {
    QByteArray converted;
    const QByteArrayView text = textBytes(bytes, converted).trimmed();
    return text.size() >= 11 && text.first(11).compare("BEGIN:VCARD", Qt::CaseInsensitive) == 0;
}

[[noreturn]] void fileTooLarge(const QString& shown, qint64 size) {
    constexpr qint64 mib = 1024 * 1024;
    importFailed(shown, QStringLiteral("o arquivo tem %1 MiB e o limite para importar contatos é de %2 MiB.")
                            .arg((size + mib - 1) / mib)
                            .arg(kMaxContactsFileSize / mib));
}

// The checks before a contacts file is read: it exists, is a regular file and is within the
// size limit. Opens `file`.
void openContactsFile(QFile& file, const QString& shown) {
    const QFileInfo info(file.fileName());
    if (!info.exists())
        importFailed(shown, QStringLiteral("o arquivo não existe."));
    // Folders, devices and pipes could block or never end.
    if (!info.isFile())
        importFailed(shown, QStringLiteral("não é um arquivo comum."));
    if (info.size() > kMaxContactsFileSize)
        fileTooLarge(shown, info.size());
    if (!file.open(QIODevice::ReadOnly))
        importFailed(shown, fileErrorText(file) + u'.');
}

bool isVCardName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"vcf" || suffix == u"vcard";
}

bool isCsvName(const QString& path) {
    return QFileInfo(path).suffix().toLower() == u"csv";
}

} // namespace

QByteArray contactsFileBytes(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    openContactsFile(file, shown);
    // The file may have grown since it was measured.
    const QByteArray bytes = file.read(kMaxContactsFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        importFailed(shown, fileErrorText(file) + u'.');
    if (bytes.size() > kMaxContactsFileSize)
        fileTooLarge(shown, bytes.size());
    return bytes;
}

bool isVCardFile(const QString& path, const QByteArray& bytes) {
    return isVCardName(path) || (!isCsvName(path) && looksLikeVCard(bytes));
}

ImportResult readContactsFile(const QString& path) {
    return readContactsFile(path, CsvOptions());
}

ImportResult readContactsFile(const QString& path, const CsvOptions& csv) {
    const QByteArray bytes = contactsFileBytes(path);
    const QString shown = QDir::toNativeSeparators(path);
    return isVCardFile(path, bytes) ? readVCards(bytes, shown) : readCsv(bytes, shown, csv);
}

struct ContactFileReader::State {
    std::unique_ptr<QIODevice> device;
    QString shown;
    bool vcard = false;
    qint64 partBytes = kPartBytes;
    CsvOptions csvOptions;

    // Known after the first pass.
    bool checked = false;
    bool legacy = false; // CSV: not UTF-8 as a whole, so Windows-1252
    bool utf8Mark = false;
    bool nonAscii = false;

    // The pass under way.
    bool started = false;
    bool ended = false;
    bool whole = false; // UTF-16, read at once
    qint64 readBytes = 0;
    bool firstBlock = true;
    QByteArray pending;       // vCard bytes after the last part's end
    qsizetype searchFrom = 0; // in pending: no part can end before this line's start
    FilePart part;
    std::unique_ptr<CsvContacts> csv;
    std::deque<ContactFields> ready;
    int found = 0;
    int skipped = 0;
    std::vector<SkippedLine> firstSkipped;
    // count() has just ended: its ignored lines are told until next() starts again.
    bool counted = false;
    int csvLine = 1; // of the next CSV block
    ImportResult stats;

    void restart();
    QByteArray readBlock();
    void check();
    void readPart();
    void take(ImportResult&& result, bool addSkipped);
};

void ContactFileReader::State::restart() {
    if (!device->seek(0))
        importFailed(shown, systemErrorText(device->errorString()) + u'.');
    started = ended = whole = false;
    readBytes = 0;
    firstBlock = true;
    pending.clear();
    searchFrom = 0;
    part = FilePart();
    csv.reset();
    ready.clear();
    found = skipped = 0;
    firstSkipped.clear();
    csvLine = 1;
    stats = ImportResult();
}

// The next stretch of the file, ending at a line break (or at the file's end); a UTF-8
// byte-order mark at the start stays for the readers to see.
QByteArray ContactFileReader::State::readBlock() {
    QByteArray block = device->read(partBytes);
    if (!block.isEmpty() && !block.endsWith('\n') && !device->atEnd())
        block += device->readLine();
    if (block.isEmpty() && !device->atEnd())
        importFailed(shown, systemErrorText(device->errorString()) + u'.');
    readBytes += block.size();
    if (readBytes > kMaxContactsFileSize)
        fileTooLarge(shown, readBytes);
    if (firstBlock && (block.startsWith("\xFF\xFE") || block.startsWith("\xFE\xFF")))
        whole = true;
    return block;
}

// Binary data, an empty file and, for CSV, the encoding are found before the first contact,
// as the whole-file readers find them.
void ContactFileReader::State::check() {
    restart();
    QByteArray block = readBlock();
    if (whole) {
        checked = true;
        return;
    }
    int line = 1;
    bool blank = true;
    bool utf8 = true;
    const auto isSpace = [](char b) { return b == ' ' || (b >= '\t' && b <= '\r'); };
    for (; !block.isEmpty(); block = readBlock()) {
        QByteArrayView text(block);
        if (firstBlock && text.startsWith("\xEF\xBB\xBF")) {
            text = text.sliced(3);
            utf8Mark = true;
        }
        firstBlock = false;
        checkTextFile(text, shown, line, false);
        line += lineNumberAt(text, text.size()) - 1;
        blank = blank && std::all_of(text.begin(), text.end(), isSpace);
        if (!vcard && std::any_of(text.begin(), text.end(), [](char b) { return b & 0x80; })) {
            nonAscii = true;
            utf8 = utf8 && isValidUtf8(text);
        }
    }
    if (blank)
        importFailed(shown, QStringLiteral("o arquivo está vazio."));
    // A byte-order mark says UTF-8 whatever the bytes; else the choice made, else the bytes.
    legacy = !utf8Mark && (csvOptions.encoding ? *csvOptions.encoding == TextEncoding::Windows1252 : !utf8);
    checked = true;
}

void ContactFileReader::State::take(ImportResult&& result, bool addSkipped) {
    found += int(result.contacts.size());
    for (ContactFields& contact : result.contacts)
        ready.push_back(std::move(contact));
    skipped = addSkipped ? skipped + result.skippedLines : result.skippedLines;
    if (!addSkipped)
        firstSkipped.clear();
    for (const SkippedLine& line : result.firstSkipped)
        if (firstSkipped.size() < std::size_t(kSkippedLinesTold))
            firstSkipped.push_back(line);
    if (addSkipped) {
        for (int line : result.invalidUtf8Lines)
            if (int(stats.invalidUtf8Lines.size()) < kMaxNamedLines)
                stats.invalidUtf8Lines.push_back(line);
    } else {
        // A CSV reader's counts are those of the rows so far.
        std::vector<int> invalid = std::move(stats.invalidUtf8Lines);
        result.contacts.clear();
        stats = std::move(result);
        if (stats.invalidUtf8Lines.empty())
            stats.invalidUtf8Lines = std::move(invalid);
    }
    stats.skippedLines = skipped;
}

void ContactFileReader::State::readPart() {
    if (!started) {
        if (!checked)
            check();
        restart();
        started = true;
        csv = std::make_unique<CsvContacts>(shown, csvOptions.columns);
    }
    const QByteArray block = readBlock();
    const bool last = block.isEmpty() || device->atEnd();
    if (whole) {
        // Rare enough (phones and spreadsheets write UTF-8) to be read as one piece.
        QByteArray bytes = block + device->read(kMaxContactsFileSize + 1 - readBytes);
        readBytes = bytes.size();
        if (readBytes > kMaxContactsFileSize)
            fileTooLarge(shown, readBytes);
        take(vcard ? readVCards(bytes, shown) : readCsv(bytes, shown, csvOptions), false);
        ended = true;
        return;
    }
    const bool first = firstBlock;
    firstBlock = false;
    if (vcard) {
        pending += block;
        qsizetype end = last ? pending.size() : 0;
        if (!last && pending.size() >= partBytes) {
            end = vcardPartEnd(pending, searchFrom);
            // Blocks end at a line break, so only the last line is still undecided (an
            // END:VCARD there waits for the next line): a card longer than a part is searched
            // again from there, not from its start.
            qsizetype lastLine = pending.size();
            while (lastLine > 0 && (pending[lastLine - 1] == '\n' || pending[lastLine - 1] == '\r'))
                --lastLine;
            while (lastLine > 0 && pending[lastLine - 1] != '\n' && pending[lastLine - 1] != '\r')
                --lastLine;
            searchFrom = lastLine;
        }
        if (end > 0 || last) {
            const QByteArray text = pending.first(end);
            pending.remove(0, end);
            searchFrom = 0;
            part.last = last;
            part.utf8 = utf8Mark; // parts after the first have no mark of their own
            take(readVCards(text, shown, part), true);
            part.firstLine += lineNumberAt(text, text.size()) - 1;
            part.first = false;
        }
    } else {
        QByteArrayView text(block);
        if (first && text.startsWith("\xEF\xBB\xBF"))
            text = text.sliced(3);
        std::vector<int> unnamed; // valid UTF-8 told from its bytes has no invalid ones
        std::vector<int>& invalid = utf8Mark || csvOptions.encoding ? stats.invalidUtf8Lines : unnamed;
        const QString decoded = legacy ? decodeWindows1252(text) : decodeUtf8Lossy(text, csvLine, invalid);
        csvLine += lineNumberAt(text, text.size()) - 1;
        csv->feed(decoded, last);
        take(csv->take(), false);
        stats.encoding = legacy ? TextEncoding::Windows1252 : TextEncoding::Utf8;
        stats.byteOrderMark = utf8Mark;
        stats.nonAscii = nonAscii;
    }
    if (last) {
        ended = true;
        if (found == 0)
            importFailed(shown, QStringLiteral("o arquivo não tem nenhum contato."));
    }
}

ContactFileReader::ContactFileReader(const QString& path) : d(std::make_unique<State>()) {
    d->shown = QDir::toNativeSeparators(path);
    auto file = std::make_unique<QFile>(path);
    openContactsFile(*file, d->shown);
    d->device = std::move(file);
    if (isVCardName(path)) {
        d->vcard = true;
    } else if (!isCsvName(path)) {
        // Told by the content's start, past any blank lines.
        QByteArray start;
        while (!d->device->atEnd() && start.trimmed().size() < 11 && start.size() < kMaxContactsFileSize)
            start += d->device->read(4096);
        d->vcard = looksLikeVCard(start);
    }
}

ContactFileReader::ContactFileReader(std::unique_ptr<QIODevice> device, const QString& shownName, bool vcard,
                                     qint64 partBytes)
    : d(std::make_unique<State>()) {
    d->device = std::move(device);
    d->shown = shownName;
    d->vcard = vcard;
    d->partBytes = std::max<qint64>(1, partBytes);
}

ContactFileReader::~ContactFileReader() = default;

int ContactFileReader::count(const std::function<bool()>& keepGoing) {
    d->restart();
    int n = 0;
    while (next())
        if (++n % 256 == 0 && keepGoing && !keepGoing())
            return -1;
    const int skipped = d->skipped;
    std::vector<SkippedLine> firstSkipped = std::move(d->firstSkipped);
    ImportResult stats = std::move(d->stats);
    d->restart();
    // Told until the next pass starts.
    d->skipped = skipped;
    d->firstSkipped = std::move(firstSkipped);
    d->stats = std::move(stats);
    d->counted = true;
    return n;
}

std::optional<ContactFields> ContactFileReader::next() {
    if (d->counted) {
        d->counted = false;
        d->skipped = 0;
        d->firstSkipped.clear();
        d->stats = ImportResult();
    }
    while (d->ready.empty() && !d->ended)
        d->readPart();
    if (d->ready.empty())
        return std::nullopt;
    ContactFields contact = std::move(d->ready.front());
    d->ready.pop_front();
    return contact;
}

int ContactFileReader::skippedLines() const {
    return d->skipped;
}

std::vector<SkippedLine> ContactFileReader::firstSkipped() const {
    return d->firstSkipped;
}

void noteSkippedLine(ImportResult& result, int line, const QString& reason) {
    ++result.skippedLines;
    if (result.firstSkipped.size() < std::size_t(kSkippedLinesTold))
        result.firstSkipped.push_back({line, reason});
}

QStringList skippedLinesText(const ImportResult& result) {
    QStringList lines;
    for (const SkippedLine& skipped : result.firstSkipped)
        lines << QStringLiteral("linha %1: %2").arg(skipped.line).arg(skipped.reason);
    if (result.skippedLines > int(result.firstSkipped.size()))
        lines << QStringLiteral("…");
    return lines;
}

ImportResult ContactFileReader::stats() const {
    return d->stats;
}

void ContactFileReader::setCsvOptions(const CsvOptions& options) {
    d->csvOptions = options;
    d->checked = false;
}

QString importSummary(const ImportResult& result) {
    QString text = importSummary(qsizetype(result.contacts.size()), result.skippedLines);
    QStringList why;
    const auto line = [](int first) { return QStringLiteral("linha %1").arg(first); };
    if (result.longRows > 0)
        why << QStringLiteral("%1 com mais campos que o cabeçalho (a partir da %2)")
                   .arg(result.longRows)
                   .arg(line(result.firstLongRow));
    if (result.emptyRows > 0)
        why << QStringLiteral("%1 sem nada nas colunas lidas (a partir da %2)")
                   .arg(result.emptyRows)
                   .arg(line(result.firstEmptyRow));
    if (!why.isEmpty())
        text += QStringLiteral(": ") + why.join(QStringLiteral("; "));
    if (!result.invalidUtf8Lines.empty()) {
        QStringList lines;
        for (int l : result.invalidUtf8Lines)
            lines << QString::number(l);
        text += (lines.size() == 1
                     ? QStringLiteral(". Bytes inválidos em UTF-8 trocados por \uFFFD na linha %1")
                     : QStringLiteral(". Bytes inválidos em UTF-8 trocados por \uFFFD nas linhas %1"))
                    .arg(lines.join(QStringLiteral(", ")));
    }
    return text;
}

QString importSummary(qsizetype n, int m) {
    QString text =
        n == 1 ? QStringLiteral("1 contato importado") : QStringLiteral("%1 contatos importados").arg(n);
    if (m > 0)
        text +=
            m == 1 ? QStringLiteral(", 1 linha ignorada") : QStringLiteral(", %1 linhas ignoradas").arg(m);
    return text;
}

namespace {

QString digitsOf(const QString& phone) {
    QString digits;
    for (QChar c : phone)
        if (c.isDigit())
            digits += c;
    // "+55 11 9…" and "(11) 9…" are one number: the last ten or eleven digits tell it.
    return digits.right(11);
}

bool sameContact(const ContactFields& a, const ContactFields& b) {
    const auto samePhone = [](const QString& x, const QString& y) {
        const QString dx = digitsOf(x);
        return dx.size() >= 8 && dx == digitsOf(y);
    };
    const bool phone = samePhone(a.celular, b.celular) || samePhone(a.celular, b.fixo) ||
                       samePhone(a.fixo, b.celular) || samePhone(a.fixo, b.fixo);
    const bool email = !a.email.trimmed().isEmpty() &&
                       a.email.trimmed().compare(b.email.trimmed(), Qt::CaseInsensitive) == 0;
    return phone || email;
}

QString nameKey(const ContactFields& c) {
    return foldedKey(QString(c.nome + u' ' + c.sobrenome));
}

} // namespace

int addContacts(std::vector<ContactFields>& list, std::vector<ContactFields> added) {
    // The contacts of each name, so that ten thousand are compared by name first.
    std::unordered_map<QString, std::vector<std::size_t>> byName;
    for (std::size_t i = 0; i < list.size(); ++i)
        byName[nameKey(list[i])].push_back(i);
    int merged = 0;
    for (ContactFields& contact : added) {
        std::vector<std::size_t>& same = byName[nameKey(contact)];
        const auto it = std::find_if(same.begin(), same.end(),
                                     [&](std::size_t i) { return sameContact(list[i], contact); });
        if (it == same.end()) {
            same.push_back(list.size());
            list.push_back(std::move(contact));
            continue;
        }
        ContactFields& kept = list[*it];
        const std::vector<QString*> to = boxesOf(kept), from = boxesOf(contact);
        for (std::size_t b = 0; b < to.size(); ++b)
            if (to[b]->trimmed().isEmpty())
                *to[b] = *from[b];
        ++merged;
    }
    return merged;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    case TextEncoding::Utf16:
        return QStringLiteral("UTF-16");
    case TextEncoding::Utf8:
        break;
    }
    return QStringLiteral("UTF-8");
}

} // namespace lumo
