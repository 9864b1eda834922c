#pragma once

// The card document (.lumocard): a ZIP archive holding
//   mimetype             "application/x-lumocard", stored uncompressed as the first entry
//   card.json            every value of the card, with "format" (see document.cpp)
//   contacts.json        the imported contact list, when the card has one
//   pictures/<key>.<ext> each picture in the exact bytes of the file it was loaded from
// Nothing in a document is ever extracted to disk: entries are read into memory by the names
// card.json gives.
//
// The crash recovery keeps the same entries as plain files of a folder of its own
// (CardFolderWriter), so that a change rewrites card.json and only what else changed.

#include "card/cardmodel.h"
#include "contact/contactimport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace lumo {

// The format this program writes and the newest it reads.
constexpr int kCardDocumentFormat = 1;
inline constexpr char kCardDocumentMimeType[] = "application/x-lumocard";

// The longest text of one contact box, and of the memo or the QR text. No QR symbol holds
// more than 2953 bytes, so only a damaged or hostile document comes near these.
constexpr qsizetype kMaxBoxChars = 4096;
constexpr qsizetype kMaxLongTextChars = 64 * 1024;
// The most contacts a card keeps: the window imports no longer list.
constexpr qsizetype kMaxCardContacts = 100'000;
// The largest card.json read when the contact list has an entry of its own.
constexpr qint64 kMaxCardJsonBytes = 16 * 1024 * 1024;
// The largest contact list (contacts.json, or the part of card.json that holds it in a
// document written before the list had an entry of its own).
constexpr qint64 kMaxContactsJsonBytes = 192 * 1024 * 1024;
// The most one document unpacks, all entries together.
constexpr qint64 kMaxCardUnpackedBytes = 3 * kMaxPictureFileBytes + kMaxCardJsonBytes + kMaxContactsJsonBytes;
// The largest document file read.
constexpr qint64 kMaxCardDocumentBytes = kMaxCardUnpackedBytes + 1024 * 1024;

// Throws lumo::UserError when the vCard or CSV file at `path`, read with `options`, has more
// contacts than a card keeps (kMaxCardContacts): counted a part at a time, so that a file of
// millions of tiny contacts is refused before they are held.
void checkContactsFileCount(const QString& path, const CsvOptions& options);
// Contacts read from the file shown as `shownName`, as a card keeps them: those with a box
// longer than kMaxBoxChars are left out and counted as ignored lines; throws lumo::UserError
// when none is left or the rest would not fit in a document (more than kMaxCardContacts, or
// more than kMaxContactsJsonBytes).
void fitContactsToCard(ImportResult& result, const QString& shownName);
// Throws lumo::UserError when a card cannot keep `contacts` (more than kMaxCardContacts, or
// more than a document holds), naming `shownName` as where they came from.
void checkCardContacts(const std::vector<ContactFields>& contacts, const QString& shownName);

// Why `state` cannot be kept in a document (a text or a contact list over the limits the
// reader enforces), or an empty text when it can.
QString cardStateProblem(const CardState& state);

// The document of `state`. Throws lumo::UserError when cardStateProblem() finds one: what
// is written always reads back.
QByteArray cardDocumentBytes(const CardState& state);

// Writes the document of `state` to `path`, all or nothing: a failed save leaves any file at
// `path` as it was. Throws lumo::UserError naming the file and the reason.
void saveCardDocument(const QString& path, const CardState& state);

// Reads a document's bytes. Throws lumo::UserError naming `shownName` and the reason when
// the bytes are not a complete document this program understands; nothing half-read is
// returned.
CardState readCardDocument(const QByteArray& bytes, const QString& shownName);

// Reads the document at `path` (a regular file of at most kMaxCardDocumentBytes), the
// archive's directory first, each entry only when card.json names it.
CardState openCardDocument(const QString& path);

// The entries of a document as files of one folder, written again only when they changed.
// Every file is written all or nothing and card.json last, each picture and contact list
// under a name of its own, so the folder holds one complete card at every moment. Not
// thread-safe: one write at a time.
class CardFolderWriter {
public:
    explicit CardFolderWriter(const QString& folder) : FFolder(folder) {}

    QString folder() const { return FFolder; }
    // Writes `state`, with the keys of `extra` added to card.json (the document reader
    // ignores keys it does not know). Throws lumo::UserError.
    void write(const CardState& state, const QJsonObject& extra = {});
    // The same with the contact list apart from the other values (whose own list is
    // ignored); the same list object again is known unchanged without a comparison.
    void write(const CardState& values, const std::shared_ptr<const std::vector<ContactFields>>& contacts,
               const QJsonObject& extra = {});
    // Removes the folder and everything in it; the next write starts afresh.
    void remove();

private:
    struct Kept {
        CardPicture picture;
        QString name;
    };
    QString FFolder;
    std::array<std::optional<Kept>, 3> FPictures;
    std::shared_ptr<const std::vector<ContactFields>> FContacts;
    QString FContactsName;
    int FSerial = 0;
};

// The card in a folder written by CardFolderWriter; `json`, when given, receives card.json's
// object with the keys written as `extra`. Throws lumo::UserError naming the folder.
CardState readCardFolder(const QString& folder, QJsonObject* json = nullptr);

} // namespace lumo
