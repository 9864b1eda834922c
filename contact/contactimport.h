#pragma once

// Contacts read from other programs' files (vCard, CSV) into the thirteen boxes.

#include "contact/vcard.h"

#include <QString>

#include <vector>

namespace lumo {

struct ImportResult {
    std::vector<ContactFields> contacts;
    // Lines (CSV rows, unreadable vCard lines, cards with nothing for any box) left out.
    int skippedLines = 0;
};

// Larger files are refused before a byte is read.
inline constexpr qint64 kMaxContactsFileSize = qint64(64) * 1024 * 1024;

// Reads the vCard or CSV file at `path`: .vcf and .vcard are vCards and .csv is CSV, in any
// case; any other name is told by its content. Only regular files up to
// kMaxContactsFileSize. Throws lumo::UserError with the file and the reason.
ImportResult readContactsFile(const QString& path);

// "3 contatos importados, 1 linha ignorada"; the ignored part only when there are some.
QString importSummary(const ImportResult& result);

} // namespace lumo
