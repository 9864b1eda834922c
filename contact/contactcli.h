#pragma once

// The command line's side of contact import: the --columns option, the --dry-run table and
// the file names of "one PDF per contact".

#include "contact/contactimport.h"
#include "contact/csvreader.h"

#include <QSet>
#include <QString>

#include <vector>

namespace lumo {

// "Nome completo=nome,Celular/WhatsApp=celular,UF=estado": columns by their header, each given
// a box (boxKey or caption, any case or accents) or "ignorar". Throws lumo::UserError naming
// the faulty part.
ColumnChoices parseColumnsOption(const QString& text);

// The command line's message for a file whose columns give no name, phone or e-mail: the
// reader's message and the --columns option that would map its unknown columns.
QString columnsNeededText(const CsvColumnsNeeded& error);

// What --dry-run prints: the summary, the encoding of a CSV file, and the first contacts as a
// table (at most ten, only the boxes any of them fills), lines ending in "\n".
QString dryRunText(const ImportResult& stats, int total, const std::vector<ContactFields>& first);
inline constexpr int kDryRunContacts = 10;

// "Nome Sobrenome.pdf" for a contact, its e-mail or "Contato" when it has no name; characters
// a file name cannot hold on Windows, macOS or Linux become "_"; the same name again (in any
// case) gets " (2)", " (3)". `used` holds the names given so far, in lower case.
QString eachPdfFileName(const ContactFields& contact, QSet<QString>& used);

} // namespace lumo
