#pragma once

// Contacts read from other programs' files (vCard, CSV) into the thirteen boxes.

#include "contact/vcard.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lumo {

// A line left out of an import, and why.
struct SkippedLine {
    int line = 0;
    QString reason;
};
// How a file's bytes were read as text.
enum class TextEncoding { Utf8, Windows1252, Utf16 };

struct ImportResult {
    std::vector<ContactFields> contacts;
    // Lines (CSV rows, unreadable vCard lines, cards with nothing for any box) left out.
    int skippedLines = 0;
    // The first kSkippedLinesTold of them, in file order.
    std::vector<SkippedLine> firstSkipped;
    // Of those, the CSV rows with more fields than the header, and the rows with nothing in
    // the columns read; the line of the first of each.
    int longRows = 0, emptyRows = 0;
    int firstLongRow = 0, firstEmptyRow = 0;

    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
    // Whether the text had bytes beyond ASCII, so that its encoding mattered.
    bool nonAscii = false;
    // A file marked UTF-8 read with invalid bytes (each now U+FFFD): their lines, up to ten.
    std::vector<int> invalidUtf8Lines;
};

inline constexpr int kSkippedLinesTold = 5;

// Counts a line left out, keeping its reason while there are few.
void noteSkippedLine(ImportResult& result, int line, const QString& reason);

// Larger files are refused before a byte is read.
inline constexpr qint64 kMaxContactsFileSize = qint64(64) * 1024 * 1024;

struct CsvOptions;

// Reads the vCard or CSV file at `path`: .vcf and .vcard are vCards and .csv is CSV, in any
// case; any other name is told by its content. Only regular files up to
// kMaxContactsFileSize. Throws lumo::UserError with the file and the reason, and
// lumo::CsvColumnsNeeded for a CSV file whose columns give no name, phone or e-mail.
ImportResult readContactsFile(const QString& path);
ImportResult readContactsFile(const QString& path, const CsvOptions& csv);
// The bytes of a contacts file, checked as readContactsFile checks them.
QByteArray contactsFileBytes(const QString& path);
bool isVCardFile(const QString& path, const QByteArray& bytes);

// "3 contatos importados, 1 linha ignorada"; the ignored part only when there are some,
// with why (CSV rows), and the lines of invalid bytes in a file marked UTF-8.
QString importSummary(const ImportResult& result);
// The same for `contacts` contacts and `skippedLines` lines, when the list is not held.
QString importSummary(qsizetype contacts, int skippedLines);

// "linha 4: tem mais colunas que o cabeçalho", one for each of the first ignored lines, then
// "…" when there were more.
QStringList skippedLinesText(const ImportResult& result);
// Adds `added` to `list`, merging duplicates (the same name and the same phone or e-mail,
// within `added` too): the contact kept is the first, its empty boxes filled from the other.
// Returns how many were merged.
int addContacts(std::vector<ContactFields>& list, std::vector<ContactFields> added);

// "UTF-8" or "Windows-1252".
QString encodingName(TextEncoding encoding);

// The contacts of a vCard or CSV file read a part at a time, so that a file of any length
// takes about the same memory: the same contacts, ignored lines and errors as
// readContactsFile, only never the whole file at once. A first pass (count) checks the file
// and counts its contacts; then next() gives them one by one.
class ContactFileReader {
public:
    // How much of the file is read at a time (a part ends at a line break, and, in a vCard
    // file, after a whole card).
    static constexpr qint64 kPartBytes = 64 * 1024;

    // Checks the file as readContactsFile does and tells its kind the same way. Throws
    // lumo::UserError.
    explicit ContactFileReader(const QString& path);
    // Reads `device` (open, readable and seekable) as a vCard or a CSV file, `shownName` naming
    // it in messages.
    ContactFileReader(std::unique_ptr<QIODevice> device, const QString& shownName, bool vcard,
                      qint64 partBytes = kPartBytes);
    // CSV files are read with these choices (columns, encoding).
    void setCsvOptions(const CsvOptions& options);
    ~ContactFileReader();
    ContactFileReader(const ContactFileReader&) = delete;
    ContactFileReader& operator=(const ContactFileReader&) = delete;

    // Reads the whole file once, checking it, and tells how many contacts it holds; next()
    // starts again from the first. Throws lumo::UserError as readContactsFile does.
    // `keepGoing`, when given, is asked every few contacts; when it returns false, count
    // returns -1 at once.
    int count(const std::function<bool()>& keepGoing = {});
    // The next contact; none after the last. Throws lumo::UserError.
    std::optional<ContactFields> next();
    // The lines ignored so far in this pass, and the first of them with their reasons; after
    // count(), those of the whole file until next() is called.
    int skippedLines() const;
    std::vector<SkippedLine> firstSkipped() const;
    // What the pass so far found besides its contacts: ignored rows and why, the encoding.
    ImportResult stats() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace lumo
