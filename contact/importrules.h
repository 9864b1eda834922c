#pragma once

// What the vCard and CSV readers share: a contact as its file holds it, the rules that put
// it into the thirteen boxes, and the text handling every imported file goes through.

#include "contact/vcard.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace lumo {

enum class PhoneKind { Cell, Home, Work, Untyped, Fax }; // Fax: fax and pager, never a box's number

struct SourcePhone {
    QString number;
    PhoneKind kind = PhoneKind::Untyped;
    QString group; // a vCard property group ("item1"), whose label may name the kind
};

struct SourceAddress {
    // As written; in vCard escaping when streetEscaped, so that the program's own
    // "Rua, Número - Bairro" can be told from a comma typed in the street.
    QString street;
    bool streetEscaped = false;
    QString number, district; // only from files with boxes of their own for them
    QString extended, city, region, code;
    bool preferred = false; // home or marked preferred
    // Written by the program's own vCard composer, where an escaped comma is one typed in the
    // street; other exporters escape the comma between street and number.
    bool ownComposer = false;
    bool anyEscape = false; // vCard 3.0 and 4.0 text (unescapeVCardText)
    bool isEmpty() const;
};

struct SourceEmail {
    QString address;
    int rank = 100; // lower first: 1 is the preferred one
};

// One contact as a vCard card or a CSV row holds it, before the box rules.
struct SourceContact {
    QString given, additional, family, fullName;
    QString suffix, title, organization;
    bool company = false; // a vCard KIND:org
    std::vector<SourcePhone> phones;
    std::vector<SourceEmail> emails;
    QString url; // the first one
    std::vector<SourceAddress> addresses;

    // Keep only what the box rules can pick (two numbers of each kind, the best e-mail so
    // far, the first address and the first preferred one), so that a card of a million
    // numbers stays small.
    // A grouped number is kept apart (up to 16) until its group's label is known.
    void addPhone(QString number, PhoneKind kind, QString group = {});
    // Gives the grouped numbers of an untyped or voice kind the kind their label names.
    void applyPhoneLabel(const QString& group, const QString& label);
    void addEmail(QString address, int rank);
    void addAddress(SourceAddress address);
};

// The box rules: names from the structured name, else the full name split at its last space;
// a company (KIND:org, or an organisation and no person's name) has its name whole in nome;
// sufixo from the suffix, else the title, else the organisation; the first mobile number to
// celular and the first other (home, then work, then untyped) to fixo, a lone untyped number
// to celular; the preferred e-mail; the first preferred address, its street split back
// when written "Rua, Número - Bairro", its further lines and its extended part joining
// numero after ", ". Every box comes out cleaned (cleanBox) and trimmed.
ContactFields toContactFields(const SourceContact& contact);

// True when some box holds more than spaces.
bool hasAnyBox(const ContactFields& fields);

// The thirteen boxes in form order.
std::vector<QString*> boxesOf(ContactFields& fields);

// The kind of a phone from its type words (lower case).
PhoneKind phoneKindOf(const QStringList& typeWords);

struct StreetParts {
    QString rua, numero, bairro;
};
// Undoes the street the vCard composer writes: rua, then ", " and numero, then " - " and
// bairro. The first comma ends rua, and the first " - " after it starts bairro; without a
// comma the last " - " starts bairro. A street without either is all rua. When `escaped`
// the street is vCard text, unescaped once split, and an escaped comma ends rua too unless
// `ownComposer` (which escapes the commas typed in a box).
StreetParts splitStreet(QStringView street, bool escaped, bool ownComposer = false, bool anyEscape = false);

// vCard text unescaped: "\n" and "\N" a line break, "\\", "\;" and "\," the character; with
// `anyEscape` (vCard 3.0 and 4.0) any other escaped character is itself, else its backslash
// stays.
QString unescapeVCardText(QStringView value, bool anyEscape = false);

// A box's text as imported: CR LF and lone CR become LF, other control characters go. In
// phone, site and e-mail boxes line breaks go too, as the composer drops them there.
QString cleanBox(QString text, bool singleLine);

// Bytes as text: UTF-8 when they are valid UTF-8 (and not declared `legacy`), else
// Windows-1252, which Latin-1 files are in practice too.
QString decodeText(QByteArrayView bytes, bool legacy = false);
// Bytes as UTF-8, an invalid sequence becoming U+FFFD; the lines (numbered from
// `firstLine`) holding one are added to `badLines`, up to kMaxNamedLines of them.
inline constexpr int kMaxNamedLines = 10;
QString decodeUtf8Lossy(QByteArrayView bytes, int firstLine, std::vector<int>& badLines);
bool isValidUtf8(QByteArrayView bytes);
QString decodeWindows1252(QByteArrayView bytes);

// Lower case without accents and with single spaces, for matching names and types.
QString foldedKey(QStringView text);

// The text part of a file's bytes: without a UTF-8 byte-order mark, and a UTF-16 file
// (known by its byte-order mark) converted to UTF-8 into `converted`.
QByteArrayView textBytes(const QByteArray& bytes, QByteArray& converted);

// The line (from 1) holding text[offset]; lines end at LF, CR LF or a lone CR.
int lineNumberAt(QByteArrayView text, qsizetype offset);

// Refuses empty files and files with NUL bytes (binary data, or UTF-16 without a mark). A
// part of a file (`whole` false) starting on `firstLine` is checked for NUL bytes only.
void checkTextFile(QByteArrayView text, const QString& fileName, int firstLine = 1, bool whole = true);

// Throws lumo::UserError "Não foi possível importar contatos de "<file>": <reason>".
[[noreturn]] void importFailed(const QString& fileName, const QString& reason);

} // namespace lumo
