// Any bytes through the CSV contact reader, as a .csv file the user picks.
//
// Checked: the reader returns or throws lumo::UserError, nothing else, and reading the
// bytes a part at a time gives the same; it returns at least one contact, and every contact
// passes checkImportedBoxes and has no box with spaces at its ends; the contacts written
// back as a CSV with the thirteen box names (every field quoted) read back as the same
// contacts, unless a box holds Google's " ::: " or a street the reader would split again (a
// line break in rua, or a comma or " - " in it with numero and bairro empty).

#include "contact/csvreader.h"
#include "platform/errors.h"
#include "platform/utf8.h"

#include "importcheck.h"

#include <cstdint>

namespace {

bool writtenBackAlike(lumo::ContactFields f) {
    for (const QString* box : lumo::boxesOf(f))
        if (box->contains(QStringLiteral(" ::: ")))
            return false;
    return !f.rua.contains(u'\n') && !(f.numero.isEmpty() && f.bairro.isEmpty() &&
                                       (f.rua.contains(u',') || f.rua.contains(QStringLiteral(" - "))));
}

QString quoted(const QString& value) {
    QString v = value;
    v.replace(u'"', QStringLiteral("\"\""));
    return u'"' + v + u'"';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    std::string error;
    const lumo::ImportResult result = readWholeAndInParts(
        bytes, false, QStringLiteral("fuzz.csv"),
        [&] { return lumo::readCsv(bytes, QStringLiteral("fuzz.csv")); }, error);
    if (!error.empty())
        return 0;
    CHECK(!result.contacts.empty());
    CHECK(result.skippedLines >= 0);

    QString csv = QStringLiteral(
        "Nome,Sobrenome,Sufixo,Fixo,Celular,Site,E-mail,Rua,Número,Bairro,Cidade,Estado,CEP\r\n");
    std::vector<lumo::ContactFields> written;
    for (lumo::ContactFields contact : result.contacts) {
        checkImportedBoxes(contact);
        QStringList row;
        for (const QString* box : lumo::boxesOf(contact)) {
            CHECK(*box == box->trimmed());
            row << quoted(*box);
        }
        if (!writtenBackAlike(contact))
            continue;
        csv += row.join(u',') + QStringLiteral("\r\n");
        written.push_back(contact);
    }
    if (written.empty())
        return 0;
    const lumo::ImportResult again = lumo::readCsv(lumo::toUtf8(csv), QStringLiteral("own.csv"));
    CHECK(again.contacts.size() == written.size() && again.skippedLines == 0);
    for (size_t i = 0; i < written.size(); ++i)
        CHECK(sameBoxes(again.contacts[i], written[i]));
    return 0;
}
