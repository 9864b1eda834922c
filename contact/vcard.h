#pragma once

// The contact card's vCard 3.0 text and its .vcf file.

#include <QByteArray>
#include <QString>

namespace lumo {

// The thirteen boxes of the contact form, as typed.
struct ContactFields {
    QString nome, sobrenome, sufixo;
    QString fixo, celular, site, email;
    QString rua, numero, bairro, cidade, estado, cep;

    bool operator==(const ContactFields&) const = default;
};

// A typed value made safe for a vCard text component: "\" → "\\", ";" → "\;", "," → "\,",
// and a line break (CR LF, CR, LF, U+0085, U+2028 or U+2029) → "\n".
QString escapeVCardText(const QString& value);

// The vCard of the fields: lines joined by CR LF, no line break after "END:VCARD".
QString composeVCard(const ContactFields& fields);

// The memo's text split at CR LF, lone CR or lone LF, every line followed by CR LF, in UTF-8
// without a byte-order mark. An empty text gives no bytes.
QByteArray vcfFileBytes(const QString& text);

// Writes vcfFileBytes(text) to `path`, all or nothing. Throws lumo::UserError on failure.
void writeVcfFile(const QString& path, const QString& text);

} // namespace lumo
