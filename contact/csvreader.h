#pragma once

#include "contact/contactimport.h"

#include <QByteArray>
#include <QString>

namespace lumo {

// The contacts of a spreadsheet saved as CSV: a header line naming the columns (our own box
// names, or the columns of Google Contacts and Outlook exports), then one contact a row.
// UTF-8 or Windows-1252; ',', ';' or tab between fields. `fileName` only names the file in
// messages. Throws lumo::UserError when no header column is known, a quote is never closed,
// or no row holds a contact.
ImportResult readCsv(const QByteArray& bytes, const QString& fileName);

} // namespace lumo
