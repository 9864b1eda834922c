// Any bytes through the vCard reader, as a .vcf file the user picks.
//
// Checked: the reader returns or throws lumo::UserError, nothing else, and reading the
// bytes a part at a time gives the same; it returns at least one contact, and every contact
// passes checkImportedBoxes; the program's own vCard of a contact read (composeVCard, then
// the .vcf bytes) reads back as the same thirteen boxes, unless its street is one the
// composer writes ambiguously (a " - " that could be its own separator before bairro) or its
// site holds "\:", which is read as an exporter's escaped colon.

#include "contact/vcard.h"
#include "contact/vcardreader.h"
#include "platform/errors.h"

#include "importcheck.h"

#include <cstdint>

namespace {

bool ambiguousStreet(const lumo::ContactFields& f) {
    const QString dash = QStringLiteral(" - ");
    if (f.site.contains(QStringLiteral("\\:")))
        return true;
    if (!f.numero.isEmpty())
        return f.numero.contains(dash) || (!f.bairro.isEmpty() && f.numero.endsWith(QStringLiteral(" -")));
    if (!f.bairro.isEmpty())
        return f.bairro.contains(dash) || f.bairro.startsWith(QStringLiteral("- "));
    return f.rua.contains(dash);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    std::string error;
    const lumo::ImportResult result = readWholeAndInParts(
        bytes, true, QStringLiteral("fuzz.vcf"),
        [&] { return lumo::readVCards(bytes, QStringLiteral("fuzz.vcf")); }, error);
    if (!error.empty())
        return 0;
    CHECK(!result.contacts.empty());
    CHECK(result.skippedLines >= 0);
    for (const lumo::ContactFields& contact : result.contacts) {
        checkImportedBoxes(contact);
        if (ambiguousStreet(contact))
            continue;
        const QByteArray own = lumo::vcfFileBytes(lumo::composeVCard(contact));
        const lumo::ImportResult again = lumo::readVCards(own, QStringLiteral("own.vcf"));
        CHECK(again.contacts.size() == 1 && again.skippedLines == 0);
        CHECK(sameBoxes(again.contacts.front(), contact));
    }
    return 0;
}
