#pragma once

#include "contact/contactimport.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lumo {

// A column's box: 0 to 12 in form order (nome … cep, as boxesOf), or kIgnoreColumn.
inline constexpr int kIgnoreColumn = -1;
inline constexpr int kBoxCount = 13;

// Columns the user assigned, by their header text (matched without case, accents or spaces).
// A column not named keeps the box its header gives; one given the box its header gives
// anyway keeps that header's reading (a full name split, a company's name).
using ColumnChoices = std::map<QString, int>;

struct CsvOptions {
    ColumnChoices columns;
    // Read the text as this instead of telling it (UTF-8 if valid, else Windows-1252). A
    // file with a byte-order mark is read as it says.
    std::optional<TextEncoding> encoding;
};

// The box's name as the --columns option and the column chooser write it: "nome", "e-mail",
// "ignorar"; and its caption in the window ("Nome", "E-mail", "Ignorar").
QString boxKey(int box);
QString boxCaption(int box);
// The box a name of boxKey (or its caption, any case or accents) stands for; none if unknown.
std::optional<int> boxFromKey(const QString& key);

// A CSV file whose header gives no column for nome, sobrenome, celular, fixo or e-mail.
class CsvColumnsNeeded : public UserError {
public:
    CsvColumnsNeeded(const QString& message, QStringList unknownColumns);
    // The columns whose header is not known, as written.
    QStringList unknownColumns;
};

// The header of a CSV file and the first values of each column, for choosing boxes.
struct CsvHeader {
    QStringList names;
    std::vector<int> boxes;           // the box each header gives (kIgnoreColumn when none)
    std::vector<QStringList> samples; // up to two values of each column, from the first rows
    TextEncoding encoding = TextEncoding::Utf8;
};
// Throws lumo::UserError when the file has no header line or a quote is never closed in it.
CsvHeader inspectCsv(const QByteArray& bytes, const QString& fileName, const CsvOptions& options = {});
// The first `count` contacts the file gives with these choices; none when it gives none.
std::vector<ContactFields> previewCsv(const QByteArray& bytes, const CsvOptions& options, int count);

// The contacts of a spreadsheet saved as CSV: a header line naming the columns (our own box
// names, Portuguese headers as people write them, or the columns of Google Contacts and
// Outlook exports), then one contact a row. UTF-8 or Windows-1252 (as `options` may say);
// ',', ';' or tab between fields. `fileName` only names the file in messages. Throws
// lumo::CsvColumnsNeeded when the columns give no name, phone or e-mail, and lumo::UserError
// when a quote is never closed or no row holds a contact.
ImportResult readCsv(const QByteArray& bytes, const QString& fileName, const CsvOptions& options = {});

// The same reading given the file's text a piece at a time (already decoded, without a
// byte-order mark), for files too long to hold: records are read once the text goes on past
// them, and the last piece reads the rest. The contacts, ignored lines and errors are those
// of readCsv on the whole text, wherever the pieces are cut.
class CsvContacts {
public:
    explicit CsvContacts(const QString& fileName, const ColumnChoices& columns = {});
    ~CsvContacts();
    CsvContacts(const CsvContacts&) = delete;
    CsvContacts& operator=(const CsvContacts&) = delete;

    // Throws lumo::UserError as readCsv does; after the last piece, when no row held a contact.
    void feed(QStringView text, bool last);
    // The contacts read since the last take, and the lines ignored so far (and why).
    ImportResult take();
    int skippedLines() const;

private:
    friend CsvHeader inspectCsv(const QByteArray&, const QString&, const CsvOptions&);
    struct State;
    std::unique_ptr<State> d;
};

} // namespace lumo
