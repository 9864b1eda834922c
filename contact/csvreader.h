#pragma once

#include "contact/contactimport.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace lumo {

// The contacts of a spreadsheet saved as CSV: a header line naming the columns (our own box
// names, or the columns of Google Contacts and Outlook exports), then one contact a row.
// UTF-8 or Windows-1252; ',', ';' or tab between fields. `fileName` only names the file in
// messages. Throws lumo::UserError when no header column is known, a quote is never closed,
// or no row holds a contact.
ImportResult readCsv(const QByteArray& bytes, const QString& fileName);

// The same reading given the file's text a piece at a time (already decoded, without a
// byte-order mark), for files too long to hold: records are read once the text goes on past
// them, and the last piece reads the rest. The contacts, ignored lines and errors are those
// of readCsv on the whole text, wherever the pieces are cut.
class CsvContacts {
public:
    explicit CsvContacts(const QString& fileName);
    ~CsvContacts();
    CsvContacts(const CsvContacts&) = delete;
    CsvContacts& operator=(const CsvContacts&) = delete;

    // Throws lumo::UserError as readCsv does; after the last piece, when no row held a contact.
    void feed(QStringView text, bool last);
    // The contacts read since the last take, and the lines ignored so far.
    ImportResult take();
    int skippedLines() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace lumo
